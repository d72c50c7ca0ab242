#!/usr/bin/env bash
# Every code block of the README that is a command or a script runs as printed and succeeds
# (tests/scripts/readme_blocks.py says how the blocks are told apart and run).
exec /usr/bin/python3 "$1/tests/scripts/readme_blocks.py" "$1" "$2"
