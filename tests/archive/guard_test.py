#!/usr/bin/env python3
"""The archive against links, leftovers and a second writer: the real zarvik
program of the Linux build, run as a hostile local user or a second program
would meet it, against devices the simulator serves on pseudo-terminals.

  guard_test.py CASE ZARVIK DEVSIM DEVSIM_SYSFS WORK

CASE links:  links planted at temporary names, results paths, the quarantine
             folder, the error log, archive files and a KE directory; a
             device node at a results path; an unlistable KE directory.
CASE lock:   a held lock (FIX waits and skips with 9, an archive run ends with
             3); FIX beside an archive run; two runs reaching one KE at once.
CASE repair: VERIFY's third word, two lines for one file, FIX on a directory
             it cannot write, a run killed in the middle of a save, a disk
             that fills up in the middle of a list line.
CASE stop:   SIGTERM, SIGINT and SIGHUP in the middle of a transfer: the run
             ends within 10 s with 12, saves no partial file, and writes its
             error-log line, JSON and metrics (in progress 1 while it runs).
CASE swap:   the KE directory renamed aside and a link put in its place while
             an archive run or FIX works there (GUARD_ROUNDS rounds, 3 by
             default); FIFOs and /dev/zero where files are read; the lock
             file removed while held; a read-only user and the lock.
"""
import fcntl
import hashlib
import os
import resource
import json
import shutil
import signal
import stat
import subprocess
import sys
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from simfiles import archived  # noqa: E402
from runtools import Devsim, check, failures, zarvik_env  # noqa: E402

CASE, ZARVIK, DEVSIM, SYSFS, WORK = sys.argv[1:6]
SERIAL = 'GUARD00001'
KE = os.path.join('archiwum', SERIAL)
SUMS = os.path.join(KE, 'SHA256SUMS')
ERROR_LOG = os.path.join('archiwum', 'ERROR_log.txt')
# Runs a command as a user who owns nothing here.
NOBODY = ('setpriv', '--reuid=65534', '--regid=65534', '--clear-groups')


def pl(text):
    """A Polish text as the console shows it: UTF-8 whatever the locale."""
    return text.encode('utf-8')


def disk(text):
    """A Polish text as the logs on disk hold it: Windows-1250."""
    return text.encode('cp1250')


def name(number):
    return 'Z%04d_2010-03-30.ej' % number


def start_devices(sizes, paced=False, twin=False):
    """The simulator with a KE module on com35 and, when asked, a two-port
    device (com33, com34) whose KE has the same serial number."""
    files = ['file %d size=%d' % (n, s) for n, s in enumerate(sizes)]
    lines = [] if paced else ['pacing off']
    if twin:
        lines += ['twoport qx ttyUSB0 ttyUSB1 serial=%s' % SERIAL] + files
    return Devsim(DEVSIM, SYSFS, WORK, lines + ['ke module ttyUSB2 serial=%s' % SERIAL] + files)


def zarvik(*args, expect=None, said=(), limit=None, wrap=(), timeout=200, full_disk=False, **more):
    """Runs zarvik in WORK/run; (exit code, console bytes). Every text of said
    (one, or a tuple) must be on the console. With full_disk, a write past
    limit fails as on a full disk instead of killing it."""
    def limited():
        if limit:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        if full_disk:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    try:
        p = subprocess.run(list(wrap) + [ZARVIK] + list(args), cwd=run_path(), env=zarvik_env(WORK, **more),
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout, preexec_fn=limited)
    except subprocess.TimeoutExpired:
        check(False, 'zarvik %s: still running after %d s' % (' '.join(args), timeout))
        return None, b''
    out = p.stdout + p.stderr
    shown = out.decode('utf-8', 'replace')[-1500:]
    if expect is not None:
        check(p.returncode == expect, 'zarvik %s: exit %d, expected %d\n%s' % (' '.join(args), p.returncode, expect,
                                                                              shown))
    for text in (said,) if isinstance(said, str) else said:
        check(pl(text) in out, 'zarvik %s: did not say %r\n%s' % (' '.join(args), text, shown))
    return p.returncode, out


def start(*args, out=subprocess.DEVNULL, **more):
    """Starts zarvik in WORK/run without waiting for it."""
    return subprocess.Popen([ZARVIK] + list(args), cwd=run_path(), env=zarvik_env(WORK, **more),
                            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)


