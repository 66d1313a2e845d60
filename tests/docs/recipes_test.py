#!/usr/bin/env python3
"""The administrators' deployment recipes run programs and driver packages only from
folders that only administrators can write: no folder directly under the
system drive (C:\\X, %SystemDrive%\\X, \\\\pc\\C$\\X) but Program Files and
Windows, and nothing in a Temp folder; and no detection takes a program that
never ran for one that succeeded."""
import re
import sys
from pathlib import Path

page = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "docs" / "administrators.md")
ALLOWED = {"program files", "windows"}
# A folder right under the system drive, in each way a recipe may name it.
ROOTED = re.compile(
    r"(?:\b[A-Za-z]:|%SystemDrive%|\$env:SystemDrive|\\\\[^\\\s]+\\[A-Za-z]\$)\\([^\\\"'\s]+(?: [^\\\"'\s]+)*)",
    re.IGNORECASE)
RUNS = re.compile(r"PortSetupCli\.exe|PortSetup\.exe|robocopy|Copy-Item|xcopy|msiexec|\.inf\b", re.IGNORECASE)


def recipe_lines(text):
    """Lines of the administrators' page, in indented code blocks or inline
    code, that run or copy something."""
    for number, line in enumerate(text.splitlines(), 1):
        code = line if line.startswith("    ") else " ".join(re.findall(r"`([^`]+)`", line))
        if code and RUNS.search(code):
            yield number, code


def faults(text):
    found = []
    for number, code in recipe_lines(text):
        for match in ROOTED.finditer(code):
            if match.group(1).lower() not in ALLOWED:
                found.append(f"line {number}: runs or copies from {match.group(0)}: {code.strip()}")
        if re.search(r"\\temp\b", code, re.IGNORECASE):
            found.append(f"line {number}: uses a Temp folder: {code.strip()}")
        # A program that never ran leaves $LASTEXITCODE empty: "exit $LASTEXITCODE"
        # alone would read a missing PortSetupCli.exe as success.
        if re.search(r"exit \$LASTEXITCODE", code, re.IGNORECASE) and "test-path" not in code.lower():
            found.append(f"line {number}: a missing program reads as success: {code.strip()}")
        # robocopy fails with 8 and above; "&" alone would install the old files.
        if re.search(r"robocopy.*\s&\s", code, re.IGNORECASE) and "errorlevel 8" not in code.lower():
            found.append(f"line {number}: runs on after a failed copy: {code.strip()}")
    return found


def self_check():
    """The check finds the faults it is there for."""
    bad = [
        '    cmd.exe /c robocopy . "%SystemDrive%\\PortSetup" /e & "%SystemDrive%\\PortSetup\\PortSetupCli.exe" install',
        '    cmd.exe /c robocopy . "%ProgramW6432%\\PortSetup" /e & "%ProgramW6432%\\PortSetup\\PortSetupCli.exe" install',
        "    & 'C:\\Temp\\PortSetup\\PortSetupCli.exe' install --port COM1",
        '    Copy-Item .\\PortSetup "\\\\$pc\\C$\\Tools\\PortSetup" -Recurse',
        '`& "$env:SystemDrive\\PortSetup\\PortSetupCli.exe" status`',
        '    & "$env:ProgramW6432\\PortSetup\\PortSetupCli.exe" status --port COM3; exit $LASTEXITCODE',
    ]
    good = [
        '    cmd.exe /c robocopy . "%ProgramW6432%\\PortSetup" /e & if errorlevel 8 (exit 8) else "%ProgramW6432%\\PortSetup\\PortSetupCli.exe" install',
        '    robocopy .\\PortSetup "\\\\$pc\\C$\\Program Files\\PortSetup" /e',
        "    msiexec /i PortSetup-1.0.0.msi /qn /l*v %SystemRoot%\\Logs\\PortSetup-msi.log",
    ]
    for line in bad:
        assert faults(line), f"not caught: {line}"
    for line in good:
        assert not faults(line), f"wrongly caught: {line}"


self_check()
problems = faults(page.read_text(encoding="utf-8"))
for problem in problems:
    print("FAIL:", problem)
lines = sum(1 for _ in recipe_lines(page.read_text(encoding="utf-8")))
if lines < 5:
    print(f"FAIL: only {lines} recipe lines found in {page}")
    sys.exit(1)
print(f"recipes: {lines} lines checked, {len(problems)} faults")
sys.exit(1 if problems else 0)
