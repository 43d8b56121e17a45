# Shared by the end-to-end scripts: `check NAME EXPECTED_STATUS STATUS OUTPUT PATTERN` counts a
# check as passed when the status is the expected one and the output holds the pattern.
passed=0 failed=0
# `options NAME=DIGIT...`: the option digits by name.
source "$(dirname "${BASH_SOURCE[0]}")/options.sh"

check() {
  if [ "$3" -eq "$2" ] && grep -qF -- "$5" <<<"$4"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1 (status $3, wanted $2; looked for: $5)"
    echo "$4" | sed 's/^/    /'
  fi
}

# `gtests NAME OUTPUT STATUS` counts a GoogleTest program's tests from its summary (a crash counts
# as one failure).
gtests() {
  local ran ok
  ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' <<< "$2" | tail -1)
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' <<< "$2" | tail -1)
  if [ -z "$ran" ] || [ -z "$ok" ]; then
    failed=$((failed + 1))
    echo "FAIL: $1 did not finish (status $3)"
    tail -20 <<< "$2" | sed 's/^/    /'
    return
  fi
  passed=$((passed + ok))
  failed=$((failed + ran - ok))
  [ "$ran" -eq "$ok" ] && [ "$3" -eq 0 ] || grep -E '^\[  FAILED  \]|Failure' -A4 <<< "$2" | sed 's/^/    /'
  echo "$1: $ok of $ran passed"
}

# `not_run NAME COUNT REASON` names checks that could not run on this machine: they count as
# neither passed nor failed, and the closing line gives them as skipped.
skipped=0
not_run() {
  skipped=$((skipped + $2))
  echo "not run here: $1 ($2 checks): $3"
}

# The closing line of an end-to-end script; its status says whether every check that ran passed.
summary() {
  if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
  else
    echo "$passed passed, $failed failed"
  fi
  [ "$failed" -eq 0 ]
}

# `qv12_package BENCH_TOOL` writes into the current folder the package the end-to-end scripts
# pack: manifest.json with one image (fw.bin, revision QV12, for the drives from QV10 to QV19)
# and its key table (key.bin).
qv12_package() {
  "$1" firmware --revision QV12 --size 1048576 fw.bin > /dev/null
  "$1" key --seed 12 key.bin > /dev/null
  cat > manifest.json << JSON
{ "title": "Firmware Flasher - QV12 - DVD-RW QV-1600", "driveName": "DVD-RW QV-1600",
  "options": "$(options)",
  "images": [ { "file": "fw.bin", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
}