def run_path(*parts):
    return os.path.join(WORK, 'run', *parts)


def ke(*parts):
    return os.path.join(KE, *parts)


def read(path):
    with open(run_path(path), 'rb') as f:
        return f.read()


def saved_count():
    """How many files the KE log says were saved."""
    log = ke('log', 'log_log.txt')
    return read(log).count(b'Zapisano plik') if os.path.exists(run_path(log)) else 0


def wait_saved(more_than):
    """Waits (60 s at most) until the KE log tells of more saved files."""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and saved_count() <= more_than:
        time.sleep(0.02)


def write(path, data):
    with open(run_path(path), 'wb') as f:
        f.write(data)


def list_text(lines):
    """Lines of a checksum list as its bytes."""
    return ''.join(l + '\n' for l in lines).encode()


def sums_ok():
    return subprocess.run(['sha256sum', '--quiet', '--strict', '-c', 'SHA256SUMS'], cwd=run_path(KE),
                          capture_output=True).returncode == 0


def expect_archived(sizes):
    for n, size in enumerate(sizes):
        path = run_path(KE, name(n))
        check(not os.path.islink(path) and os.path.isfile(path) and read(ke(name(n))) == archived(n, size),
              '%s: not archived whole' % name(n))
    listed = read(SUMS).decode().splitlines()
    check(sorted(l[66:] for l in listed) == [name(n) for n in range(len(sizes))], 'list: %r' % listed)
    check(sums_ok(), 'sha256sum -c fails')
    left = [e for e in os.listdir(run_path(KE)) if e.startswith('~')]
    check(not left, 'temporaries left: %r' % left)


