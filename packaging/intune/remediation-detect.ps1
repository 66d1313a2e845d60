# PortSetup @VERSION@: detection script of an Intune Remediation (run as
# SYSTEM, 64-bit). Exit 0 when the printer is installed as asked with a
# driver at least as new as this package's (@DRIVER_VERSION@); exit 1, with
# PortSetupCli's status as the output, when the remediation is to run. Set
# $Port as in the remediation script.
$Port = 'COM1'
$MinDriverVersion = '@DRIVER_VERSION@'
$folder = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$cli = Join-Path $folder 'PortSetup\PortSetupCli.exe'
if (-not (Test-Path -LiteralPath $cli -PathType Leaf)) {
    Write-Output "PortSetup is not installed: $cli is missing"
    exit 1
}
$global:LASTEXITCODE = $null
$status = & $cli status --port $Port --min-driver-version $MinDriverVersion
if ($LASTEXITCODE -eq 0) { exit 0 }
Write-Output ($status -join "`n")
exit 1
