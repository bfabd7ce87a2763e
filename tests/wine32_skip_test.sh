#!/bin/bash
# The 32-bit tree's tests where 32-bit programs do not start, forced with
# ZARVIK_WINE32_FORCE_UNAVAILABLE on a machine where they do: a ctest run of
# the selected tests (one of each way a test starts Wine) must say why once,
# report every one as skipped, none as failed, and each must have said why
# (at once: without starting Wine).
#
#   wine32_skip_test.sh CTEST TESTS_DIR WORK_DIR REGEX MIN_TESTS
set -euo pipefail
ctest=$1 tests=$2 work=$3 regex=$4 min=$5
rm -rf "$work"
mkdir -p "$work"
# A test file of its own, so that this run's log does not go into the tree's.
printf 'subdirs("%s")\n' "$tests" >"$work/CTestTestfile.cmake"
cd "$work"
start=$SECONDS
rc=0
out=$(ZARVIK_WINE32_FORCE_UNAVAILABLE=1 "$ctest" -R "$regex" 2>&1) || rc=$?
echo "$out"
fail=()
n=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' <<<"$out")
[ "$rc" -eq 0 ] || fail+=("ctest ended with $rc")
[ "${n:-0}" -ge "$min" ] || fail+=("${n:-no} tests selected, at least $min expected")
[ "$(grep -c '\*\*\*Skipped' <<<"$out")" = "${n:-x}" ] || fail+=("not every test reported as skipped")
grep -qx 'The win32.\* tests are skipped: 32-bit programs do not start here (forced by ZARVIK_WINE32_FORCE_UNAVAILABLE)' <<<"$out" \
  || fail+=("ctest did not say why the tests are skipped")
said=$(grep -v 'Regex=' Testing/Temporary/LastTest.log | grep -c 'skipped: 32-bit programs do not start here (forced' || true)
[ "$said" = "${n:-x}" ] || fail+=("$said of ${n:-?} tests said why they were skipped")
[ $((SECONDS - start)) -le 30 ] || fail+=("skipping took $((SECONDS - start)) s")
if [ ${#fail[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${fail[@]}"
  exit 1
fi
echo "ok: $n tests skipped with the reason"
