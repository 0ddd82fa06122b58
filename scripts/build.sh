# Sourced by the scripts: configuring the cross builds.
# Needs $root and $build.

# Can this kernel execute 32-bit x86 programs (and so 32-bit Wine)?
tovra_can_run_win32() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# One line saying which branch the Windows tests take on this machine and why.
tovra_branch_reason() {
  local answer
  if answer=$(/usr/lib/wine/wine --version 2>&1); then
    echo "i686 branch: this kernel runs 32-bit code (32-bit Wine answered \"$answer\"), so the tests run the 32-bit product in build/win32"
  else
    echo "x86-64 fallback: this kernel runs no 32-bit code (32-bit Wine failed: \"${answer%%$'\n'*}\"), so the tests run an x86-64 build in build/win64 and the 32-bit DLLs are checked as files"
  fi
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
