#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test:
# the Windows build under Wine, the Windows-free code natively with
# sanitizers, and each fuzzer for a bounded time.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVRA_BUILD:-$root/build}
jobs=$(nproc)
fuzz_seconds=${TOVRA_FUZZ_SECONDS:-30}
status=0

"$root/scripts/install.sh" || exit 1
source "$root/scripts/build.sh"

step() { printf '\n== %s\n' "$*"; }

step "$(tovra_branch_reason)"

# 1. The product: 32-bit Windows DLLs.
step "product build (i686)"
tovra_configure_cross win32 || exit 1
cmake --build "$build/win32" -j "$jobs" || exit 1

# 2. Windows tests. They run as the product's 32-bit programs where this
# kernel executes 32-bit code; elsewhere the same sources are built for
# x86-64 and run under wine64, and the 32-bit artefacts are checked as files.
if tovra_can_run_win32; then
  test_dir=$build/win32
else
  step "this kernel runs no 32-bit code: Windows tests run as x86-64 programs"
  ctest --test-dir "$build/win32" -L artifact --output-on-failure || status=1
  tovra_configure_cross win64 || exit 1
  cmake --build "$build/win64" -j "$jobs" || exit 1
  test_dir=$build/win64
fi
# In a network namespace of their own: Wine's wineserver (which owns the
# sockets) starts inside it, and no test traffic can leave the machine.
step "Windows tests under Wine ($test_dir)"
arch=$(tovra_winearch "$test_dir")
"$root/scripts/wine-stop.sh" "$arch" "$test_dir/wineprefix"
"$root/scripts/netns-run.sh" ctest --test-dir "$test_dir" -j "$jobs" --output-on-failure || status=1
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
