#!/usr/bin/env bash
# Makes a small stand-in driver package folder for the tests, laid out as a
# vendor ships one: the INF file (with its catalog, version and a models
# section per processor), the catalog, and a file in a subfolder. No real driver.
set -euo pipefail
dir=$1
rm -rf "$dir"
mkdir -p "$dir/amd64"
printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Printer\r\nCatalogFile=prt3q42wd32.cat\r\nDriverVer=06/21/2024,1.2.3.4\r\n; test package for PortSetup\r\n\r\n[Manufacturer]\r\n%%Kaldo%%=Kaldo,NTamd64,NTx86\r\n\r\n[Kaldo.NTamd64]\r\n"KALDO QTX_VELTRO"=KALDOQTX,KALDO_QTX_VELTRO\r\n\r\n[Kaldo.NTx86]\r\n"KALDO QTX_VELTRO"=KALDOQTX,KALDO_QTX_VELTRO\r\n\r\n[Strings]\r\nKaldo="KALDO"\r\n' > "$dir/PRT3Q42WD32.inf"
printf 'test catalog\r\n' > "$dir/prt3q42wd32.cat"
printf 'MZ test driver\r\n' > "$dir/amd64/KALDOQTX.DLL"
