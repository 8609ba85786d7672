#!/usr/bin/env bash
# The installer packages as a standard user meets them: a throwaway Linux user (root ignores file
# permissions) with a Wine prefix of its own installs kestrine-<version>-x64.msi, the program's
# folder is then made read-only to it, and the installed program backs up unattended through the
# weekly task's command line and backs up, opens and restores through its windows. A newer package
# then replaces it, and uninstalling removes the program but none of the user's files. Then the
# same user installs kestrine-<version>-x64-per-user.msi into its own programs folder, backs up
# from it, replaces it with a rebuild of the same version and uninstalls it. Prints what is left.
# Between them, with an Outlook 2016 registered, the installed program backs up the user's own
# stationery unattended and restores it through its windows, writing nothing the machine owns.
# Every Wine step is bounded in time.
#   standard_user.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
msi=$(ls "$build"/kestrine-*-x64.msi 2>/dev/null | head -n 1)
user_msi=${msi%.msi}-per-user.msi
[ -n "$msi" ] && [ -f "$user_msi" ] || { echo "no installer packages in $build"; exit 1; }
if [ "$(id -u)" -ne 0 ] || ! command -v useradd >/dev/null; then
    echo "SKIP: making a throwaway user needs root"
    exit 77
fi

user=stduser$$
home=$(mktemp -d /tmp/kestrine-su.XXXXXX)
prefix=$home/prefix
drive=$prefix/drive_c
program="$drive/Program Files/Kestrine"
failures=0
# A UTF-8 locale, so that Wine reads the names of the files this script writes as they are.
as_user() {
    timeout "${KESTRINE_STEP_TIMEOUT:-300}" runuser -u "$user" -- env -i HOME="$home" PATH="$PATH" \
        USER="$user" LOGNAME="$user" LANG=C.UTF-8 WINEPREFIX="$prefix" WINEDEBUG=-all \
        WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"
}
cleanup() {
    as_user wineserver -k >/dev/null 2>&1 || true
    userdel "$user" >/dev/null 2>&1 || true
    rm -rf "$home"
}
trap cleanup EXIT
check() {  # check WHAT COMMAND...: prints ok or FAILED
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
wine_path() { echo "Z:$1" | sed 's|/|\\|g'; }

useradd -M -d "$home" -s /bin/bash "$user"
chown "$user" "$home"
chmod 755 "$home"
cp "$msi" "$home/kestrine.msi"
chmod 644 "$home/kestrine.msi"
as_user "$source/tools/wine-prefix" reset "$prefix"
profile=$(as_user wine cmd /c echo %USERPROFILE% 2>/dev/null | tr -d '\r')
profile_dir=$drive/users/$user

echo "== install as $user"
check "msiexec /i /qn succeeds" as_user wine msiexec /i "$(wine_path "$home/kestrine.msi")" /qn
check "kestrine.exe, help.chm, the licence and the notices in Program Files\\Kestrine" \
    test -f "$program/kestrine.exe" -a -f "$program/help.chm" -a -f "$program/LICENSE.txt" \
    -a -f "$program/THIRD-PARTY-NOTICES.txt"
check "the notices name every library linked in" \
    bash -c "for l in libdeflate zlib Libgcrypt libgpg-error libstdc++ winpthreads 'Runtime Library Exception'; do
                 grep -qF \"\$l\" '$program/THIRD-PARTY-NOTICES.txt' || exit 1; done"
check "a Start-menu shortcut" test -n "$(find "$drive" -iname 'Kestrine.lnk' | head -n 1)"
arp=$(as_user wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r')
version=$(basename "$msi" | sed 's/kestrine-\(.*\)-x64.msi/\1/')
grep -iE 'DisplayName|DisplayVersion|Publisher|DisplayIcon' <<<"$arp" | grep -v '^ *$' || true
check "Apps & Features: name, version and publisher" \
    bash -c "grep -q 'DisplayName.*Kestrine' <<<\"\$0\" && grep -q 'DisplayVersion.*$version' <<<\"\$0\" &&
             grep -q 'Publisher.*Kestrine' <<<\"\$0\"" "$arp"
# Apps & Features takes the icon from the product's ProductIcon, which ARPPRODUCTICON sets.
check "Apps & Features: the icon" bash -c "grep -q 'ProductIcon' <<<\"\$0\"" \
    "$(as_user wine reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r')"

# Program Files is not the user's to write: the folder goes to root, as it belongs to the
# administrators on Windows.
chown -R root:root "$program"
chmod -R u+rwX,go+rX,go-w "$program"
check "the program's folder is read-only to the user" \
    bash -c "! runuser -u '$user' -- touch '$program/probe' 2>/dev/null"
before=$(ls -la "$program")

echo "== the window: backup, open, restore and settings"
check "backup, open and restore through the installed program's windows" \
    as_user KESTRINE_PROGRAM='C:\Program Files\Kestrine\kestrine.exe' \
    KESTRINE_SOURCE_DIR="$source" KESTRINE_BINARY_DIR="$build" \
    wine "$(wine_path "$build/tests/ui/program_round_trip_win_test.exe")"

echo "== the weekly task's command line"
as_user wine regedit /S "$(wine_path "$source/sample/registry/outlook-profile.reg")"
cp -r "$source/sample/drive_c/Mail" "$drive/Mail"
chown -R "$user" "$drive/Mail"
archive="$profile\\Documents\\Kestrine Backups\\weekly.ksx"
password='Week%ly pass'
output=$(as_user wine "$(wine_path "$build/tests/install/run_as_task.exe")" \
    'C:\Program Files\Kestrine\kestrine.exe' Outlook 110000000 "$password" "$archive" 2>&1 |
    tr -d '\r') || true
echo "$output"
tail -n 6 "$profile_dir/AppData/Local/Kestrine/brlog.dat" | tr -d '\r' || true
check "the unattended run succeeds" grep -q '^exit code: 0$' <<<"$output"
check "its command line holds the password protected, not in clear" \
    bash -c "grep -q 'ps=\"KP1-' <<<\"\$0\" && ! grep -qF \"\$1\" <<<\"\$0\"" "$output" "$password"
# With no choice stored, each scheduled run writes a new file with the date and time in its name.
weekly=$(ls "$profile_dir/Documents/Kestrine Backups/"weekly-*.ksx 2>/dev/null | head -1)
check "the archive is in Documents\\Kestrine Backups and opens with the password" \
    bash -c "7z t -p'$password' '$weekly' >/dev/null"
log="$profile_dir/AppData/Local/Kestrine/brlog.dat"
check "the log is in the user's local application data folder" \
    grep -q 'Start Auto Backup Profile Outlook Data' "$log"
check "the log holds no password" bash -c "! grep -qF \"\$0\" '$log'" "$password"
check "the program's folder is as it was" test "$before" = "$(ls -la "$program")"

echo "== Outlook 2016's stationery: backed up and restored in the user's own folder"
# An Outlook 2016 as Office puts it into Program Files, its profile under Office's key, the stock
# stationery in the shared files and the user's own in the roaming Microsoft\Stationery folder.
office="$drive/Program Files/Microsoft Office/root/Office16"
stock="$drive/Program Files/Common Files/Microsoft Shared/Stationery"
mkdir -p "$office" "$stock"
cp "$build/tests/outlook/olk_fake_program.exe" "$office/OUTLOOK.EXE"
printf '<html><body>stock</body></html>\r\n' >"$stock/Stock.htm"
shared="$drive/Program Files/Common Files/Microsoft Shared"
chown -R root:root "$drive/Program Files/Microsoft Office" "$shared"
chmod -R u+rwX,go+rX,go-w "$drive/Program Files/Microsoft Office" "$shared"
app_paths='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\OUTLOOK.EXE'
as_user wine reg add "$app_paths" /v Path /d 'C:\Program Files\Microsoft Office\root\Office16' /f \
    >/dev/null
as_user wine reg add 'HKLM\Software\Microsoft\Shared Tools' /v SharedFilesDir \
    /d 'C:\Program Files\Common Files\Microsoft Shared\' /f >/dev/null
sed 's|Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles|Office\\16.0\\Outlook\\Profiles|' \
    "$source/sample/registry/outlook-profile.reg" >"$home/outlook16.reg"
chmod 644 "$home/outlook16.reg"
as_user wine regedit /S "$(wine_path "$home/outlook16.reg")"
own_stationery="$profile_dir/AppData/Roaming/Microsoft/Stationery"
kept=$home/stationery-kept
as_user mkdir -p "$own_stationery"
printf '<html><body background="Kestrel.png">Grüße</body></html>\r\n' >"$own_stationery/Kestrel.htm"
head -c 3000 /dev/urandom >"$own_stationery/Kestrel.png"
printf 'Thank you!\r\n' >"$own_stationery/Grüße.txt"
chown "$user" "$own_stationery"/*
cp -a "$own_stationery" "$kept"
machine_files() {  # every file under Program Files with its owner, mode and checksum
    (cd "$drive" && find "Program Files" "Program Files (x86)" -printf '%p %u %m %s\n' \
        -type f -exec md5sum {} + | sort)
}
machine_keys() { as_user wine reg export 'HKLM\Software' "$(wine_path "$1")" /y >/dev/null 2>&1; }
files_before=$(machine_files)
machine_keys "$home/hklm-before.reg"
output=$(as_user wine "$(wine_path "$build/tests/install/run_as_task.exe")" \
    'C:\Program Files\Kestrine\kestrine.exe' Outlook 000100000 "$password" \
    "$profile\\Documents\\Kestrine Backups\\stationery.ksx" 2>&1 | tr -d '\r') || true
check "the unattended backup of Outlook 2016's stationery succeeds" \
    grep -q '^exit code: 0$' <<<"$output"
stationery=$(ls "$profile_dir/Documents/Kestrine Backups/"stationery-*.ksx 2>/dev/null | head -1)
entries=$(7z l -slt -p"$password" "$stationery" 2>/dev/null | sed -n 's/^Path = //p')
check "it holds the user's stationery and not the stock one" \
    bash -c "grep -qx 'Kestrel.png' <<<\"\$0\" && grep -qx 'Grüße.txt' <<<\"\$0\" &&
             ! grep -q 'Stock' <<<\"\$0\"" "$entries"
rm "$own_stationery/Kestrel.png"
printf 'changed\r\n' >"$own_stationery/Grüße.txt"
output=$(as_user wine "$(wine_path "$build/tests/install/restore_as_user.exe")" \
    'C:\Program Files\Kestrine\kestrine.exe' "$profile\\Documents\\Kestrine Backups\\${stationery##*/}" \
    "$password" Outlook 2>&1 | tr -d '\r') && restored=yes || restored=no
echo "$output"
tail -n 8 "$log" | tr -d '\r'
check "the restore through the windows completes" test "$restored" = yes
# The files it replaced stay beside them, set aside for "Undo Last Restore".
check "the stationery is back byte for byte" diff -r -x '~*.undo-*.tmp' "$kept" "$own_stationery"
check "the log says the stationery was restored and the restore completed" \
    bash -c "tail -n 8 '$log' | grep -q 'Restore Stationeries Succeeded!' &&
             tail -n 2 '$log' | grep -q ' Restore Data to Profile Outlook was Completed!'"
check "nothing under Program Files was written or changed" test "$files_before" = "$(machine_files)"
machine_keys "$home/hklm-after.reg"
check "nothing in the machine's registry was written or changed" \
    bash -c "test -s '$home/hklm-before.reg' && cmp -s '$home/hklm-before.reg' '$home/hklm-after.reg'"
# The later steps meet no Outlook again.
as_user wine reg delete "$app_paths" /f >/dev/null 2>&1 || true
as_user wine reg delete 'HKCU\Software\Microsoft\Office\16.0' /f >/dev/null 2>&1 || true
as_user wine reg delete 'HKLM\Software\Microsoft\Shared Tools' /v SharedFilesDir /f >/dev/null 2>&1 ||
    true

echo "== a newer package replaces it"
settings="$profile_dir/AppData/Local/Kestrine/settings.dat"
printf '[backup]\r\nbackupfolder=D:\\Mine\r\n' >"$settings"
chown "$user" "$settings"
chown -R "$user" "$program"  # the Windows Installer service works as SYSTEM
upgrade=$home/upgrade
mkdir -p "$upgrade"
cp "$build"/installer/files/* "$upgrade"/
"$source/installer/make-package" "$upgrade" 99.0.0 perMachine "$home/newer.msi"
chmod -R a+rX "$upgrade" "$home/newer.msi"
check "msiexec /i of the newer package succeeds" \
    as_user wine msiexec /i "$(wine_path "$home/newer.msi")" /qn
arp=$(as_user wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r')
check "one entry in Apps & Features, the newer one" \
    bash -c "test \$(grep -c 'DisplayName.*Kestrine' <<<\"\$0\") = 1 && grep -q 'DisplayVersion.*99.0.0' <<<\"\$0\"" "$arp"
check "the user's settings, log and backups are kept" \
    bash -c "grep -q 'D:.Mine' '$settings' && test -f '$log' -a -f '$weekly'"

echo "== uninstall"
check "msiexec /x /qn succeeds" as_user wine msiexec /x "$(wine_path "$home/newer.msi")" /qn
check "the program's files are gone" test ! -e "$program/kestrine.exe" -a ! -e "$program/help.chm"
check "the shortcut is gone" test -z "$(find "$drive" -iname 'Kestrine.lnk' | head -n 1)"
check "the user's settings, log and backups stay" test -f "$settings" -a -f "$log" -a -f "$weekly"
echo "What is left of Kestrine:"
(cd "$drive" && find . -ipath '*kestrine*' | sed 's|^\.|C:|' | sort)
# Wine may link the user's Documents to the home folder, which holds this test's own files too.
(cd "$profile_dir/Documents/" && find "Kestrine Backups" | sed "s|^|C:/users/$user/Documents/|" | sort)
as_user wine reg query 'HKLM\Software\Kestrine' >/dev/null 2>&1 && echo "HKLM\\Software\\Kestrine is left"


echo "== the package for one user: no elevation, the user's own programs folder"
own="$profile_dir/AppData/Local/Programs/Kestrine"
own_exe='C:\users\'"$user"'\AppData\Local\Programs\Kestrine\kestrine.exe'
install -m 644 "$user_msi" "$home/kestrine-user.msi"
uninstall_entries() {  # the Kestrine entries of Apps & Features, the machine's and the user's
    local hive count=0
    for hive in HKLM HKCU; do
        count=$((count + $(as_user wine reg query \
            "$hive\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s 2>/dev/null |
            tr -d '\r' | grep -c 'DisplayName.*Kestrine' || true)))
    done
    echo "$count"
}
recorded() {  # recorded HIVE: the install folder the package recorded there
    as_user wine reg query "$1\\Software\\Kestrine" /v InstallFolder 2>/dev/null | tr -d '\r' |
        sed -n 's/.*REG_SZ *//p'
}
# ALLUSERS=1 would make it a per-machine install with its files in one user's folder.
refused=yes
as_user wine msiexec /i "$(wine_path "$home/kestrine-user.msi")" ALLUSERS=1 /qn && refused=no
check "the per-user package refuses ALLUSERS=1 and installs nothing" \
    test "$refused" = yes -a ! -e "$own/kestrine.exe"
