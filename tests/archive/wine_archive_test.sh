#!/bin/bash
# zarvik.exe in archive mode under Wine, end to end: the standard devices
# registered in a Wine prefix of this test's own, served by the native devsim
# through <prefix>/dosdevices/com<n> links (scripts/wine-with-devsim). Three
# runs: the KE module and the two-port device; the same again, which must
# fetch nothing; the KE behind the printer with DR. Each run also writes its
# results (ZARVIK_SUMMARY, ZARVIK_METRICS) and its summary to the console.
# Then VERIFY on the clean archive, after a byte changed in place, with FIX,
# and after the archive run that fetches the moved file again (with a root
# others may write); an archive root on a drive that does not exist; a held
# KE directory and a folder at a results path. (What VERIFY says of each
# fault: the logic tests, under Wine too; its third word and two lines for
# one file: the native guard test, the same code.)
#
#   wine_archive_test.sh ZARVIK_EXE SOURCE_DIR WORK_DIR DEVSIM
set -euo pipefail
exe=$1 src=$2 work=$3 devsim=$4
export ZARVIK_SRC=$src
scenario=$src/tests/archive/wine_archive.scenario

rm -rf "$work/run"
mkdir -p "$work/tmp" "$work/run"
export WINEPREFIX="$work/prefix"
# regedit and the program must reach the same wineserver.
export TMPDIR="$work/tmp"
export WINEDEBUG=-all
"$src/scripts/wine-register-devices" "$src/tests/discovery/data/standard_devices.txt"

cd "$work/run"
export ZARVIK_SUMMARY=summary.json ZARVIK_METRICS=zarvik.prom
# Runs zarvik.exe ARGS with the devices served, its output appended to
# console.txt; its exit code must be EXPECT.
run() {
  local expect=$1 rc
  shift
  set +e
  "$src/scripts/wine-with-devsim" --devsim "$devsim" --scenario "$scenario" --work "$work/sim" \
    -- "$exe" "$@" >>console.txt 2>&1
  rc=$?
  set -e
  [ "$rc" -eq "$expect" ] || { echo "zarvik.exe $*: exit code $rc, expected $expect"; tail -20 console.txt; exit 1; }
}
fail() { echo "$1"; cat console.txt; exit 1; }
# The console holds TEXT (printf's escapes).
said() { LC_ALL=C grep -aqF "$(printf "$1")" console.txt || fail "not said: $1"; }

