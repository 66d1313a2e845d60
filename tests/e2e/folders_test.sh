#!/usr/bin/env bash
# Driver packages in folders with blanks and with Cyrillic letters install;
# a rundll32.exe planted beside PortSetup.exe is never run.
. "$(dirname "$0")/lib.sh"

for folder in "Program Files/Kaldo Driver" "Драйвер принтера"; do
  reset_state
  package="$WINEPREFIX/drive_c/$folder"
  make_package "$package"
  dir='Z:'$(printf '%s' "$package" | tr / '\\')
  arg="$dir\\PRT3Q42WD32.inf"
  case "$dir" in *" "*) arg="\"$arg\"" ;; esac
  drive start normal "$(winpath "$package/PortSetup.exe")" "" wait-window 15000 click-com 3 next wait-exit 20000 0
  wait_log 2
  expect_eq "install command in $folder" \
    "$PRINTUI /if /b \"KALDO Veltro MiniPrinter\" /f $arg /r \"COM3:\" /m \"KALDO QTX_VELTRO\"" "$(started_lines | head -1)"
  expect_eq "the INF file was found in $folder" "printer added" "$(outcomes | head -1)"
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
echo "folders: ok"
