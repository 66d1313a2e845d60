# PortSetup @VERSION@: detection script for the Intune Win32 app (custom
# detection; "Run script as 32-bit process on 64-bit clients": No).
# Detected only when PortSetupCli says the printer is installed as asked with
# a driver at least as new as this package's (@DRIVER_VERSION@). Set $Port to
# the PORT the app's install command gives.
$Port = 'COM1'
$MinDriverVersion = '@DRIVER_VERSION@'
$folder = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$cli = Join-Path $folder 'PortSetup\PortSetupCli.exe'
# No program, no detection: $LASTEXITCODE says nothing when nothing ran.
if (-not (Test-Path -LiteralPath $cli -PathType Leaf)) { exit 1 }
$global:LASTEXITCODE = $null
& $cli status --port $Port --min-driver-version $MinDriverVersion | Out-Null
if ($LASTEXITCODE -eq 0) {
    Write-Output "PortSetup: installed on $Port with driver $MinDriverVersion or newer"
    exit 0
}
exit 1
