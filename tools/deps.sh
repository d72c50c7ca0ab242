#!/usr/bin/env bash
# usage: tools/deps.sh [main|dialog|all]
#
# Installs the Debian 12 packages that are missing, with apt-get, as root or else through sudo:
# "main" those that build and run the main job (tools/run-main.sh), "dialog" those and zenity,
# the file and colour chooser of the dialog (tools/run-dialog.sh), "all" (the default) those and
# what the checks need (tools/run-tests.sh, .ci/run): "locales" holds the sources localedef
# builds the tests' locales from, clang builds the fuzz targets, the X11 tests also run the
# windows under openbox, as a window manager treats them, and OpenCV's development package (found
# through pkg-config) builds the benchmark against its kernels. -h or --help prints this text.
if [ -z "${BASH_VERSION:-}" ]; then
  echo "deps.sh is a bash script: run it as tools/deps.sh or bash tools/deps.sh" >&2
  exit 2
fi
set -euo pipefail
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
main=(cmake ninja-build g++ zlib1g-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev
      libx11-dev libxext-dev libxtst-dev libfreetype-dev fonts-dejavu-core groff)
dialog=(zenity)
checks=(clang libclang-rt-14-dev python3 python3-psd-tools imagemagick pngcheck ghostscript xvfb
        x11-apps python3-numpy python3-pil gimp locales openbox libopencv-dev pkg-config)
case ${1:-all} in
  -h | --help) usage; exit 0 ;;
  main) pkgs=("${main[@]}") ;;
  dialog) pkgs=("${main[@]}" "${dialog[@]}") ;;
  all) pkgs=("${main[@]}" "${dialog[@]}" "${checks[@]}") ;;
  *) { echo "deps.sh: unknown argument $1"; usage; } >&2; exit 2 ;;
esac
if [ $# -gt 1 ]; then
  { echo "deps.sh: one argument at most, not $#"; usage; } >&2
  exit 2
fi
# One query for all of them; a package dpkg does not know is missing too.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${pkgs[@]}" 2>/dev/null | awk '/ install ok installed$/ { print $1 }' || true)
missing=()
for p in "${pkgs[@]}"; do
  grep -qxF "$p" <<<"$installed" || missing+=("$p")
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
echo "deps.sh: installing the Debian packages that are missing (the first run takes some minutes):"
echo "  ${missing[*]}"
echo "deps.sh: updating the package lists (apt-get update)"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# apt-get's own words are cut to a line a package: how many it installs, the download, then each
# package as it is set up. What it and the packages' scripts say on stderr goes to a log: its
# errors and warnings are shown when it ends, and the whole log when it fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends -o Dpkg::Use-Pty=0 "${missing[@]}" 2>"$log" |
  awk '
    / newly installed, / { total = $1 + $3; print "deps.sh: " total " packages with what they need"; fflush() }
    /^Need to get / { sub(/^Need to get /, ""); sub(/ of archives\.$/, ""); print "deps.sh: downloading " $0; fflush() }
    /^Fetched / { print "deps.sh: " $0; fflush() }
    /^Setting up / { done++; printf "deps.sh: [%d/%d] setting up %s\n", done, total, $3; fflush() }
  ' || status=$?
grep -E '^(E|W): |^dpkg: (error|warning)' "$log" >&2 || true
if [ "$status" -ne 0 ]; then
  echo "deps.sh: apt-get failed (status $status); what it said on stderr:" >&2
  cat "$log" >&2
  exit "$status"
fi
echo "deps.sh: done"
