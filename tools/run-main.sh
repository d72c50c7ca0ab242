#!/usr/bin/env bash
# usage: tools/run-main.sh [IMAGE.png [LAYOUT]]
#
# Builds what the main job needs (the filter module, the test host, the skin package, the help
# document and makesample: the target main_job; tools/run-tests.sh builds the rest) and runs it:
# the test host runs the filter without its dialog on the picture (samples/sample.png), the
# filter replays the layout (samples/sample.layout, handed over as the host's scripting
# parameters), cuts the picture into pieces, renders every piece with its effects and writes the
# result back; the host saves it as build/main-job/out.png. It installs the Debian packages it
# needs first (tools/deps.sh main).
#
# IMAGE.png: grey, RGB or RGBA (alpha becomes the layer's transparency); LAYOUT: a layout blob
# (a saved "last.data" or one written by build/bin/makesample). QW_BUILD_DIR names another build
# folder than build/. -h or --help prints this text.
if [ -z "${BASH_VERSION:-}" ]; then
  echo "run-main.sh is a bash script: run it as tools/run-main.sh or bash tools/run-main.sh" >&2
  exit 2
fi
set -euo pipefail
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
for word in "$@"; do
  case $word in
    -h | --help) usage; exit 0 ;;
    -*) { echo "run-main.sh: unknown option $word"; usage; } >&2; exit 2 ;;
  esac
done
if [ $# -gt 2 ]; then
  { echo "run-main.sh: at most two arguments (a picture and a layout), not $#"; usage; } >&2
  exit 2
fi
root=$(cd -P "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh" main
dir=${QW_BUILD_DIR:-$root/build}
"$root/tools/build.sh" "$dir" -- main_job

image=${1:-$root/samples/sample.png}
layout=${2:-$root/samples/sample.layout}
job=$dir/main-job
mkdir -p "$job/data"
"$dir/bin/qwhost" --module "$dir/bin/QWJigcrafter30.8bf" --input "$image" \
    --layout "$layout" --data-dir "$job/data" --output "$job/out.png"
echo
echo "The cut and rendered image: $job/out.png"
echo "Run it on your own picture and layout:"
echo "    tools/run-main.sh my-picture.png my-layout.data"
echo "The Splitter lines alone (Layout mode):"
echo "    tools/run-main.sh samples/sample.png samples/sample-lines.layout"
echo "New layouts: build/bin/makesample DIR [WIDTH HEIGHT COLUMNS ROWS]"
