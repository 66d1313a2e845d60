#!/usr/bin/env bash
# The release files, checked on Linux: scripts/package builds them from a small
# driver package made here, signed with a throwaway certificate; then the MSI's
# tables (64-bit components, every custom action deferred, not impersonated
# and placed in the install script where it must run, with its condition),
# the signatures, the zip and the checksums, and that the exes build
# byte-identically twice. Wine does not notice a misplaced custom action, so
# the table checks are the only guard against one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected '$2', saw '$3'"; }

work="$root/build/package-test"
rm -rf "$work"
mkdir -p "$work"

# A driver package as a vendor ships one (made here; no real driver).
driver="$work/driver"
bash tests/packaging/make_driver_package.sh "$driver"

# A throwaway code-signing certificate.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=PortSetup test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:test -out "$work/test.pfx"

bash scripts/package --driver-package "$driver" --sign "$work/test.pfx" --password test
version=$(sed -n 's/^project(PortSetup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist="$root/build/dist"
msi="$dist/PortSetup-$version-x64.msi"
zip="$dist/PortSetup-$version-win64.zip"
msi32="$dist/PortSetup-$version-x86.msi"
zip32="$dist/PortSetup-$version-win32.zip"
[ -f "$msi" ] && [ -f "$zip" ] && [ -f "$msi32" ] && [ -f "$zip32" ] && [ -f "$dist/SHA256SUMS" ] \
  || fail "build/dist lacks a release file: $(ls "$dist")"

table_of() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }  # rows only
table() { table_of "$msi" "$1"; }
# Value of COLUMN (1-based) in the row whose first column is KEY.
cell() { table "$1" | awk -F'\t' -v k="$2" -v c="$3" '$1 == k { print $c }'; }

echo "== summary and properties"
msiinfo suminfo "$msi" | grep -q 'Template: x64;1033' || fail "not a 64-bit package: $(msiinfo suminfo "$msi")"
# PORT and SETTINGS: the command line's, else the stored choice, as data for
# PortSetupCli's own checks; none reaches a command line able to end its argument.
expect_eq "PORT in the Property table" "" "$(cell Property PORT 2)"
# The MSI reads the stored choice where the CLI's one home of the machine's
# record keeps it: the key and value names come from there.
record_value() { sed -n "s/^inline constexpr std::u16string_view $1 = u\"\(.*\)\";/\1/p" "$root/src/setup/MachineRecord.h" | sed 's/\\\\/\\/g'; }
record_key=$(record_value kMachineRecordKey)
[ -n "$record_key" ] || fail "src/setup/MachineRecord.h names no kMachineRecordKey"
expect_eq "stored port lookup" "2 $record_key $(record_value kStoredPortValue) 18" "$(cell RegLocator StoredPort 2) $(cell RegLocator StoredPort 3) $(cell RegLocator StoredPort 4) $(cell RegLocator StoredPort 5)"
expect_eq "stored settings lookup" "$record_key $(record_value kStoredSettingsValue)" "$(cell RegLocator StoredSettings 3) $(cell RegLocator StoredSettings 4)"
expect_eq "quote and backslash" '" \' "$(cell Property Quote 2) $(cell Property Backslash 2)"
expect_eq "REMOVEPRINTERS default" "1" "$(cell Property REMOVEPRINTERS 2)"
expect_eq "SETDEFAULT default" "1" "$(cell Property SETDEFAULT 2)"
case ";$(cell Property SecureCustomProperties 2);" in *";WIX_UPGRADE_DETECTED;"*) ;; *) fail "WIX_UPGRADE_DETECTED is not secure" ;; esac
for p in PORT SETTINGS REMOVEPRINTERS SETDEFAULT; do
  case ";$(cell Property SecureCustomProperties 2);" in *";$p;"*) fail "$p is a secure property" ;; esac
done
expect_eq "ARPNOMODIFY" "1" "$(cell Property ARPNOMODIFY 2)"
expect_eq "ARPNOREPAIR" "1" "$(cell Property ARPNOREPAIR 2)"
expect_eq "ProductName" "PortSetup" "$(cell Property ProductName 2)"
expect_eq "ProductVersion" "$version" "$(cell Property ProductVersion 2)"
table Upgrade | grep -q . || fail "no Upgrade table rows: no major upgrade"
# The upgrade row: versions up to this one inclusive (a rebuild of the same
# version replaces it), and the older product removed by its feature's name.
expect_eq "upgrade row" "$version 513 PortSetup" \
  "$(table Upgrade | awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" { print $3, $5, $6 }')"
