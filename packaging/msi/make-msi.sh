#!/usr/bin/env bash
# make-msi.sh OUTPUT VERSION STAGE-FOLDER
# Builds the per-machine MSI with wixl from KordavinInformer.wxs and the files
# in STAGE-FOLDER. wixl writes a database of code page 0, where Cyrillic texts
# are lost, so the database is then given the Cyrillic code page (1251) and its
# Russian texts with msibuild; and the upgrade row is made to include its
# maximum, which wixl leaves out.
set -euo pipefail

out=$1
version=$2
stage=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
stage=$(cd "$stage" && pwd)
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
tmp=$out.tmp
rm -f "$tmp"

(cd "$stage" && wixl -a x64 -D Version="$version" -o "$tmp" "$here/KordavinInformer.wxs")

printf '\r\n\r\n1251\t_ForceCodepage\r\n' > "$stage/_ForceCodepage.idt"
msibuild "$tmp" -i "$stage/_ForceCodepage.idt"
sql() { msibuild "$tmp" -q "$1"; }
sql "UPDATE \`Property\` SET \`Value\` = 'Информатор Kordavin' WHERE \`Property\` = 'ProductName'"
sql "UPDATE \`Shortcut\` SET \`Name\` = 'INFORM~1|Информатор Kordavin' WHERE \`Shortcut\` = 'StartMenuShortcut'"
sql "UPDATE \`LaunchCondition\` SET \`Description\` = 'Уже установлена более новая версия программы «Информатор Kordavin».' WHERE \`Description\` = 'NEWER_VERSION_MESSAGE'"
# 256 + 512: the versions from 0.0.0 up to this one, both included. Attributes
# is part of the row's key, so the row is written anew.
upgrade_code=$(msiinfo export "$tmp" Property | sed -n 's/^UpgradeCode\t\(.*\)\r$/\1/p')
sql "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'KORDAVIN_OLDER_FOUND'"
sql "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '0.0.0', '$version', 768, 'KORDAVIN_OLDER_FOUND')"

# What was put in must read back, or the package is not made.
check() {
    local table
    table=$(msiinfo export "$tmp" "$1")
    grep -q -- "$2" <<<"$table" || {
        echo "make-msi.sh: table $1 lacks '$2'" >&2
        exit 1
    }
}
check Property 'Информатор Kordavin'
check Shortcut 'Информатор Kordavin'
check LaunchCondition 'более новая версия'
check Upgrade $'\t768\t'
mv "$tmp" "$out"
