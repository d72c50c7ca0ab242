#!/usr/bin/env bash
# Independent readers check the PSD and PNG files the imaging tests write: psd-tools and
# ImageMagick for PSD, pngcheck and PIL for PNG.
. "$(dirname "$0")/lib.sh"
needs identify convert pngcheck -- psd_tools numpy PIL
samples test_framework_imaging 'PsdSamples.*:PngSamples.*'
check "the PSD files" "$py" "$src/tests/scripts/check_psd_files.py" "$work/out/psd"
check "the PNG files" "$py" "$src/tests/scripts/check_png_files.py" "$work/out/png"
exit $fail
