#!/usr/bin/env python3
"""Runs the code blocks of a README as a reader would: each block fenced as ```sh is a command or
script that must run as printed, from the top of the checkout, and succeed; a block fenced as
```text only shows what something looks like and is not run; any other block is an error (an
indented block, or a fence with another or no kind), so that no command goes untested.

Usage: readme_blocks.py SOURCE BUILD [README]

The blocks run in a folder that shows the checkout with BUILD as its "build" folder (so that
"build/bin/qwhost" is the build under test) and QW_BUILD_DIR naming BUILD for the scripts. Where a
block needs a person, a UI script named by QW_UI_SCRIPT plays one on the tests' X11 display
(QW_TEST_DISPLAY; without it those blocks are skipped, and fail under QW_REQUIRE_X11). The block
"tools/run-tests.sh" runs the test run that runs this check: inside it (QW_IN_RUN_TESTS names
BUILD) it holds; outside it is not run again."""
import fcntl
import os
import re
import subprocess
import sys
import tempfile
import time

# What a person does in the windows of a block that waits for one: cut the puzzle the Cutter
# proposes and apply it.
PERSON = {
    "tools/run-dialog.sh": "window Main\nwindow Cutter\nclick Cutter Cutter_Cut\nno-window Cutter\n"
                           "click Main Main_Apply\n",
}
# What a block promises beyond its exit status: files it writes (below the checkout's top).
WRITES = {
    "tools/run-main.sh": ["build/main-job/out.png"],
    "tools/run-dialog.sh": ["build/dialog-job/out.png"],
}


def blocks(text):
    """The README's code blocks: (line, kind, text); kind None for an indented block."""
    found, lines, i = [], text.split("\n"), 0
    blank_before = True
    while i < len(lines):
        line = lines[i]
        fence = re.match(r"^(```+|~~~+)\s*(\S*)", line)
        if fence:
            start, body = i + 1, []
            i += 1
            while i < len(lines) and not lines[i].startswith(fence.group(1)):
                body.append(lines[i])
                i += 1
            if i == len(lines):
                sys.exit(f"README line {start}: a fenced block is not closed")
            found.append((start, fence.group(2), "\n".join(body) + "\n"))
            i += 1
            blank_before = False
            continue
        if blank_before and re.match(r"^(    |\t)\S", line):
            start, body = i + 1, []
            while i < len(lines) and (re.match(r"^(    |\t)", lines[i]) or not lines[i].strip()):
                body.append(lines[i])
                i += 1
            found.append((start, None, "\n".join(body).strip() + "\n"))
            blank_before = True
            continue
        blank_before = not line.strip()
        i += 1
    return found


def mirror(src, build):
    """A folder that shows the checkout, with build as its build folder."""
    top = tempfile.mkdtemp(prefix="readme-")
    for name in os.listdir(src):
        if name == ".git" or name == "build" or name.startswith("build-"):
            continue
        os.symlink(os.path.join(src, name), os.path.join(top, name))
    os.symlink(build, os.path.join(top, "build"))
    return top


def main():
    src, build = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    readme = sys.argv[3] if len(sys.argv) > 3 else os.path.join(src, "README.md")
    top = mirror(src, build)
    failed = ran = 0
    for line, kind, body in blocks(open(readme, encoding="utf-8").read()):
        command = body.strip()
        name = f"README line {line}: {command.splitlines()[0] if command else '(empty)'}"
        if kind == "text":
            print(f"shown only: {name}")
            continue
        if kind != "sh":
            print(f"FAILED: {name}: a block is fenced as ```sh (a command or script, run by this "
                  f"test) or ```text (shown only), not {'indented' if kind is None else repr(kind)}")
            failed += 1
            continue
        if command == "tools/run-tests.sh":
            inside = os.environ.get("QW_IN_RUN_TESTS")
            if inside and os.path.realpath(inside) == build:
                print(f"ok: {name} (this test runs inside it)")
                ran += 1
            else:
                print(f"not run: {name} (it runs this test; it is checked when the tests run through it)")
            continue
        env = dict(os.environ, QW_BUILD_DIR=build)
        lock = None
        if command in PERSON:
            display = os.environ.get("QW_TEST_DISPLAY")
            if not display:
                print(f"{'FAILED' if os.environ.get('QW_REQUIRE_X11') else 'skipped'}: {name}: "
                      "no X11 test display (QW_TEST_DISPLAY is set by tools/run-tests.sh)")
                failed += bool(os.environ.get("QW_REQUIRE_X11"))
                continue
            person = os.path.join(top, "person.uis")
            with open(person, "w") as f:
                f.write(PERSON[command])
            env.update(DISPLAY=display, QW_UI_SCRIPT=person)
            # One X11 test at a time on the display (the lock the other X11 tests take).
            lock = open("/tmp/qw-x11-test" + re.sub(r"[^0-9A-Za-z]", "_", display) + ".lock", "w")
            fcntl.flock(lock, fcntl.LOCK_EX)
        for path in WRITES.get(command, []):
            if os.path.exists(os.path.join(top, path)):
                os.remove(os.path.join(top, path))
        started = time.monotonic()
        run = subprocess.run(["bash", "-e", "-c", body], cwd=top, env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, text=True, timeout=900)
        if lock:
            lock.close()
        missing = [p for p in WRITES.get(command, []) if not os.path.exists(os.path.join(top, p))]
        if run.returncode != 0 or missing:
            print(f"FAILED: {name}: exit status {run.returncode}" +
                  (f", {', '.join(missing)} not written" if missing else ""))
            print(run.stdout)
            failed += 1
        else:
            print(f"ok: {name} ({time.monotonic() - started:.0f} s)")
            ran += 1
    subprocess.run(["rm", "-rf", top])
    print(f"{ran} blocks ran, {failed} failed")
    return 1 if failed or not ran else 0


if __name__ == "__main__":
    sys.exit(main())
