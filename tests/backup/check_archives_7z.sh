#!/usr/bin/env bash
# Checks with 7z, outside Kestrine, the archives that the backup tests of this build left behind:
# a protected one opens only with its password, one with a data file above 4 GiB tests whole.
set -euo pipefail
dir=$1/bak-artifacts
status=0
found=0
check() {
    if "$@" </dev/null >/dev/null 2>&1; then echo "ok: $*"; else echo "FAILED: $*"; status=1; fi
}
refuse() {
    if "$@" </dev/null >/dev/null 2>&1; then echo "FAILED (accepted): $*"; status=1; else echo "ok (refused): $*"; fi
}
if [ -f "$dir/protected.ksx" ]; then
    found=1
    check 7z t "-ps3cret pass" "$dir/protected.ksx"
    refuse 7z t "-pwrong" "$dir/protected.ksx"
fi
if [ -f "$dir/large.ksx" ]; then
    found=1
    check 7z t "$dir/large.ksx"
    size=$(7z l -slt "$dir/large.ksx" a.pst | sed -n 's/^Size = //p' | head -1)
    [ "$size" = "$(( (4 << 30) + 4096 + 25 ))" ] && echo "ok: a.pst size $size" || { echo "FAILED: a.pst size $size"; status=1; }
fi
for f in "$dir"/auto-*.ksx; do
    [ -e "$f" ] || continue
    found=1
    check 7z t "-pold pass" "$f"
done
[ "$found" = 1 ] || { echo "no archives in $dir"; exit 1; }
exit $status
