#!/usr/bin/env bash
# usage: tools/build.sh [BUILD-DIR] [-DNAME=VALUE...] [-- TARGET...]
#
# Configures (cmake, Ninja, warnings as errors) and builds everything in BUILD-DIR (default
# build/), or the targets named after "--" and what they need. The words starting with -D are
# cmake options (given later than -DQW_WERROR=ON, they win). It installs nothing: tools/deps.sh
# does. -h or --help prints this text.
if [ -z "${BASH_VERSION:-}" ]; then
  echo "build.sh is a bash script: run it as tools/build.sh or bash tools/build.sh" >&2
  exit 2
fi
set -euo pipefail
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
root=$(cd -P "$(dirname "$0")/.." && pwd)
dir=$root/build
if [ $# -gt 0 ]; then
  case $1 in
    -*) ;;
    "") shift ;;
    *) dir=$1; shift ;;
  esac
fi
options=()
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --) shift; targets=("$@"); break ;;
    -h | --help) usage; exit 0 ;;
    -D?*) options+=("$1") ;;
    *) { echo "build.sh: unknown argument $1 (cmake options start with -D, targets follow --)"; usage; } >&2; exit 2 ;;
  esac
  shift
done
# Development and CI builds treat warnings as errors (options given later still win).
cmake -S "$root" -B "$dir" -G Ninja -DQW_WERROR=ON "${options[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" ${targets[@]:+--target "${targets[@]}"}