def case_links():
    sizes = [150, 1800, 2600]
    dev = start_devices(sizes)
    outside = os.path.join(WORK, 'outside')
    os.makedirs(outside)
    victim = os.path.join(outside, 'victim')
    with open(victim, 'wb') as f:
        f.write(b'not yours')
    os.makedirs(run_path(KE))
    # 1. Links at the temporary names of earlier versions and at the
    # results' paths; 5. an archive file that is a link to a file outside.
    os.symlink(victim, run_path(KE, '~%s.tmp' % name(1)))
    os.symlink(victim, run_path(KE, name(2)))
    os.symlink(victim, run_path('summary.json'))
    os.symlink(victim, run_path('summary.json.tmp'))
    # 2. A device node (a FIFO: nobody ever reads it) names the metrics.
    os.mkfifo(run_path('metrics.prom'))
    zarvik('VERIFY', 'archiwum', expect=9, said='Plik jest dowi\u0105zaniem: %s/%s' % (KE, name(2)))
    zarvik('archiwum', 'com35', expect=0, ZARVIK_SUMMARY='summary.json', ZARVIK_METRICS='metrics.prom')
    check(open(victim, 'rb').read() == b'not yours', 'the file outside was written')
    check(os.path.islink(run_path(KE, 'uszkodzone', name(2))), 'the linked archive file was not moved aside as a link')
    expect_archived(sizes)
    check(not os.path.islink(run_path('summary.json')) and b'"exit_code": 0' in read('summary.json'),
          'the summary did not replace its link')
    check(not os.path.exists(run_path(KE, '~%s.tmp' % name(1))), 'the planted temporary link stayed')
    check(stat.S_ISFIFO(os.lstat(run_path('metrics.prom')).st_mode), 'the FIFO at the metrics path was replaced')
    zarvik('VERIFY', 'archiwum', expect=0)

    # Results paths inside the archive are refused with one line each; a
    # disk copy 4 GiB longer than the listed size (sparse) is of the wrong
    # size, not of the listed one.
    listed = read(SUMS)
    with open(run_path(KE, name(1)), 'r+b') as f:
        f.seek(2 ** 32 + 1800)
        f.write(b'\xff')
    rc, out = zarvik('archiwum', 'com35', expect=0, ZARVIK_SUMMARY=KE + '/SHA256SUMS',
                     ZARVIK_METRICS='archiwum/x/../%s/%s' % (SERIAL, name(0)))
    check(out.count(pl('le\u017cy w katalogu archiwum; nie zapisano go: ')) == 2 and read(SUMS) == listed,
          'a results path inside the archive: %r' % out)
    check(os.path.getsize(run_path(KE, 'uszkodzone', name(1))) == 2 ** 32 + 1801, 'the 4 GiB copy was kept')
    os.remove(run_path(KE, 'uszkodzone', name(1)))
    expect_archived(sizes)
    os.remove(run_path(ERROR_LOG))

    # 4. The error log a link: the "size differs" line of a disk copy of the wrong size
    # is not written through it; the console says so once; exit code 5.
    write(ke(name(1)), archived(1, 1000))
    os.symlink(victim, run_path(ERROR_LOG))
    rc, out = zarvik('archiwum', 'com35', expect=5)
    check(out.count(pl('Plik dziennika jest dowi\u0105zaniem; nic do niego nie zapisano: archiwum/ERROR_log.txt')) == 1,
          'no single console line for the linked log: %r' % out)
    check(open(victim, 'rb').read() == b'not yours', 'the error log wrote through its link')
    expect_archived(sizes)
    os.remove(run_path(ERROR_LOG))

    # 3. The quarantine folder a link to a folder outside: the run ends with
    # 5 and a line, VERIFY reports it, FIX moves nothing out.
    shutil.rmtree(run_path(KE, 'uszkodzone'))
    os.symlink(outside, run_path(KE, 'uszkodzone'))
    write(ke(name(1)), b'damaged')
    zarvik('archiwum', 'com35', expect=5,
           said='Katalog jest dowi\u0105zaniem lub nie jest katalogiem; nic w nim nie zapisano: %s/uszkodzone' % KE)
    for args in (('VERIFY', 'archiwum'), ('VERIFY', 'archiwum', 'FIX')):
        zarvik(*args, expect=9, said='nic w nim nie zapisano: %s/uszkodzone' % KE)
    check(sorted(os.listdir(outside)) == ['victim'] and read(ke(name(1))) == b'damaged',
          'a file went through the linked quarantine folder')
    os.remove(run_path(KE, 'uszkodzone'))

    # 5. The KE directory a link to a folder outside: the run ends with 5,
    # VERIFY of the root reports it; an unlistable KE directory is a problem.
    shutil.rmtree(run_path(KE))
    os.symlink(outside, run_path(KE))
    zarvik('archiwum', 'com35', expect=5, said='nic w nim nie zapisano: %s' % KE)
    check(sorted(os.listdir(outside)) == ['victim'], 'the run wrote through the linked KE directory')
    zarvik('VERIFY', 'archiwum', expect=9, said='nic w nim nie zapisano: %s' % KE)
    os.remove(run_path(KE))
    # A plain file where the KE directory should be: the folder cannot be
    # made, with the system's reason.
    write(KE, b'a file')
    zarvik('archiwum', 'com35', expect=5, said='Nie mo\u017cna utworzy\u0107 katalogu: %s: File exists' % KE)
    os.remove(run_path(KE))
    os.makedirs(run_path('archiwum', 'SHUT000001'), mode=0)
    os.chmod(run_path('archiwum'), 0o755)
    os.chmod(WORK, 0o755)
    os.chmod(run_path(), 0o755)
    zarvik('VERIFY', 'archiwum', expect=9, wrap=NOBODY,
           said='Nie mo\u017cna odczyta\u0107 katalogu: archiwum/SHUT000001')
    dev.stop()


