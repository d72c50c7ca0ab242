#!/usr/bin/env bash
# The skin package the build compiled, read by an independent reader of the package format.
# Usage: skin_package.sh <source dir> <build dir>
set -euo pipefail
build=${2:?build dir}
/usr/bin/python3 "${1:?source dir}/tests/scripts/skin_package.py" "$build/bin/resource_jw30.qws4"
