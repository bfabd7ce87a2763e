#!/bin/bash
# zarvik.exe LIST under Wine against the standard simulated devices registered
# in a Wine prefix of this test's own. The device part of the report must be
# the same bytes the Linux build writes for the same devices; the environment
# part must be the program's environment, one CR LF line per variable.
# With OTHER_EXE (the 64-bit exe, when ZARVIK_EXE is the 32-bit one) both list
# the same devices with the same options, every class of device included, and
# the device parts of their reports must be the same bytes: the SetupAPI
# structures and the property buffers come out alike on both architectures.
#
#   wine_list_test.sh ZARVIK_EXE SOURCE_DIR WORK_DIR [OTHER_EXE]
set -euo pipefail
exe=$1 src=$2 work=$3 other=${4:-}
if [ -n "$other" ] && [ ! -f "$other" ]; then
  echo "$other is not built: cannot compare the reports"
  exit 1
fi

mkdir -p "$work/tmp"
export WINEPREFIX="$work/prefix"
# regedit and the program must reach the same wineserver.
export TMPDIR="$work/tmp"
export WINEDEBUG=-all
for devices in standard_devices bare_device; do
  "$src/scripts/wine-register-devices" "$src/tests/discovery/data/$devices.txt"
done

cd "$work"
rm -f report*.txt other*.txt
options=("" "NCOM FILTER" NCOM "ALL NCOM")
for i in 0 1 2 3; do
  "$src/scripts/wine-run" "$exe" LIST "report$i.txt" ${options[i]:+"${options[i]}"}
  [ -z "$other" ] || "$src/scripts/wine-run" "$other" LIST "other$i.txt" ${options[i]:+"${options[i]}"}
done
# A report file that cannot be written ends the mode with 10.
rc=0
"$src/scripts/wine-run" "$exe" LIST 'missing\report.txt' >/dev/null || rc=$?
if [ "$rc" != 10 ]; then echo "LIST into a missing folder ended with $rc, not 10" >&2; exit 1; fi

python3 - "$src/tests/discovery/data/list_default.golden" ${other:+"$other"} <<'EOF'
import sys
golden = open(sys.argv[1], 'rb').read()
report, filtered, unfiltered = (open('report%d.txt' % n, 'rb').read() for n in range(3))
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
# With the other exe: the device parts, up to the environment's title, byte
# for byte.
title = 'Konfiguracja komputera'.encode('cp1250')
for n in range(4) if len(sys.argv) > 2 else []:
    mine, theirs = open('report%d.txt' % n, 'rb').read(), open('other%d.txt' % n, 'rb').read()
    mine, theirs = mine[:mine.find(title)], theirs[:theirs.find(title)]
    if mine != theirs or len(mine) < len(golden) // 2:
        cut = next((i for i, (a, b) in enumerate(zip(mine, theirs)) if a != b), min(len(mine), len(theirs)))
        fail.append('report%d.txt: the two exes differ at byte %d:\n  this  %r\n  other %r' %
                    (n, cut, mine[cut:cut + 80], theirs[cut:cut + 80]))
    else:
        print('report%d.txt: both exes wrote the same %d device bytes' % (n, len(mine)))
if fail:
    print('\n'.join(fail))
    sys.exit(1)
print('report ok: %d device bytes, %d environment lines' % (len(golden), len(lines) - 1))
EOF
