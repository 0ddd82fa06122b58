# tovra_def_file(<target> <file.def>): adds a DLL's export list.
# The .def in the source tree is the 32-bit product's: every stdcall export
# is an alias of its decorated symbol ("Name = Name@8"). The 64-bit twin has
# no decorations, so it links a copy that keeps only the plain names.
function(tovra_def_file target def)
  get_filename_component(abs ${def} ABSOLUTE)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_sources(${target} PRIVATE ${abs})
    return()
  endif()
  file(READ ${abs} text)
  string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*) *= *[A-Za-z_][A-Za-z0-9_]*@[0-9]+" "\\1" text "${text}")
  get_filename_component(name ${def} NAME)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/win64-${name})
  file(CONFIGURE OUTPUT ${out} CONTENT "${text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${abs})
  target_sources(${target} PRIVATE ${out})
endfunction()
