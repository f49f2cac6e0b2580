# The named ids of the dialog templates: dialog-ids writes one header per
# resources/dialogs/*.dlg into generated/resources/dialogs/ of the build,
# which code and tests include as "resources/dialogs/<file>.h" by linking
# `dialog_ids`. Each build that compiles dialog code calls this once, with
# its library of the window layer (the tool reads templates through it) and
# any link options that library needs.
#   kv_dialog_ids(<window layer library> [<link option>...])
function(kv_dialog_ids ui_library)
  get_filename_component(root ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
  add_executable(dialog-ids ${root}/tools/dialog-ids/dialog_ids.cpp)
  target_link_libraries(dialog-ids PRIVATE ${ui_library})
  if(ARGN)
    target_link_options(dialog-ids PRIVATE ${ARGN})
  endif()

  file(GLOB templates CONFIGURE_DEPENDS ${root}/resources/dialogs/*.dlg)
  set(out ${PROJECT_BINARY_DIR}/generated/resources/dialogs)
  set(headers)
  foreach(dlg ${templates})
    get_filename_component(stem ${dlg} NAME_WE)
    list(APPEND headers ${out}/${stem}.h)
  endforeach()
  add_custom_command(
    OUTPUT ${out}/.stamp
    BYPRODUCTS ${headers}
    COMMAND dialog-ids ${out} ${out}/.stamp ${templates}
    DEPENDS dialog-ids ${templates}
    COMMENT "Named ids of the dialog templates")
  add_custom_target(dialog_ids_headers DEPENDS ${out}/.stamp)

  add_library(dialog_ids INTERFACE)
  target_include_directories(dialog_ids INTERFACE ${PROJECT_BINARY_DIR}/generated)
  add_dependencies(dialog_ids dialog_ids_headers)
endfunction()
