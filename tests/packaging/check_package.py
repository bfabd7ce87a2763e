#!/usr/bin/env python3
"""Checks of the release packages and of the user documentation.

  check_package.py manpage <zarvik.1> <version>
  check_package.py czytaj <CZYTAJ.txt>
  check_package.py imports <objdump> <zarvik.exe> <i386|x86-64>
  check_package.py task <harmonogram.xml> <CZYTAJ.txt> <zadanie.xml>
  check_package.py linux <cpack> <CPackConfig.cmake> <work dir> <version> <build tree>
  check_package.py install <work dir>
  check_package.py harmonogram <harmonogram.cmd> <stub exe> <work dir> <wine-run>
  check_package.py zip <cpack> <CPackConfig.cmake> <work dir> <version> <wine-run> <CZYTAJ.txt> <exe name> [<32-bit tree>]
  check_package.py sign <scripts/sign> <exe> <msi> <work dir>
  check_package.py msi <build_msi.py> <zarvik.wxs> <x64|x86> <version> <exe> <CZYTAJ.txt> <zadanie.xml> <msi> <work dir> <wine-run>

Every check prints one line; the script ends with 1 when any failed, and with
77 (skipped, the reason said) where its check cannot run here.
"""
import os
import re
import shutil
import subprocess
import sys
import tarfile
import time
import zipfile

EXIT_CODES = set(range(13))
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
    codes = {int(c) for c in re.findall(r"^ {7}(\d+) ", section(text, "EXIT STATUS"), re.M)}
    check(codes == EXIT_CODES, "EXIT STATUS lists the codes %s (found %s)" % (sorted(EXIT_CODES), sorted(codes)))


def czytaj(path):
    data = open(path, "rb").read()
    check(data.startswith(b"\xef\xbb\xbf"), "starts with the UTF-8 byte order mark (Notepad)")
    try:
        text = data[3:].decode("utf-8")
    except UnicodeDecodeError as e:
        check(False, "valid UTF-8: %s" % e)
        return
    bare = len(re.findall(r"(?<!\r)\n|\r(?!\n)", text))
    check(bare == 0, "every line ends in CR LF (%d bare line ends)" % bare)
    check(text.endswith("\r\n"), "the last line is ended")
    codes = {int(c) for c in re.findall(r"^  (\d+) +- ", text, re.M)}
    check(codes == EXIT_CODES, "exit codes %s explained (found %s)" % (sorted(EXIT_CODES), sorted(codes)))
    # The task command stays one line, to be copied as it is.
    long_lines = [l for l in text.split("\r\n") if len(l) > 79 and not l.startswith("  schtasks ")]
    check(not long_lines, "no line wider than 79 characters (%d)" % len(long_lines))
    check(SCHTASKS.search(text) is not None,
          "gives the schtasks command that makes the task of harmonogram.xml, paths quoted")


# The command that makes the nightly task; its path is the folder of the zip.
SCHTASKS = re.compile(r'^  schtasks /Create /TN "Zarvik" /XML "(C:\\Program Files\\ZARVIK)\\harmonogram\.xml" /F\r?$',
                      re.M)
TASK_NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}


def task_xml(xml_path):
    """A Task Scheduler definition as schtasks /XML reads it (UTF-16 with its
    byte order mark), parsed; None when it is not."""
    import xml.etree.ElementTree as ET
    name = os.path.basename(xml_path)
    data = open(xml_path, "rb").read()
    check(data.startswith(b"\xff\xfe") and b"\n" not in data.decode("utf-16").replace("\r\n", "").encode(),
          "%s is UTF-16 with its byte order mark and CR LF line ends" % name)
    try:
        return ET.fromstring(data)
    except ET.ParseError as e:
        check(False, "%s parses: %s" % (name, e))


def task_text(root, path):
    node = root.find(path, TASK_NS)
    return node.text.strip() if node is not None and node.text else None


