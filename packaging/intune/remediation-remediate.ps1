# PortSetup @VERSION@: remediation script of an Intune Remediation (run as
# SYSTEM, 64-bit): installs again with the stored port and line settings and
# the driver package beside PortSetupCli.exe (PortSetupCli repair), so that
# nothing the MSI was given is reset. Exit 0 when done (also when Windows must
# restart first: 3010); otherwise PortSetupCli's exit code, with its reason as
# the output (1614: nothing is stored to repair). The same script for every
# till: nothing to edit.
$folder = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$cli = Join-Path $folder 'PortSetup\PortSetupCli.exe'
if (-not (Test-Path -LiteralPath $cli -PathType Leaf)) {
    Write-Output "PortSetup is not installed: $cli is missing; deploy its MSI first"
    exit 1
}
$global:LASTEXITCODE = $null
$output = & $cli repair 2>&1
$code = $LASTEXITCODE
Write-Output ($output -join "`n")
if ($code -eq 0) { exit 0 }
if ($code -eq 3010) { Write-Output 'Windows must restart before the USB printer uses the driver'; exit 0 }
if ($null -eq $code) { exit 1 }
exit $code
