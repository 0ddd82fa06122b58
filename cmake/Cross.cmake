# Settings of the cross (product) build.
add_compile_definitions(
  _WIN32_WINNT=0x0501 WINVER=0x0501 UNICODE _UNICODE NOMINMAX
  BOOST_ALL_NO_LIB BOOST_USE_WINDOWS_H)
# DWARF 4: Wine's crash backtraces show file:line only for this version.
add_compile_options(-gdwarf-4 -Wall -Wextra -Wno-unused-parameter)
# Without a build type the product and its tests are built as shipped:
# optimised, with the debug info above, assertions kept.
if(NOT CMAKE_BUILD_TYPE)
  add_compile_options(-O2)
endif()
# Every exe and DLL imports only system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

# Boost's header-only libraries come from the host's Debian headers, through
# a folder that holds only a "boost" link, so glibc's headers stay out.
set(TOVRA_BOOST_INCLUDE ${CMAKE_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${TOVRA_BOOST_INCLUDE})
if(NOT EXISTS ${TOVRA_BOOST_INCLUDE}/boost)
  file(CREATE_LINK /usr/include/boost ${TOVRA_BOOST_INCLUDE}/boost SYMBOLIC)
endif()
include_directories(SYSTEM ${TOVRA_BOOST_INCLUDE})

# Tests run under Wine through our wrapper, in a prefix inside the build tree.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TOVRA_WINEARCH win32)
else()
  set(TOVRA_WINEARCH win64)
endif()
set(TOVRA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh;${TOVRA_WINEARCH};${TOVRA_WINEPREFIX})

# Type libraries: widl needs the platform's .idl files, which Debian ships
# only in the mingw-w64 source package.
find_program(TOVRA_WIDL_EXE NAMES ${TOVRA_WIDL} widl REQUIRED)