def task_settings(root, name):
    """The settings a task keeps: a missed night made up, a time limit, never
    two runs at once (all that Wine's Task Scheduler stores of a task)."""
    check(task_text(root, "t:Settings/t:StartWhenAvailable") == "true",
          "%s: StartWhenAvailable, a missed night runs at the next start" % name)
    limit = re.fullmatch(r"PT(\d+)H", task_text(root, "t:Settings/t:ExecutionTimeLimit") or "")
    check(limit is not None and 1 <= int(limit.group(1)) <= 23,
          "%s: ExecutionTimeLimit ends a run before the next night: %s"
          % (name, task_text(root, "t:Settings/t:ExecutionTimeLimit")))
    check(task_text(root, "t:Settings/t:MultipleInstancesPolicy") == "IgnoreNew",
          "%s: a run still going is not started twice" % name)


def task(xml_path, czytaj_path, msi_xml_path):
    """The nightly task of the zip (harmonogram.cmd in the folder CZYTAJ.txt
    names) and of the installer (its command is set at install) as schtasks
    reads them; their fixed values (schema, account, trigger) are the files'."""
    for path in [xml_path, msi_xml_path]:
        root = task_xml(path)
        if root is None:
            continue
        name = os.path.basename(path)
        task_settings(root, name)
        if path == xml_path:
            m = SCHTASKS.search(open(czytaj_path, "rb").read()[3:].decode("utf-8"))
            folder = m.group(1) if m else None
            command = task_text(root, "t:Actions/t:Exec/t:Command")
            check(folder is not None and command == folder + "\\harmonogram.cmd" and
                  task_text(root, "t:Actions/t:Exec/t:WorkingDirectory") == folder,
                  "runs harmonogram.cmd in the folder of CZYTAJ.txt's command (%s)" % command)


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
    # Two builds of the same sources give the same bytes: no link time.
    m = re.search(r"^Time/Date\s+(.*)$", text, re.M)
    check(m is not None and "1970" in m.group(1), "no link time in the PE header (%s)" % (m and m.group(1)))


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
    """The program in help mode, standard input closed: usage text, code 0.
    False when scripts/wine-run did not start it (a 32-bit program where
    32-bit programs do not start)."""
    r = run(argv + ["HELP"], cwd=cwd, stdin=subprocess.DEVNULL, timeout=240)
    said = r.stderr.decode("utf-8", "replace").strip()
    if r.returncode == 77 and said.startswith("skipped: "):
        print("%s (%s)" % (said, what))
        return False
    out = r.stdout.decode("cp1250", "replace")
    check(r.returncode == 0 and out.startswith("Wywolanie: Zarvik"),
          "%s runs HELP (exit %d, %r)" % (what, r.returncode, out[:40]))
    return True


def list_runs(argv, cwd, what, env=None):
    """The program in LIST mode writes its report and ends with 0."""
    report = os.path.join(cwd, "report.txt")
    if os.path.exists(report):
        os.remove(report)
    r = run(argv + ["LIST", "report.txt"], cwd=cwd, stdin=subprocess.DEVNULL, timeout=240, env=env)
    body = open(report, "rb").read() if os.path.exists(report) else b""
    check(r.returncode == 0 and "Konfiguracja komputera".encode("cp1250") in body,
          "%s runs LIST and writes the report (exit %d, %d bytes)" % (what, r.returncode, len(body)))


def packed_outside(tree, out, started):
    """Files the last cpack run installed outside its output directory, as
    the install manifests of the tree list them. The .deb's staging is a
    DESTDIR, which the manifest leaves out: a path counts as staged when
    the staging directory holds it and the real one was not written since
    the run started."""
    import glob
    staging = glob.glob(os.path.join(out, "_CPack_Packages", "*", "*", "*"))
    outside = []
    for name in os.listdir(tree):
        if name.startswith("install_manifest") and name.endswith(".txt"):
            for line in open(os.path.join(tree, name)).read().split("\n"):
                if not line or os.path.abspath(line).startswith(out + os.sep):
                    continue
                staged = any(os.path.lexists(s + line) for s in staging)
                written = os.path.lexists(line) and os.lstat(line).st_mtime >= started
                if written or not staged:
                    outside.append(line)
    return outside


