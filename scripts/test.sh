#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test:
# the Windows build under Wine, the Windows-free code natively with
# sanitizers, and each fuzzer for a bounded time. Ends with the time each
# step took.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVRA_BUILD:-$root/build}
status=0

# Parallelism follows the machine (cores as this process may use them):
# builds and native tests one job per core; the Windows tests, which spend
# most of their time waiting on sockets, timers and Wine, two per core; each
# fuzzer 30 s on 8 cores or more and proportionally less on fewer (at
# least 5 s), so the fuzzing step takes about the same time everywhere.
jobs=$(nproc)
wine_jobs=$((2 * jobs))
fuzz_seconds=${TOVRA_FUZZ_SECONDS:-$(( jobs >= 8 ? 30 : (30 * jobs / 8 > 5 ? 30 * jobs / 8 : 5) ))}

timings=()
step_name=
step_start=
step() {
  step_end
  step_name=$*
  step_start=$(date +%s)
  printf '\n== %s\n' "$*"
}
step_end() {
  [ -n "$step_name" ] && timings+=("$(printf '%5d s  %s' $(( $(date +%s) - step_start )) "$step_name")")
  step_name=
}
report() {
  step_end
  printf '\n== time per step (%d cores, Windows tests -j%d, fuzzers %d s each)\n' "$jobs" "$wine_jobs" "$fuzz_seconds"
  printf '%s\n' "${timings[@]}"
}
trap report EXIT

step "packages"
"$root/scripts/install.sh" || exit 1
source "$root/scripts/build.sh"
step_end
printf '\n== %s\n' "$(tovra_branch_reason)"

# 1. The product: 32-bit Windows DLLs. Where this kernel runs no 32-bit code
# nothing of the i686 build but the shipped DLLs can be used, so only they
# are built (the tests' sources are compiled by the x86-64 build below).
if tovra_can_run_win32; then
  step "product build (i686)"
  tovra_configure_cross win32 || exit 1
  cmake --build "$build/win32" -j "$jobs" || exit 1
else
  step "product build (i686: the shipped DLLs)"
  tovra_configure_cross win32 || exit 1
  cmake --build "$build/win32" -j "$jobs" --target artifacts || exit 1
fi

# 2. Windows tests. They run as the product's 32-bit programs where this
# kernel executes 32-bit code; elsewhere the same sources are built for
# x86-64 and run under wine64, and the 32-bit artefacts are checked as files.
test_dir=$build/win32
if ! tovra_can_run_win32; then
  step "32-bit artefacts checked as files"
  ctest --test-dir "$build/win32" -L artifact --output-on-failure || status=1
  step "x86-64 build (this kernel runs no 32-bit code: Windows tests run as x86-64 programs)"
  tovra_configure_cross win64 || exit 1
  cmake --build "$build/win64" -j "$jobs" || exit 1
  test_dir=$build/win64
fi
# In a network namespace of their own: Wine's wineserver (which owns the
# sockets) starts inside it, and no test traffic can leave the machine.
step "Windows tests under Wine ($test_dir)"
arch=$(tovra_winearch "$test_dir")
"$root/scripts/wine-stop.sh" "$arch" "$test_dir/wineprefix"
"$root/scripts/netns-run.sh" ctest --test-dir "$test_dir" -j "$wine_jobs" --output-on-failure || status=1
"$root/scripts/wine-stop.sh" "$arch" "$test_dir/wineprefix"

# 3. Windows-free code natively, with sanitizers; then the fuzzers.
step "native build (clang, address and undefined-behaviour sanitizers)"
CC=clang CXX=clang++ cmake -S "$root" -B "$build/native" -G Ninja \
  -DTOVRA_NATIVE=ON -DTOVRA_FUZZ_SECONDS="$fuzz_seconds" >/dev/null || exit 1
cmake --build "$build/native" -j "$jobs" || exit 1
step "native unit tests"
ctest --test-dir "$build/native" -j "$jobs" -LE fuzz --output-on-failure || status=1
step "fuzzers (${fuzz_seconds} s each)"
ctest --test-dir "$build/native" -j "$jobs" -L fuzz --output-on-failure || status=1

exit $status