def case_lock():
    sizes = [150] + [3000] * 11
    dev = start_devices(sizes, paced=True)
    os.makedirs(run_path(KE))
    # A lock held by another writer: FIX says it waits, then skips with 9;
    # the archive run ends with 3 and a line naming the directory.
    holder = open(run_path(KE, 'zarvik.lock'), 'w')
    fcntl.flock(holder, fcntl.LOCK_EX)
    write(ke(name(0)), archived(0, 150))
    began = time.monotonic()
    zarvik('VERIFY', 'archiwum', 'FIX', expect=9,
           said=('Katalog jest zaj\u0119ty przez inny program; czekam do 10 s: ' + KE,
                 'Pomini\u0119to katalog zaj\u0119ty przez inny program: ' + KE))
    check(9 <= time.monotonic() - began < 30, 'FIX waited %.1f s' % (time.monotonic() - began))
    check(not os.path.exists(run_path(KE, 'SHA256SUMS')), 'FIX wrote without the lock')
    # Plain VERIFY reads beside readers only: a directory a writer holds the
    # whole wait is named as being written, no problem.
    rc, out = zarvik('VERIFY', 'archiwum', expect=0,
                     said='Pomini\u0119to katalog zapisywany w\u0142a\u015bnie przez inny program: ' + KE)
    check(b'Brak sumy' not in out, 'VERIFY beside a writer: %r' % out)
    zarvik('archiwum', 'com35', expect=3, said='Katalog KE jest zaj\u0119ty przez inny program: ' + KE)
    check(sorted(os.listdir(run_path(KE))) == [name(0), 'zarvik.lock'], 'the run changed the locked directory: %r' %
          os.listdir(run_path(KE)))
    holder.close()

    # 6. FIX again and again beside an archive run of the same KE: no line
    # is lost, and VERIFY afterwards finds all well.
    run = start('archiwum', 'com35')
    fixes = 0
    while run.poll() is None:
        zarvik('VERIFY', 'archiwum', 'FIX')
        fixes += 1
        time.sleep(0.3)
    check(run.returncode == 0 and fixes > 1, 'archive run beside FIX: exit %s, %d FIX runs' % (run.returncode, fixes))
    rc, out = zarvik('VERIFY', 'archiwum', expect=0)
    check(b'Brak sumy kontrolnej' not in out, 'lines lost: %r' % out)
    expect_archived(sizes)
    dev.stop()

    # 6. Two runs reaching one KE directory at once (the same KE serial
    # through two devices): one waits for the other; no write failure, no
    # line lost, every file saved once.
    shutil.rmtree(run_path('archiwum'))
    dev = start_devices([150, 1800, 2600, 900], twin=True)
    runs = [start('archiwum', *ports) for ports in (['com35'], ['com33', 'com34'])]
    codes = [r.wait(200) for r in runs]
    check(codes == [0, 0], 'two runs on one KE: exit codes %r' % codes)
    check(not os.path.exists(run_path(ERROR_LOG)), 'error log written: %r' % (
        os.path.exists(run_path(ERROR_LOG)) and read(ERROR_LOG)))
    expect_archived([150, 1800, 2600, 900])
    check(saved_count() == 4, 'files saved more than once')
    dev.stop()


