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
  # The Python package: build, install into a venv, its tests and the Dask example.
  python3-dev python3-venv python3-pip python3-setuptools python3-wheel pybind11-dev
  python3-numpy python3-pandas python3-pytest python3-shapely python3-fiona python3-geopandas
  python3-dask python3-distributed
)
# --bench: also the oracles the benchmarks compare against (header-only, and
# the R-tree GeoPandas' sjoin needs with Debian's Shapely 1.8).
if [ "${1:-}" = "--bench" ]; then
  packages+=(libnanoflann-dev libboost-dev python3-rtree)
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