expect_eq "downgrade refusal" "A newer version of PortSetup is already installed. Remove it first to install this older one." \
  "$(table LaunchCondition | awk -F'\t' '$1 == "NOT WIX_DOWNGRADE_DETECTED" { print $2 }')"

echo "== files and components"
files=$(table File | cut -f3 | sed 's/.*|//' | sort | tr '\n' ' ')
expected=$( { echo PortSetup.exe; echo PortSetupCli.exe; find "$driver" -type f -printf '%f\n'; } | sort | tr '\n' ' ')
expect_eq "files in the package" "$expected" "$files"
table Component | while IFS=$'\t' read -r id guid dir attributes condition keypath; do
  [ $((attributes & 256)) -ne 0 ] || fail "component $id is not 64-bit (attributes $attributes)"
done
expect_eq "install folder" "PortSetup" "$(cell Directory INSTALLFOLDER 3)"
expect_eq "its parent" "ProgramFiles64Folder" "$(cell Directory INSTALLFOLDER 2)"
expect_eq "its permissions" "INSTALLFOLDER CreateFolder D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU) INSTALLFOLDER" \
  "$(table MsiLockPermissionsEx | awk -F'\t' '{ print $2, $3, $4 }') $(table CreateFolder | awk -F'\t' '$2 == "PortSetupExe" { print $1 }')"

echo "== custom actions"
seq() { cell InstallExecuteSequence "$1" 3; }
condition() { cell InstallExecuteSequence "$1" 2; }
for action in InstallPrinter RemovePrinters; do
  type=$(cell CustomAction "$action" 2)
  [ -n "$type" ] || fail "no custom action $action"
  [ $((type & 63)) -eq 1 ] || fail "$action does not call the custom action DLL (type $type)"
  [ $((type & 1024)) -ne 0 ] || fail "$action is not deferred (type $type)"
  [ $((type & 2048)) -ne 0 ] || fail "$action is impersonated (type $type)"
  [ $((type & 256 | type & 512)) -eq 0 ] || fail "$action is a rollback or commit action (type $type)"
  expect_eq "$action calls PortSetupCa.dll's RunCli" "PortSetupCa RunCli" \
    "$(cell CustomAction "$action" 3) $(cell CustomAction "$action" 4)"
  s=$(seq "$action")
  [ "$s" -gt "$(seq InstallInitialize)" ] && [ "$s" -lt "$(seq InstallFinalize)" ] \
    || fail "$action ($s) is outside the install script"
  # Its command line is its CustomActionData, set just before it under the same condition.
  data=$(table CustomAction | awk -F'\t' -v a="$action" '$3 == a && $2 % 64 == 51 { print $1 }')
  [ -n "$data" ] || fail "no action sets $action's CustomActionData"
  [ "$(seq "$data")" -lt "$s" ] && [ "$(seq "$data")" -gt "$(seq InstallInitialize)" ] \
    || fail "$data does not run between InstallInitialize and $action"
  expect_eq "$data's condition" "$(condition "$action")" "$(condition "$data")"
done
type=$(cell CustomAction CheckRestart 2)
[ $((type & 63)) -eq 1 ] && [ $((type & 1024)) -eq 0 ] || fail "CheckRestart is not an immediate DLL action (type $type)"
[ "$(seq CheckRestart)" -gt "$(seq InstallFinalize)" ] || fail "CheckRestart runs before InstallFinalize"
expect_eq "the custom action DLL in the Binary table" "PortSetupCa" "$(table Binary | cut -f1)"
# The exes carry their versions, so that Windows Installer replaces them by
# its file-versioning rules; the install folder must lie in Program Files.
expect_eq "the exes' versions" "PortSetupCliExe $version.0 PortSetupExe $version.0" \
  "$(table File | awk -F'\t' '$1 ~ /^PortSetup(Cli)?Exe$/ { print $1, $5 }' | sort | tr '\n' ' ' | sed 's/ $//')"
