#!/usr/bin/env python3
"""Checks of the release packages and of the user documentation.

  check_package.py manpage <zarvik.1> <version>
  check_package.py czytaj <CZYTAJ.txt>
  check_package.py readme <README.md>
  check_package.py imports <objdump> <zarvik.exe> <i386|x86-64>
  check_package.py linux <cpack> <CPackConfig.cmake> <work dir> <version>
  check_package.py zip <cpack> <CPackConfig.cmake> <work dir> <version> <wine-run> <CZYTAJ.txt> <exe name> [<32-bit tree>]

Every check prints one line; the script ends with 1 when any failed, and with
77 (skipped) when the zip is to hold the 32-bit tree's program and that tree
is not built.
"""
import os
import re
import shutil
import subprocess
import sys
import tarfile
import zipfile

EXIT_CODES = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}
failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures += 1
    return ok


def run(args, **kw):
    return subprocess.run(args, capture_output=True, **kw)


# --- documentation -----------------------------------------------------------

def section(text, title):
    """The lines of a rendered man page section, up to the next heading."""
    m = re.search(r"^" + re.escape(title) + r"\n(.*?)(?=^[A-Z][A-Z ]+\n|\Z)", text, re.S | re.M)
    return m.group(1) if m else ""


def manpage(path, version):
    title = open(path, encoding="ascii").readline()
    check(re.match(r'\.TH ZARVIK 1 "[^"]*" "zarvik %s"' % re.escape(version), title) is not None,
          "the title line names version %s: %s" % (version, title.strip()))
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
    r = run(["man", "--warnings", "-l", path], env=env)
    check(r.returncode == 0, "man -l renders the page (exit %d)" % r.returncode)
    warnings = r.stderr.decode("utf-8", "replace").strip()
    check(warnings == "", "no warnings from groff" + ("" if not warnings else ": " + warnings))
    text = r.stdout.decode("utf-8", "replace")
    for title in ["NAME", "SYNOPSIS", "DESCRIPTION", "MODES", "EXIT STATUS", "FILES",
                  "ENVIRONMENT", "EXAMPLES"]:
        check(re.search(r"^" + title + r"$", text, re.M) is not None, "section " + title)
    codes = {int(c) for c in re.findall(r"^ {7}(\d+) ", section(text, "EXIT STATUS"), re.M)}
    check(codes == EXIT_CODES, "EXIT STATUS lists the codes %s (found %s)" % (sorted(EXIT_CODES), sorted(codes)))
    env_text = section(text, "ENVIRONMENT")
    for name in ["ZARVIK_DEV_ROOT", "ZARVIK_SYSFS_ROOT"]:
        check(name in env_text, "ENVIRONMENT names " + name)
    files = section(text, "FILES")
    for name in ["ERROR_log.txt", "log/log_log.txt", "vemora_log/error_log.txt", "error.txt", "test.txt"]:
        check(name in files, "FILES names " + name)
    for mode in ["HELP", "LIST", "DR"]:
        check(mode in section(text, "MODES"), "MODES describes " + mode)


def czytaj(path):
    data = open(path, "rb").read()
    check(data.startswith(b"\xef\xbb\xbf"), "starts with the UTF-8 byte order mark (Notepad)")
    try:
        text = data[3:].decode("utf-8")
        check(True, "valid UTF-8")
    except UnicodeDecodeError as e:
        check(False, "valid UTF-8: %s" % e)
        return
    bare = len(re.findall(r"(?<!\r)\n|\r(?!\n)", text))
    check(bare == 0, "every line ends in CR LF (%d bare line ends)" % bare)
    check(text.endswith("\r\n"), "the last line is ended")
    check(any(c in text for c in "ąćęłńóśźż"), "Polish letters are present")
    codes = {int(c) for c in re.findall(r"^  (\d+) +- ", text, re.M)}
    check(codes == EXIT_CODES, "exit codes %s explained (found %s)" % (sorted(EXIT_CODES), sorted(codes)))
    for name in ["ERROR_log.txt", "log\\log_log.txt", "vemora_log\\error_log.txt", "error.txt",
                 "zarvik.exe D:\\ARCHIWUM DR", "zarvik.exe D:\\ARCHIWUM COM", "zarvik.exe LIST", "zarvik32.exe"]:
        check(name in text, "mentions " + name)
    # The task command stays one line, to be copied as it is.
    long_lines = [l for l in text.split("\r\n") if len(l) > 79 and not l.startswith("  schtasks ")]
    check(not long_lines, "no line wider than 79 characters (%d)" % len(long_lines))
    check(re.search(r"^  schtasks /Create .*\\harmonogram\.cmd .*/SC DAILY", text, re.M) is not None,
          "gives the schtasks command that runs harmonogram.cmd every night")