run 0 archiwum
cp summary.json first.json
(cd archiwum && find . -type f ! -name zarvik.json | sort | xargs md5sum) >first.sum
run 0 'archiwum\'
cat "$work"/sim/rec/*.rec >second.rec
(cd archiwum && find . -type f ! -name '*_log.txt' ! -name zarvik.json | sort | xargs md5sum) >second.sum
run 0 archiwum DR com36

/usr/bin/python3 - <<'PY'
import hashlib, json, os, re, subprocess, sys
for folder in ('support', 'archive'):
    sys.path.insert(0, os.path.join(os.environ['ZARVIK_SRC'], 'tests', folder))
import runtools
from runtools import check
from simfiles import archived

def expect(serial, files, port):
    log = open(os.path.join('archiwum', serial, 'log', 'log_log.txt'), 'rb').read()
    for number, size in files:
        name = 'Z%04d_2010-03-30.ej' % number
        path = os.path.join('archiwum', serial, name)
        check(os.path.exists(path) and open(path, 'rb').read() == archived(number, size), '%s: wrong or missing' % path)
        check(log.count(b'> <%s> Zapisano plik: %s\r\n' % (port, name.encode())) == 1,
              '%s: no single "file saved" line for %s' % (serial, name))

expect('QX70000002', [(0, 180), (1, 2400)], b'com34')
expect('MOD0000001', [(0, 150), (1, 1800), (2, 5200)], b'com35')
expect('DR00000003', [(0, 120), (1, 700)], b'com36')

# The second run found everything in place: no file request went out, no
# archive file changed, and the logs gained no 'file saved' line.
second = open('second.rec', 'rb').read()
check(b';0;' not in second and b'0000F' not in second, 'the second run requested files')
check([l for l in open('first.sum') if '_log.txt' not in l] == open('second.sum').readlines(),
      'the second run changed archive files')
module_log = open('archiwum/MOD0000001/log/log_log.txt', 'rb').read()
check(module_log.rstrip(b'\r\n').endswith(b'<com35> Sprawdzanie zawarto\x9cci Kopii Elektronicznej.'),
      'module log does not end with the second run\'s "checking the KE" line: %r' % module_log[-200:])
if os.path.exists('archiwum/ERROR_log.txt'):
    check(False, 'error log written: %r' % open('archiwum/ERROR_log.txt', 'rb').read()[:300])
# The checksum lists agree with the files.
for serial in ('QX70000002', 'MOD0000001', 'DR00000003'):
    d = os.path.join('archiwum', serial)
    want = ''.join('%s  %s\n' % (hashlib.sha256(open(os.path.join(d, n), 'rb').read()).hexdigest(), n)
                   for n in sorted(os.listdir(d)) if n.endswith('.ej'))
    check(open(os.path.join(d, 'SHA256SUMS')).read() == want, '%s: SHA256SUMS differs from the files' % serial)
# The results of the first run and of the DR run (the summary's fields: the
# program test), and the console summary (redirected: no status line).
first = json.load(open('first.json', encoding='utf-8'))
# The target as an absolute Windows path (a drive, the current directory).
target = first['target']
check(first['exit_code'] == 0 and re.match(r'^[A-Za-z]:\\.*\\archiwum$', target) and [
      (j['kind'], j['directory'], j['files_fetched']) for j in first['jobs']] == [
      ('combined', target + '\\QX70000002', 2), ('direct', target + '\\MOD0000001', 3)], 'first summary: %r' % first)
last = json.load(open('summary.json', encoding='utf-8'))
check([(j['kind'], j['printer_port'], j['ke_port'], j['files_fetched']) for j in last['jobs']] == [
      ('printer', 'com36', 'com36', 2)], 'DR summary: %r' % last)
metrics = subprocess.run([sys.executable, runtools.__file__, 'metrics', 'zarvik.prom'], capture_output=True, text=True)
check(metrics.returncode == 0 and 'zarvik_ke_archive_files{ke_serial="DR00000003",port="com36"} 2' in metrics.stdout,
      'metrics: %s %s' % (metrics.stdout, metrics.stderr))
console = open('console.txt', 'rb').read()
check(console.count(b'Razem: zada\xf1 2, pobrano plik\xf3w 5, nieudanych 0') == 1 and b'KB/s' not in console and
      console.count(b'Kod zako\xf1czenia 0: ') == 3, 'console: %r' % console[-600:])
if runtools.failures:
    sys.exit(1)
print('archive ok')
PY

mod=archiwum/MOD0000001
run 0 VERIFY archiwum
python3 -c "import sys; p=sys.argv[1]; b=bytearray(open(p,'rb').read()); b[5]^=1; open(p,'wb').write(b)" \
  $mod/Z0001_2010-03-30.ej
run 9 verify archiwum
run 9 VERIFY archiwum FIX
[ -f $mod/uszkodzone/Z0001_2010-03-30.ej ] && [ ! -e $mod/Z0001_2010-03-30.ej ] || fail "FIX did not move the changed file"
# A root others may write (Wine shows Everyone's write from the Unix mode):
# said once, in the results too, and the run still ends with 0.
chmod o+w archiwum
: >console.txt
run 0 archiwum com35
chmod o-w archiwum
[ "$(LC_ALL=C grep -ac "Zwykli u.ytkownicy maj. prawo zapisu w katalogu archiwum" console.txt)" = 1 ] \
  && grep -q '"target_writable_by_users": true' summary.json \
  && grep -qx 'zarvik_archive_root_writable_by_users 1' zarvik.prom \
  || fail "the root others may write was not said once: $(cat summary.json)"
run 0 VERIFY archiwum
# A target on a drive that does not exist: the console line with the
# system's reason, and the same line in the fall-back log under ProgramData.
fallback="$WINEPREFIX/drive_c/ProgramData/Zarvik/ERROR_log.txt"
rm -f "$fallback"
: >console.txt
run 5 'q:\archiwum' com35
LC_ALL=C grep -aq "Nie mo.* utworzy.* katalogu: q:.archiwum: [A-Za-z]" console.txt \
  || fail "no console line for the archive root"
LC_ALL=C grep -aqE "^[0-9]{4}\.[0-9]{2}\.[0-9]{2} .*> Nie mo.* utworzy.* katalogu: q:.archiwum: [A-Za-z]" "$fallback" \
  || fail "no line in the fall-back log: $(cat "$fallback")"
echo "verify ok"

# A lock another writer holds (Wine keeps LockFileEx as a POSIX record lock,
# which lockf takes), and a folder at a results path.
python3 -c "
import fcntl, sys, time
f = open(sys.argv[1], 'a+')
fcntl.lockf(f, fcntl.LOCK_EX, 1, 0)
open(sys.argv[2], 'w').close()
time.sleep(40)" $mod/zarvik.lock held &
holder=$!
while [ ! -e held ]; do sleep 0.1; done
: >console.txt
run 9 VERIFY archiwum FIX
said 'czekam do 10 s: archiwum\\MOD0000001\r\n'
said 'Pomini\xeato katalog zaj\xeaty przez inny program: archiwum\\MOD0000001\r\n'
# Plain VERIFY reads beside readers only: the held directory is named as
# being written, no problem.
run 0 VERIFY archiwum
said 'Pomini\xeato katalog zapisywany w\xb3a\x9cnie przez inny program: archiwum\\MOD0000001\r\n'
kill $holder
wait $holder || true
mkdir taken
ZARVIK_SUMMARY=taken run 6 archiwum com10 com3
said 'Nie mo\xbfna zapisa\xe6 pliku ZARVIK_SUMMARY: taken\r\n'
[ -d taken ] && [ -z "$(ls taken)" ] || fail "the folder at the results path was changed"
echo "guards ok"
