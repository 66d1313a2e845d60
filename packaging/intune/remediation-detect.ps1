# PortSetup @VERSION@: detection script of an Intune Remediation (run as
# SYSTEM, 64-bit). Exit 0 when the till is as its stored choice says (the
# port and line settings the MSI or install --remember stored) with a driver
# at least as new as this package's (@DRIVER_VERSION@); exit 1, with
# PortSetupCli's status as the output, when the remediation is to run. The
# same script for every till: nothing to edit.
$MinDriverVersion = '@DRIVER_VERSION@'
$folder = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$cli = Join-Path $folder 'PortSetup\PortSetupCli.exe'
if (-not (Test-Path -LiteralPath $cli -PathType Leaf)) {
    Write-Output "PortSetup is not installed: $cli is missing"
    exit 1
}
$global:LASTEXITCODE = $null
$status = & $cli status --stored --min-driver-version $MinDriverVersion
if ($LASTEXITCODE -eq 0) { exit 0 }
Write-Output ($status -join "`n")
exit 1