expect_eq "the Intune log copy" "56 LOGCOPY=\"INTUNE\"" \
  "$(table InstallExecuteSequence | awk -F'\t' '$1 == "IntuneLogArgument" { print $3, $2 }')"
expect_eq "the refusal of another LOGCOPY" "49" \
  "$(table InstallExecuteSequence | awk -F'\t' '$1 == "RefuseLogCopy" { print $3 }')"
expect_eq "the install folder's refusal" \
  "1005 NOT REMOVE AND (NOT (INSTALLFOLDER ~<< ProgramFiles64Folder) OR INSTALLFOLDER >< \"\\..\\\")" \
  "$(table InstallExecuteSequence | awk -F'\t' '$1 == "RefuseInstallFolder" { print $3, $2 }')"
streams="$work/streams"
mkdir -p "$streams"
(cd "$streams" && msidump -s -d . "$msi" >/dev/null)  # it writes the Binary table's streams beside too
ca="$streams/_Streams/Binary.PortSetupCa"
[ -f "$ca" ] || ca=$(find "$streams" -name 'Binary.PortSetupCa*' | head -1)
[ -f "$ca" ] || fail "the custom action DLL is not in the package: $(find "$streams" | head)"
expect_eq "the DLL's imports" "ADVAPI32.dll KERNEL32.dll msi.dll msvcrt.dll" \
  "$(x86_64-w64-mingw32-objdump -p "$ca" | sed -n 's/^\tDLL Name: //p' | sort | tr '\n' ' ' | sed 's/ $//')"
expect_eq "the DLL's entry points" "CheckRestart RunCli" \
  "$(x86_64-w64-mingw32-objdump -p "$ca" | sed -n 's/^\t\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_@]*\)$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')"
osslsigncode verify -CAfile "$work/cert.pem" -in "$ca" 2>&1 | grep -q 'Signature verification: ok' \
  || fail "the custom action DLL is not signed"
[ "$(seq InstallPrinter)" -gt "$(seq InstallFiles)" ] || fail "InstallPrinter runs before InstallFiles"
[ "$(seq RemovePrinters)" -lt "$(seq RemoveFiles)" ] || fail "RemovePrinters runs after RemoveFiles"
s=$(seq RemoveExistingProducts)
# Inside the transaction, so that a failed upgrade keeps the older version.
[ "$s" -gt "$(seq InstallInitialize)" ] && [ "$s" -lt "$(seq InstallFiles)" ] \
  || fail "RemoveExistingProducts ($s) is not between InstallInitialize and InstallFiles"
expect_eq "removal condition" 'REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE AND REMOVEPRINTERS="1"' "$(condition RemovePrinters)"
for action in RefuseUnsafeChoice StoredPortUnusable StoredSettingsUnusable StoredDeviceUnusable PortArgument SettingsArgument \
    DeviceArgument; do
  [ "$(seq "$action")" -gt "$(seq AppSearch)" ] && [ "$(seq "$action")" -lt "$(seq InstallInitialize)" ] \
    || fail "$action is not between AppSearch and InstallInitialize"
done
expect_eq "refusal" "19 PORT, SETTINGS and DEVICE may not hold a double quote or a backslash (no port and no line settings do; for DEVICE give a part of the ID without one, such as VID_0403&PID_6001 or the serial number), nor INSTALLFOLDER a double quote. Nothing was changed." \
  "$(cell CustomAction RefuseUnsafeChoice 2) $(cell CustomAction RefuseUnsafeChoice 4)"
expect_eq "refusal condition" 'NOT REMOVE AND (PORT >< Quote OR PORT >< Backslash OR SETTINGS >< Quote OR SETTINGS >< Backslash OR DEVICE >< Quote OR DEVICE >< Backslash OR INSTALLFOLDER >< Quote)' \
  "$(condition RefuseUnsafeChoice)"
