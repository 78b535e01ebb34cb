#!/usr/bin/env bash
# Installs what building and testing Lumetra needs on Debian 12 (run as root,
# or with sudo available).  Packages already present are left alone.
# Usage: scripts/install-deps.sh [--bench]
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  gdal-bin shapelib
  libgeos-dev libpolyclipping-dev
)
# --bench: also the oracles the benchmarks compare against (header-only).
if [ "${1:-}" = "--bench" ]; then
  packages+=(libnanoflann-dev libboost-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
