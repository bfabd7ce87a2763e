#!/bin/bash
# A representative part of the fault suite for zarvik.exe under Wine: the
# standard devices registered in a Wine prefix of this test's own, served by
# the native devsim through <prefix>/dosdevices/com<n> (scripts/wine-with-devsim).
#  1. direct jobs with a busy KE and a module whose files 1 and 2 come back
#     damaged: exit code 3 or 7 (whichever job ends last), only sound files
#     on disk, every failure logged;
#  2. DR with a printer that answers at no speed: exit code 1;
#  3. and 4. the same devices without faults, plain and with DR: exit code 0,
#     the archive complete.
# Each run must end in bounded time; nothing may appear beside the archive.
#
#   wine_faults_test.sh ZARVIK_EXE SOURCE_DIR WORK_DIR DEVSIM
set -euo pipefail
exe=$1 src=$2 work=$3 devsim=$4
export ZARVIK_SRC=$src
here=$src/tests/faults

rm -rf "$work/run"
mkdir -p "$work/tmp" "$work/run/outer"
export WINEPREFIX="$work/prefix"
export TMPDIR="$work/tmp"   # regedit and the program must reach the same wineserver
export WINEDEBUG=-all
"$src/scripts/wine-register-devices" "$src/tests/discovery/data/standard_devices.txt"

cd "$work/run/outer"
run() {
  local expect=$1 scenario=$2
  shift 2
  local start=$SECONDS rc
  set +e
  timeout 300 "$src/scripts/wine-with-devsim" --devsim "$devsim" --scenario "$here/$scenario" --work "$work/sim" \
    -- "$exe" "$@" >>../console.txt 2>&1
  rc=$?
  set -e
  if [[ " $expect " != *" $rc "* ]]; then
    echo "zarvik.exe $* ($scenario): exit code $rc after $((SECONDS - start)) s, expected $expect"
    tail -20 ../console.txt
    exit 1
  fi
  echo "zarvik.exe $* ($scenario): exit code $rc after $((SECONDS - start)) s"
}

check() {
  python3 - "$@" <<'PY'
import hashlib, os, sys
sys.path.insert(0, os.path.join(os.environ['ZARVIK_SRC'], 'tests', 'support'))
from simfiles import archived

stage = sys.argv[1]
sizes = {'QXFAULT002': {0: 180, 1: 2400},
         'MODFAULT01': {0: 150, 1: 1800, 2: 5200, 3: 3000},
         'DRFAULT003': {0: 120, 1: 700}}
fail = ['written beside the archive: %s' % n for n in os.listdir('.') if n != 'archiwum']

def read(*path):
    return open(os.path.join(*path), 'rb').read()

def sound(serial, name):  # the bytes of the KE file of that number
    number = int(name[1:5]) if name[:1] == 'Z' and name[1:5].isdigit() else -1
    size = sizes.get(serial, {}).get(number)
    return size is not None and os.path.exists(os.path.join('archiwum', serial, name)) \
        and read('archiwum', serial, name) == archived(number, size)

for serial in filter(lambda s: os.path.isdir(os.path.join('archiwum', s)), os.listdir('archiwum')):
    for name in os.listdir(os.path.join('archiwum', serial)):
        if name == 'SHA256SUMS':
            for line in read('archiwum', serial, name).decode().splitlines():
                if hashlib.sha256(read('archiwum', serial, line[66:])).hexdigest() != line[:64]:
                    fail.append('checksum line wrong: %s/%s' % (serial, line[66:]))
        elif name.startswith('~') or name.endswith('.tmp'):
            fail.append('temporary file left: %s/%s' % (serial, name))
        elif name not in ('log', 'uszkodzone', 'zarvik.lock', 'zarvik.json') and not sound(serial, name):
            fail.append('archive file with wrong bytes: %s/%s' % (serial, name))

def present(serial, number):
    return sound(serial, 'Z%04d_2010-03-30.ej' % number)

errors = read('archiwum', 'ERROR_log.txt') if os.path.exists('archiwum/ERROR_log.txt') else b''
if stage == 'faulty':
    if not present('MODFAULT01', 0) or not present('MODFAULT01', 3):
        fail.append('the module\'s sound files were not archived')
    if present('MODFAULT01', 1) or present('MODFAULT01', 2) or os.path.exists('archiwum/QXFAULT002'):
        fail.append('a damaged file or the busy KE was archived')
    needles = [b'MODFAULT01\\Z0001_2010-03-30.ej brakuje znacznika', b'MODFAULT01\\Z0002_2010-03-30.ej napotkano',
               b'<com34>  Kopia Elektroniczna nie jest pod']
elif stage == 'mute':
    needles = [b'<com36> Brak komunikacji z drukark']
else:
    needles = []
    fail += ['%s: Z%04d missing after the clean runs' % (serial, number)
             for serial in sizes for number in sizes[serial] if not present(serial, number)]
fail += ['not in the error log: %r' % needle for needle in needles if needle not in errors]
if fail:
    print(stage + ':\n  ' + '\n  '.join(fail))
    sys.exit(1)
print(stage + ': archive ok')
PY
}

run '3 7' wine_faults.scenario archiwum
check faulty
run 1 wine_faults.scenario archiwum DR com36
check mute
run 0 wine_clean.scenario archiwum
run 0 wine_clean.scenario archiwum DR com36
check clean
