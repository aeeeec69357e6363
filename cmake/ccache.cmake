# Compiles go through ccache when it is installed and no launcher was chosen,
# so that a rebuild of the same sources under the same flags is a cache hit.
# The test programs use precompiled headers, which ccache caches only with
# this sloppiness.
find_program(LUMBREL_CCACHE ccache)
if(LUMBREL_CCACHE)
  foreach(language C CXX)
    if(NOT CMAKE_${language}_COMPILER_LAUNCHER)
      set(CMAKE_${language}_COMPILER_LAUNCHER env CCACHE_SLOPPINESS=pch_defines,time_macros ${LUMBREL_CCACHE})
    endif()
  endforeach()
endif()
