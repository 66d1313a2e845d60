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
# - a given PORT, SETTINGS or DEVICE holding a double quote or a backslash, or an
#   INSTALLFOLDER holding a double quote, fails the installation before
#   anything is changed (an error action, type 19);
# - INSTALLFOLDER gets its own permissions, not inherited from where an
#   administrator put it: SYSTEM and Administrators full control, Users read
#   and execute (a CreateFolder row and an MsiLockPermissionsEx row), so that
#   no user can replace the programs SYSTEM runs at every repair and sign-in;
# - INSTALLFOLDER must lie in Program Files, and the exes carry their versions
#   (both at the end);
# - PORT, SETTINGS, DEVICE, REMOVEPRINTERS and SETDEFAULT stay out of the secure
#   properties: a standard user's elevated maintenance run gets the stored
#   choice, never theirs (administrators and SYSTEM pass them in any case).
# Usage: packaging/build_msi.sh STAGED_FOLDER VERSION OUTPUT.msi [x64|x86]
#   x64 (the default) for 64-bit Windows; x86 for 32-bit Windows, with the
#   32-bit programs in bin/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
staged=$1 version=$2 out=$3 arch=${4:-x64}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

case "$arch" in
  x64) per_arch=(-D WrongWindowsMessage="This package is for 64-bit Windows; this Windows is 32-bit. Install PortSetup-$version-x86.msi instead.") ;;
  x86) per_arch=(-D UpgradeCode=6f0b3c4e-2d9a-4b71-9e35-8c1a7d2f4b90 -D Win64=no -D ProgramFilesFolder=ProgramFilesFolder
                 -D RightWindows="NOT VersionNT64"
                 -D WrongWindowsMessage="This package is for 32-bit Windows; this Windows is 64-bit. Install PortSetup-$version-x64.msi instead.") ;;
  *) echo "build_msi.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
(cd "$staged" && wixl -a "$arch" -D Version="$version" -D VersionCommas="$(printf '%s' "$version" | tr . ,)" \
  "${per_arch[@]}" -D BinDir=bin -I . -o "$out" "$here/PortSetup.wxs")

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
refusal='PORT, SETTINGS and DEVICE may not hold a double quote or a backslash (no port and no line settings do; for DEVICE give a part of the ID without one, such as VID_0403&PID_6001 or the serial number), nor INSTALLFOLDER a double quote. Nothing was changed.'
msibuild "$out" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('RefuseUnsafeChoice', 19, '', '$refusal')"
msibuild "$out" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('RefuseUnsafeChoice', 'NOT REMOVE AND (PORT >< Quote OR PORT >< Backslash OR SETTINGS >< Quote OR SETTINGS >< Backslash OR DEVICE >< Quote OR DEVICE >< Backslash OR INSTALLFOLDER >< Quote)', 51)"
# The folder's permissions: SDDL as the machine folder's, protected from
# inheritance, applied to the folder and inherited by what it holds.
folder_sddl='D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
printf 'Directory_\tComponent_\ns72\ts72\nCreateFolder\tDirectory_\tComponent_\nINSTALLFOLDER\tPortSetupExe\n' \
  > "$tables/CreateFolder.idt"
printf 'MsiLockPermissionsEx\tLockObject\tTable\tSDDL\tCondition\ns72\ts72\ts32\ts0\tS255\nMsiLockPermissionsEx\tMsiLockPermissionsEx\nInstallFolderPermissions\tINSTALLFOLDER\tCreateFolder\t%s\t\n' \
  "$folder_sddl" > "$tables/MsiLockPermissionsEx.idt"
(cd "$tables" && msibuild "$out" -i CreateFolder.idt && msibuild "$out" -i MsiLockPermissionsEx.idt)
# The install folder must lie in the Program Files folder of the package's
# architecture: a folder made elsewhere (C:\Tills\PortSetup) may be a user's,
# whose owner could change what SYSTEM runs. Refused after the folders are
# resolved and before anything is written (an error action between
# CostFinalize, 1000, and InstallValidate, 1400).
program_files=$([ "$arch" = x86 ] && echo ProgramFilesFolder || echo ProgramFiles64Folder)
folder_refusal="INSTALLFOLDER must be a folder inside [$program_files] (the default is [$program_files]PortSetup): a folder elsewhere may be one a user made, and its owner could change the programs SYSTEM runs. Nothing was changed."
msibuild "$out" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('RefuseInstallFolder', 19, '', '$folder_refusal')"
msibuild "$out" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('RefuseInstallFolder', 'NOT REMOVE AND (NOT (INSTALLFOLDER ~<< $program_files) OR INSTALLFOLDER >< \"\\..\\\")', 1005)"
# The exes' versions, as their version resources give them, so that repairs
# and upgrades replace them by Windows Installer's file-versioning rules (a
# versioned file found at the name would otherwise win over an unversioned one).
for file in PortSetupExe PortSetupCliExe; do
  msibuild "$out" -q "UPDATE \`File\` SET \`Version\`='$version.0' WHERE \`File\`='$file'"
done
# LOGCOPY takes one value, INTUNE, and no path: any other is refused before
# anything is changed, as is a CommonAppDataFolder that could end the log's
# argument.
log_refusal='LOGCOPY takes INTUNE only (a copy of the log in CMTrace format in the Intune Management Extension log folder). Nothing was changed.'
msibuild "$out" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('RefuseLogCopy', 19, '', '$log_refusal')"
msibuild "$out" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('RefuseLogCopy', '(LOGCOPY AND LOGCOPY <> \"INTUNE\") OR (LOGCOPY AND CommonAppDataFolder >< Quote)', 49)"