expect_eq "unusable stored port" 'STOREDPORT >< Quote OR STOREDPORT >< Backslash' "$(condition StoredPortUnusable)"
expect_eq "unusable stored device" 'STOREDDEVICE >< Quote OR STOREDDEVICE >< Backslash' "$(condition StoredDeviceUnusable)"
expect_eq "port argument" 'PortArg --port "[PORT]"' "$(cell CustomAction PortArgument 3) $(cell CustomAction PortArgument 4)"
# Every property a command line is made of is private (no command line can
# set it), or a public one that the refusal above checks, or a stored one
# replaced by a marker when unsafe.
for property in $(table CustomAction | awk -F'\t' '$2 % 64 == 51 { print $4 }' | grep -o '\[[A-Za-z_.]*\]' | tr -d '[]' | sort -u); do
  case "$property" in
    *[a-z]*) ;;  # private
    PORT|SETTINGS|DEVICE|INSTALLFOLDER) condition RefuseUnsafeChoice | grep -q "$property >< Quote" || fail "$property is not refused with a quote" ;;
    STOREDPORT|STOREDSETTINGS|STOREDDEVICE) ;;  # replaced by a marker above
    *) fail "the public property $property reaches a command line unchecked" ;;
  esac
done
# The install folder's permissions are applied: the actions that read the
# CreateFolder and MsiLockPermissionsEx rows are scheduled, around the files.
[ -n "$(seq CreateFolders)" ] && [ "$(seq CreateFolders)" -gt "$(seq RemoveFiles)" ] && \
  [ "$(seq CreateFolders)" -lt "$(seq InstallFiles)" ] || fail "CreateFolders is not scheduled between RemoveFiles and InstallFiles"
[ -n "$(seq RemoveFolders)" ] && [ "$(seq RemoveFolders)" -gt "$(seq RemoveFiles)" ] && \
  [ "$(seq RemoveFolders)" -lt "$(seq CreateFolders)" ] || fail "RemoveFolders is not scheduled after RemoveFiles"
# No registry row takes its value from a property: only checked values are stored.
expect_eq "stored choice rows" "Package=$version" \
  "$(table Registry | awk -F'\t' '$3 == "SOFTWARE\\PortSetup" && $2 == 2 { printf "%s%s=%s", sep, $4, $5; sep = " " }')"
expect_eq "install condition" 'NOT REMOVE' "$(condition InstallPrinter)"
expect_eq "install command" '"[INSTALLFOLDER]PortSetupCli.exe" install [PortArg] [DeviceArg] [SettingsArg] [LogArg] --stored-port "[STOREDPORT]" --stored-settings "[STOREDSETTINGS]" --stored-device "[STOREDDEVICE]" --package "[INSTALLFOLDER]." --remember' \
  "$(cell CustomAction InstallPrinterCommand 4)"
expect_eq "removal command" '"[INSTALLFOLDER]PortSetupCli.exe" remove [LogArg]' "$(cell CustomAction RemovePrintersCommand 4)"

echo "== the Active Setup entry"
active='SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{8F3C2A6D-4B1E-4E7A-9C55-2D7E1A0B6F34}'
expect_eq "Active Setup values" \
  "=PortSetup: KALDO Veltro MiniPrinter as the default printer|StubPath=\"[INSTALLFOLDER]PortSetupCli.exe\" set-default --quiet|Version=$(printf '%s' "$version" | tr . ,)|IsInstalled=#1" \
  "$(table Registry | awk -F'\t' -v k="$active" '$2 == 2 && $3 == k { printf "%s%s=%s", sep, $4, $5; sep = "|" }')"
expect_eq "Active Setup condition" 'SETDEFAULT="1"' "$(cell Component DefaultForEachUser 5)"

echo "== the event log source"
source_key='SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\PortSetup'
expect_eq "event log source values" "EventMessageFile=#%[INSTALLFOLDER]PortSetupCli.exe|TypesSupported=#7" \
  "$(table Registry | awk -F'\t' -v k="$source_key" '$2 == 2 && $3 == k { printf "%s%s=%s", sep, $4, $5; sep = "|" }' | tr '|' '\n' | sort | paste -sd'|')"

echo "== the package for 32-bit Windows"
msiinfo suminfo "$msi32" | grep -q 'Template: Intel;1033' || fail "not a 32-bit package: $(msiinfo suminfo "$msi32")"
# The same actions, sequences, registry rows and files (but for the exes'
# sizes); only what makes it 32-bit differs (its Program Files folder).
for t in CustomAction InstallExecuteSequence Registry File MsiLockPermissionsEx; do
  [ "$(table "$t" | sed 's/ProgramFiles64Folder/ProgramFilesFolder/g' | cut -f1-3,5-)" = "$(table_of "$msi32" "$t" | cut -f1-3,5-)" ] \
    || fail "the $t tables differ between the packages"
