# Sourced by the scripts: configuring the cross builds.
# Needs $root and $build.

# Can this kernel execute 32-bit x86 programs (and so 32-bit Wine)?
tovra_can_run_win32() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# tovra_configure_cross <win32|win64>: configures $build/<kind>.
tovra_configure_cross() {
  local toolchain=mingw32
  [ "$1" = win64 ] && toolchain=mingw64
  cmake -S "$root" -B "$build/$1" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$toolchain.cmake" >/dev/null
}

tovra_winearch() {
  case "$1" in *win64) echo win64 ;; *) echo win32 ;; esac
}
