# Fuzz targets for the readers of files that users and other stations write:
# configuration, language and text files (appcore), bitmaps, font records,
# dialog and menu resources (the window model), the compare library's
# input, tape-import sources, and report, relation and style files (the
# report engine). Included by CMakeLists.txt of this folder; sanitize and KV_ROOT
# come from there.

find_package(PkgConfig REQUIRED)
pkg_check_modules(KV_FUZZ_GDI REQUIRED IMPORTED_TARGET cairo cairo-ft freetype2)

set(kv_fuzz_flags ${sanitize} -fsanitize=fuzzer-no-link -g -O1)

# The layer's system services (all of them: the plug-in loader too).
file(GLOB kv_fuzz_os_sources CONFIGURE_DEPENDS ${KV_ROOT}/platform/*.cpp)
add_library(kv_fuzz_os STATIC ${kv_fuzz_os_sources})
target_include_directories(kv_fuzz_os PUBLIC ${KV_ROOT})
target_compile_options(kv_fuzz_os PUBLIC ${kv_fuzz_flags})
target_link_libraries(kv_fuzz_os PUBLIC Threads::Threads ${CMAKE_DL_LIBS})

file(GLOB kv_fuzz_ui_sources CONFIGURE_DEPENDS ${KV_ROOT}/platform/ui/*.cpp ${KV_ROOT}/platform/ledit/*.cpp)
add_library(kv_fuzz_ui STATIC ${kv_fuzz_ui_sources})
target_link_libraries(kv_fuzz_ui PUBLIC kv_fuzz_os PkgConfig::KV_FUZZ_GDI)

# The application core without its window members.
file(GLOB kv_fuzz_appcore_sources CONFIGURE_DEPENDS ${KV_ROOT}/appcore/*.cpp)
list(FILTER kv_fuzz_appcore_sources EXCLUDE REGEX "/appcore/file_dialogs\\.cpp$")
add_library(kv_fuzz_appcore STATIC ${kv_fuzz_appcore_sources})
target_link_libraries(kv_fuzz_appcore PUBLIC kv_fuzz_os)

# The compare library, entry included, linked in rather than loaded.
file(GLOB kv_fuzz_telmix_sources CONFIGURE_DEPENDS ${KV_ROOT}/compare/*.cpp ${KV_ROOT}/compare/*.c)
add_library(kv_fuzz_telmix STATIC ${kv_fuzz_telmix_sources})
target_include_directories(kv_fuzz_telmix PUBLIC ${KV_ROOT})
target_compile_options(kv_fuzz_telmix PUBLIC ${kv_fuzz_flags})

# The tape formats (the tape emulation's image lines, the VurErad import's
# hex form), and the tape conversions of the special imports over them.
file(GLOB kv_fuzz_formats_sources CONFIGURE_DEPENDS ${KV_ROOT}/formats/*.cpp)
add_library(kv_fuzz_formats STATIC ${kv_fuzz_formats_sources})
target_link_libraries(kv_fuzz_formats PUBLIC kv_fuzz_os)
add_library(kv_fuzz_tapes STATIC ${KV_ROOT}/dbtools/mazak_convert.cpp ${KV_ROOT}/dbtools/wc18_clean.cpp
  ${KV_ROOT}/dbtools/work_file.cpp)
target_link_libraries(kv_fuzz_tapes PUBLIC kv_fuzz_formats)

function(kv_reader_fuzz name)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_link_options(${name} PRIVATE ${sanitize} -fsanitize=fuzzer)
endfunction()

kv_reader_fuzz(myfile_fuzz kv_fuzz_appcore)
kv_reader_fuzz(config_fuzz kv_fuzz_appcore)
kv_reader_fuzz(language_fuzz kv_fuzz_appcore)
kv_reader_fuzz(bmp_fuzz kv_fuzz_ui)
kv_reader_fuzz(font_fuzz kv_fuzz_ui)
kv_reader_fuzz(dialog_fuzz kv_fuzz_ui)
kv_reader_fuzz(menu_fuzz kv_fuzz_ui)
kv_reader_fuzz(compare_fuzz kv_fuzz_telmix)
kv_reader_fuzz(tape_fuzz kv_fuzz_tapes)

# The report engine over the table engine (kv_fuzz_engine, of
# CMakeLists.txt), which it shares rather than compiling it again.
file(GLOB kv_fuzz_report_sources CONFIGURE_DEPENDS ${KV_ROOT}/report/*.cpp)
add_library(kv_fuzz_report STATIC ${kv_fuzz_report_sources})
target_link_libraries(kv_fuzz_report PUBLIC kv_fuzz_ui kv_fuzz_engine)

kv_reader_fuzz(report_fuzz kv_fuzz_report)
kv_reader_fuzz(relation_fuzz kv_fuzz_report)
kv_reader_fuzz(style_fuzz kv_fuzz_report)
kv_reader_fuzz(bitmap_load_fuzz kv_fuzz_report)
