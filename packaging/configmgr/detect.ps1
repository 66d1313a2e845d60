# PortSetup @VERSION@: detection script for a Configuration Manager application
# (detection method "Use a custom script", PowerShell, run as SYSTEM, 64-bit).
# Configuration Manager reads exit 0 with output as installed, exit 0 without
# output as not installed, and any other exit as a failed detection:
#   installed as asked, with a driver at least @DRIVER_VERSION@: one line, exit 0;
#   not installed as asked (PortSetupCli ends 1605), or no PortSetupCli.exe: nothing, exit 0;
#   a status that could not be determined (any other end): its reason on stderr, exit 1.
# Set $Port to the PORT the deployment type's install program gives.
$Port = 'COM1'
$MinDriverVersion = '@DRIVER_VERSION@'
$NotInstalled = 1605
$folder = if ($env:ProgramW6432) { $env:ProgramW6432 } else { $env:ProgramFiles }
$cli = Join-Path $folder 'PortSetup\PortSetupCli.exe'
if (-not (Test-Path -LiteralPath $cli -PathType Leaf)) { exit 0 }
$global:LASTEXITCODE = $null
$status = & $cli status --port $Port --min-driver-version $MinDriverVersion 2>&1
$code = $LASTEXITCODE
if ($code -eq 0) { Write-Output "PortSetup: installed on $Port with driver $MinDriverVersion or newer"; exit 0 }
if ($code -eq $NotInstalled) { exit 0 }
[Console]::Error.WriteLine("PortSetup: the status could not be determined (PortSetupCli exit code $code): " + ($status -join ' '))
exit 1
