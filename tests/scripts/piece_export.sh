#!/usr/bin/env bash
# Independent readers check the files of the piece export that the tests write: psd-tools,
# ImageMagick and GIMP (batch mode) for the layered PSD files, pngcheck and PIL for the PNG files.
. "$(dirname "$0")/lib.sh"
needs identify /usr/bin/convert pngcheck gimp-console -- psd_tools numpy PIL
samples test_plugin_main 'PieceExportSamples.*'
check "the exported files" "$py" "$src/tests/scripts/check_export_files.py" "$work/out/export" \
    "$(command -v gimp-console)"
exit $fail
