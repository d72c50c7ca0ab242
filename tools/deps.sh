#!/usr/bin/env bash
# Installs the Debian packages the build and the checks need, when any is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libpng-dev libgtest-dev libgmock-dev
      libbenchmark-dev python3 python3-psd-tools imagemagick pngcheck ghostscript xvfb x11-apps
      libx11-dev libxext-dev libxtst-dev libfreetype-dev fonts-dejavu-core python3-numpy python3-pil
      gimp groff)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
