#!/usr/bin/env bash
# install-test.sh INSTALLER PORTABLE-ZIP VERSION BIN-FOLDER
# What a user gets from the package, in a fresh Wine prefix on a display of its
# own: a silent install of an older version, the installed program showing a
# popup for a call from the simulated server, a silent upgrade to this version
# over the running copy that keeps the changed settings and starts it again, an
# upgrade with administrator rights that neither starts it again nor builds the
# city-code table with them, and a silent uninstall that leaves settings,
# directories and the call journal. A portable copy runs beside it all the while
# and is never asked to end; an installation while only the portable copy runs
# starts nothing. The uninstaller, run as a user runs it, says where the files
# it leaves are. Under Wine every program runs as an elevated administrator, so
# the installer runs through unelevated.exe where a user runs it.
set -euo pipefail

installer=$1
portable=$2
version=$3
bin=$4
work=$(dirname "$installer")/../package-test
source_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
session=pkgtest$$
source "$source_root/packaging/test/wine-session.sh"
cleanup_paths=("$work/older-setup.exe" "$work/portable")
start_display

# The first install is an older version, so that the second one is a real
# upgrade; made (quickly compressed) while Wine sets the prefix up.
older=$work/older-setup.exe
makensis -V1 -INPUTCHARSET UTF8 '-XSetCompressor /FINAL zlib' -DVERSION=0.9.0.0 -DBINDIR="$bin" \
    -DSRCDIR="$source_root" -DOUTFILE="$older" "$source_root/packaging/KordavinInformer.nsi" &
makensis_pid=$!

start_prefix

localappdata=$(win cmd /c echo %LOCALAPPDATA%)
appdata=$(win cmd /c echo %APPDATA%)
programdata=$(win cmd /c echo %ProgramData%)
install_win="$localappdata\\Programs\\Kordavin Informer"
install_dir=$(winepath -u "$install_win")
shortcut=$(winepath -u "$appdata\\Microsoft\\Windows\\Start Menu\\Programs")/"Информатор Kordavin.lnk"
data_dir=$(winepath -u "$programdata\\Kordavin Data")
citycodes_db=$data_dir/Localize/RUS/TQR/CityCodes.db
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\KordavinInformer'
ini=$install_dir/KordavinInformer.ini
journal=$(winepath -u "$localappdata\\KordavinInformer\\CallJournal.db")
# An installer run by the user, with the user's own rights.
as_user() { wine "$bin/unelevated.exe" "$(winepath -w "$1")" "${@:2}" </dev/null >/dev/null 2>&1; }

wait "$makensis_pid" || fail "makensis failed for the older version"
log "silent install"
as_user "$older" /S || fail "the installer failed (exit code $?)"
for f in KordavinInformer.exe citycodes.exe CityCodes.csv uninstall.exe sql/postgresql.sql sql/mssql.sql sql/mariadb.sql; do
    [ -f "$install_dir/$f" ] || fail "not installed: $install_dir/$f"
done
# Shipped without symbol tables: with them the program is about 4 MB.
size=$(stat -c %s "$install_dir/KordavinInformer.exe")
[ "$size" -le $((2500 * 1024)) ] || fail "the installed program is $size bytes, more than 2.5 MB"
[ -f "$shortcut" ] || fail "no Start-menu shortcut $shortcut"
[ -f "$citycodes_db" ] || fail "no city-code table at $citycodes_db"
[ ! -e "$ini" ] || fail "the installer wrote an INI file"
[ "$(reg_value "$run_key" KordavinInformer.exe)" = "\"$install_win\\KordavinInformer.exe\"" ] ||
    fail "autostart value: '$(reg_value "$run_key" KordavinInformer.exe)'"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = 0.9.0.0 ] || fail "no uninstaller entry for 0.9.0.0"
[ "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$install_win\\uninstall.exe\" /S" ] ||
    fail "quiet uninstall string: '$(reg_value "$uninstall_key" QuietUninstallString)'"

log "the installed program shows a popup for a call"
# As the user would set it in the settings window: connect at start.
expect_popup_from_installed

# Settings changed since the install (autostart switched off as the settings
# window does it), and the directories as the program left them.
printf 'DefaultCityCode=812\r\n' >> "$ini"
win reg delete "$run_key" /v KordavinInformer.exe /f >/dev/null
wait_for 10 test -n "$(ls -A "$data_dir/PQR" 2>/dev/null)" || fail "no subscriber directory in $data_dir/PQR"
wait_for 10 test -f "$journal" || fail "no call journal at $journal"
before=$(fingerprint)

# A portable copy from another folder, not connected: it has its own settings
# and is none of the installer's business.
log "a portable copy runs beside the installed one"
start_portable_copy

log "silent upgrade over the running copy"
as_user "$installer" /S || fail "the upgrade failed (exit code $?)"
code=0
exit_code_of "$informer_pid" 30 || code=$?
informer_pid=
[ "$code" = 0 ] || fail "the running copy did not end normally when asked (exit code $code)"
portable_runs || fail "the upgrade ended the portable copy in another folder"
[ "$(fingerprint)" = "$before" ] || fail "the upgrade changed the settings or directories:
$before
---
$(fingerprint)"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "the uninstaller entry was not updated to $version"
[ -z "$(reg_value "$run_key" KordavinInformer.exe)" ] || fail "the upgrade switched autostart on again"
# The silent upgrade starts the copy it stopped again, with the kept setting.
wait_for 30 has_instance || fail "the upgraded program was not started again"
recsim ani K2 2345678 >/dev/null
popup=$(win "$bin/popupprobe.exe" 10000 78122345678) ||
    fail "the upgraded program lost DefaultCityCode=812 (popup: $popup)"

