#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent:
# a machine that already has them costs one dpkg query.
set -euo pipefail

PACKAGES=(
  mingw-w64 mingw-w64-tools wine wine32:i386 wine64
  libboost1.74-dev googletest libbenchmark-dev
  cmake ninja-build ccache python3 clang libclang-rt-14-dev
  file xz-utils psmisc curl ffmpeg nginx-light coturn nftables
  xvfb xauth fonts-wqy-microhei fonts-wine
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

need_src=0
[ -f /etc/apt/sources.list.d/tovra-src.sources ] || need_src=1

if [ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

# Wine's 32-bit side comes from the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386

# Source entries, so the build can fetch Debian's boost sources.
if [ $need_src -eq 1 ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | $SUDO tee /etc/apt/sources.list.d/tovra-src.sources >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
      | $SUDO tee /etc/apt/sources.list.d/tovra-src.list >/dev/null
    $SUDO touch /etc/apt/sources.list.d/tovra-src.sources
  fi
fi

$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # The NAT matrix test starts coturn itself; its system service stays off.
  if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now coturn >/dev/null 2>&1 || true
  fi
fi
