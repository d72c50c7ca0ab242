#!/usr/bin/env bash
# Ghostscript renders the knife-path files the tests write: the EPS file inks the engine's knives
# inside its bounding box, the Illustrator 3 file (after a stand-in prolog for its procedure sets)
# gives the same pixels.
. "$(dirname "$0")/lib.sh"
needs gs -- numpy
samples test_plugin_main 'KnifeSamples.*'
check "the knife-path files" "$py" "$src/tests/scripts/check_knife_files.py" "$work/out/knives"
exit $fail
