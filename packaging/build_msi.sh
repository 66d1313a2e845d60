#!/usr/bin/env bash
# Builds the MSI from a staged folder (bin/ with the two exes, DriverFiles.wxi,
# DriverRefs.wxi and the driver files), then sets in its tables what wixl
# cannot write:
# - the major upgrade also replaces an installed build of the same version
#   (VersionMax inclusive), so that two builds never stay side by side;
# - the older product is removed by naming its feature instead of ALL, so
#   that its uninstall action, which runs only for REMOVE="ALL", leaves the
#   printer to the newer version on every msiexec;
# - the Active Setup entry is installed only with SETDEFAULT=1;
# - the event log source's message file is REG_EXPAND_SZ, as Windows expects;
# - the properties a deployment system may set are secure, so that they reach
#   the installation however it is started.
# Usage: packaging/build_msi.sh STAGED_FOLDER VERSION OUTPUT.msi
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
staged=$1 version=$2 out=$3
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

(cd "$staged" && wixl -a x64 -D Version="$version" -D VersionCommas="$(printf '%s' "$version" | tr . ,)" \
  -D BinDir=bin -I . -o "$out" "$here/PortSetup.wxs")

tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
msiinfo export "$out" Upgrade > "$tables/Upgrade.idt"
awk -F'\t' -v OFS='\t' '
  NR > 3 && $7 ~ /^WIX_UPGRADE_DETECTED\r?$/ { if (int($5 / 512) % 2 == 0) $5 += 512; $6 = "PortSetup" }
  { print }' "$tables/Upgrade.idt" > "$tables/Upgrade.new"
mv "$tables/Upgrade.new" "$tables/Upgrade.idt"
(cd "$tables" && msibuild "$out" -i Upgrade.idt)
msibuild "$out" -q "UPDATE \`Component\` SET \`Condition\`='SETDEFAULT=\"1\"' WHERE \`Component\`='DefaultForEachUser'"
msibuild "$out" -q "UPDATE \`Registry\` SET \`Value\`='#%[INSTALLFOLDER]PortSetupCli.exe' WHERE \`Component_\`='EventLogSource' AND \`Name\`='EventMessageFile'"
secure=$(msiinfo export "$out" Property | tr -d '\r' | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
msibuild "$out" -q "UPDATE \`Property\` SET \`Value\`='$secure;PORT;SETTINGS;REMOVEPRINTERS;SETDEFAULT' WHERE \`Property\`='SecureCustomProperties'"
