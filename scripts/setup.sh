#!/usr/bin/env bash
# Installs what building Ombra needs on a Debian machine (skips what is there).
# The writers' tests read their outputs with python3-html5lib, chromium
# (driven through chromium-driver and python3-selenium) and pandoc.
# clang 14 builds the sanitizer and fuzz targets; clang-format and clang-tidy
# of the same release check the code in CI (scripts/format.sh, scripts/tidy.py).
set -euo pipefail
packages=(g++ cmake ninja-build ccache pkg-config
          libboost-dev libboost-thread-dev
          libgtest-dev libbenchmark-dev
          libpugixml-dev zlib1g-dev libzip-dev
          python3 python3-jsonschema
          python3-dev pybind11-dev python3-pybind11
          python3-dask python3-distributed python3-pandas
          python3-setuptools python3-pip python3-venv
          python3-html5lib python3-selenium chromium chromium-driver pandoc
          clang-14 libclang-rt-14-dev clang-format-14 clang-tidy-14)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
