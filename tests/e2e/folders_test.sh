#!/usr/bin/env bash
# Driver packages in folders with blanks and with Cyrillic letters install;
# a rundll32.exe planted beside PortSetup.exe is never run.
. "$(dirname "$0")/lib.sh"

for folder in "Program Files/Kaldo Driver" "Драйвер принтера"; do
  reset_state
  package="$WINEPREFIX/drive_c/$folder"
  make_package "$package"
  dir=$(winpath "$package")
  arg="$dir\\PRT3Q42WD32.inf"
  case "$dir" in *" "*) arg="\"$arg\"" ;; esac
  drive start normal "$(winpath "$package/PortSetup.exe")" "" wait-window 15000 click-com 3 next wait-exit 20000 0
  wait_log 2
  expect_eq "install command in $folder" \
    "$PRINTUI /if /b \"KALDO Veltro MiniPrinter\" /f $arg /r \"COM3:\" /m \"KALDO QTX_VELTRO\"" "$(started_lines | head -1)"
  expect_eq "the INF file was found in $folder" "done: printer added" "$(outcomes | head -1)"
  expect_eq "COM3: from $folder" "9600,n,8,1,p" "$(reg_value "$PORTS" "COM3:")"
done

# A planted rundll32.exe beside the program: only system32's runs.
reset_state
package="$WINEPREFIX/drive_c/Downloads/Kaldo"
make_package "$package"
cp "$PORTSETUP_BUILD/printui_standin.exe" "$package/rundll32.exe"
drive start normal "$(winpath "$package/PortSetup.exe")" "" wait-window 15000 click-com 1 next wait-exit 20000 0
wait_log 2
expect_lines "programs that ran" 'C:\windows\system32\rundll32.exe' "$(started_programs)"
expect_lines "their current folder" 'C:\windows\system32' "$(cut -f6 "$LOG" | tr -d '\r' | sort -u)"

# A winspool.drv planted beside the program, with Wine told to prefer a native
# copy for it: the program loads the printer API from the system directory only.
prefer_native() {
  wine_run reg add 'HKCU\Software\Wine\AppDefaults\'"$1"'\DllOverrides' /v winspool.drv /d native,builtin /f >/dev/null
}
marker="$WINEPREFIX/drive_c/planted-dll-loaded.txt"
cp "$PORTSETUP_BUILD/planted.dll" "$package/winspool.drv"
prefer_native PortSetup.exe
rm -f "$marker" "$LOG"
printf 'POS A\tKALDO QTX_VELTRO\n' | add_printers
drive start hidden "$(winpath "$package/PortSetup.exe")" "DEL" wait-exit 20000 0
wait_log 3
[ ! -e "$marker" ] || fail "PortSetup.exe loaded the planted winspool.drv"
expect_eq "removal with a planted winspool.drv" "done: printer deleted" "$(outcomes | sed -n 2p)"
# The same plant is loaded by a program that imports winspool.drv the usual way.
cp "$PORTSETUP_BUILD/ui_driver.exe" "$package/"
prefer_native ui_driver.exe
wine_run "$(winpath "$package/ui_driver.exe")" list-printers >/dev/null 2>&1 || true
[ -e "$marker" ] || fail "the planted DLL test cannot tell: an importing program did not load it either"
echo "folders: ok"