def linux(program, config, work, version, tree):
    work = os.path.abspath(work)
    tree = os.path.abspath(tree)
    # Packing writes nothing outside the build tree: not the settings file of
    # the machine that builds (it is only in the .deb), nor anything else an
    # install rule names.
    had_defaults = os.path.lexists("/etc/default/zarvik")
    outs = {}
    for generator in ["DEB", "TGZ"]:
        for name in os.listdir(tree):
            if name.startswith("install_manifest"):
                os.remove(os.path.join(tree, name))
        started = time.time() - 1
        outs[generator] = cpack(program, config, os.path.join(work, generator.lower()), generator)
        outside = packed_outside(tree, outs[generator], started)
        check(not outside, "cpack -G %s installs only into its staging directory%s" %
              (generator, "; outside: " + ", ".join(outside) if outside else ""))
    check(os.path.lexists("/etc/default/zarvik") == had_defaults,
          "packing leaves /etc/default/zarvik as it was (%s)" % ("present" if had_defaults else "absent"))
    deb = one_file(outs["DEB"], ".deb")
    tgz = one_file(outs["TGZ"], ".tar.gz")
    if deb:
        shutil.copy(deb, os.path.join(work, "zarvik.deb"))
        check(os.path.basename(deb) == "zarvik_%s_amd64.deb" % version, "Debian file name " + os.path.basename(deb))
        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout.decode().strip()
        check(all(p in depends for p in ["libc6", "libssl3", "adduser"]),
              "Depends names libc6, libcrypto's package and adduser (postinst makes the user): " + depends)
        listing = run(["dpkg-deb", "-c", deb]).stdout.decode()
        names = {line.split()[-1] for line in listing.splitlines() if line.strip()}
        check({"./usr/share/man/man1/zarvik.1.gz", "./usr/lib/systemd/system/zarvik.timer",
               "./usr/share/doc/zarvik/examples/zarvik-alerts.yml", "./usr/share/doc/zarvik/examples/zarvik-collect"} <= names,
              "the .deb holds the man page, the timer and the README's alert rules and collection script")
        check(not any("gtest" in n or "gmock" in n or "/include/" in n or "devsim" in n for n in names),
              "nothing but the program, its page, its documents and the nightly run in the .deb")
        conffiles = run(["dpkg-deb", "-I", deb, "conffiles"]).stdout.decode().split()
        check(conffiles == ["/etc/default/zarvik"], "/etc/default/zarvik is a configuration file: %s" % conffiles)
        lint(deb)
        root = os.path.join(work, "deb-root")
        shutil.rmtree(root, ignore_errors=True)
        check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "the .deb unpacks")
        top = re.match(rb"zarvik \(([^)]+)\) ", gzip_read(os.path.join(root, "usr/share/doc/zarvik/changelog.gz")))
        check(top is not None and top.group(1).decode() == version,
              "the changelog's latest entry is version %s (%s)" % (version, top.group(1).decode() if top else None))
        binary = os.path.join(root, "usr/bin/zarvik")
        if check(os.access(binary, os.X_OK), "the packaged binary is executable"):
            help_runs([binary], work, "the packaged binary")
            list_runs([binary], work, "the packaged binary")
            systemd_units(root, binary, work)
    if tgz:
        with tarfile.open(tgz) as t:
            members = {m.name.split("/", 1)[-1]: m for m in t.getmembers()}
        check("bin/zarvik" in members and members["bin/zarvik"].mode & 0o111 and "share/man/man1/zarvik.1.gz" in members,
              "the .tar.gz holds an executable bin/zarvik and its man page")
        check(not any("etc/" in n for n in members), "the .tar.gz holds no settings file (only the .deb does)")


def gzip_read(path):
    import gzip
    with gzip.open(path) as f:
        return f.read()


