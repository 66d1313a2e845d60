# PortSetup @VERSION@: remediation script of an Intune Remediation (run as
# SYSTEM, 64-bit): installs the printer on $Port with the driver package
# beside PortSetupCli.exe, and stores the choice for later repairs. Exit 0
# when done (also when Windows must restart first: 3010); otherwise
# PortSetupCli's exit code, with its reason as the output.
$Port = 'COM1'
$folder = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$cli = Join-Path $folder 'PortSetup\PortSetupCli.exe'
if (-not (Test-Path -LiteralPath $cli -PathType Leaf)) {
    Write-Output "PortSetup is not installed: $cli is missing; deploy its MSI first"
    exit 1
}
$global:LASTEXITCODE = $null
$output = & $cli install --port $Port --remember 2>&1
$code = $LASTEXITCODE
Write-Output ($output -join "`n")
if ($code -eq 0) { exit 0 }
if ($code -eq 3010) { Write-Output 'Windows must restart before the USB printer uses the driver'; exit 0 }
if ($null -eq $code) { exit 1 }
exit $code
