#!/usr/bin/env bash
# msi-test.sh MSI PORTABLE-ZIP VERSION BIN-FOLDER STAGE-FOLDER
# What an administrator gets from the MSI, in a fresh Wine prefix on a display
# of its own: an install that refuses to write through a link in the common
# data folder; a silent per-machine install of an older version into Program
# Files that takes over a data folder a user left open to everyone, with its
# city-code table, Start-menu shortcut and Programs and Features entry; the
# installed program showing a popup; a silent upgrade to this version over the
# running copy that keeps the settings and, as the installer runs with
# administrator rights here (Wine has no SYSTEM to start it as the user), does
# not start it again but says so in its log; and a silent uninstall through the
# entry's command that removes the program and leaves the settings,
# directories and call journal. A portable copy runs beside it all the while
# and is never asked to end. STAGE-FOLDER holds the files the MSI is made of,
# for making the older one.
set -euo pipefail

msi=$1
portable=$2
version=$3
bin=$4
stage=$5
work=$(dirname "$msi")/../msi-test
source_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
session=msitest$$
source "$source_root/packaging/test/wine-session.sh"
cleanup_paths=("$work/older" "$work/portable" "$work/elsewhere" "$work/msi.log")
start_display

# The first install is an older version, so that the second one is a real upgrade.
rm -rf "$work/older"
mkdir -p "$work/older"
cp -r "$stage/." "$work/older/"
older=$work/older/KordavinInformer-0.9.0.0.msi
bash "$source_root/packaging/msi/make-msi.sh" "$older" 0.9.0.0 "$work/older" || fail "the older MSI was not made"
product_code() { msiinfo export "$1" Property | sed -n 's/^ProductCode\t\(.*\)\r$/\1/p'; }
older_code=$(product_code "$older")
code=$(product_code "$msi")
[ -n "$older_code" ] && [ -n "$code" ] && [ "$older_code" != "$code" ] || fail "product codes: '$older_code' '$code'"

start_prefix

localappdata=$(win cmd /c echo %LOCALAPPDATA%)
programdata=$(win cmd /c echo %ProgramData%)
programfiles=$(win cmd /c echo %ProgramW6432%)
install_win="$programfiles\\Kordavin Informer"
install_dir=$(winepath -u "$install_win")
appdata=$(win cmd /c echo %APPDATA%)
# The common Start menu on Windows; Wine's msiexec puts a per-machine package's
# shortcuts into the installing user's.
shortcuts=("$(winepath -u "$programdata\\Microsoft\\Windows\\Start Menu\\Programs")/Информатор Kordavin.lnk"
           "$(winepath -u "$appdata\\Microsoft\\Windows\\Start Menu\\Programs")/Информатор Kordavin.lnk")
has_shortcut() { [ -f "${shortcuts[0]}" ] || [ -f "${shortcuts[1]}" ]; }
data_dir=$(winepath -u "$programdata\\Kordavin Data")
citycodes_db=$data_dir/Localize/RUS/TQR/CityCodes.db
arp='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
ini=$install_dir/KordavinInformer.ini
journal=$(winepath -u "$localappdata\\KordavinInformer\\CallJournal.db")
msiexec() { wine msiexec "$@" </dev/null >/dev/null 2>&1; }
msi_log=$work/msi.log
# What the package's own actions wrote to the verbose log (UTF-16 or not).
logged() { iconv -f UTF-16LE -t UTF-8 "$msi_log" 2>/dev/null | grep -q "$1" || grep -q "$1" "$msi_log"; }

log "a link in the common data folder is refused"
# Left by a user before the install: the data folder is a link to elsewhere.
rm -rf "$work/elsewhere" "$msi_log"
mkdir -p "$work/elsewhere" "$(dirname "$data_dir")"
ln -s "$work/elsewhere" "$data_dir"
msiexec /i "$(winepath -w "$older")" /qn /l*v "$(winepath -w "$msi_log")" || fail "msiexec /i failed (exit code $?)"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "the install wrote through the link: $(ls -A "$work/elsewhere")"
logged "Kordavin Data is a junction, symbolic link or mount point" || fail "the log does not say why the table is missing"
msiexec /x "$older_code" /qn || fail "msiexec /x failed (exit code $?)"
rm "$data_dir"

log "silent per-machine install over a data folder open to everyone"
# A user ran the program first and left the data folder writable by all.
mkdir -p "$data_dir"
chmod 777 "$data_dir"
msiexec /i "$(winepath -w "$older")" /qn || fail "msiexec /i failed (exit code $?)"
for f in KordavinInformer.exe citycodes.exe CityCodes.csv sql/postgresql.sql sql/mssql.sql sql/mariadb.sql; do
    [ -f "$install_dir/$f" ] || fail "not installed: $install_dir/$f"
