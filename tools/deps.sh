#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the checks and the dialog need, when any is missing:
# with apt-get, as root or else through sudo. "locales" holds the sources localedef builds the
# tests' locales from; zenity is the file chooser of the dialog's file commands.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev zlib1g-dev libpng-dev libgtest-dev libgmock-dev
      libbenchmark-dev python3 python3-psd-tools imagemagick pngcheck ghostscript xvfb x11-apps
      libx11-dev libxext-dev libxtst-dev libfreetype-dev fonts-dejavu-core python3-numpy python3-pil
      gimp groff locales zenity)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "deps.sh: these Debian packages are missing and installing them needs root (or sudo):" >&2
    echo "  ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "installing: ${missing[*]} (the first run takes some minutes)"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
