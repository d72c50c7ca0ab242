#!/usr/bin/env bash
# An independent reader checks the knife-shape files, shape sets, the library and the drawings
# the windows tests write; Ghostscript renders the drawings. The files are written in a locale
# whose decimal point is a comma.
. "$(dirname "$0")/lib.sh"
needs gs localedef -- numpy PIL
# localedef builds the locale from the sources of the "locales" package (tools/deps.sh installs
# it). Its exit status says whether it did: 0, or 1 with warnings when the files were still
# written; without the sources it fails and leaves an empty folder behind.
status=0
localedef -i de_DE -f UTF-8 "$work/de_DE.UTF-8" >"$work/localedef.txt" 2>&1 || status=$?
if [ "$status" -gt 1 ]; then
    echo "cannot build the locale de_DE.UTF-8 (decimal comma) with localedef (exit status $status);"
    echo "its sources come with the Debian package \"locales\" (tools/deps.sh installs it):"
    cat "$work/localedef.txt"
    exit 1
fi
samples test_plugin_windows 'ShapeSamples.*' LOCPATH="$work" LC_ALL=de_DE.UTF-8
check "the shape files" "$py" "$src/tests/scripts/shape_files.py" "$work/out/shapes" "$src" 1
exit $fail