check "msiexec /i /qn of the per-user package succeeds" \
    as_user wine msiexec /i "$(wine_path "$home/kestrine-user.msi")" /qn
check "its files in %LOCALAPPDATA%\\Programs\\Kestrine, none in Program Files" \
    test -f "$own/kestrine.exe" -a -f "$own/help.chm" -a -f "$own/THIRD-PARTY-NOTICES.txt" \
    -a -f "$own/LICENSE.txt" -a ! -e "$program/kestrine.exe"
check "a shortcut in the user's own Start menu" \
    test -n "$(find "$profile_dir" -ipath '*Start Menu*' -iname 'Kestrine.lnk' | head -n 1)"
check "one entry in Apps & Features" test "$(uninstall_entries)" = 1
check "the install folder is recorded for the user, not the machine" \
    test "$(recorded HKCU)" = "${own_exe%kestrine.exe}" -a -z "$(recorded HKLM)"
log_lines=$(wc -l <"$log")
output=$(as_user wine "$(wine_path "$build/tests/install/run_as_task.exe")" \
    "$own_exe" Outlook 110000000 "$password" "$archive" 2>&1 | tr -d '\r') || true
echo "$output"
check "the installed copy backs up unattended" grep -q '^exit code: 0$' <<<"$output"
check "its settings and log stay in the user's folder, though the program's folder is writable" \
    test "$(wc -l <"$log")" -gt "$log_lines" -a ! -e "$own/brlog.dat" -a ! -e "$own/settings.dat" \
    -a "$(grep -c 'D:.Mine' "$settings")" = 1
