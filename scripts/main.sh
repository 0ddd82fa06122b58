#!/usr/bin/env bash
# The main job. Installs what is missing, builds the product and shows what
# there is so far: the vodctl.dll deliverable, checked as a 32-bit DLL, and a
# tracker request packed, sent through the bencode codec under Wine, and read
# back.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVRA_BUILD:-$root/build}
"$root/scripts/install.sh"
source "$root/scripts/build.sh"

tovra_configure_cross win32
cmake --build "$build/win32" -j "$(nproc)"
"$root/scripts/check-dll.sh" "$build/win32/control/vodctl.dll" i386

run_dir=$build/win32
if ! tovra_can_run_win32; then
  echo "(this kernel runs no 32-bit code: the demonstration runs as an x86-64 program)"
  tovra_configure_cross win64
  cmake --build "$build/win64" -j "$(nproc)" --target btdump
  run_dir=$build/win64
fi
arch=$(tovra_winearch "$run_dir")
printf 'd3:msg7:reqpeer4:hash32:0123456789abcdef0123456789abcdef4:numsi50ee' > "$run_dir/reqpeer.bt"
"$root/scripts/wine-run.sh" "$arch" "$run_dir/wineprefix" \
  "$run_dir/tests/tools/btdump.exe" "Z:$run_dir/reqpeer.bt"
"$root/scripts/wine-stop.sh" "$arch" "$run_dir/wineprefix"
