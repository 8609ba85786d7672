#!/usr/bin/env bash
# Builds the archives of the restore tests with standard tools, the way earlier versions of the
# program wrote them: traditional zip encryption (zip -P), ANSI text with CR LF, registry export
# files in the text format, and an archive whose entry names try to leave the target folder.
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out/legacy" "$out/hostile/sub"
cd "$out/legacy"

# Lines given as arguments, each ended by CR LF; the text is ANSI (Windows-1252) already.
lines() { for l in "$@"; do printf '%s\r\n' "$l"; done; }
# Decimal bytes of a text: separated by commas, as UTF-16LE with two zero bytes after it, and as
# a profile stores a data file's path (a header before that).
bytes() { printf '%s' "$1" | od -An -tu1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
ansi() { bytes "$1" | tr ' ' ','; }
utf16_z() {
    local out=""
    for b in $(bytes "$1"); do out="$out$b,0,"; done
    printf '%s0,0' "$out"
}
store_value() { printf '0,0,0,0,75,0,83,0,%s' "$(utf16_z "$1")"; }

old='C:\Mail\Old.pst'
lines 'BackupComputer=OLDPC' 'BackupLogonUser=bob' 'BackupIdentity=Legacy' \
    'BackupTime=3/4/2011 9:08:07 AM' 'Outlookversion=Outlook 2003' \
    "BackupInformation=Caf$(printf '\xe9') notesPS\$KSTline two" \
    'BackupConfig=OBC1F.tmp' 'BackupDatas=Old.pst' 'BackupRules=Legacy.RWZ' \
    'BackupAccounts=OBA2A.tmp' 'BackupSignatures=Sig.txt;Sig.htm' 'BackupConfigsetting=OBC3B.tmp' \
    'BackupContacts=Bob.vcf' 'BackupItem=11111001001' >kestrine.dat
lines '\' \
    '\0a0d020000000000c000000000000046' '"001e0324"= sz:Legacy' '"1102039b"=bin:1,2,3' \
    '"001e023d"=bin:4,5' \
    '\13dbb0c8aa05101a9bb000aa002fc45a' "\"01020fff\"=bin:$(store_value "$old")" \
    "\"001e6700\"=bin:$(ansi "$old"),0" "\"001f6700\"=bin:$(utf16_z "$old")" \
    '"Flags"= dw:-1' \
    '\9375CFF0413111d3B88A00104B2A6676' \
    '\9375CFF0413111d3B88A00104B2A6676\00000001' '"Account Name"= sz:old@example.com' >OBC1F.tmp
lines '\' '\00000001' '"Account Name"= sz:bob@example.com' \
    "\"Display Name\"= sz:Bob M$(printf '\xfc')ller" '"Delivery Store EntryID"=bin:9,9' \
    '"Delivery Folder EntryID"=bin:8,8' '"Port"= dw:110' >OBA2A.tmp
lines '\' '"Legacy Option"= dw:-1' '"Path"=esz:%USERPROFILE%\x' '\Sub' '"Empty"=bin:' >OBC3B.tmp
head -c 20000 /dev/zero | tr '\0' 'P' >Old.pst
printf 'legacy rules' >Legacy.RWZ
lines 'Bob' >Sig.txt
printf '<p>Bob</p>' >Sig.htm
lines 'BEGIN:VCARD' 'FN:Bob' 'END:VCARD' >Bob.vcf
zip -q -X -P pw ../legacy.ksx OBC1F.tmp Old.pst Legacy.RWZ OBA2A.tmp Sig.txt Sig.htm OBC3B.tmp \
    Bob.vcf kestrine.dat

cd "$out/hostile"
printf 'signature' >Work.htm
printf 'outside' >'..\evil.txt'
printf 'outside' >'C:\evil2.txt'
printf 'outside' >sub/evil3.txt
lines '\' '"Evil"= sz:x' >'..\OBCevil.tmp'
lines 'BackupComputer=EVIL' 'BackupLogonUser=x' 'BackupIdentity=x' 'BackupTime=x' \
    'Outlookversion=x' 'BackupInformation=' 'BackupConfig=..\OBCevil.tmp' \
    'BackupSignatures=Work.htm;..\evil.txt' 'BackupStationery=C:\evil2.txt' \
    'BackupPab=..\evil.txt' 'BackupContacts=sub/evil3.txt' 'BackupItem=10001110001' >kestrine.dat
zip -q -X ../hostile.ksx Work.htm '..\evil.txt' 'C:\evil2.txt' sub/evil3.txt '..\OBCevil.tmp' \
    kestrine.dat
