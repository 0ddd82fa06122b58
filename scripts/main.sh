#!/usr/bin/env bash
# The main job. Installs what is missing, builds the product (vodctl.dll and
# its siblings, checked as 32-bit DLLs) and shows one video on demand on this
# machine, inside a private network namespace: the NAT server and tracker
# fixture; the seeding service kxsvc in one Wine prefix, serving an FLV made
# with ffmpeg from its cache folder; an engine (voddriver) in a second prefix
# that finds the service through the tracker; curl and ffprobe reading the
# video from the engine's loopback URL. Prints each step and the figures;
# exits non-zero unless the video arrived intact.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVRA_BUILD:-$root/build}
"$root/scripts/install.sh"
source "$root/scripts/build.sh"

tovra_configure_cross win32
cmake --build "$build/win32" -j "$(nproc)"
"$root/scripts/check-dll.sh" "$build/win32/control/vodctl.dll" i386
echo "vodctl.dll: a 32-bit DLL importing system DLLs only"

run_dir=$build/win32
if ! tovra_can_run_win32; then
  echo "(this kernel runs no 32-bit code: the demonstration runs as x86-64 programs)"
  tovra_configure_cross win64
  cmake --build "$build/win64" -j "$(nproc)" --target vodctl voddriver
  run_dir=$build/win64
fi
arch=$(tovra_winearch "$run_dir")
service_prefix=$run_dir/wineprefix
viewer_prefix=$run_dir/wineprefix-viewer1

# Each wineserver must start inside the namespace; none may outlive the job.
stop_wine() {
  "$root/scripts/wine-stop.sh" "$arch" "$service_prefix"
  "$root/scripts/wine-stop.sh" "$arch" "$viewer_prefix"
}
trap stop_wine EXIT
stop_wine
"$root/scripts/netns-run.sh" python3 "$root/tests/fixtures/runner.py" --fixture swarm -- \
  python3 "$root/tests/service/vod_show.py" --wine-run "$root/scripts/wine-run.sh" \
  --arch "$arch" --prefix "$service_prefix" --dll "Z:$run_dir/control/vodctl.dll" \
  --driver "$run_dir/tests/tools/voddriver.exe" --viewer-prefix "$viewer_prefix"
