#!/usr/bin/env bash
# The scripts of tools/ and every script the README names say how they are used: -h and --help
# print a usage text that names the script, at once and without building or installing anything;
# a word they do not take is refused with that text; started by sh instead of bash they say to
# run them with bash. The tools' scripts run from a copy of tools/ and .ci/ in a folder of their
# own, so that one that went on to build would find nothing to build there.
. "$(dirname "$0")/lib.sh"

tree=$work/tree
mkdir -p "$tree/tools" "$tree/.ci"
cp "$src"/tools/*.sh "$tree/tools/"
cp "$src/.ci/run" "$tree/.ci/"
before=$(cd "$tree" && find . | sort)
export QW_BUILD_DIR=$tree/build
unset DISPLAY
# The tools' scripts with the words each takes, and a word of each kind they refuse.
declare -A refused=(
    [tools/build.sh]="dir stray" [tools/deps.sh]="everything" [tools/fuzz.sh]="soon"
    [tools/run-dialog.sh]="--bogus" [tools/run-main.sh]="a.png b.layout third"
    [tools/run-tests.sh]="stray" [.ci/run]="stray"
)
for script in "${!refused[@]}"; do
    for word in --help -h; do
        expect "$script $word" 0 timeout 20 bash "$tree/$script" $word
        check "$script $word: its usage on stdout" grep -q "^usage: $script" "$work/out.txt"
    done
    expect "$script ${refused[$script]}: refused" 2 timeout 20 bash "$tree/$script" ${refused[$script]}
    check "$script ${refused[$script]}: said with the usage" grep -q "^usage: $script" "$work/err.txt"
    expect "sh $script: refused" 2 timeout 20 sh "$tree/$script"
    check "sh $script: says to run it with bash" grep -q "bash $script" "$work/err.txt"
done
check "every script of tools/ was tried" test "$(ls "$src"/tools/*.sh | wc -l)" = $((${#refused[@]} - 1))
check "nothing was built or made" test "$(cd "$tree" && find . | sort)" = "$before"

# The test scripts that the README names give their usage without the arguments ctest gives them.
for script in $(cd "$src" && ls $(grep -o 'tests/scripts/[A-Za-z_*]*\.sh' README.md | sort -u)); do
    expect "$script without arguments" 2 timeout 20 bash "$src/$script"
    check "$script: its usage" grep -q "^usage: $script SOURCE BUILD" "$work/err.txt"
done
exit $fail
