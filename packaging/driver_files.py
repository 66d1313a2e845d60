#!/usr/bin/env python3
"""Writes the two WiX include files for a driver package folder: its files as
64-bit components (subfolders as folders), and the references the feature
needs. Component GUIDs are derived from the file's path in the package, so a
file keeps its GUID from one build to the next. Sources are written relative
to OUT_DIR, where wixl runs (it refuses absolute ones).
Usage: driver_files.py PACKAGE_DIR OUT_DIR"""
import os
import sys
import uuid
from xml.sax.saxutils import quoteattr

NAMESPACE = uuid.UUID("5d2c6e0a-8f0b-4c59-9a63-5b1d7a0f4e21")


def main():
    package, out = sys.argv[1], sys.argv[2]
    components, refs = [], []

    def walk(folder, relative, indent):
        lines = []
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            rel = f"{relative}/{name}" if relative else name
            key = "D" + uuid.uuid5(NAMESPACE, rel.lower()).hex[:24]
            if os.path.isdir(path):
                lines.append(f"{indent}<Directory Id=\"{key}\" Name={quoteattr(name)}>")
                lines += walk(path, rel, indent + "  ")
                lines.append(f"{indent}</Directory>")
            elif os.path.isfile(path):
                guid = uuid.uuid5(NAMESPACE, "component:" + rel.lower())
                lines.append(f"{indent}<Component Id=\"{key}\" Guid=\"{guid}\" Win64=\"$(var.Win64)\">")
                lines.append(f"{indent}  <File Id=\"{key}\" Name={quoteattr(name)} "
                             f"Source={quoteattr(os.path.relpath(path, out))} KeyPath=\"yes\"/>")
                lines.append(f"{indent}</Component>")
                refs.append(f"  <ComponentRef Id=\"{key}\"/>")
        return lines

    components = walk(package, "", "  ")
    header = '<?xml version="1.0" encoding="utf-8"?>\n<Include>\n'
    with open(os.path.join(out, "DriverFiles.wxi"), "w", encoding="utf-8") as f:
        f.write(header + "\n".join(components) + "\n</Include>\n")
    with open(os.path.join(out, "DriverRefs.wxi"), "w", encoding="utf-8") as f:
        f.write(header + "\n".join(refs) + "\n</Include>\n")


if __name__ == "__main__":
    main()
