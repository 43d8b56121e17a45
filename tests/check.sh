# Shared by the end-to-end scripts: `check NAME EXPECTED_STATUS STATUS OUTPUT PATTERN` counts a
# check as passed when the status is the expected one and the output holds the pattern.
passed=0 failed=0

check() {
  if [ "$3" -eq "$2" ] && grep -qF -- "$5" <<<"$4"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1 (status $3, wanted $2; looked for: $5)"
    echo "$4" | sed 's/^/    /'
  fi
}
