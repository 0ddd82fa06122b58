# Type libraries with widl. Its imports (oaidl.idl, ocidl.idl, ...) come from
# the mingw-w64 source package, since Debian's binary packages ship no .idl
# files; they are fetched once into the machine's cache.
include(TovraCache)
set(TOVRA_IDL_ROOT ${TOVRA_CACHE_DIR}/mingw-idl)

function(tovra_fetch_platform_idl)
  if(EXISTS ${TOVRA_IDL_ROOT}/include/.complete)
    return()
  endif()
  file(MAKE_DIRECTORY ${TOVRA_IDL_ROOT})
  file(LOCK ${TOVRA_IDL_ROOT}.lock TIMEOUT 600)
  if(EXISTS ${TOVRA_IDL_ROOT}/include/.complete)
    file(LOCK ${TOVRA_IDL_ROOT}.lock RELEASE)
    return()
  endif()
  set(dl ${TOVRA_IDL_ROOT}/download)
  file(MAKE_DIRECTORY ${dl} ${TOVRA_IDL_ROOT}/include)
  file(GLOB orig ${dl}/mingw-w64_*.orig.tar.*)
  if(NOT orig)
    message(STATUS "Fetching Debian's mingw-w64 sources for widl")
    execute_process(COMMAND apt-get source --download-only mingw-w64
                    WORKING_DIRECTORY ${dl} RESULT_VARIABLE rc OUTPUT_QUIET)
    file(GLOB orig ${dl}/mingw-w64_*.orig.tar.*)
    if(NOT rc EQUAL 0 OR NOT orig)
      message(FATAL_ERROR "apt-get source mingw-w64 failed; run scripts/install.sh first")
    endif()
  endif()
  list(GET orig 0 orig)
  execute_process(
    COMMAND tar -xf ${orig} --strip-components=3 --wildcards
            -C ${TOVRA_IDL_ROOT}/include */mingw-w64-headers/include/*.idl
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not unpack the .idl files of ${orig}")
  endif()
  file(TOUCH ${TOVRA_IDL_ROOT}/include/.complete)
  file(LOCK ${TOVRA_IDL_ROOT}.lock RELEASE)
endfunction()

# tovra_add_typelib(<target> <file.idl>): compiles the IDL into
# <name>.tlb and <name>_h.h / <name>_i.c in the target's binary folder, adds
# the interface ids to the target and the folder to its include path. The
# target's .rc embeds the .tlb as a TYPELIB resource.
function(tovra_add_typelib target idl)
  tovra_fetch_platform_idl()
  get_filename_component(name ${idl} NAME_WE)
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(bits --win32)
    set(wine_dlls /usr/lib/i386-linux-gnu/wine/i386-windows)
  else()
    set(bits --win64)
    set(wine_dlls /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  endif()
  # importlib("stdole2.tlb"): Wine's copy (packages wine32 and libwine).
  find_path(TOVRA_STDOLE2_DIR stdole2.tlb PATHS ${wine_dlls}
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  add_custom_command(
    OUTPUT ${out}/${name}.tlb ${out}/${name}_h.h ${out}/${name}_i.c
    COMMAND ${TOVRA_WIDL_EXE} ${bits} -I${TOVRA_IDL_ROOT}/include -L${TOVRA_STDOLE2_DIR}
            -t -T ${out}/${name}.tlb -h -H ${out}/${name}_h.h
            -u -U ${out}/${name}_i.c ${idl_abs}
    DEPENDS ${idl_abs}
    COMMENT "widl ${name}.idl")
  target_sources(${target} PRIVATE ${out}/${name}_i.c ${out}/${name}_h.h ${out}/${name}.tlb)
  target_include_directories(${target} PRIVATE ${out})
endfunction()