def lint(deb):
    """lintian on the .deb: no error and no hardening tag (the package is
    built from the hardened tree)."""
    r = run(["lintian", "--tag-display-limit", "0", "--display-info", deb], timeout=600)
    said = (r.stdout + r.stderr).decode("utf-8", "replace")
    print("lintian says:\n" + (said if said.strip() else "(nothing)\n"), end="")
    tags = re.findall(r"^([EWIPX]): zarvik[^:]*: (\S+)", said, re.M)
    errors = [t for kind, t in tags if kind == "E"]
    check(r.returncode == 0 and not errors, "lintian reports no error%s" % (": " + ", ".join(errors) if errors else ""))
    hardening = [t for kind, t in tags if t.startswith("hardening-")]
    check(not hardening, "lintian reports no hardening tag%s" % (": " + ", ".join(hardening) if hardening else ""))


def systemd_units(root, binary, work):
    """systemd-analyze verify and security on the packaged units (their
    fixed values are the unit files' own); the service's program is the
    unpacked binary, as nothing is installed."""
    service = open(os.path.join(root, "usr/lib/systemd/system/zarvik.service")).read()
    timer = open(os.path.join(root, "usr/lib/systemd/system/zarvik.timer")).read()
    check("EnvironmentFile=-/etc/default/zarvik" in service and
          re.search(r"^ExecStart=/usr/bin/zarvik \$ZARVIK_TARGET \$ZARVIK_OPTIONS$", service, re.M) is not None,
          "the service runs /usr/bin/zarvik with the target and options of /etc/default/zarvik")
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
    r = run(["systemd-analyze", "security", "--offline=true", "--no-pager", os.path.join(units, "zarvik.service")],
            cwd=units)
    said = (r.stdout + r.stderr).decode("utf-8", "replace")
    print("systemd-analyze security, the settings it counts against the service:")
    print("\n".join(l.rstrip() for l in said.splitlines() if l.startswith("\u2717") or "exposure level" in l))
    level = re.search(r"Overall exposure level for zarvik\.service: (\d+\.\d+)", said)
    check(level is not None and float(level.group(1)) <= 2.0,
          "systemd-analyze security: exposure %s, at most 2.0" % (level.group(1) if level else "not found"))


# What a purge must leave as it was found: the names below these folders.
INSTALL_WATCH = ["/etc", "/usr/bin", "/usr/lib/systemd", "/lib/systemd", "/usr/share/doc/zarvik", "/usr/share/man/man1",
                 "/var/lib/systemd", "/var/lib/dpkg/info", "/var/lib/zarvik"]


def names_below(folders):
    found = set()
    for top in folders:
        for dirpath, dirnames, filenames in os.walk(top):
            for name in dirnames + filenames:
                found.add(os.path.join(dirpath, name))
    # The account tools' backups of the account files.
    return {n for n in found if not re.fullmatch(r"/etc/(passwd|group|shadow|gshadow|subuid|subgid)-", n)}


def account(kind, name):
    return run(["getent", kind, name]).stdout.decode().strip()


