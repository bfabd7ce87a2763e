#!/bin/bash
# zarvik.exe in archive mode under Wine, end to end: the standard devices
# registered in a Wine prefix of this test's own, served by the native devsim
# through <prefix>/dosdevices/com<n> links (scripts/wine-with-devsim). Three
# runs: the KE module and the two-port device; the same again, which must
# fetch nothing; the KE behind the printer with DR. Each run also writes its
# results (ZARVIK_SUMMARY, ZARVIK_METRICS) and its summary to the console.
# Then VERIFY on the clean archive, after a byte changed in place, with FIX,
# and after the archive run that fetches the moved file again (with a root
# others may write); and an archive root on a drive that does not exist. Last VERIFY's third word, two lines for one
# file, a held KE directory and a folder at a results path.
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
run() {
  local expect=$1
  shift
  set +e
  "$src/scripts/wine-with-devsim" --devsim "$devsim" --scenario "$scenario" --work "$work/sim" \
    -- "$exe" "$@" >>console.txt 2>&1
  local rc=$?
  set -e
  if [ "$rc" -ne "$expect" ]; then
    echo "zarvik.exe $*: exit code $rc, expected $expect"
    tail -20 console.txt
    exit 1
  fi
}

run 0 archiwum
cp summary.json first.json
(cd archiwum && find . -type f ! -name zarvik.json | sort | xargs md5sum) >first.sum
run 0 'archiwum\'
cat "$work"/sim/rec/*.rec >second.rec
(cd archiwum && find . -type f ! -name '*_log.txt' ! -name zarvik.json | sort | xargs md5sum) >second.sum
run 0 archiwum DR com36

/usr/bin/python3 - <<'PY'
import json, os, re, subprocess, sys
fail = []

sys.path.insert(0, os.path.join(os.environ['ZARVIK_SRC'], 'tests', 'support'))
from simfiles import archived

def expect(serial, files, port):
    log = open(os.path.join('archiwum', serial, 'log', 'log_log.txt'), 'rb').read()
    for number, size in files:
        name = 'Z%04d_2010-03-30.ej' % number
        path = os.path.join('archiwum', serial, name)
        want = archived(number, size)
        if not os.path.exists(path) or open(path, 'rb').read() != want:
            fail.append('%s: wrong or missing' % path)
        if log.count(b'> <%s> Zapisano plik: %s\r\n' % (port, name.encode())) != 1:
            fail.append('%s: no single "file saved" line for %s' % (serial, name))

expect('QX70000002', [(0, 180), (1, 2400)], b'com34')
expect('MOD0000001', [(0, 150), (1, 1800), (2, 5200)], b'com35')
expect('DR00000003', [(0, 120), (1, 700)], b'com36')

# The second run found everything in place: no file request went out, no
# archive file changed, and the logs gained no 'file saved' line.
if b';0;' in open('second.rec', 'rb').read() or b'0000F' in open('second.rec', 'rb').read():
    fail.append('the second run requested files')
first = [l for l in open('first.sum') if '_log.txt' not in l]
if first != open('second.sum').readlines():
    fail.append('the second run changed archive files')
module_log = open('archiwum/MOD0000001/log/log_log.txt', 'rb').read()
if not module_log.rstrip(b'\r\n').endswith(b'<com35> Sprawdzanie zawarto\x9cci Kopii Elektronicznej.'):
    fail.append('module log does not end with the second run\'s "checking the KE" line: %r' % module_log[-200:])
if os.path.exists('archiwum/ERROR_log.txt'):
    fail.append('error log written: %r' % open('archiwum/ERROR_log.txt', 'rb').read()[:300])
# The checksum lists agree with the files.
import hashlib
for serial in ('QX70000002', 'MOD0000001', 'DR00000003'):
    d = os.path.join('archiwum', serial)
    want = ''.join('%s  %s\n' % (hashlib.sha256(open(os.path.join(d, n), 'rb').read()).hexdigest(), n)
                   for n in sorted(os.listdir(d)) if n.endswith('.ej'))
    if open(os.path.join(d, 'SHA256SUMS')).read() != want:
        fail.append('%s: SHA256SUMS differs from the files' % serial)
# The results of the first run and of the DR run, and the console summary
# (redirected: no status line).
first = json.load(open('first.json', encoding='utf-8'))
jobs = [(j['kind'], j['printer_port'], j['ke_port'], j['ke_serial'], j['directory'], j['checks_passed'],
         j['files_listed'], j['files_on_disk'], j['files_fetched'], j['files_failed'], j['bytes_fetched'], j['errors'])
        for j in first['jobs']]
# The target as an absolute Windows path (a drive, the current directory).
target = first['target']
if first['exit_code'] != 0 or not re.match(r'^[A-Za-z]:\\.*\\archiwum$', target) or jobs != [
        ('combined', 'com33', 'com34', 'QX70000002', target + '\\QX70000002', True, 2, 0, 2, 0, 181 + 2401, []),
        ('direct', None, 'com35', 'MOD0000001', target + '\\MOD0000001', True, 3, 0, 3, 0, 151 + 1801 + 5201, [])]:
    fail.append('first summary: %r' % first)
last = json.load(open('summary.json', encoding='utf-8'))
if [(j['kind'], j['printer_port'], j['ke_port'], j['files_fetched']) for j in last['jobs']] != [
        ('printer', 'com36', 'com36', 2)]:
    fail.append('DR summary: %r' % last)
metrics = subprocess.run(['/usr/bin/python3', os.path.join(os.environ['ZARVIK_SRC'], 'tests', 'archive', 'runtools.py'),
                          'metrics', 'zarvik.prom'], capture_output=True, text=True)
if metrics.returncode != 0 or 'zarvik_ke_archive_files{ke_serial="DR00000003",port="com36"} 2' not in metrics.stdout:
    fail.append('metrics: %s %s' % (metrics.stdout, metrics.stderr))
console = open('console.txt', 'rb').read()
if console.count(b'Razem: zada\xf1 2, pobrano plik\xf3w 5, nieudanych 0') != 1 or b'KB/s' in console \
        or console.count(b'Kod zako\xf1czenia 0: ') != 3:
    fail.append('console: %r' % console[-600:])
if fail:
    print('\n'.join(fail))
    sys.exit(1)
print('archive ok')
PY

mod=archiwum/MOD0000001
run 0 VERIFY archiwum
python3 -c "import sys; p=sys.argv[1]; b=bytearray(open(p,'rb').read()); b[5]^=1; open(p,'wb').write(b)" \
  $mod/Z0001_2010-03-30.ej
: >console.txt
run 9 verify archiwum
LC_ALL=C grep -aq "Niezgodna suma kontrolna: archiwum.MOD0000001.Z0001_2010-03-30.ej" console.txt \
  || { echo "VERIFY did not name the changed file"; cat console.txt; exit 1; }
run 9 VERIFY archiwum FIX
[ -f $mod/uszkodzone/Z0001_2010-03-30.ej ] && [ ! -e $mod/Z0001_2010-03-30.ej ] \
  || { echo "FIX did not move the changed file"; exit 1; }
# A root others may write (Wine shows Everyone's write from the Unix mode):
# said once, in the results too, and the run still ends with 0.
chmod o+w archiwum
: >console.txt
run 0 archiwum com35
chmod o-w archiwum
[ "$(LC_ALL=C grep -ac "Zwykli u.ytkownicy maj. prawo zapisu w katalogu archiwum" console.txt)" = 1 ] \
  && grep -q '"target_writable_by_users": true' summary.json \
  && grep -qx 'zarvik_archive_root_writable_by_users 1' zarvik.prom \
  || { echo "the root others may write was not said once"; cat console.txt summary.json; exit 1; }
run 0 VERIFY archiwum
# A target on a drive that does not exist: the console line with the
# system's reason, and the same line in the fall-back log under ProgramData.
fallback="$WINEPREFIX/drive_c/ProgramData/Zarvik/ERROR_log.txt"
rm -f "$fallback"
: >console.txt
run 5 'q:\archiwum' com35
LC_ALL=C grep -aq "Nie mo.* utworzy.* katalogu: q:.archiwum: [A-Za-z]" console.txt \
  || { echo "no console line for the archive root"; cat console.txt; exit 1; }
LC_ALL=C grep -aqE "^[0-9]{4}\.[0-9]{2}\.[0-9]{2} .*> Nie mo.* utworzy.* katalogu: q:.archiwum: [A-Za-z]" "$fallback" \
  || { echo "no line in the fall-back log"; cat "$fallback"; exit 1; }
echo "verify ok"

# VERIFY's third word, two lines for one file, a lock another writer holds
# (Wine keeps LockFileEx as a POSIX record lock, which lockf takes), and a
# folder at a results path; none of these needs a device.
plain() {
  local expect=$1 rc
  shift
  set +e
  "$src/scripts/wine-run" "$exe" "$@" >>console.txt 2>&1
  rc=$?
  set -e
  [ "$rc" -eq "$expect" ] || { echo "zarvik.exe $*: exit code $rc, expected $expect"; tail -20 console.txt; exit 1; }
}
said() {
  LC_ALL=C grep -aqF "$(printf "$1")" console.txt || { echo "not said: $1"; cat console.txt; exit 1; }
}
tree() { find $mod -type f | sort | xargs md5sum; }
before=$(tree)
: >console.txt
plain 11 VERIFY archiwum NOFIX
plain 11 VERIFY archiwum bez_prefixu
said 'U\xbfycie: zarvik VERIFY [katalog] [FIX]; nieznane s\xb3owo: NOFIX\r\n'
[ "$(tree)" = "$before" ] || { echo "a wrong third word changed the archive"; exit 1; }
cp $mod/SHA256SUMS listed
python3 - $mod/SHA256SUMS <<'PY'
import sys
lines = open(sys.argv[1]).read().splitlines()
lines.insert(1, '0' * 64 + '  Z0001_2010-03-30.ej')
open(sys.argv[1], 'w', newline='\n').write('\n'.join(lines) + '\n')
PY
plain 9 VERIFY archiwum
said 'B\xb3\xeadny wiersz 3 w pliku archiwum\\MOD0000001\\SHA256SUMS'
# The first line rules: the file matches only the later one, so it changed
# since it was archived; FIX moves it aside and keeps the first line.
plain 9 VERIFY archiwum fix
[ -f $mod/uszkodzone/Z0001_2010-03-30.ej.1 ] && [ "$(grep -c Z0001 $mod/SHA256SUMS)" = 1 ] && grep -q ^0000 $mod/SHA256SUMS \
  || { echo "FIX did not keep the first line"; cat $mod/SHA256SUMS; exit 1; }
mv $mod/uszkodzone/Z0001_2010-03-30.ej.1 $mod/Z0001_2010-03-30.ej && cp listed $mod/SHA256SUMS
plain 0 VERIFY archiwum
python3 -c "
import fcntl, sys, time
f = open(sys.argv[1], 'a+')
fcntl.lockf(f, fcntl.LOCK_EX, 1, 0)
open(sys.argv[2], 'w').close()
time.sleep(25)" $mod/zarvik.lock held &
holder=$!
while [ ! -e held ]; do sleep 0.1; done
plain 9 VERIFY archiwum FIX
said 'czekam do 10 s: archiwum\\MOD0000001\r\n'
said 'Pomini\xeato katalog zaj\xeaty przez inny program: archiwum\\MOD0000001\r\n'
# Plain VERIFY reads beside readers only: the held directory is named as
# being written, no problem.
plain 0 VERIFY archiwum
said 'Pomini\xeato katalog zapisywany w\xb3a\x9cnie przez inny program: archiwum\\MOD0000001\r\n'
kill $holder
wait $holder || true
mkdir taken
ZARVIK_SUMMARY=taken plain 6 archiwum com10 com3
said 'Nie mo\xbfna zapisa\xe6 pliku ZARVIK_SUMMARY: taken\r\n'
[ -d taken ] && [ -z "$(ls taken)" ] || { echo "the folder at the results path was changed"; exit 1; }
echo "guards ok"
