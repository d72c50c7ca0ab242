#!/usr/bin/env bash
# usage: tools/run-dialog.sh [PICTURE.png [SELECTORS]]
#
# Builds what the dialog needs (as tools/run-main.sh does) and runs the filter with its dialog for
# a person, on X11 (DISPLAY must be set): the test host shows the picture in a window of its own
# and calls the filter, whose windows open over it (the host window is disabled meanwhile); when
# the filter returns, the host window shows the result until you close it.
#
# SELECTORS: the host's selector sequence (default 1,2,3,5: the filter with its dialog; 0 shows
# the About window). The picture defaults to samples/sample.png; the filter keeps its settings
# and last layout in build/dialog-job/data, and the result goes to build/dialog-job/out.png
# (QW_BUILD_DIR names another build folder than build/). -h or --help prints this text.
if [ -z "${BASH_VERSION:-}" ]; then
  echo "run-dialog.sh is a bash script: run it as tools/run-dialog.sh or bash tools/run-dialog.sh" >&2
  exit 2
fi
set -euo pipefail
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
for word in "$@"; do
  case $word in
    -h | --help) usage; exit 0 ;;
    -*) { echo "run-dialog.sh: unknown option $word"; usage; } >&2; exit 2 ;;
  esac
done
if [ $# -gt 2 ]; then
  { echo "run-dialog.sh: at most two arguments (a picture and the selectors), not $#"; usage; } >&2
  exit 2
fi
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