def readme(path):
    text = open(path, encoding="utf-8").read()
    table = re.search(r"^## Exit codes\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    codes = {int(c) for c in re.findall(r"^\| (\d+) \|", table.group(1), re.M)} if table else set()
    check(codes == EXIT_CODES, "README's exit codes %s (found %s)" % (sorted(EXIT_CODES), sorted(codes)))
    for title in ["Szybki start", "Packages", "Reporting a problem"]:
        check(re.search(r"^## " + title, text, re.M) is not None, "README section " + title)
    check("scripts/release" in text and "dialout" in text, "README names scripts/release and dialout")


# --- Windows executable --------------------------------------------------------

# What any Windows 7 or later PC has: the system DLLs and the API sets.
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "setupapi.dll", "cfgmgr32.dll", "winmm.dll", "user32.dll",
    "advapi32.dll", "ntdll.dll", "shell32.dll", "ole32.dll", "version.dll", "ws2_32.dll",
    "bcrypt.dll", "gdi32.dll",
}


# Calls a Windows 7 SP1 kernel lacks that a toolchain's precompiled runtime
# (libstdc++, winpthreads) or a convenient one-call API could bring in; the
# program's own code is held to Windows 7 by _WIN32_WINNT at compile time.
NEWER_THAN_WINDOWS_7 = {
    "GetSystemTimePreciseAsFileTime", "CreateFile2", "GetCurrentThreadStackLimits",
    "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll", "SetThreadDescription",
    "GetThreadDescription", "BCryptHash", "PathCchCombine", "CopyFile2", "SetDefaultDllDirectories",
    "AddDllDirectory", "GetOverlappedResultEx", "CreateRemoteThreadEx",
}


