#!/usr/bin/env bash
# Builds what the main job needs (the filter module, the test host, the skin package, the help
# document and makesample: the target main_job; tools/run-tests.sh builds the rest) and runs it:
# the test host runs the filter without its dialog on the sample picture, the filter replays the
# sample layout (handed over as the host's scripting parameters), cuts the picture into pieces,
# renders every piece with its effects and writes the result back; the host saves it as a PNG.
#
#   tools/run-main.sh [IMAGE.png [LAYOUT]]
#
# IMAGE.png: grey, RGB or RGBA (alpha becomes the layer's transparency); LAYOUT: a layout blob
# (a saved "last.data" or one written by build/bin/makesample). The result goes to
# build/main-job/out.png (QW_BUILD_DIR names another build folder than build/).
set -euo pipefail
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
