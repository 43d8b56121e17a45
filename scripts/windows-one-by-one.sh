#!/usr/bin/env bash
# Compiles each Windows-specific source of a one-file cross build on its own (syntax only). The
# Windows stages build each target as one translation unit, where a file that leans on a Windows
# header an earlier file included still compiles; the release build compiles file by file and
# would then fail. Checks the files that speak to Windows: those under platform/windows/ and
# win32/, and those with a _WIN32 part.
# Usage: scripts/windows-one-by-one.sh BUILD   (a configured one-file build, e.g. build-windows/i686)
set -euo pipefail
build=${1:?usage: scripts/windows-one-by-one.sh BUILD}
root=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$build/compile_commands.json" ] || { echo "no compile_commands.json in $build" >&2; exit 2; }
list=$(mktemp)
trap 'rm -f "$list"' EXIT
python3 - "$build/compile_commands.json" "$root" > "$list" << 'PY'
import json, os, re, shlex, sys
commands, root = json.load(open(sys.argv[1])), sys.argv[2]
for entry in commands:
    words = shlex.split(entry["command"])
    unity = entry["file"]
    if "/Unity/" not in unity:
        continue
    for line in open(unity):
        m = re.match(r'#include "(.+\.cpp)"', line)
        if not m:
            continue
        source = m.group(1)
        if not os.path.exists(source):  # gone since the build was configured
            continue
        text = open(source, errors="replace").read()
        if not ("/platform/windows/" in source or "/win32/" in source or "_WIN32" in text):
            continue
        out = [w for w in words]
        i = out.index("-o"); del out[i:i + 2]
        i = out.index("-c"); out[i:i + 2] = ["-fsyntax-only", "-fmax-errors=3", source]
        print(entry["directory"] + "\t" + shlex.join(out))
PY
count=$(wc -l < "$list")
[ "$count" -gt 0 ] || { echo "no Windows sources found in $build" >&2; exit 1; }
failed=0
# Two at a time; each line is "directory<TAB>command".
xargs -d '\n' -P "${BRENVO_JOBS:-2}" -I{} bash -c 'IFS=$'"'"'\t'"'"' read -r dir cmd <<< "$1"; cd "$dir" && eval "$cmd" || { echo "FAILED on its own: ${cmd##* }" >&2; exit 1; }' _ {} < "$list" || failed=1
if [ "$failed" -ne 0 ]; then
  echo "windows-one-by-one: a Windows source does not compile on its own" >&2
  exit 1
fi
echo "windows-one-by-one: $count sources compile on their own"
