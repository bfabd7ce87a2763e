#!/usr/bin/env python3
"""AUDIT end to end: an archive made by the real program from the simulator,
then spoilt the ways an archive gets spoilt; the JSON account checked field
by field, the HTML rendered by a real browser (headless Chromium) to PDF and
PNG, and AUDIT beside an archive run.

  audit_test.py ZARVIK DEVSIM DEVSIM_SYSFS WORK [PNG]

With PNG, the picture of the report's first two pages is also left there.
Exit code 77 (skipped) when Chromium cannot start; every other part has run
by then.
"""
import fcntl
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from simfiles import archived  # noqa: E402
from runtools import Devsim, check, failures, zarvik_env  # noqa: E402

ZARVIK, DEVSIM, SYSFS, WORK = sys.argv[1:5]
SERIAL, FISCAL, OLD, ODD = 'AUDIT00001', 'AUDF0012345', 'OLD0000001', 'X<i>&"'
DATES = ['2026-11-27', '2026-11-28', '2026-11-30', '2026-12-01', '2026-12-02', '2026-12-04', '2026-12-07']


def path(*parts):
    return os.path.join(WORK, 'run', 'archiwum', *parts)


def name(n):
    return 'Z%04d_%s.ej' % (n, DATES[n])


def zarvik(*args):
    return subprocess.Popen([ZARVIK] + list(args), cwd=os.path.join(WORK, 'run'), env=zarvik_env(WORK),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def finish(p, expect, what):
    out = p.communicate(timeout=200)[0]
    check(p.returncode == expect, '%s: exit %d, expected %d\n%s' % (what, p.returncode, expect, out[-1500:]))


def tree_digest():
    h = hashlib.sha256()
    for top, dirs, files in sorted(os.walk(path())):
        for f in sorted(files):
            st = os.lstat(os.path.join(top, f))
            h.update(os.path.join(top, f).encode() + b'%d' % st.st_mtime_ns)
            with open(os.path.join(top, f), 'rb') as data:
                h.update(data.read())
    return h.hexdigest()


shutil.rmtree(WORK, ignore_errors=True)
for d in ('run', 'home', 'simdev', 'report'):
    os.makedirs(os.path.join(WORK, d))
# File 3 never arrives whole (no end byte, every time): a gap the archive
# cannot close.
lines = ['pacing off', 'ke module ttyUSB2 serial=%s fiscal=%s' % (SERIAL, FISCAL)]
lines += ['file %d size=%d date=%s%s' % (n, 300 + 40 * n, d, ' fault=noend' if n == 3 else '') for n, d in enumerate(DATES)]
sim = Devsim(DEVSIM, SYSFS, WORK, lines)

finish(zarvik('archiwum', 'com35'), 7, 'first run')
with open(path(SERIAL, 'zarvik.json')) as f:
    record = json.load(f)
check(record['serial'] == SERIAL and record['fiscal_memory'] == FISCAL and record['last_exit_code'] == 7 and
      record['port'] == 'com35' and record['first_seen'] == record['last_seen'], 'zarvik.json: %r' % record)
# An archive from before zarvik.json: the same files, no record; and a KE
# directory whose name needs escaping.
shutil.copytree(path(SERIAL), path(OLD), ignore=shutil.ignore_patterns('zarvik.*', 'log'))
os.makedirs(path(ODD))
shutil.copy(path(SERIAL, name(0)), path(ODD, name(0)))
# The ways an archive gets spoilt: a file changed on disk, a file deleted, a
# file whose line is gone, a file in the quarantine.
with open(path(SERIAL, name(1)), 'r+b') as f:
    f.write(b'X')
os.remove(path(SERIAL, name(4)))
with open(path(SERIAL, 'SHA256SUMS')) as f:
    sums = [l for l in f if not l.rstrip().endswith(name(2))]
with open(path(SERIAL, 'SHA256SUMS'), 'w') as f:
    f.writelines(sums)
os.makedirs(path(SERIAL, 'uszkodzone'))
shutil.copy(path(SERIAL, name(5)), path(SERIAL, 'uszkodzone', name(5)))

# AUDIT changes nothing and waits for no lock: it runs while the test holds
# the KE directory's lock.
before = tree_digest()
with open(path(SERIAL, 'zarvik.lock'), 'a') as held:
    fcntl.flock(held, fcntl.LOCK_EX)
    started = time.monotonic()
    finish(zarvik('audit', 'archiwum', os.path.join(WORK, 'report', 'raport.html'), 'ignored'), 9, 'AUDIT')
    check(time.monotonic() - started < 5, 'AUDIT waited for the held lock')
check(tree_digest() == before, 'AUDIT changed the archive')
finish(zarvik('AUDIT', 'archiwum'), 11, 'AUDIT without a report file')
finish(zarvik('AUDIT', 'archiwum', os.path.join(WORK, 'nowhere', 'r.html')), 10, 'AUDIT to a missing folder')

with open(os.path.join(WORK, 'report', 'raport.json')) as f:
    report = json.load(f)
check(report['exit_code'] == 9 and report['target'] == path() and [k['serial'] for k in report['kes']] == [SERIAL, OLD, ODD],
      'report head: %r' % {k: v for k, v in report.items() if k != 'kes'})
ke, old, odd = report['kes']
check(ke['fiscal_memory'] == FISCAL and ke['last_archive_exit_code'] == 7 and ke['last_archive_run'] == record['last_run'],
      'identity: %r' % ke)
check((ke['files'], ke['first_number'], ke['last_number'], ke['missing_numbers']) == (5, 0, 6, [[3, 4]]), 'numbers: %r' % ke)
check((ke['first_date'], ke['last_date'], ke['days']) == (DATES[0], DATES[6], 5), 'dates: %r' % ke)
check(ke['checksums'] == {'ok': 3, 'changed': [name(1)], 'missing_file': [name(4)], 'without_line': [name(2)],
                          'bad_lines': 0}, 'checksums: %r' % ke['checksums'])
check(ke['quarantined'] == [name(5)], 'quarantine: %r' % ke['quarantined'])
with open(path(SERIAL, 'SHA256SUMS'), 'rb') as f:
    check(ke['sums_sha256'] == hashlib.sha256(f.read()).hexdigest(), 'fingerprint: %r' % ke['sums_sha256'])
check(old['fiscal_memory'] is None and old['last_archive_run'] is None and old['last_archive_exit_code'] is None and
      old['checksums']['ok'] == 6 and old['missing_numbers'] == [[3, 3]], 'archive before zarvik.json: %r' % old)

# An archive run beside AUDIT: AUDIT reads while the run writes; the run
# ends as it would alone and fetches what is missing again (a changed file
# of the right size is left to VERIFY ... FIX).
shutil.rmtree(path(ODD))
run = zarvik('archiwum', 'com35')
while run.poll() is None:
    finish(zarvik('AUDIT', 'archiwum', os.path.join(WORK, 'beside.html')), 9, 'AUDIT beside a run')
finish(run, 7, 'run beside AUDIT')
for n in (0, 2, 4, 5, 6):
    with open(path(SERIAL, name(n)), 'rb') as f:
        check(f.read() == archived(n, 300 + 40 * n), '%s not archived again' % name(n))
sim.stop()

# The page in a real browser: no console error, nothing fetched, one
# printed page per KE after the summary, the texts that matter on it.
html = open(os.path.join(WORK, 'report', 'raport.html'), encoding='utf-8').read()
check(not re.search(r'<script|https?:|url\(|<link|<img', html), 'the page is not self-contained')
check('X&lt;i&gt;&amp;&quot;' in html, 'a directory name is not escaped')
browser = shutil.which('chromium')


def chromium(*args):
    profile = tempfile.mkdtemp(dir=WORK)
    return subprocess.run([browser, '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                           '--disable-background-networking', '--disable-component-update', '--disable-sync',
                           '--user-data-dir=' + profile, '--enable-logging=stderr', '--v=0', '--hide-scrollbars']
                          + list(args) + ['file://' + os.path.join(WORK, 'report', 'raport.html')],
                          capture_output=True, text=True, timeout=120)


dom = chromium('--dump-dom') if browser else None
if dom is None or dom.returncode != 0 or '</html>' not in dom.stdout:
    print('SKIP: chromium cannot start: %s' % ('not installed' if dom is None else dom.stderr[-500:]))
    sys.exit(1 if failures else 77)
pdf = os.path.join(WORK, 'report', 'raport.pdf')
for result in (dom, chromium('--print-to-pdf=' + pdf, '--no-pdf-header-footer'),
               chromium('--screenshot=' + os.path.join(WORK, 'report', 'raport.png'), '--window-size=900,2350')):
    check(not re.search(r'CONSOLE|Uncaught|net::ERR|Refused', result.stderr), 'browser complaint: %s' % result.stderr[-800:])
pages = subprocess.run(['pdfinfo', pdf], capture_output=True, text=True).stdout
check(re.search(r'^Pages:\s+4$', pages, re.M), 'pages: %s' % pages)
text = subprocess.run(['pdftotext', '-layout', pdf, '-'], capture_output=True, text=True).stdout.split('\f')
groups = [ke['sums_sha256'][k:k + 8] for k in range(0, 64, 8)]
for page, words in ((0, [SERIAL, OLD, 'X<i>&"', 'zmienione pliki', 'luki', 'kompletne', 'W archiwum s\u0105 problemy']),
                    (1, [FISCAL, 'com35', 'Z0003 \u2013 Z0004', DATES[2], DATES[5], name(1), name(2), name(4), name(5),
                         'listopad 2026', 'grudzie\u0144 2026', '7 (nie wszystkie pliki pobrano)'] + groups),
                    (2, [OLD, 'brak danych', 'Z0003'])):
    for word in words:
        check(word in text[page], 'page %d lacks %r' % (page + 1, word))
if len(sys.argv) > 5:
    shutil.copy(os.path.join(WORK, 'report', 'raport.png'), sys.argv[5])
print('%d failures' % len(failures))
sys.exit(1 if failures else 0)
