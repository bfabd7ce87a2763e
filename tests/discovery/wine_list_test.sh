#!/bin/bash
# zarvik.exe LIST under Wine against the standard simulated devices registered
# in a Wine prefix of this test's own. The device part of the report must be
# the same bytes the Linux build writes for the same devices; the environment
# part must be the program's environment, one CR LF line per variable.
#
#   wine_list_test.sh ZARVIK_EXE SOURCE_DIR WORK_DIR
set -euo pipefail
exe="$1"
src="$2"
work="$3"

mkdir -p "$work/tmp"
export WINEPREFIX="$work/prefix"
# regedit and the program must reach the same wineserver.
export TMPDIR="$work/tmp"
export WINEDEBUG=-all

"$src/scripts/wine-register-devices" "$src/tests/discovery/data/standard_devices.txt"
"$src/scripts/wine-register-devices" "$src/tests/discovery/data/bare_device.txt"

cd "$work"
rm -f report.txt report2.txt report3.txt
"$src/scripts/wine-run" "$exe" LIST report.txt
"$src/scripts/wine-run" "$exe" LIST report2.txt "NCOM FILTER"
"$src/scripts/wine-run" "$exe" LIST report3.txt NCOM
# A report file that cannot be written ends the mode with 10.
rc=0
"$src/scripts/wine-run" "$exe" LIST 'missing\report.txt' >/dev/null || rc=$?
if [ "$rc" != 10 ]; then echo "LIST into a missing folder ended with $rc, not 10" >&2; exit 1; fi

python3 - "$src/tests/discovery/data/list_default.golden" report.txt report2.txt report3.txt <<'EOF'
import sys
golden = open(sys.argv[1], 'rb').read()
report = open(sys.argv[2], 'rb').read()
filtered = open(sys.argv[3], 'rb').read()
unfiltered = open(sys.argv[4], 'rb').read()
fail = []
if not report.startswith(golden):
    cut = next((i for i, (a, b) in enumerate(zip(golden, report)) if a != b), min(len(golden), len(report)))
    fail.append('device part differs at byte %d:\n  expected %r\n  got      %r' % (cut, golden[cut:cut + 80], report[cut:cut + 80]))
env = report[len(golden):]
lines = env.split(b'\r\n')
if not env.endswith(b'\r\n') or any(b'=' not in l for l in lines[:-1]) or not any(l.startswith(b'WINEPREFIX=') for l in lines):
    fail.append('environment part is not NAME=value CR LF lines: %r' % env[:200])
if b'VID_1234' in filtered or b'PNP0501' in filtered or b'SELVAN ORDEK' not in filtered:
    fail.append('FILTER did not keep exactly the maker\'s devices')
# The device without texts: no COM number, so it comes first, with NCOM only.
bare = (b'Port szeregowy niezdefiniowany\r\nHardwareId:         \r\nVersion:            0.00\r\n'
        b'SystemID:           ROOT\\PORTS\\0000\r\n')
if b'ROOT\\PORTS' in report or not unfiltered.startswith(bare) or not unfiltered[len(bare):].startswith(b'Numer'):
    fail.append('device without properties not reported as an undefined port under NCOM: %r' % unfiltered[:200])
if fail:
    print('\n'.join(fail))
    sys.exit(1)
print('report ok: %d device bytes, %d environment lines' % (len(golden), len(lines) - 1))
EOF