def case_repair():
    sizes = [150, 1800, 40000, 2000]
    dev = start_devices(sizes)
    # A run killed while it saves (the file size limit ends it writing file
    # 2), then a rerun: no temporary stays, no line is lost.
    rc, _ = zarvik('archiwum', 'com35', limit=16384)
    check(rc == -25, 'the limited run was not killed by SIGXFSZ: %d' % rc)
    left = [e for e in os.listdir(run_path(KE)) if e.startswith('~')]
    check(len(left) == 1 and left[0].startswith('~%s.' % name(2)), 'no temporary of the killed save: %r' % left)
    # The killed run's TIOCEXCL outlives it on a pseudo-terminal whose master
    # the simulator holds (a real port drops it at its last close).
    tty = os.open(os.path.join(WORK, 'dev', 'ttyUSB2'), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    fcntl.ioctl(tty, termios.TIOCNXCL)
    os.close(tty)
    zarvik('archiwum', 'com35', expect=0)
    expect_archived(sizes)

    # 7. Only FIX is FIX: any other third word is one usage line, exit 11,
    # nothing changed.
    write(ke(name(3)), b'damaged')
    for word in ('NOFIX', 'BEZ_PREFIXU'):
        rc, out = zarvik('VERIFY', 'archiwum', word, expect=11)
        check(out == pl('U\u017cycie: zarvik VERIFY [katalog] [FIX]; nieznane s\u0142owo: %s\r\n' % word), repr(out))
    check(read(ke(name(3))) == b'damaged', 'a wrong word repaired')

    # Two lines for one file, the file matching only the later one: it
    # changed since it was archived; FIX moves it aside and keeps the first
    # line.
    write(ke(name(3)), archived(3, 2000))
    good = hashlib.sha256(archived(1, 1800)).hexdigest()
    lines = read(SUMS).decode().splitlines()
    write(SUMS, list_text(lines[:1] + ['0' * 64 + '  ' + name(1)] + lines[1:]))
    zarvik('VERIFY', 'archiwum', expect=9,
           said=('B\u0142\u0119dny wiersz 3 w pliku %s/SHA256SUMS' % KE, 'Niezgodna suma kontrolna: ' + KE))
    zarvik('VERIFY', 'archiwum', 'fix', expect=9)
    check(read(ke('uszkodzone', name(1))) == archived(1, 1800), 'FIX kept the changed file')
    listed = read(SUMS).decode()
    check(listed.count(name(1)) == 1 and good not in listed, 'FIX did not keep the first line')
    write(ke(name(1)), archived(1, 1800))

    # 8. FIX where it cannot write the list: the failure is said and
    # nothing counts as added.
    write(SUMS, list_text(l for l in read(SUMS).decode().splitlines() if name(3) not in l))
    os.chmod(run_path(KE), 0o555)
    os.chmod(WORK, 0o755)
    os.chown(run_path(KE, 'zarvik.lock'), 65534, 65534)
    rc, out = zarvik('VERIFY', 'archiwum', 'FIX', expect=9, wrap=NOBODY, said=(
        'Nie uda\u0142o si\u0119 zapisa\u0107 pliku SHA256SUMS w katalogu: ' + KE, 'dopisano sum: 0'))
    os.chmod(run_path(KE), 0o755)
    check(b'dopisano sum: 1' not in out, 'FIX counts: %r' % out)
    os.chown(run_path(KE, 'zarvik.lock'), 0, 0)

    # 9. Lists nobody may write. A FIFO (and anything not read whole): VERIFY
    # and FIX say why and change nothing, the run fetches but adds no line
    # (7). A binary-mode line: the run adds nothing (7, the list named), FIX
    # drops it and names the line it adds. A deleted list: every file is
    # fetched again and compared; other bytes go aside.
    shutil.rmtree(run_path('archiwum'))
    zarvik('archiwum', 'com35', expect=0)
    sums = run_path(SUMS)
    listed = read(SUMS)
    os.rename(sums, sums + '.kept')
    os.mkfifo(sums)
    write(ke(name(3)), b'damaged')
    zarvik('VERIFY', 'archiwum', 'FIX', expect=9,
           said=('Nie mo\u017cna odczyta\u0107 pliku: %s/SHA256SUMS: Invalid argument' % KE, 'dopisano sum: 0'))
    check(read(ke(name(3))) == b'damaged', 'FIX beside a FIFO list changed a file')
    zarvik('archiwum', 'com35', expect=7)
    check(disk('nic do niego nie dopisano: %s/SHA256SUMS: Invalid argument' % KE) in read(ERROR_LOG) and
          os.path.exists(run_path(KE, 'uszkodzone', name(3))), 'a run beside a FIFO list')
    os.remove(sums)
    text = listed.decode().splitlines()
    text[3] = text[3].replace('  ', ' *', 1)
    write(SUMS, list_text(text))
    os.remove(run_path(KE, name(3)))
    zarvik('archiwum', 'com35', expect=7)
    check(read(SUMS) == list_text(text) and
          disk('zawiera b\u0142\u0119dny wiersz; nic do niego nie dopisano: %s/SHA256SUMS, wiersz 4' % KE) in
          read(ERROR_LOG), 'a run added to a list with a binary-mode line')
    zarvik('VERIFY', 'archiwum', 'FIX', expect=9, said=('B\u0142\u0119dny wiersz 4 w pliku %s/SHA256SUMS' % KE,
                                                        'Dopisano sum\u0119 kontroln\u0105: %s/%s' % (KE, name(3)),
                                                        'dopisano sum: 1'))
    check(read(SUMS) == listed, 'FIX on a binary-mode line: %r' % read(SUMS))
    zarvik('VERIFY', 'archiwum', expect=0)
    os.remove(sums)
    other = bytearray(archived(2, 40000))
    other[5] ^= 1
    write(ke(name(2)), bytes(other))
    zarvik('archiwum', 'com35', expect=0)
    check(read(SUMS) == listed and read(ke('uszkodzone', name(2))) == bytes(other), 'a deleted list blessed the disk')
    dev.stop()

    # 8. A disk that fills up: an archive file that cannot be saved is
    # logged with the write's reason (not the clean-up's), and a list line
    # cut short is taken back, so the list stays a valid sha256sum file.
    shutil.rmtree(run_path('archiwum'))
    dev = start_devices([150, 150, 150, 400])
    zarvik('archiwum', 'com35', limit=200, full_disk=True, expect=7,
           said='%s/%s nie udało się zapisać. Błąd zapisu na dysku.: File too large' % (KE, name(3)))
    listed = read(SUMS)
    check(len(listed) == 2 * 86 and sums_ok(), 'list after a full disk: %r' % listed)
    dev.stop()


def case_swap():
    rounds = int(os.environ.get('GUARD_ROUNDS', '3'))
    outside = os.path.join(WORK, 'outside')
    aside = run_path('archiwum', 'aside')
    bait = {'~bait.tmp': b'bait', name(9): b'foreign', 'SHA256SUMS': b'0' * 64 + b'  ' + name(9).encode() + b'\n'}

    def plant_outside():
        shutil.rmtree(outside, ignore_errors=True)
        os.makedirs(os.path.join(outside, 'log'))
        for entry, data in bait.items():
            with open(os.path.join(outside, entry), 'wb') as f:
                f.write(data)

    def outside_untouched():
        names = sorted(os.listdir(outside))
        return names == sorted(list(bait) + ['log']) and not os.listdir(os.path.join(outside, 'log')) and all(
            open(os.path.join(outside, e), 'rb').read() == d for e, d in bait.items())

    def swap():
        os.rename(run_path(KE), aside)
        os.symlink(outside, run_path(KE))

    # 2. An archive run whose KE directory is swapped for a link once its
    # first files are saved: every later write goes on in the folder it
    # holds (now aside), none through the link.
    sizes = [150] + [3000] * 5
    dev = start_devices(sizes, paced=True)
    wrote_outside = 0
    for _ in range(rounds):
        plant_outside()
        shutil.rmtree(run_path('archiwum'), ignore_errors=True)
        run = start('archiwum', 'com35')
        wait_saved(1)
        swap()
        run.wait(200)
        wrote_outside += not outside_untouched()
        saved = sorted(e for e in os.listdir(aside) if e.startswith('Z'))
        check(run.returncode == 0 and saved == [name(n) for n in range(len(sizes))],
              'swapped run: exit %s, aside %r' % (run.returncode, saved))
    check(wrote_outside == 0, 'the archive run wrote outside in %d of %d rounds' % (wrote_outside, rounds))
    print('archive run, KE directory swapped: wrote outside in %d of %d rounds' % (wrote_outside, rounds), flush=True)
    dev.stop()

    # FIX on a directory with damage, swapped at a random moment: nothing
    # outside is moved, removed or rewritten.
    wrote_outside = 0
    for k in range(rounds * 4):
        plant_outside()
        shutil.rmtree(run_path('archiwum'), ignore_errors=True)
        os.makedirs(run_path(KE))
        for n in range(40):
            write(ke(name(n)), archived(n, 150) if n % 3 else b'damaged')
        fix = start('VERIFY', 'archiwum', 'FIX')
        time.sleep(0.002 * (k % 10))
        swap()
        fix.wait(60)
        wrote_outside += not outside_untouched()
    check(wrote_outside == 0, 'FIX wrote outside in %d of %d rounds' % (wrote_outside, rounds * 4))
    print('VERIFY FIX, KE directory swapped: wrote outside in %d of %d rounds' % (wrote_outside, rounds * 4),
          flush=True)

    # 3. Readers never wait on a FIFO or read a device: a FIFO or a link to
    # /dev/zero at the metrics path with a failing run, and in the archive.
    shutil.rmtree(run_path('archiwum'), ignore_errors=True)
    os.makedirs(run_path(KE))
    os.mkfifo(run_path(SUMS))
    os.mkfifo(run_path(KE, name(1)))
    write(ke(name(0)), archived(0, 150))
    for metrics in ('fifo', 'zero'):
        os.mkfifo(run_path(metrics)) if metrics == 'fifo' else os.symlink('/dev/zero', run_path(metrics))
        zarvik('archiwum', 'com36', expect=6, timeout=60, ZARVIK_METRICS=metrics)
        zarvik('VERIFY', 'archiwum', 'FIX', expect=9, timeout=60)
    check(stat.S_ISFIFO(os.lstat(run_path(SUMS)).st_mode), 'the FIFO list was replaced')

    # 4. The lock: a user who may only read the folder cannot hold it; the
    # lock file removed while a run holds it stops that run (3 and a line)
    # before its next write, so FIX that takes a new lock is never a second
    # writer beside it.
    dev = start_devices(sizes, paced=True)
    stopped = 0
    for _ in range(rounds):
        shutil.rmtree(run_path('archiwum'))
        os.makedirs(run_path(KE))
        run = start('archiwum', 'com35', out=subprocess.PIPE)
        wait_saved(0)
        check(stat.S_IMODE(os.stat(run_path(KE, 'zarvik.lock')).st_mode) == 0o600, 'lock file not 0600')
        os.remove(run_path(KE, 'zarvik.lock'))
        zarvik('VERIFY', 'archiwum', 'FIX', timeout=60)
        out = run.communicate(timeout=200)[0]
        stopped += run.returncode == 3 and pl('Plik blokady (zarvik.lock) usuni\u0119to lub podmieniono; przerwano '
                                              'prac\u0119 w katalogu KE: ' + KE) in out
    check(stopped == rounds, 'lock removed: the run stopped in %d of %d rounds' % (stopped, rounds))
    print('lock removed while held: the run stopped with 3 in %d of %d rounds' % (stopped, rounds), flush=True)
    for folder in ('', 'run', 'run/archiwum', 'run/' + KE):
        os.chmod(os.path.join(WORK, folder), 0o755)
    held = subprocess.run(NOBODY + ('flock', '-n', run_path(KE, 'zarvik.lock'), 'true'), capture_output=True)
    check(held.returncode != 0, 'a read-only user took the lock')
    dev.stop()


def case_stop():
    sizes = [150] + [20000] * 8  # about 1.8 s a file on the paced line
    dev = start_devices(sizes, paced=True)
    results = dict(ZARVIK_SUMMARY=run_path('summary.json'), ZARVIK_METRICS=run_path('zarvik.prom'))
    for stop in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        saved = saved_count()
        run = start('archiwum', 'com35', out=subprocess.PIPE, **results)
        # Mid-transfer: a file saved in this run, the next one under way.
        wait_saved(saved)
        time.sleep(0.6)
        check(b'zarvik_run_in_progress 1\n' in read('zarvik.prom'), '%s: no in-progress mark' % stop.name)
        sent = time.monotonic()
        run.send_signal(stop)
        out = run.communicate(timeout=30)[0]
        took = time.monotonic() - sent
        print('%s: exit %d after %.2f s' % (stop.name, run.returncode, took), flush=True)
        check(run.returncode == 12 and took < 10, '%s: exit %d after %.1f s' % (stop.name, run.returncode, took))
        line = 'Przerwano: ' + stop.name
        check(pl(line) in out and disk(line) in read(ERROR_LOG), '%s: %r' % (stop.name, out))
        check(json.loads(read('summary.json'))['exit_code'] == 12, '%s: JSON' % stop.name)
        metrics = read('zarvik.prom')
        check(b'zarvik_run_exit_code 12\n' in metrics and b'zarvik_run_in_progress 0\n' in metrics,
              '%s: metrics %r' % (stop.name, metrics))
        # Every file on disk is whole; the one under way is not there.
        on_disk = [e for e in os.listdir(run_path(KE)) if e.startswith('Z')]
        check(all(read(ke(e)) == archived(int(e[1:5]), sizes[int(e[1:5])]) for e in on_disk) and
              len(on_disk) < len(sizes) and not [e for e in os.listdir(run_path(KE)) if e.startswith('~')],
              '%s: files %r' % (stop.name, sorted(os.listdir(run_path(KE)))))
    zarvik('archiwum', 'com35', expect=0)
    expect_archived(sizes)
    dev.stop()


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    for sub in ('run', 'home', 'simdev'):
        os.makedirs(os.path.join(WORK, sub))
    {'links': case_links, 'lock': case_lock, 'repair': case_repair, 'stop': case_stop, 'swap': case_swap}[CASE]()
    if failures:
        sys.exit('%d failures' % len(failures))
    print(CASE + ': ok')


main()
