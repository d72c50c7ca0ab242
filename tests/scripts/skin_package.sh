#!/usr/bin/env bash
# The skin package the build compiled, read by an independent reader of the package format.
. "$(dirname "$0")/lib.sh"
check "the skin package" "$py" "$src/tests/scripts/skin_package.py" "$bin/bin/resource_jw30.qws4"
exit $fail
