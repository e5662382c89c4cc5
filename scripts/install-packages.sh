#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need, and the packages named as
# arguments (for example the emulator guest's qemu-system-x86, only where 32-bit programs need it). Idempotent.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev
  mingw-w64 wine wine32:i386 wine64 xvfb x11-utils
  nginx squid openssl osslsigncode python3 python3-pytest python3-yaml
  imagemagick fonts-noto-cjk fonts-liberation2 fonts-wine
  zip unzip curl ca-certificates
  "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "== Adding the i386 architecture (needed for 32-bit Wine)"
  dpkg --add-architecture i386
  missing+=(wine32:i386)
fi

# npm fetches the 7-Zip console extractor; the machine image normally brings Node.js with it.
command -v npm >/dev/null 2>&1 || missing+=(npm)

if [ ${#missing[@]} -eq 0 ]; then
  echo "== All packages already installed"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "== Installing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
