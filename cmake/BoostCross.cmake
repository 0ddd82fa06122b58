# Boost.Thread (win32) and Boost.Serialization as static cross libraries,
# compiled from Debian's boost1.74 source package. The sources are fetched
# once into the build tree (apt-get source needs a deb-src entry, which
# scripts/install.sh adds) and reused by every later configure.
set(BOOST_SRC_ROOT ${CMAKE_BINARY_DIR}/_deps/boost-src)
set(BOOST_SRC ${BOOST_SRC_ROOT}/tree)

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

set(BOOST_COMMON_DEFS BOOST_ALL_NO_LIB BOOST_USE_WINDOWS_H)

add_library(boost_thread STATIC
  ${BOOST_SRC}/libs/thread/src/win32/thread.cpp
  ${BOOST_SRC}/libs/thread/src/win32/thread_primitives.cpp
  ${BOOST_SRC}/libs/thread/src/win32/tss_dll.cpp
  ${BOOST_SRC}/libs/thread/src/win32/tss_pe.cpp
  ${BOOST_SRC}/libs/thread/src/future.cpp
  ${BOOST_SRC}/libs/chrono/src/chrono.cpp
  ${BOOST_SRC}/libs/chrono/src/process_cpu_clocks.cpp
  ${BOOST_SRC}/libs/chrono/src/thread_clock.cpp)
target_compile_definitions(boost_thread
  PRIVATE BOOST_THREAD_BUILD_LIB=1 WIN32_LEAN_AND_MEAN
  PUBLIC BOOST_THREAD_USE_LIB=1 BOOST_THREAD_WIN32 BOOST_CHRONO_STATIC_LINK=1)
target_compile_options(boost_thread PRIVATE -w)
add_library(Boost::thread ALIAS boost_thread)

# The narrow archives, as listed by Boost.Serialization's own Jamfile.
file(READ ${BOOST_SRC}/libs/serialization/build/Jamfile.v2 jam)
string(REGEX MATCH "SOURCES =[^;]*;" sources_block "${jam}")
string(REGEX REPLACE "SOURCES =|;" "" sources_block "${sources_block}")
string(REGEX MATCHALL "[a-z_0-9]+" ser_names "${sources_block}")
set(ser_sources)
foreach(n IN LISTS ser_names)
  list(APPEND ser_sources ${BOOST_SRC}/libs/serialization/src/${n}.cpp)
endforeach()
add_library(boost_serialization STATIC ${ser_sources})
target_compile_definitions(boost_serialization PUBLIC BOOST_SERIALIZATION_STATIC_LINK=1)
target_compile_options(boost_serialization PRIVATE -w)
# Its singletons stay out of the export tables of the DLLs that link it.
target_compile_options(boost_serialization PRIVATE
  -include ${CMAKE_SOURCE_DIR}/common/SerializationExports.h)
add_library(Boost::serialization ALIAS boost_serialization)