done
table_of "$msi32" Component | while IFS=$'\t' read -r id guid dir attributes condition keypath; do
  [ $((attributes & 256)) -eq 0 ] || fail "component $id of the 32-bit package is 64-bit"
done
expect_eq "32-bit install folder" "ProgramFilesFolder" "$(table_of "$msi32" Directory | awk -F'\t' '$1 == "INSTALLFOLDER" { print $2 }')"
expect_eq "32-bit launch condition" "This package is for 32-bit Windows; this Windows is 64-bit. Install PortSetup-$version-x64.msi instead." \
  "$(table_of "$msi32" LaunchCondition | awk -F'\t' '$1 == "Installed OR NOT VersionNT64" { print $2 }')"
expect_eq "64-bit launch condition" "This package is for 64-bit Windows; this Windows is 32-bit. Install PortSetup-$version-x86.msi instead." \
  "$(table LaunchCondition | awk -F'\t' '$1 == "Installed OR VersionNT64" { print $2 }')"
streams32="$work/streams32"
mkdir -p "$streams32"
(cd "$streams32" && msidump -s -d . "$msi32" >/dev/null)
ca32=$(find "$streams32" -name 'Binary.PortSetupCa*' | head -1)
x86_64-w64-mingw32-objdump -f "$ca32" | grep -q 'file format pei-i386' || fail "the 32-bit package's DLL is not 32-bit"
# Exported by their plain names, as Windows Installer looks them up (no @4).
expect_eq "the 32-bit DLL's entry points" "CheckRestart RunCli" \
  "$(x86_64-w64-mingw32-objdump -p "$ca32" | sed -n 's/^\t\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_@]*\)$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')"
upgrade64=$(cell Property UpgradeCode 2)
upgrade32=$(table_of "$msi32" Property | awk -F'\t' '$1 == "UpgradeCode" { print $2 }')
[ -n "$upgrade32" ] && [ "$upgrade32" != "$upgrade64" ] || fail "the packages share an UpgradeCode ($upgrade32)"

echo "== signatures"
extract="$work/extracted"
extract32="$work/extracted32"
mkdir -p "$extract" "$extract32"
(cd "$extract" && unzip -q "$zip")
(cd "$extract32" && unzip -q "$zip32")
for exe in PortSetup.exe PortSetupCli.exe; do
  x86_64-w64-mingw32-objdump -f "$extract/$exe" | grep -q 'file format pei-x86-64' || fail "$exe of the win64 zip is not 64-bit"
  x86_64-w64-mingw32-objdump -f "$extract32/$exe" | grep -q 'file format pei-i386' || fail "$exe of the win32 zip is not 32-bit"
done
for file in "$extract/PortSetup.exe" "$extract/PortSetupCli.exe" "$msi" "$extract32/PortSetup.exe" \
            "$extract32/PortSetupCli.exe" "$msi32"; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" > "$work/verify.txt" 2>&1 \
    || { cat "$work/verify.txt" >&2; fail "the signature of $(basename "$file") does not verify"; }
  grep -q 'Signature verification: ok' "$work/verify.txt" || fail "no verified signature on $(basename "$file")"
done
grep -q 'Message digest algorithm *: SHA256' "$work/verify.txt" || fail "the MSI is not signed with SHA-256"

echo "== the Intune scripts"
driver_version=$(sed -n 's/^DriverVer *= *[^,]*, *\([0-9.]*\).*/\1/p' "$driver/PRT3Q42WD32.inf" | tr -d '\r')
[ -n "$driver_version" ] || fail "the test package's INF has no DriverVer"
for script in detect remediation-detect remediation-remediate; do
  file="$dist/PortSetup-$version-intune-$script.ps1"
  [ -f "$file" ] || fail "no $script script in build/dist"
  ! grep -q '@[A-Z_]*@' "$file" || fail "$script keeps a placeholder: $(grep '@[A-Z_]*@' "$file")"
  # A missing program never reads as success.
  grep -q "Test-Path -LiteralPath \$cli" "$file" || fail "$script does not check that PortSetupCli.exe is there"
