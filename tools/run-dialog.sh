#!/usr/bin/env bash
# Builds what the dialog needs (as tools/run-main.sh does) and runs the filter with its dialog for
# a person, on X11: the test host shows
# the picture in a window of its own and calls the filter, whose windows open over it (the host
# window is disabled meanwhile); when the filter returns, the host window shows the result until
# you close it.
#
#   tools/run-dialog.sh [PICTURE.png [SELECTORS]]
#
# SELECTORS: the host's selector sequence (default 1,2,3,5: the filter with its dialog; 0 shows
# the About window). The picture defaults to samples/sample.png; the filter keeps its settings
# and last layout in build/dialog-job/data, and the result goes to build/dialog-job/out.png
# (QW_BUILD_DIR names another build folder than build/).
set -euo pipefail
root=$(cd -P "$(dirname "$0")/.." && pwd)
# Said before anything is installed or built.
if [ -z "${DISPLAY:-}" ]; then
  echo "run-dialog.sh needs an X11 display (DISPLAY is not set)" >&2
  exit 2
fi
"$root/tools/deps.sh" dialog
dir=${QW_BUILD_DIR:-$root/build}
"$root/tools/build.sh" "$dir" -- main_job

image=${1:-$root/samples/sample.png}
selectors=${2:-1,2,3,5}
job=$dir/dialog-job
mkdir -p "$job/data"
"$dir/bin/qwhost" --module "$dir/bin/QWJigcrafter30.8bf" --input "$image" \
    --data-dir "$job/data" --selectors "$selectors" --play 1 --ui x11 --output "$job/out.png"
