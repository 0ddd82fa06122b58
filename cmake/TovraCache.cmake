# The machine's cache for everything a build can share with earlier builds
# of any clone: downloaded sources, the Boost libraries and the compiler
# cache. TOVRA_CACHE_DIR (CMake or environment) moves it; by default it is
# ~/.cache/tovra.
include_guard(GLOBAL)
if(NOT TOVRA_CACHE_DIR)
  if(DEFINED ENV{TOVRA_CACHE_DIR})
    set(TOVRA_CACHE_DIR $ENV{TOVRA_CACHE_DIR})
  elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(TOVRA_CACHE_DIR $ENV{XDG_CACHE_HOME}/tovra)
  else()
    set(TOVRA_CACHE_DIR $ENV{HOME}/.cache/tovra)
  endif()
endif()
set(TOVRA_CACHE_DIR ${TOVRA_CACHE_DIR} CACHE PATH "Cache shared by every build on this machine")
file(MAKE_DIRECTORY ${TOVRA_CACHE_DIR})

# Compiler cache: paths under the clone are hashed relative to it, so every
# clone of the repository shares the same entries.
find_program(TOVRA_CCACHE ccache)
if(TOVRA_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(launcher env CCACHE_DIR=${TOVRA_CACHE_DIR}/ccache CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}
      CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=20G ${TOVRA_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER "${launcher}")
  set(CMAKE_CXX_COMPILER_LAUNCHER "${launcher}")
endif()
