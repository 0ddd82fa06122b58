# Boost.Thread (win32) and Boost.Serialization as static cross libraries,
# compiled from Debian's boost1.74 source package by the project of
# cmake/boost. Sources and libraries live in the machine's cache
# (TOVRA_CACHE_DIR, by default ~/.cache/tovra), outside any build tree: a
# fresh clone on a machine that built them before with the same toolchain,
# compiler and settings reuses them. apt-get source needs a deb-src entry,
# which scripts/install.sh adds.
include(TovraCache)

# Sources: fetched and unpacked once per machine.
set(BOOST_SRC_ROOT ${TOVRA_CACHE_DIR}/boost1.74-src)
set(BOOST_SRC ${BOOST_SRC_ROOT}/tree)
file(MAKE_DIRECTORY ${BOOST_SRC_ROOT})
file(LOCK ${BOOST_SRC_ROOT}.lock TIMEOUT 1800)
if(NOT EXISTS ${BOOST_SRC}/.complete)
  set(dl ${BOOST_SRC_ROOT}/download)
  file(MAKE_DIRECTORY ${dl})
  file(GLOB orig ${dl}/boost1.74_*.orig.tar.*)
  if(NOT orig)
    message(STATUS "Fetching Debian's boost1.74 sources")
    execute_process(COMMAND apt-get source --download-only boost1.74
                    WORKING_DIRECTORY ${dl} RESULT_VARIABLE rc OUTPUT_QUIET)
    file(GLOB orig ${dl}/boost1.74_*.orig.tar.*)
    if(NOT rc EQUAL 0 OR NOT orig)
      message(FATAL_ERROR "apt-get source boost1.74 failed; run scripts/install.sh first")
    endif()
  endif()
  list(GET orig 0 orig)
  file(REMOVE_RECURSE ${BOOST_SRC})
  file(MAKE_DIRECTORY ${BOOST_SRC})
  execute_process(
    COMMAND tar -xf ${orig} --strip-components=1 --wildcards
            */libs/thread/src */libs/chrono/src */libs/serialization/src
            */libs/serialization/build/Jamfile.v2
    WORKING_DIRECTORY ${BOOST_SRC} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not unpack ${orig}")
  endif()
  file(TOUCH ${BOOST_SRC}/.complete)
endif()
file(LOCK ${BOOST_SRC_ROOT}.lock RELEASE)

# Libraries: one folder per toolchain, compiler version and the files that
# decide how they are compiled (by content, not by path: every clone shares it).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} --version
                OUTPUT_VARIABLE compiler_version OUTPUT_STRIP_TRAILING_WHITESPACE)
set(key_text "${compiler_version}|${CMAKE_BUILD_TYPE}")
foreach(f cmake/boost/CMakeLists.txt cmake/Cross.cmake common/SerializationExports.h)
  file(SHA256 ${CMAKE_SOURCE_DIR}/${f} h)
  string(APPEND key_text "|${h}")
endforeach()
file(READ ${CMAKE_TOOLCHAIN_FILE} toolchain_text)
string(APPEND key_text "|${toolchain_text}")
string(SHA256 key "${key_text}")
string(SUBSTRING ${key} 0 16 key)
get_filename_component(toolchain_name ${CMAKE_TOOLCHAIN_FILE} NAME_WE)
set(BOOST_LIBS ${TOVRA_CACHE_DIR}/boost1.74-${toolchain_name}-${key})

file(LOCK ${BOOST_LIBS}.lock TIMEOUT 1800)
if(NOT EXISTS ${BOOST_LIBS}/.complete)
  message(STATUS "Building Boost.Thread and Boost.Serialization into ${BOOST_LIBS}")
  set(sub ${BOOST_LIBS}-build)
  file(REMOVE_RECURSE ${BOOST_LIBS} ${sub})
  include(ProcessorCount)
  ProcessorCount(cores)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR}/cmake/boost -B ${sub} -G Ninja
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
            -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
            "-DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}"
            "-DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}"
            -DCMAKE_INSTALL_PREFIX=${BOOST_LIBS}
            -DBOOST_SRC=${BOOST_SRC} -DTOVRA_ROOT=${CMAKE_SOURCE_DIR}
    RESULT_VARIABLE rc OUTPUT_QUIET)
  if(rc EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${sub} --target install -j ${cores}
                    RESULT_VARIABLE rc OUTPUT_QUIET)
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "building the Boost libraries failed (${sub})")
  endif()
  file(REMOVE_RECURSE ${sub})
  file(TOUCH ${BOOST_LIBS}/.complete)
endif()
file(LOCK ${BOOST_LIBS}.lock RELEASE)

add_library(Boost::thread STATIC IMPORTED GLOBAL)
set_target_properties(Boost::thread PROPERTIES
  IMPORTED_LOCATION ${BOOST_LIBS}/lib/libboost_thread.a
  INTERFACE_COMPILE_DEFINITIONS "BOOST_THREAD_USE_LIB=1;BOOST_THREAD_WIN32;BOOST_CHRONO_STATIC_LINK=1")
add_library(Boost::serialization STATIC IMPORTED GLOBAL)
set_target_properties(Boost::serialization PROPERTIES
  IMPORTED_LOCATION ${BOOST_LIBS}/lib/libboost_serialization.a
  INTERFACE_COMPILE_DEFINITIONS BOOST_SERIALIZATION_STATIC_LINK=1)
