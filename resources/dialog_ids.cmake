# The named ids of the dialog templates and the menu files: dialog-ids
# writes one header per resources/dialogs/*.dlg into
# generated/resources/dialogs/ of the build and one per resources/menus/*.mnu
# into generated/resources/menus/, which code and tests include as
# "resources/dialogs/<file>.h" and "resources/menus/<file>.h" by linking
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
  file(GLOB menus CONFIGURE_DEPENDS ${root}/resources/menus/*.mnu)
  set(generated ${PROJECT_BINARY_DIR}/generated)
  set(out ${generated}/resources)
  set(headers)
  foreach(dlg ${templates})
    get_filename_component(stem ${dlg} NAME_WE)
    list(APPEND headers ${out}/dialogs/${stem}.h)
  endforeach()
  foreach(mnu ${menus})
    get_filename_component(stem ${mnu} NAME_WE)
    list(APPEND headers ${out}/menus/${stem}.h)
  endforeach()
  add_custom_command(
    OUTPUT ${out}/.stamp
    BYPRODUCTS ${headers}
    COMMAND dialog-ids ${generated} ${out}/.stamp ${templates} ${menus}
    DEPENDS dialog-ids ${templates} ${menus}
    COMMENT "Named ids of the dialog templates and the menus")
  add_custom_target(dialog_ids_headers DEPENDS ${out}/.stamp)

  add_library(dialog_ids INTERFACE)
  target_include_directories(dialog_ids INTERFACE ${PROJECT_BINARY_DIR}/generated)
  add_dependencies(dialog_ids dialog_ids_headers)
endfunction()
