#!/usr/bin/env bash
# What a release carries besides the packages. Signing: the build's files carry a signature exactly
# when it was configured with a certificate; with a throwaway self-signed one, tools/sign signs the
# programs and make-package makes and signs both packages, as the build does, and each verifies;
# a wrong password, no password or no certificate fail naming it and change nothing. The relink
# kit: relinked with the same libraries, both programs are the build's but for the link time; a
# folder with no build makes no kit.
#   release.sh BUILD_DIR SOURCE_DIR SIGNED(ON|OFF)
set -euo pipefail
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd) signed=$3
version=$(sed -n 's/^project(Kestrine VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
shipped=("$build/kestrine.exe" "$build/src/archive/kestrine-zip.exe"
         "$build/kestrine-$version-x64.msi" "$build/kestrine-$version-x64-per-user.msi")
work=$(mktemp -d /tmp/kestrine-release.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT COMMAND...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
signature() { rm -f "$work/sig.der" && osslsigncode extract-signature -in "$1" -out "$work/sig.der" >/dev/null 2>&1; }
unsigned() { ! signature "$1"; }
verifies() {
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1 | grep -q 'digest algorithm *: SHA256'
}
for file in "${shipped[@]}"; do
    check "$(basename "$file") is signed exactly when the build has a certificate ($signed)" \
        $([ "$signed" = ON ] && echo signature || echo unsigned) "$file"
done

password='Throw away %1 "pass"'
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Kestrine signing test" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" \
    -passout fd:3 3<<<"$password"
mkdir "$work/files" "$work/before"
cp "$build"/installer/files/* "$work/files/"
programs=("$work/kestrine.exe" "$work/kestrine-zip.exe")
for i in 0 1; do  # as the link made them
    osslsigncode remove-signature -in "${shipped[$i]}" -out "${programs[$i]}" >/dev/null 2>&1 ||
        cp "${shipped[$i]}" "${programs[$i]}"
done
cp "${programs[@]}" "$work/before/"
unchanged() {
    cmp -s "${programs[0]}" "$work/before/kestrine.exe" && cmp -s "${programs[1]}" "$work/before/kestrine-zip.exe" &&
        test -z "$(find "$work" -name '*.signing' -o -name '*.making' -o -name '*.idt')"
}
refused() {  # refused WHY COMMAND...: fails naming WHY and changes nothing
    local why=$1
    shift
    ! "$@" 2>"$work/error.txt" && grep -q "$why" "$work/error.txt" && unchanged
}
sign=("$source/tools/sign" --pfx "$work/test.pfx" "${programs[@]}")
check "a wrong password" refused "could not be signed" env KESTRINE_SIGN_PASSWORD=wrong "${sign[@]}"
check "no password" refused "KESTRINE_SIGN_PASSWORD is not set" env -u KESTRINE_SIGN_PASSWORD "${sign[@]}"
check "no certificate" refused "cannot read the certificate" env KESTRINE_SIGN_PASSWORD="$password" \
    "$source/tools/sign" --pfx "$work/none.pfx" "${programs[@]}"
check "a package with a wrong password is not made" refused "could not be signed" \
    env KESTRINE_SIGN_PASSWORD=wrong "$source/installer/make-package" "$work/files" "$version" perUser \
    "$work/perUser.msi" --pfx "$work/test.pfx"
test ! -e "$work/perUser.msi" || check "the package refused is not there" false

export KESTRINE_SIGN_PASSWORD=$password
check "tools/sign signs both programs" "${sign[@]}"
for scope in perMachine perUser; do
    check "make-package makes and signs the $scope package" "$source/installer/make-package" \
        "$work/files" "$version" $scope "$work/$scope.msi" --pfx "$work/test.pfx"
done
for file in "${programs[@]}" "$work/perMachine.msi" "$work/perUser.msi"; do
    check "$(basename "$file")'s signature verifies (SHA-256)" verifies "$file"
done

same_but_link_time() {  # RELINKED BUILT: equal but the COFF TimeDateStamp and the CheckSum
    python3 - "$1" "$2" <<'PY'
import struct, sys
a, b = (open(p, "rb").read() for p in sys.argv[1:3])
if len(b) - len(a) in range(1, 8) and not any(b[len(a):]):
    b = b[:len(a)]  # signing pads to 8 bytes, and taking the signature off keeps the padding
pe = struct.unpack_from("<I", a, 0x3C)[0]
fields = (pe + 8, pe + 24 + 64)
differ = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
sys.exit(0 if len(a) == len(b) and all(any(f <= i < f + 4 for f in fields) for i in differ) else 1)
PY
}
check "the relink kit is made" "$source/tools/relink-kit" --no-sources --out "$work/kit.zip" "$build"
(cd "$work" && unzip -q kit.zip)
check "it relinks both programs with the given libgcrypt and libgpg-error" \
    env GCRYPT=/usr/x86_64-w64-mingw32/lib/libgcrypt.a GPGERROR=/usr/x86_64-w64-mingw32/lib/libgpg-error.a \
    OUT="$work/relinked" "$work/kestrine-$version-relink-kit/relink.sh"
for name in kestrine.exe kestrine-zip.exe; do
    check "$name relinked is the build's" same_but_link_time "$work/relinked/$name" "$work/before/$name"
done
mkdir "$work/no-build"
check "a folder with no build makes no kit" bash -c '! "$0" --no-sources --out "$1/none.zip" "$1/no-build" \
    2>"$1/err" && grep -q "no Windows build" "$1/err" && test ! -e "$1/none.zip" -a -z "$(ls -A "$1/no-build")$(find "$1" -name ".relink-kit.*")"' \
    "$source/tools/relink-kit" "$work"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