rebuilt=$home/rebuilt
mkdir -p "$rebuilt"
cp "$build"/installer/files/* "$rebuilt"/
"$source/installer/make-package" "$rebuilt" "$version" perUser "$home/rebuilt-user.msi"
chmod -R a+rX "$rebuilt" "$home/rebuilt-user.msi"
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk '$1 == "ProductCode" { print $2 }'; }
check "a rebuild of the same version is a product of its own" \
    test "$(product_code "$home/rebuilt-user.msi")" != "$(product_code "$home/kestrine-user.msi")"
check "msiexec /i /qn of the rebuild succeeds" \
    as_user wine msiexec /i "$(wine_path "$home/rebuilt-user.msi")" /qn
check "the rebuild replaced it: one entry in Apps & Features" test "$(uninstall_entries)" = 1
check "msiexec /x /qn of the rebuild succeeds" \
    as_user wine msiexec /x "$(wine_path "$home/rebuilt-user.msi")" /qn
check "its files, shortcut, entry in Apps & Features and install record are gone" \
    test ! -e "$own/kestrine.exe" -a ! -e "$own/help.chm" -a -z "$(find "$profile_dir" -iname Kestrine.lnk)" \
    -a "$(uninstall_entries)" = 0 -a -z "$(recorded HKCU)"
check "the user's settings, log and backups stay" test -f "$settings" -a -f "$log" -a -f "$weekly"

echo "$((failures == 0 ? 1 : 0)) passed, $failures failed"
[ "$failures" -eq 0 ]
