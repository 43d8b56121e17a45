# Sourced by the Wine stages (scripts/wine-host.sh) and CI: can this machine start 32-bit programs?
# host32_probe succeeds when it can, and leaves in host32_reason what it saw.
# The probe: the 32-bit dynamic loader that Wine's 32-bit loader itself needs, started once.
host32_probe() {
  local loader=/lib/ld-linux.so.2 out
  if [ ! -e "$loader" ]; then
    host32_reason="$loader is not installed"
    return 1
  fi
  if out=$("$loader" --version 2>&1); then
    host32_reason="$loader runs: ${out%%$'\n'*}"
    return 0
  fi
  out=${out##*$'\n'}
  host32_reason="$loader does not start: ${out##*: }"
  return 1
}
