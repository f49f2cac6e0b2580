# A compiler cache shared by every checkout of the same sources, for the
# main build and for the fuzz and ThreadSanitizer builds alike: paths under
# the source root are hashed relative to it and the build directory is left
# out of the hash, so a fresh clone in another directory reuses what any
# other checkout compiled. A source whose compile line names a path of its
# own checkout (the tests' KV_SOURCE_DIR and the like) still matches when
# it does not use that path: the cache then compares the preprocessed text.
# Included after project(); KV_ROOT is the source root.
find_program(KV_CCACHE ccache)
if(KV_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(kv_launcher env CCACHE_BASEDIR=${KV_ROOT} CCACHE_NOHASHDIR=true
      CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime ${KV_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${kv_launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${kv_launcher})
endif()
