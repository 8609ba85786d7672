#!/usr/bin/env bash
# The README's first command on programs the suite has built: tools/demo must show the archive the
# run wrote (its listing, a passing check with the password, its manifest) and the run's log, and
# exit 0. Skips when the native kestrine-zip has not been built (tools/test --windows alone).
#   demo_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
zip_tool=$source/build/native/src/archive/kestrine-zip
if [ ! -x "$zip_tool" ]; then
    echo "SKIP: no native kestrine-zip in $source/build/native"
    exit 77
fi
work=$build/demo-test
output=$work.out
rm -rf "$work"
KESTRINE_DEMO_EXE=$build/kestrine.exe KESTRINE_DEMO_ZIP=$zip_tool KESTRINE_DEMO_DIR=$work \
    timeout 600 "$source/tools/demo" >"$output" 2>&1
status=$?
cat "$output"
failures=0
expect() {  # expect TEXT: the demo printed it
    grep -qF -- "$1" "$output" || { echo "FAILED: the demo did not print: $1"; failures=$((failures + 1)); }
}
[ "$status" -eq 0 ] || { echo "FAILED: the demo exited with $status"; failures=$((failures + 1)); }
expect "== archive C:\\Backup\\kestrine-Outlook-"
expect "(every entry checked with the password: ok)"
expect "BackupItem=11111111111"
expect "Backup Profile Outlook Data was Completed!"
if grep -qF "no archive was written" "$output"; then
    echo "FAILED: the demo found no archive"
    failures=$((failures + 1))
fi
rm -rf "$work"
[ "$failures" -eq 0 ] && echo "demo: ok"
exit $((failures > 0))