def install(work):
    """The .deb of pack_linux installed with dpkg, its timer enabled,
    installed again (the upgrade path), removed and purged: dpkg and the
    maintainer scripts must work without a running systemd (as here, in a
    container), make the user, and leave nothing behind but that user, which
    Debian keeps; the check removes the user itself at the end."""
    deb = os.path.join(os.path.abspath(work), "zarvik.deb")
    if os.geteuid() != 0:
        print("skipped: installing the package needs root")
        sys.exit(77)
    if run(["dpkg-query", "-W", "-f=${Status}", "zarvik"]).stdout.decode().endswith("installed") or \
            account("passwd", "zarvik") or account("group", "zarvik"):
        print("skipped: zarvik (the package or its user) is on this machine already")
        sys.exit(77)
    before = names_below(INSTALL_WATCH)
    installed = False

    def step(args, what):
        r = run(args, stdin=subprocess.DEVNULL, timeout=300)
        said = (r.stdout + r.stderr).decode("utf-8", "replace")
        print("$ %s (exit %d)\n%s" % (" ".join(args), r.returncode, said), end="")
        check(r.returncode == 0, what)
        return r.returncode == 0

    try:
        installed = step(["dpkg", "-i", deb], "dpkg -i installs the package")
        user = account("passwd", "zarvik").split(":")
        check(len(user) == 7 and int(user[2]) < 1000 and user[5] == "/var/lib/zarvik" and user[6] == "/usr/sbin/nologin",
              "postinst made the system user zarvik, home /var/lib/zarvik, no login shell: %s" % ":".join(user))
        groups = run(["id", "-nG", "zarvik"]).stdout.decode().split()
        check("dialout" in groups and "zarvik" in groups, "zarvik is in the groups zarvik and dialout: %s" % groups)
        link = "/etc/systemd/system/timers.target.wants/zarvik.timer"
        step(["systemctl", "enable", "zarvik.timer"], "systemctl enable zarvik.timer")
        check(os.path.islink(link), "enabling made " + link)
        step(["dpkg", "-i", deb], "dpkg -i again (the upgrade path) succeeds")
        check(os.path.islink(link), "the timer stays enabled across the upgrade")
        step(["dpkg", "-r", "zarvik"], "dpkg -r removes the package")
        check(not os.path.exists("/usr/bin/zarvik") and not os.path.exists("/usr/lib/systemd/system/zarvik.timer"),
              "removal takes the program and the units")
        installed = not step(["dpkg", "-P", "zarvik"], "dpkg -P purges the package")
        check(not os.path.lexists(link), "purge forgets the enabled timer: no timers.target.wants link")
        check(not os.path.lexists("/etc/default/zarvik"), "purge takes /etc/default/zarvik")
        left = sorted(names_below(INSTALL_WATCH) - before)
        check(not left, "after purge nothing is left behind%s" % (": " + ", ".join(left) if left else ""))
        check(account("passwd", "zarvik") != "", "the user zarvik stays after purge (it owns the archive)")
    finally:
        if installed:
            run(["dpkg", "-P", "zarvik"], stdin=subprocess.DEVNULL, timeout=300)
        if account("passwd", "zarvik"):
            run(["deluser", "--quiet", "--system", "zarvik"])
        if account("group", "zarvik"):
            run(["delgroup", "--quiet", "--system", "zarvik"])
    check(not account("passwd", "zarvik") and not account("group", "zarvik") and
          "zarvik" not in account("group", "dialout"), "the check removed the user and the group it caused")


WINE64 = "/usr/lib/wine/wine64"