done
for script in detect remediation-detect; do
  grep -q "^\$MinDriverVersion = '$driver_version'$" "$dist/PortSetup-$version-intune-$script.ps1" \
    || fail "$script does not ask for the package's driver version $driver_version"
done
grep -q 'status --port $Port --min-driver-version $MinDriverVersion' "$dist/PortSetup-$version-intune-detect.ps1" \
  || fail "detect does not ask PortSetupCli status for the version"
# The Remediation pair is one script for every till: the stored choice, nothing to edit.
grep -qxF '$status = & $cli status --stored --min-driver-version $MinDriverVersion' "$dist/PortSetup-$version-intune-remediation-detect.ps1" \
  || fail "remediation-detect does not ask whether the till is as stored"
grep -qxF '$output = & $cli repair 2>&1' "$dist/PortSetup-$version-intune-remediation-remediate.ps1" \
  || fail "remediation-remediate does not repair"
for script in remediation-detect remediation-remediate; do
  ! grep -q '\$Port' "$dist/PortSetup-$version-intune-$script.ps1" || fail "$script still needs its port edited"
done

echo "== the Configuration Manager detection script"
# Configuration Manager's contract: exit 0 with output installed, exit 0
# without output not installed, any other exit a failed detection. Every
# branch of the script is one line, read here; the decision stays with
# PortSetupCli, whose "not as asked" code the script must name.
file="$dist/PortSetup-$version-configmgr-detect.ps1"
[ -f "$file" ] || fail "no Configuration Manager detection script in build/dist"
not_installed=$(sed -n 's/^inline constexpr int kExitNotInstalled = \([0-9]*\);.*/\1/p' "$root/src/setup/ExitCodes.h")
[ -n "$not_installed" ] || fail "src/setup/ExitCodes.h names no kExitNotInstalled"
expect_eq "the script's not-installed code" "\$NotInstalled = $not_installed" "$(grep '^\$NotInstalled = ' "$file")"
grep -qxF "\$MinDriverVersion = '$driver_version'" "$file" || fail "configmgr detect does not ask for the driver version $driver_version"
branches=$(grep -v '^#' "$file" | grep -E '\bexit [0-9]')
expect_eq "the script's branches" "if (-not (Test-Path -LiteralPath \$cli -PathType Leaf)) { exit 0 }
if (\$code -eq 0) { Write-Output \"PortSetup: installed on \$Port with driver \$MinDriverVersion or newer\"; exit 0 }
if (\$code -eq \$NotInstalled) { exit 0 }
exit 1" "$branches"
expect_eq "lines that write output" 1 "$(grep -c 'Write-Output' "$file")"
grep -qF '$status = & $cli status --port $Port --min-driver-version $MinDriverVersion 2>&1' "$file" \
  || fail "configmgr detect does not ask PortSetupCli status for the version, catching its output"

echo "== zip and checksums"
expect_eq "zip contents" "ADMINISTRATORS.txt PortSetup.exe PortSetupCli.exe" "$(ls "$extract" | sort | tr '\n' ' ' | sed 's/ $//')"
expect_eq "32-bit zip contents" "ADMINISTRATORS.txt PortSetup.exe PortSetupCli.exe" "$(ls "$extract32" | sort | tr '\n' ' ' | sed 's/ $//')"
cmp -s "$root/docs/administrators.md" "$extract/ADMINISTRATORS.txt" || fail "ADMINISTRATORS.txt is not the administrators' page"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
expect_eq "files with sums" "$(cd "$dist" && ls | grep -v SHA256SUMS | sort | tr '\n' ' ')" \
  "$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort | tr '\n' ' ')"

echo "== reproducible exes"
for build in windows:x86_64 windows32:i686; do
  cmake -S . -B "build/repro-${build%%:*}" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-${build#*:}.cmake" >/dev/null
  cmake --build "build/repro-${build%%:*}" -j "$(nproc)" --target PortSetup PortSetupCli -- --no-print-directory >/dev/null
  for exe in PortSetup.exe PortSetupCli.exe; do
    cmp -s "build/${build%%:*}/$exe" "build/repro-${build%%:*}/$exe" \
      || fail "$exe ($build) differs between two builds of the same sources"
  done
done
echo "package: ok"