done
has_shortcut || fail "no Start-menu shortcut ${shortcuts[0]}"
[ -f "$citycodes_db" ] || fail "no city-code table at $citycodes_db"
cmp -s "$citycodes_db" "$stage/CityCodes.db" || fail "the placed table is not the shipped one"
[ -z "$(find "$data_dir" -name '*.tmp')" ] || fail "temporary files left: $(find "$data_dir" -name '*.tmp')"
# Wine keeps a folder's permissions as its Unix ones: what everyone may do shows.
[ "$(stat -c %A "$data_dir" | cut -c9)" != w ] || fail "the data folder is still open to everyone: $(stat -c %A "$data_dir")"
[ -d "$data_dir/PQR" ] || fail "no subscriber directory folder made for the users"
[ ! -e "$ini" ] || fail "the MSI wrote an INI file"
[ "$(reg_value "$arp\\$older_code" DisplayVersion)" = 0.9.0.0 ] || fail "no Programs and Features entry for 0.9.0.0"
grep -qi "msiexec.exe /[IX]$older_code" <<<"$(reg_value "$arp\\$older_code" UninstallString)" ||
    fail "uninstall command: '$(reg_value "$arp\\$older_code" UninstallString)'"

log "the installed program shows a popup for a call"
# The administrator's defaults beside the program: connect at start.
expect_popup_from_installed

printf 'DefaultCityCode=812\r\n' >> "$ini"
wait_for 10 test -n "$(ls -A "$data_dir/PQR" 2>/dev/null)" || fail "no subscriber directory in $data_dir/PQR"
wait_for 10 test -f "$journal" || fail "no call journal at $journal"
# The table built at the install is the user's from now on: an upgrade keeps it.
before=$(fingerprint)

log "a portable copy runs beside the installed one"
start_portable_copy

log "silent upgrade over the running copy"
rm -f "$msi_log"
msiexec /i "$(winepath -w "$msi")" /qn /l*v "$(winepath -w "$msi_log")" || fail "the upgrade failed (exit code $?)"
status=0
exit_code_of "$informer_pid" 30 || status=$?
informer_pid=
[ "$status" = 0 ] || fail "the running copy did not end normally when asked (exit code $status)"
portable_runs || fail "the upgrade ended the portable copy in another folder"
[ "$(reg_value "$arp\\$code" DisplayVersion)" = "$version" ] || fail "no Programs and Features entry for $version"
! win reg query "$arp\\$older_code" >/dev/null 2>&1 || fail "the older version's entry is still there"
[ "$(fingerprint)" = "$before" ] || fail "the upgrade changed the settings or directories:
$before
---
$(fingerprint)"
has_shortcut || fail "the upgrade lost the Start-menu shortcut"
# Every Wine program runs with administrator rights and Wine has no SYSTEM:
# the installer starts nothing with its own rights, and says so.
logged "not started again (session [0-9]*): the installer runs with administrator rights" ||
    fail "the upgrade's log does not say why the program was not started again"
! wait_for 5 has_instance || fail "the upgrade started the program with the installer's rights"
log "the user starts the upgraded program"
wine "$install_win\\KordavinInformer.exe" </dev/null >/dev/null 2>&1 &
informer_pid=$!
wait_for 30 has_instance || fail "the upgraded program did not start"
recsim ani K2 2345678 >/dev/null
popup=$(win "$bin/popupprobe.exe" 10000 78122345678) ||
    fail "the upgraded program lost DefaultCityCode=812 (popup: $popup)"

log "silent uninstall through the entry's command, with the program running"
msiexec /x "$code" /qn || fail "msiexec /x failed (exit code $?)"
wait_for 15 no_instance || fail "the running copy was not stopped by the uninstall"
status=0
exit_code_of "$informer_pid" 30 || status=$?
informer_pid=
[ "$status" = 0 ] || fail "the running copy did not end normally when the uninstall asked (exit code $status)"
for f in KordavinInformer.exe citycodes.exe CityCodes.csv sql; do
    [ ! -e "$install_dir/$f" ] || fail "left behind: $install_dir/$f"
done
! has_shortcut || fail "the Start-menu shortcut was left"
! win reg query "$arp\\$code" >/dev/null 2>&1 || fail "the Programs and Features entry was left"
[ "$(fingerprint)" = "$before" ] || fail "the uninstall changed the settings or directories"
[ -f "$journal" ] || fail "the uninstall removed the call journal"
grep -q 'DefaultCityCode=812' "$ini" || fail "the settings are gone"
portable_runs || fail "the uninstall ended the portable copy in another folder"

log "passed"
