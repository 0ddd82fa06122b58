# Settings of the native (checks) build: Windows-free code only.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the native build needs clang (CXX=clang++)")
endif()
add_compile_options(-g -Wall -Wextra -Wno-unused-parameter)
if(TOVRA_SANITIZE)
  # fuzzer-no-link: coverage for the fuzzers; the unit tests run with the
  # sanitizer runtime's no-op callbacks.
  set(TOVRA_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -fsanitize=fuzzer-no-link)
  add_compile_options(${TOVRA_SAN_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()