def harmonogram(script, stub, work, wine_run):
    """harmonogram.cmd under Wine's 64-bit cmd for each answer a Windows gives:
    the exe it starts (a stub that names itself), the target, and the exit
    code passed on."""
    work = os.path.abspath(work)
    shutil.rmtree(work, ignore_errors=True)
    folder = os.path.join(work, "ZARVIK")
    os.makedirs(folder)
    text = open(script, "rb").read()
    # As a user edits it: the archive in the program's folder.
    edited = text.replace(b"set CEL=D:\\ARCHIWUM\r\n", b"set CEL=%~dp0archiwum\r\n")
    if not check(edited != text, "harmonogram.cmd sets CEL=D:\\ARCHIWUM (edited for the test)"):
        return
    with open(os.path.join(folder, "harmonogram.cmd"), "wb") as f:
        f.write(edited)
    run([wine_run, "--prefix"], stdin=subprocess.DEVNULL)
    env = dict(os.environ, WINEDEBUG="-all")
    cases = [  # PROCESSOR_ARCHITECTURE, PROCESSOR_ARCHITEW6432, exes present, the one to run
        ("x86", "", ["zarvik.exe", "zarvik32.exe"], "zarvik32.exe", "32-bit Windows"),
        ("x86", "AMD64", ["zarvik.exe", "zarvik32.exe"], "zarvik.exe", "64-bit Windows, 32-bit cmd"),
        ("AMD64", "", ["zarvik.exe", "zarvik32.exe"], "zarvik.exe", "64-bit Windows"),
        ("AMD64", "", ["zarvik32.exe"], "zarvik32.exe", "64-bit Windows, only zarvik32.exe copied"),
    ]
    for arch, w6432, exes, expected, what in cases:
        for name in ["zarvik.exe", "zarvik32.exe"]:
            path = os.path.join(folder, name)
            if os.path.exists(path):
                os.remove(path)
            if name in exes:
                shutil.copy(stub, path)
        log = os.path.join(folder, "archiwum", "harmonogram_log.txt")
        if os.path.exists(log):
            os.remove(log)
        # The script runs in a cmd of its own that inherits the answers, as
        # the Task Scheduler starts it (Wine's "call" loses the exit code).
        driver = "@echo off\r\nset PROCESSOR_ARCHITECTURE=%s\r\nset PROCESSOR_ARCHITEW6432=%s\r\n" \
                 "cmd /c harmonogram.cmd\r\nexit /b %%ERRORLEVEL%%\r\n" % (arch, w6432)
        with open(os.path.join(folder, "driver.cmd"), "w", newline="") as f:
            f.write(driver)
        with open(os.path.join(work, "wine.out"), "wb") as out:
            r = subprocess.run([WINE64, "cmd", "/c", "driver.cmd"], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                               stdout=out, stderr=subprocess.STDOUT, timeout=240)
        said = open(log, "rb").read().decode("ascii", "replace").strip() if os.path.exists(log) else "(no log)"
        print("PROCESSOR_ARCHITECTURE=%s PROCESSOR_ARCHITEW6432=%s, %s: exit %d, harmonogram_log.txt: %s" %
              (arch, w6432 or "(unset)", " ".join(exes), r.returncode, said))
        m = re.fullmatch(r"(\S*\d\S* \d.*?) ran (\S+) \[([A-Za-z]:\\.*\\archiwum)\]\r\n\1 kod zakonczenia 7",
                         said)
        check(m is not None and m.group(2).lower() == expected and r.returncode == 7,
              "%s: %s runs with the target, its exit code 7 passed on, each log line dated" % (what, expected))
    # A target on a drive the PC does not have: the lines go to ProgramData.
    with open(os.path.join(folder, "harmonogram.cmd"), "wb") as f:
        f.write(text.replace(b"set CEL=D:\\ARCHIWUM\r\n", b"set CEL=Q:\\ARCHIWUM\r\n"))
    data = os.path.join(os.environ["WINEPREFIX"], "drive_c", "ProgramData", "Zarvik")
    shutil.rmtree(data, ignore_errors=True)
    r = subprocess.run([WINE64, "cmd", "/c", "driver.cmd"], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=240)
    log = os.path.join(data, "harmonogram_log.txt")
    said = open(log, "rb").read().decode("ascii", "replace") if os.path.exists(log) else "(no log)"
    check(r.returncode == 7 and re.search(r"^\S*\d.* ran \S+ \[Q:\\ARCHIWUM\]\r\n.* kod zakonczenia 7", said),
          "no drive Q: the dated lines are in %%ProgramData%%\\Zarvik\\harmonogram_log.txt: %r" % said)


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
        check(sorted(files) == sorted(["CZYTAJ.txt", "harmonogram.cmd", "harmonogram.xml"] + exes),
              "the zip holds %s, CZYTAJ.txt, harmonogram.cmd and .xml: %s" % (" and ".join(exes), sorted(files)))
        # Unpacked to C:\ it gives C:\ZARVIK, the folder of CZYTAJ.txt's
        # command and of the task's action.
        check({n.split("/", 1)[0] for n in z.namelist()} == {"ZARVIK"}, "the zip's one folder is ZARVIK")
        if "harmonogram.cmd" in files:
            task = z.read(files["harmonogram.cmd"])
            check(task.isascii() and b"\n" not in task.replace(b"\r\n", b""),
                  "harmonogram.cmd is ASCII with CR LF line ends (cmd reads it in any code page)")
        if "CZYTAJ.txt" in files:
            check(z.read(files["CZYTAJ.txt"]) == open(czytaj_path, "rb").read(),
                  "CZYTAJ.txt is packed byte for byte")
        z.extractall(unpacked)
    started = 0
    for exe in exes:
        if exe in files:
            full = os.path.join(unpacked, files[exe])
            cwd = os.path.dirname(full)
            if help_runs([wine_run, full], cwd, "the zipped %s under Wine" % exe):
                list_runs([wine_run, full], cwd, "the zipped %s under Wine" % exe)
                started += 1
    if not started and not failures:
        sys.exit(77)


