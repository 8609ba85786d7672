#!/usr/bin/env bash
# Checks with 7z, outside Kestrine, the archives that the backup tests left behind: the protected
# one opens only with its password, and the one with a data file above 4 GiB tests whole.
set -euo pipefail
dir=$1/bak-artifacts
status=0
check() {
    if "$@" </dev/null >/dev/null 2>&1; then echo "ok: $*"; else echo "FAILED: $*"; status=1; fi
}
refuse() {
    if "$@" </dev/null >/dev/null 2>&1; then echo "FAILED (accepted): $*"; status=1; else echo "ok (refused): $*"; fi
}
[ -f "$dir/protected.ksx" ] || { echo "missing $dir/protected.ksx"; exit 1; }
check 7z t "-ps3cret pass" "$dir/protected.ksx"
refuse 7z t "-pwrong" "$dir/protected.ksx"
if [ -f "$dir/large.ksx" ]; then
    check 7z t "$dir/large.ksx"
    size=$(7z l -slt "$dir/large.ksx" a.pst | sed -n 's/^Size = //p' | head -1)
    [ "$size" = "$(( (4 << 30) + 4096 + 25 ))" ] && echo "ok: a.pst size $size" || { echo "FAILED: a.pst size $size"; status=1; }
else
    echo "missing $dir/large.ksx"
    status=1
fi
for f in "$dir"/auto-*.ksx; do
    [ -e "$f" ] || continue
    check 7z t "-pauto pass" "$f"
done
exit $status
