#!/usr/bin/env bash
# Makes a small stand-in driver package folder for the tests: the INF file the
# tool looks for and a few files beside it, one in a subfolder. No real driver.
set -euo pipefail
dir=$1
rm -rf "$dir"
mkdir -p "$dir/amd64"
printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Printer\r\n; test package for PortSetup\r\n' > "$dir/PRT3Q42WD32.inf"
printf 'test catalog\r\n' > "$dir/prt3q42wd32.cat"
printf 'MZ test driver\r\n' > "$dir/amd64/KALDOQTX.DLL"