def msi(build, wxs, arch, version, exe, czytaj, zadanie, package, work, wine_run):
    """The installer under Wine, in a prefix of its own: a package of an older
    version installed with ARCHIWUM and OPCJE (the printer window OKNO at its
    default), this tree's package over it with OKNO alone (one entry in Apps,
    the other settings kept), then removed (the program, the task, the entry,
    the Event Log source gone, the archive folder left). Wine's Task Scheduler stores only a task's settings, not
    its trigger, account or command: the command is checked in the package's
    CustomAction table, which runs schtasks."""
    work = os.path.abspath(work)
    prefix = os.path.join(work, "msi-prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ, WINEPREFIX=prefix)
    older = os.path.join(work, "zarvik-0.0.1-%s.msi" % arch)
    r = run([sys.executable, build, wxs, arch, "0.0.1", exe, czytaj, zadanie, older])
    if not check(r.returncode == 0, "a package of version 0.0.1 builds"):
        print(r.stderr.decode("utf-8", "replace"))
        return
    actions = run(["msiinfo", "export", package, "CustomAction"]).stdout.decode("utf-8", "replace")
    check('/Create /TN Zarvik /XML "[INSTALLDIR]zadanie.xml" /F' in actions and
          '/Change /TN Zarvik /TR "\\"[#Program]\\" \\"[ARCHIWUM]\\" [OPCJE] OKNO=[OKNO]"' in actions and
          "/Delete /TN Zarvik /F" in actions,
          "the package makes the task from zadanie.xml, points it at the program with ARCHIWUM, OPCJE and OKNO, "
          "removes it with the program")

    def wine(*args):
        r = run([wine_run] + list(args), env=env, stdin=subprocess.DEVNULL, timeout=600)
        said = r.stderr.decode("utf-8", "replace").strip()
        if r.returncode == 77 and said.startswith("skipped: "):
            print(said)
            sys.exit(77)
        return r

    def query(key):
        r = wine("reg", "query", key, "/s")
        return r.stdout.decode("utf-8", "replace").replace("\r", "") if r.returncode == 0 else ""

    def entries():
        text = query(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall")
        return re.findall(r"DisplayName\s+REG_SZ\s+Zarvik\n(?:.*\n)*?\s+DisplayVersion\s+REG_SZ\s+(\S+)", text)

    def msiexec(what, *args):
        r = wine("msiexec", *args, "/qn")
        check(r.returncode == 0, "msiexec %s (exit %d)" % (what, r.returncode))

    drive_c = os.path.join(prefix, "drive_c")
    z = lambda path: "Z:" + path.replace("/", "\\")
    msiexec("/i zarvik-0.0.1-%s.msi ARCHIWUM=C:\\Archiwum KE OPCJE=DR" % arch,
            "/i", z(older), "ARCHIWUM=C:\\Archiwum KE", "OPCJE=DR")
    wow = os.path.isdir(os.path.join(drive_c, "windows", "syswow64")) and arch == "x86"
    folder = os.path.join(drive_c, "Program Files (x86)" if wow else "Program Files", "Zarvik")
    program = os.path.join(folder, os.path.basename(exe))
    check(open(program, "rb").read() == open(exe, "rb").read() and os.path.isfile(os.path.join(folder, "CZYTAJ.txt")),
          "the program and CZYTAJ.txt are in %s" % folder)
    archive = os.path.join(drive_c, "Archiwum KE", "KE0001")
    os.makedirs(archive)
    open(os.path.join(archive, "Z0001.ej"), "w").write("kopia")
    source = query(r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Zarvik")
    m = re.search(r"EventMessageFile\s+REG_\w+\s+(.*)", source)
    check(m is not None and m.group(1).lower().endswith("\\zarvik\\" + os.path.basename(exe).lower()),
          "the Event Log source Zarvik names the program's message table (%s)" % (m and m.group(1)))
    check(re.search(r"OKNO\s+REG_SZ\s+20:00-06:00\n", query(r"HKLM\Software\Zarvik")),
          "without OKNO the task talks to printers from 20:00 to 06:00")

    msiexec("/i %s OKNO=21:00-05:00" % os.path.basename(package), "/i", z(package), "OKNO=21:00-05:00")
    check(entries() == [version], "after the upgrade Apps has one Zarvik, version %s (%s)" % (version, entries()))
    settings = query(r"HKLM\Software\Zarvik")
    check(re.search(r"ARCHIWUM\s+REG_SZ\s+C:\\Archiwum KE\n", settings) and re.search(r"OPCJE\s+REG_SZ\s+DR\n", settings)
          and re.search(r"OKNO\s+REG_SZ\s+21:00-05:00\n", settings),
          "the upgrade keeps ARCHIWUM and OPCJE and takes the new OKNO: %r" % settings.strip())
    stored = os.path.join(drive_c, "windows", "system32", "tasks", "Zarvik")
    if check(os.path.isfile(stored), "the task Zarvik is registered"):
        import xml.etree.ElementTree as ET
        text = open(stored, "rb").read().decode("utf-8-sig")
        task_settings(ET.fromstring(text[text.index("<Task"):]), "the registered task")

    msiexec("/x " + os.path.basename(package), "/x", z(package))
    check(not os.path.exists(folder) and not os.path.exists(stored) and entries() == [],
          "removed: the program's folder, the task, the entry in Apps")
    check(query(r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Zarvik") == "",
          "removed: the Event Log source")
    check(os.listdir(archive) == ["Z0001.ej"], "the archive folder is left as it was")
    run(["/usr/lib/wine/wineserver64", "-k"], env=env)
    if not failures:
        shutil.rmtree(prefix, ignore_errors=True)


def sign(script, exe, package, work):
    """scripts/sign with a throw-away certificate: the exe and the installer
    signed, osslsigncode verifies both against that certificate, and the exe
    without its signature is the exe as built (a shipped exe can be checked
    against a build). A wrong password signs nothing."""
    work = os.path.abspath(work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    key, cert, p12 = (os.path.join(work, n) for n in ["key.pem", "cert.pem", "test.p12"])
    made = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
                "-subj", "/CN=Zarvik test", "-addext", "extendedKeyUsage=codeSigning"]).returncode == 0 and \
        run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
             "-passout", "pass:tajne"]).returncode == 0
    if not check(made, "a throw-away code signing certificate"):
        return
    files = [shutil.copy(f, work) for f in [exe, package]]
    env = dict(os.environ, ZARVIK_SIGN_PKCS12=p12, ZARVIK_SIGN_PASSWORD="zle")
    r = run([script] + files, env=env)
    check(r.returncode != 0 and open(files[0], "rb").read() == open(exe, "rb").read(),
          "a wrong password: exit %d, nothing signed" % r.returncode)
    env["ZARVIK_SIGN_PASSWORD"] = "tajne"
    r = run([script] + files, env=env)
    check(r.returncode == 0, "scripts/sign signs %s" % " and ".join(map(os.path.basename, files)))
    for f in files:
        v = run(["osslsigncode", "verify", "-CAfile", cert, "-in", f])
        said = v.stdout.decode("utf-8", "replace")
        check(v.returncode == 0 and "Signature verification: ok" in said,
              "osslsigncode verify %s: %s" % (os.path.basename(f), said.strip().splitlines()[-3:]))
    bare = os.path.join(work, "bare.exe")
    run(["osslsigncode", "remove-signature", "-in", files[0], "-out", bare])
    check(os.path.exists(bare) and open(bare, "rb").read() == open(exe, "rb").read(),
          "the signed exe without its signature is the exe as built")


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    checks = {"manpage": manpage, "czytaj": czytaj, "imports": imports, "linux": linux,
              "task": task, "install": install, "harmonogram": harmonogram, "zip": windows_zip,
              "msi": msi, "sign": sign}
    if argv[1] not in checks:
        print(__doc__)
        return 2
    checks[argv[1]](*argv[2:])
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
