"""What the checks of the files the tests wrote share: each file of a kind in the folder is checked
against the description written beside it (the same name with ".json"); the problems are printed
and make the exit status 1, as does a folder without such files."""
import json
import sys
from pathlib import Path


def check_folder(folder, suffix, kind, check, summary=lambda want: ""):
    """check(path, want, errors) appends "NAME: problem" lines; summary(want) adds to each
    "checked NAME" line."""
    folder = Path(folder)
    files = sorted(folder.glob("*" + suffix))
    if not files:
        print("no %s files in" % kind, folder)
        return 1
    errors = []
    for f in files:
        want = json.loads(f.with_suffix(".json").read_text(encoding="utf-8"))
        check(f, want, errors)
        print(("checked %s %s" % (f.name, summary(want))).rstrip())
    for e in errors:
        print("FAIL", e)
    return 1 if errors else 0


def main(suffix, kind, check, summary=lambda want: ""):
    sys.exit(check_folder(sys.argv[1], suffix, kind, check, summary))
