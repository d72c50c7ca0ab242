#!/usr/bin/env bash
# usage: tools/run-tests.sh [-DNAME=VALUE...]
#
# Builds everything and runs every test, with a private Xvfb for the X11 tests; it installs the
# Debian packages it needs first (tools/deps.sh). The words starting with -D are cmake options
# for the build, as .ci/run builds with the sanitizers:
#   tools/run-tests.sh -DQW_SANITIZE=ON -DQW_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
# QW_BUILD_DIR names another build folder than build/. -h or --help prints this text.
if [ -z "${BASH_VERSION:-}" ]; then
  echo "run-tests.sh is a bash script: run it as tools/run-tests.sh or bash tools/run-tests.sh" >&2
  exit 2
fi
set -euo pipefail
usage() { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; }
for word in "$@"; do
  case $word in
    -h | --help) usage; exit 0 ;;
    -D?*) ;;
    *) { echo "run-tests.sh: unknown argument $word (cmake options start with -D)"; usage; } >&2; exit 2 ;;
  esac
done
root=$(cd -P "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
dir=${QW_BUILD_DIR:-$root/build}
"$root/tools/build.sh" "$dir" "$@"
cd "$dir"
# The tests that run the README's commands know they run inside this one.
QW_IN_RUN_TESTS=$(pwd -P)
export QW_IN_RUN_TESTS

# A private X server for the X11 tests (a free display number), stopped when the tests end, also
# on failure. Without one the X11 tests skip; CI sets QW_REQUIRE_X11 so that they fail instead.
if [ -z "${QW_TEST_DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -f "$display_file"' EXIT
  for _ in $(seq 200); do
    [ -s "$display_file" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ -s "$display_file" ]; then
    QW_TEST_DISPLAY=":$(head -n1 "$display_file")"
    export QW_TEST_DISPLAY
  else
    echo "Xvfb did not start: the X11 tests will be skipped"
  fi
fi
ctest --output-on-failure -j"$(nproc)" --timeout 600