log "silent upgrade with administrator rights over the running copy"
# Without a table the installer would build one, but not with these rights in
# a folder a user may own; kept aside (same inode and time) meanwhile.
mv "$citycodes_db" "$work/CityCodes.db.aside"
wine "$installer" /S </dev/null >/dev/null 2>&1 || fail "the upgrade with administrator rights failed (exit code $?)"
wait_for 30 no_instance || fail "the running copy was not asked to end"
[ ! -e "$citycodes_db" ] || fail "the installer built the city-code table with administrator rights"
mv "$work/CityCodes.db.aside" "$citycodes_db"
! wait_for 5 has_instance || fail "the installer started the program with administrator rights"
portable_runs || fail "the upgrade ended the portable copy in another folder"
log "the user starts the program"
wine "$install_win\\KordavinInformer.exe" </dev/null >/dev/null 2>&1 &
informer_pid=$!
wait_for 30 has_instance || fail "the installed program did not start"

log "silent uninstall with the program running"
wine "$install_win\\uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
uninstalled() {
    [ ! -e "$install_dir/uninstall.exe" ] && [ ! -e "$install_dir/KordavinInformer.exe" ] &&
        ! win reg query "$uninstall_key" >/dev/null 2>&1
}
wait_for 30 uninstalled || fail "the uninstaller left the program or its entry"
wait_for 15 no_instance || fail "the running copy was not stopped by the uninstaller"
code=0
exit_code_of "$informer_pid" 30 || code=$?
informer_pid=
[ "$code" = 0 ] || fail "the running copy did not end normally when the uninstaller asked (exit code $code)"
[ ! -e "$install_dir/citycodes.exe" ] || fail "citycodes.exe left behind"
[ ! -e "$install_dir/sql" ] || fail "the SQL scripts' folder left behind"
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut was left"
[ -z "$(reg_value "$run_key" KordavinInformer.exe)" ] || fail "the autostart value was left"
[ "$(fingerprint)" = "$before" ] || fail "the uninstaller changed the settings or directories"
# The program itself records the call it was in when asked to end.
[ -f "$journal" ] || fail "the uninstaller removed the call journal"
grep -q 'DefaultCityCode=812' "$ini" || fail "the changed setting is gone"
portable_runs || fail "the uninstaller ended the portable copy in another folder"

log "silent install while only the portable copy runs"
as_user "$installer" /S || fail "the install failed (exit code $?)"
[ -f "$install_dir/KordavinInformer.exe" ] || fail "not installed again"
portable_runs || fail "the install ended the portable copy in another folder"
# The installed copy would connect at once (Active=1 kept in its INI file).
! wait_for 5 has_instance || fail "the install started the installed copy though it was not running"

log "the uninstaller, run by hand, says where the user's files stay"
# What the program leaves besides: the organisation's directory beside the
# journal, and a user's own settings from a copy installed for the computer.
user_ini=$(winepath -u "$appdata\\KordavinInformer\\KordavinInformer.ini")
mkdir -p "$(dirname "$user_ini")"
printf '[Main]\r\n' > "$user_ini"
printf 'cache' > "$(dirname "$journal")/OrgDirectory.db"
wine "$install_win\\uninstall.exe" </dev/null >/dev/null 2>&1 &
told=$(win "$bin/dialogprobe.exe" 60000) || fail "the uninstaller's wizard did not end (told: $told)"
wait_for 30 uninstalled || fail "the uninstaller run by hand left the program or its entry"
grep -qF "Журнал звонков: $localappdata\\KordavinInformer\\CallJournal.db" <<<"$told" ||
    fail "the uninstaller did not say where the call journal stays: $told"
grep -qF "Настройки: $install_win\\KordavinInformer.ini" <<<"$told" ||
    fail "the uninstaller did not say where the settings stay: $told"
grep -qF "Настройки пользователя: $appdata\\KordavinInformer\\KordavinInformer.ini" <<<"$told" ||
    fail "the uninstaller did not say where the user's own settings stay: $told"
grep -qF "Справочник организации: $localappdata\\KordavinInformer\\OrgDirectory.db" <<<"$told" ||
    fail "the uninstaller did not say where the organisation's directory stays: $told"
[ "$(fingerprint)" = "$before" ] || fail "the uninstaller changed the settings or directories"
[ -f "$journal" ] || fail "the uninstaller removed the call journal"
portable_runs || fail "the uninstaller ended the portable copy in another folder"

log "portable zip"
listing=$(unzip -Z1 "$portable")
for f in KordavinInformer.exe citycodes.exe CityCodes.csv Readme.txt sql/postgresql.sql sql/mssql.sql sql/mariadb.sql; do
    grep -qx "KordavinInformer-$version-portable/$f" <<<"$listing" || fail "$f missing from $portable"
done

log "passed"
