#!/usr/bin/env bash
# qwhost runs the filter's windows: the About selector with a UI script that closes About (the
# host window disabled meanwhile), without one it says that nobody answered them, a script whose
# control does not exist fails with a clear message (said once) and an exit status of its own, a
# broken script is refused before the run, and About without the skin package shows its message
# (answered by the script) and ends cancelled.
. "$(dirname "$0")/lib.sh"
# run NAME STATUS SCRIPT [options...]: qwhost with the script, bounded in time, must exit STATUS.
run() {
    local name=$1 status=$2 script=$3
    shift 3
    expect "$name" "$status" timeout 120 "$host" --module "$module" --input "$src/samples/sample.png" \
        --ui-script "$script" "$@"
}

sed "s|@SCREEN@|$screens/qwhost_about.png|" "$src/tests/scripts/qwhost_dialog/about_close.uis" >"$work/about.uis"
run "About closes on a click" 0 "$work/about.uis" --selectors 0
check "About answered 0" grep -q "^selector 0: result 0" "$work/out.txt"
check "the host window was disabled while About ran, enabled after" \
    grep -q "^host window: disabled during the dialog, enabled after the run" "$work/out.txt"
check "the screenshot shows the screen" png "$screens/qwhost_about.png" 1366 768

# Headless without a script nobody answers the windows: the run says so; a run without windows
# does not.
expect "About without a script ends" 0 timeout 120 "$host" --module "$module" --input "$src/samples/sample.png" \
    --selectors 0
check "and says that nobody answered its windows" grep -q "nobody answered" "$work/err.txt"
expect "the main job runs without windows" 0 timeout 120 "$host" --module "$module" --input "$src/samples/sample.png" \
    --layout "$src/samples/sample.layout" --data-dir "$work/data"
check "and says nothing of them" test ! -s "$work/err.txt"

printf 'window About\nclick About About_Nowhere\nclick About 10,10\n' >"$work/unknown.uis"
run "an unknown control fails the script" 4 "$work/unknown.uis" --selectors 0
check "the failure names the line, the control and the window" \
    grep -q 'line 2 (click): no control "About_Nowhere" in window "About"' "$work/err.txt"
check "the failure is said once" test "$(grep -c 'About_Nowhere' "$work/err.txt")" = 1
check "the windows were closed as cancelled and the call ended" grep -q "^selector 0: result 0" "$work/out.txt"

printf 'window About\nclick Main Main_Apply\n' >"$work/nowindow.uis"
run "a window that is not open fails the script" 4 "$work/nowindow.uis" --selectors 0
check "the failure lists the open windows" grep -q 'no window "Main" is open (open: About)' "$work/err.txt"

printf 'window About\nclick About 10,10\nwait 100\n' >"$work/late.uis"
run "commands left when the windows are gone fail the script" 4 "$work/late.uis" --selectors 0
check "the failure names the command that could not run" grep -q "line 3 (wait)" "$work/err.txt"
check "that failure is said once" test "$(grep -c 'line 3 (wait)' "$work/err.txt")" = 1

printf 'window About\npress About 10,10\n' >"$work/broken.uis"
run "a broken script is refused before the run" 2 "$work/broken.uis" --selectors 0
check "the refusal names the line" grep -q 'line 2: unknown command "press"' "$work/err.txt"

# About without the skin package: the module alone in a folder.
mkdir -p "$work/bare"
cp "$module" "$work/bare/"
printf 'box "Cannot load the resource file." ok\n' >"$work/noskin.uis"
run "About without the skin package ends cancelled" 1 "$work/noskin.uis" --selectors 0 \
    --module "$work/bare/QWJigcrafter30.8bf"
check "and reports -128" grep -q "^selector 0: result -128" "$work/out.txt"
printf 'box "Something else" ok\n' >"$work/otherbox.uis"
run "a message box with another text fails the script" 4 "$work/otherbox.uis" --selectors 0 \
    --module "$work/bare/QWJigcrafter30.8bf"
check "the failure quotes the box" grep -q 'says "Cannot load the resource file.' "$work/err.txt"
exit $fail
