# Fuzz targets for what machines send and for the DNC texts users load:
# LSV-2 telegrams, Heidenhain blocks, Mazak tape telegrams, the RS-232
# reception filter, program and job requests, ID scripts, job files and
# port setups on floppy. Included by CMakeLists.txt of this folder after
# readers.cmake, whose libraries it builds on.

# The table classes over the engine.
file(GLOB kv_fuzz_dbmodel_sources CONFIGURE_DEPENDS ${KV_ROOT}/dbmodel/*.cpp)
add_library(kv_fuzz_dbmodel STATIC ${kv_fuzz_dbmodel_sources})
target_link_libraries(kv_fuzz_dbmodel PUBLIC kv_fuzz_appcore kv_fuzz_engine)

# The DNC server without its dialogs: port objects, protocols, storing.
file(GLOB kv_fuzz_dnc_sources CONFIGURE_DEPENDS ${KV_ROOT}/dnc/*.cpp)
list(FILTER kv_fuzz_dnc_sources EXCLUDE REGEX
  "/dnc/(control_window|idscript_dlg|job_commands|job_dialogs|job_file_dlg|link_dialog|setup_(commands|floppy|link|multi|protocol|reception|transmission))\\.cpp$")
# The system log writer of the application, which the storing calls.
list(APPEND kv_fuzz_dnc_sources ${KV_ROOT}/app/globals_log.cpp)
# The port log names the controls of its debug window.
include(${KV_ROOT}/resources/dialog_ids.cmake)
kv_dialog_ids(kv_fuzz_ui ${sanitize})
add_library(kv_fuzz_dnc STATIC ${kv_fuzz_dnc_sources})
target_link_libraries(kv_fuzz_dnc PUBLIC kv_fuzz_dbmodel kv_fuzz_formats kv_fuzz_ui dialog_ids)

foreach(t lsv2_telegram_fuzz heidenhain_block_fuzz mazak_tape_fuzz reception_fuzz request_fuzz idscript_fuzz
          jobfile_fuzz floppy_setup_fuzz)
  kv_reader_fuzz(${t} kv_fuzz_dnc)
endforeach()
