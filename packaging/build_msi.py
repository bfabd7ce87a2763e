#!/usr/bin/env python3
"""Builds the Windows installer of one width with wixl from zarvik.wxs.

    build_msi.py WXS ARCH VERSION EXE CZYTAJ ZADANIE OUT

ARCH is x64 (EXE is zarvik.exe, installed into ProgramFiles64Folder) or x86
(zarvik32.exe, ProgramFilesFolder). The UpgradeCode of each width is fixed for
good: every version of that width replaces the one installed. The product
code follows from the width and the version, the component codes from the
width alone, so they stay what they were for the same sources.

wixl writes the time it runs and a random package code into the package's
summary information; both are replaced here, the time by SOURCE_DATE_EPOCH
(when set) and the package code by one made from the package's other bytes,
so that the same inputs give the same package."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import uuid

UPGRADE_CODES = {"x64": "5B0E6C1D-3F0A-4C52-9E7B-6A1F2D8C4E01", "x86": "5B0E6C1D-3F0A-4C52-9E7B-6A1F2D8C4E02"}
NAMESPACE = uuid.UUID("3A8F1E52-7C9D-4B06-A2E4-91D0C5B7F310")
FILETIME_1601 = 11644473600  # seconds from 1601-01-01 to 1970-01-01


def code(name):
    return str(uuid.uuid5(NAMESPACE, name)).upper()


def filetime(seconds):
    return ((seconds + FILETIME_1601) * 10000000).to_bytes(8, "little")


def settle(path, epoch):
    """The package's bytes with wixl's run time and package code made fixed.
    The summary information holds each time as the type word 64 (VT_FILETIME)
    and 8 bytes, within a day or two of now; the package code as a braced
    GUID string, which msiinfo reads."""
    data = open(path, "rb").read()
    found = subprocess.run(["msiinfo", "suminfo", path], capture_output=True, check=True)
    wixl_code = re.search(rb"\{[0-9A-F-]{36}\}", found.stdout)
    now = int.from_bytes(filetime(int(time.time())), "little")
    near = 2 * 86400 * 10000000
    stamped = bytearray(data)
    if epoch is not None:
        for m in re.finditer(rb"\x40\x00\x00\x00(.{8})", data, re.S):
            if abs(int.from_bytes(m.group(1), "little") - now) < near:
                stamped[m.start(1):m.end(1)] = filetime(epoch)
    if wixl_code:
        blank = b"{" + b"0" * 8 + b"-0000" * 3 + b"-" + b"0" * 12 + b"}"
        stamped = bytearray(bytes(stamped).replace(wixl_code.group(0), blank))
        digest = uuid.uuid5(NAMESPACE, bytes(stamped).hex())
        stamped = bytes(stamped).replace(blank, ("{%s}" % str(digest).upper()).encode())
    return bytes(stamped)


def main(argv):
    if len(argv) != 8 or argv[2] not in UPGRADE_CODES:
        print(__doc__)
        return 2
    wxs, arch, version, exe, czytaj, zadanie, out = argv[1:]
    defines = {
        "Arch": arch, "Version": version, "ExeName": os.path.basename(exe),
        "ProgramFiles": "ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder",
        "Win64": "yes" if arch == "x64" else "no",
        "UpgradeCode": UPGRADE_CODES[arch], "ProductCode": code("product %s %s" % (arch, version)),
        "ComponentProgram": code("component program " + arch), "ComponentSettings": code("component settings " + arch),
        "Exe": "program.exe", "Czytaj": "CZYTAJ.txt", "Zadanie": "zadanie.xml",
    }
    # wixl takes the files' sources relative to the folder it runs in.
    with tempfile.TemporaryDirectory() as stage:
        epoch = os.environ.get("SOURCE_DATE_EPOCH")
        epoch = int(epoch) if epoch else None
        for source, name in [(exe, "program.exe"), (czytaj, "CZYTAJ.txt"), (zadanie, "zadanie.xml")]:
            shutil.copyfile(source, os.path.join(stage, name))
            if epoch is not None:  # the cabinet keeps each file's time
                os.utime(os.path.join(stage, name), (epoch, epoch))
        built = os.path.join(stage, "out.msi")
        args = ["wixl", "-a", arch, "-o", built] + [a for kv in defines.items() for a in ("-D", "%s=%s" % kv)]
        subprocess.run(args + [os.path.abspath(wxs)], cwd=stage, check=True)
        data = settle(built, epoch)
    with open(out + ".tmp", "wb") as f:
        f.write(data)
    os.replace(out + ".tmp", out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