def imports(objdump, exe, machine):
    r = run([objdump, "-p", exe])
    if not check(r.returncode == 0, "objdump reads " + exe):
        return
    text = r.stdout.decode("latin-1")
    check(re.search(r"file format pei-" + re.escape(machine) + r"$", text, re.M) is not None,
          "a %s program" % machine)
    # Windows 7 is 6.1: a higher subsystem or system version and it refuses
    # to start the program.
    for field in ["Subsystem", "OSystem"]:
        major = re.search(r"^Major%sVersion\s+(\d+)" % field, text, re.M)
        minor = re.search(r"^Minor%sVersion\s+(\d+)" % field, text, re.M)
        version = (int(major.group(1)), int(minor.group(1))) if major and minor else None
        check(version is not None and version <= (6, 1),
              "%s version %s runs on Windows 7" % (field, "%d.%d" % version if version else "missing"))
    dlls = re.findall(r"DLL Name: (\S+)", text)
    check(len(dlls) > 0, "import table found (%s)" % ", ".join(dlls))
    # Windows 7 has only the first version (l1-1-0) of each API set.
    foreign = [d for d in dlls if d.lower() not in SYSTEM_DLLS
               and not (d.lower().startswith("api-ms-win-") and d.lower().endswith("-l1-1-0.dll"))]
    check(not foreign, "only system DLLs are imported" + ("" if not foreign else "; not system: " + ", ".join(foreign)))
    calls = set(re.findall(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)", text, re.M))
    newer = sorted(calls & NEWER_THAN_WINDOWS_7)
    check(len(calls) > 20 and not newer,
          "%d imported calls, none newer than Windows 7%s" % (len(calls), "; newer: " + ", ".join(newer) if newer else ""))
    m = re.search(r"^Subsystem\s+(\S+)", text, re.M)
    check(m is not None and int(m.group(1), 16) == 3, "console subsystem (Windows CUI)")


# --- packages ------------------------------------------------------------------

def cpack(program, config, work, generator):
    work = os.path.abspath(work)
    out = os.path.join(work, "out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    r = run([program, "-G", generator, "--config", config, "-B", out])
    check(r.returncode == 0, "cpack -G %s" % generator)
    if r.returncode != 0:
        sys.stdout.write(r.stdout.decode("utf-8", "replace") + r.stderr.decode("utf-8", "replace"))
    return out


def one_file(directory, suffix):
    found = [f for f in os.listdir(directory) if f.endswith(suffix)]
    check(len(found) == 1, "one %s package (%s)" % (suffix, ", ".join(found) or "none"))
    return os.path.join(directory, found[0]) if len(found) == 1 else None


def help_runs(argv, cwd, what):
    """The program in help mode, standard input closed: usage text, code 0."""
    r = run(argv + ["HELP"], cwd=cwd, stdin=subprocess.DEVNULL, timeout=240)
    out = r.stdout.decode("cp1250", "replace")
    check(r.returncode == 0 and out.startswith("Wywolanie: Zarvik"),
          "%s runs HELP (exit %d, %r)" % (what, r.returncode, out[:40]))


def list_runs(argv, cwd, what, env=None):
    """The program in LIST mode writes its report and ends with 0."""
    report = os.path.join(cwd, "report.txt")
    if os.path.exists(report):
        os.remove(report)
    r = run(argv + ["LIST", "report.txt"], cwd=cwd, stdin=subprocess.DEVNULL, timeout=240, env=env)
    body = open(report, "rb").read() if os.path.exists(report) else b""
    check(r.returncode == 0 and "Konfiguracja komputera".encode("cp1250") in body,
          "%s runs LIST and writes the report (exit %d, %d bytes)" % (what, r.returncode, len(body)))


def linux(program, config, work, version):
    work = os.path.abspath(work)
    out = cpack(program, config, work, "DEB;TGZ")
    deb = one_file(out, ".deb")
    tgz = one_file(out, ".tar.gz")
    if deb:
        check(os.path.basename(deb) == "zarvik_%s_amd64.deb" % version, "Debian file name " + os.path.basename(deb))
        fields = {}
        for field in ["Package", "Version", "Architecture", "Maintainer", "Description", "Depends", "Section"]:
            fields[field] = run(["dpkg-deb", "-f", deb, field]).stdout.decode().strip()
        check(fields["Package"] == "zarvik", "Package: zarvik")
        check(fields["Version"] == version, "Version: " + fields["Version"])
        check(fields["Architecture"] == "amd64", "Architecture: amd64")
        check("@" in fields["Maintainer"], "Maintainer has an address: " + fields["Maintainer"])
        check(len(fields["Description"].splitlines()) > 1, "Description has a summary and a body")
        check("libc6" in fields["Depends"], "Depends names libc6: " + fields["Depends"])
        check("libssl3" in fields["Depends"], "Depends names libcrypto's package: " + fields["Depends"])
        listing = run(["dpkg-deb", "-c", deb]).stdout.decode()
        names = {line.split()[-1] for line in listing.splitlines() if line.strip()}
        check("./usr/bin/zarvik" in names, "the .deb holds /usr/bin/zarvik")
        check("./usr/share/man/man1/zarvik.1.gz" in names, "the .deb holds the man page")
        units = ["./usr/lib/systemd/system/zarvik.service", "./usr/lib/systemd/system/zarvik.timer"]
        check(all(u in names for u in units) and "./etc/default/zarvik" in names,
              "the .deb holds the service, the timer and /etc/default/zarvik")
        check(not any("gtest" in n or "gmock" in n or "/include/" in n or "devsim" in n for n in names),
              "nothing but the program, its page and the nightly run in the .deb")
        conffiles = run(["dpkg-deb", "-I", deb, "conffiles"]).stdout.decode().split()
        check(conffiles == ["/etc/default/zarvik"], "/etc/default/zarvik is a configuration file: %s" % conffiles)
        root = os.path.join(work, "deb-root")
        shutil.rmtree(root, ignore_errors=True)
        check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "the .deb unpacks")
        binary = os.path.join(root, "usr/bin/zarvik")
        if check(os.access(binary, os.X_OK), "the packaged binary is executable"):
            help_runs([binary], work, "the packaged binary")
            list_runs([binary], work, "the packaged binary")
            systemd_units(root, binary, work)
    if tgz:
        with tarfile.open(tgz) as t:
            members = {m.name.split("/", 1)[-1]: m for m in t.getmembers()}
        check("bin/zarvik" in members and members["bin/zarvik"].mode & 0o111,
              "the .tar.gz holds an executable bin/zarvik")
        check("share/man/man1/zarvik.1.gz" in members, "the .tar.gz holds share/man/man1/zarvik.1.gz")


def systemd_units(root, binary, work):
    """systemd-analyze verify on the packaged units; the service's program
    is the unpacked binary, as nothing is installed."""
    service = open(os.path.join(root, "usr/lib/systemd/system/zarvik.service")).read()
    timer = open(os.path.join(root, "usr/lib/systemd/system/zarvik.timer")).read()
    fields = dict(re.findall(r"^(\w+)=(.*)$", service + timer, re.M))
    check(fields.get("Type") == "oneshot" and fields.get("SupplementaryGroups") == "dialout" and
          fields.get("WorkingDirectory") == "/var/lib/zarvik" and fields.get("StateDirectory") == "zarvik",
          "the service: oneshot, group dialout, working directory and state in /var/lib/zarvik")
    check("EnvironmentFile=-/etc/default/zarvik" in service and
          re.search(r"^ExecStart=/usr/bin/zarvik \$ZARVIK_TARGET \$ZARVIK_OPTIONS$", service, re.M) is not None,
          "the service runs /usr/bin/zarvik with the target and options of /etc/default/zarvik")
    check(fields.get("Persistent") == "true" and "RandomizedDelaySec" in fields and "OnCalendar" in fields,
          "the timer: nightly, persistent, randomised delay")
    units = os.path.join(work, "units")
    shutil.rmtree(units, ignore_errors=True)
    os.makedirs(units)
    with open(os.path.join(units, "zarvik.service"), "w") as f:
        f.write(service.replace("/usr/bin/zarvik", binary))
    with open(os.path.join(units, "zarvik.timer"), "w") as f:
        f.write(timer)
    r = run(["systemd-analyze", "verify", "--man=no", os.path.join(units, "zarvik.service"),
             os.path.join(units, "zarvik.timer")], cwd=units)
    said = (r.stdout + r.stderr).decode("utf-8", "replace").strip()
    check(r.returncode == 0 and said == "", "systemd-analyze verify passes on both units" + (": " + said if said else ""))


def windows_zip(program, config, work, version, wine_run, czytaj_path, exe_name, tree32=None):
    """The zip a user gets: its programs start under Wine, show the help and
    write a report. With tree32 it holds that tree's zarvik32.exe too."""
    if tree32 and not os.path.exists(os.path.join(tree32, "cmake_install.cmake")):
        print("skipped: the 32-bit tree %s is not built (cmake --preset windows32)" % tree32)
        sys.exit(77)
    work = os.path.abspath(work)
    out = cpack(program, config, work, "ZIP")
    path = one_file(out, ".zip")
    if not path:
        return
    exes = [exe_name, "zarvik32.exe"] if tree32 else [exe_name]
    name = "windows" if tree32 else ("win32" if exe_name == "zarvik32.exe" else "win64")
    check(os.path.basename(path) == "zarvik-%s-%s.zip" % (version, name), "zip name " + os.path.basename(path))
    unpacked = os.path.join(work, "zip-root")
    shutil.rmtree(unpacked, ignore_errors=True)
    with zipfile.ZipFile(path) as z:
        files = {n.split("/", 1)[-1]: n for n in z.namelist() if not n.endswith("/")}
        check(sorted(files) == sorted(["CZYTAJ.txt", "harmonogram.cmd"] + exes),
              "the zip holds %s, CZYTAJ.txt and harmonogram.cmd: %s" % (" and ".join(exes), sorted(files)))
        if "harmonogram.cmd" in files:
            task = z.read(files["harmonogram.cmd"])
            check(task.isascii() and b"\n" not in task.replace(b"\r\n", b""),
                  "harmonogram.cmd is ASCII with CR LF line ends (cmd reads it in any code page)")
            check(all(w in task for w in [b"set CEL=", b"set OPCJE=", b"set ZARVIK_SUMMARY=", b"set ZARVIK_METRICS=",
                                          b"zarvik.exe \"%CEL%\" %OPCJE%", b"exit /b %ERRORLEVEL%"]),
                  "harmonogram.cmd sets the target, the options and both variables and passes the exit code on")
        if "CZYTAJ.txt" in files:
            check(z.read(files["CZYTAJ.txt"]) == open(czytaj_path, "rb").read(),
                  "CZYTAJ.txt is packed byte for byte")
        z.extractall(unpacked)
    for exe in exes:
        if exe in files:
            full = os.path.join(unpacked, files[exe])
            cwd = os.path.dirname(full)
            help_runs([wine_run, full], cwd, "the zipped %s under Wine" % exe)
            list_runs([wine_run, full], cwd, "the zipped %s under Wine" % exe)


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    what, args = argv[1], argv[2:]
    if what == "manpage":
        manpage(*args)
    elif what == "czytaj":
        czytaj(*args)
    elif what == "readme":
        readme(*args)
    elif what == "imports":
        imports(*args)
    elif what == "linux":
        linux(*args)
    elif what == "zip":
        windows_zip(*args)
    else:
        print(__doc__)
        return 2
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
