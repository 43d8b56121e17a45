#!/usr/bin/env bash
# The files the programs write and the names they derive: the trace is never written through a
# link or into another file; a save keeps the permissions of the bench it replaces; the packer
# never hands on a set-user-ID bit; a NUL inside a text of a bench or a manifest is refused; a
# bench whose name leaves no room for the names derived from it is refused before anything is
# written. Usage: misuse_files_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
cli=$build/cli/brenvo-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export BRENVO_UNATTENDED=1
source "$(dirname "$0")/check.sh"
cd "$work" || exit 1

qv12_package "$bench"
"$pack" manifest.json "$cli" flasher > /dev/null
"$bench" new --preset typical pc.json > /dev/null
machine() { BRENVO_MACHINE=$1 "${@:2}" < /dev/null 2>&1; }

# The trace: a link at its name, to another file, is refused and that file is left as it was;
# so is a second name (hard link) of another file. A new file, or the run's own, is written.
echo precious > victim
ln -s "$work/victim" trace.jsonl
out=$(BRENVO_TRACE=$work/trace.jsonl machine pc.json ./flasher list)
check "a link as the trace" 6 $? "$out" "trace.jsonl: it is a symbolic link; name the file itself"
[ "$(cat victim)" = precious ]; check "the link's target is unchanged" 0 $? x x
rm trace.jsonl && ln victim trace.jsonl
out=$(BRENVO_TRACE=$work/trace.jsonl machine pc.json ./flasher list)
check "a hard link as the trace" 6 $? "$out" "it has 2 names (hard links)"
[ "$(cat victim)" = precious ]; check "the hard link's file is unchanged" 0 $? x x
rm trace.jsonl
out=$(BRENVO_TRACE=$work/trace.jsonl machine pc.json ./flasher list)
check "a new trace file" 0 $? "$out" "QV11"
grep -q '"cdb"' trace.jsonl; check "the new trace holds commands" 0 $? x x

# A private bench stays private after a flash, and so do the contents files it now names.
chmod 600 pc.json
out=$(machine pc.json ./flasher update --yes); check "a flash on a 0600 bench" 0 $? "$out" "now QV12"
modes=$(stat -c '%a' pc.json pc.json.*.flash | sort -u)
[ "$modes" = 600 ]; check "the bench and its contents files are still 0600" 0 $? "$modes" ""
# A key table written over a 0600 one keeps 0600.
"$bench" key --seed 3 key.bin > /dev/null && chmod 600 key.bin
"$bench" key --seed 4 key.bin > /dev/null
[ "$(stat -c %a key.bin)" = 600 ]; check "a rewritten key table keeps 0600" 0 $? "$(stat -c %a key.bin)" ""

# The packer: a set-user-ID, set-group-ID input gives an output with neither.
cp "$cli" setuid-input && chmod 6755 setuid-input
out=$("$pack" manifest.json setuid-input packed 2>&1); check "packing a set-user-ID input" 0 $? "$out" "verified"
[ "$(stat -c %a packed)" = 755 ]; check "the output is 0755, no set-ID bits" 0 $? "$(stat -c %a packed)" ""

# A NUL inside a text: refused, naming the field, in a bench and in a manifest.
sed 's/brenvo.exe"/brenvo.exe\\u0000.txt"/' pc.json > nul.json
out=$(machine nul.json ./flasher list)
check "a NUL in programPath" 6 $? "$out" "nul.json.machine.programPath: holds a NUL character"
out=$("$bench" show nul.json 2>&1); check "brenvo-bench show, a NUL in programPath" 1 $? "$out" "holds a NUL character"
sed 's/"driveName": "DVD-RW QV-1600"/"driveName": "DVD-RW\\u0000QV-1600"/' manifest.json > nul-m.json
out=$("$pack" nul-m.json "$cli" out 2>&1); check "a NUL in a manifest's driveName" 1 $? "$out" "nul-m.json.driveName: holds a NUL character"
[ ! -e out ]; check "no output after the NUL" 0 $? x x

# A bench name of 230 bytes: the contents files named after it would be too long for the file
# system, so new refuses it, and writes nothing (not even the lock file).
long=$(printf 'b%.0s' $(seq 225)).json
mkdir names
out=$("$bench" new "names/$long" 2>&1)
check "new with a 230-byte bench name" 1 $? "$out" "the bench file's name is too long (230 bytes)"
[ -z "$(ls -A names)" ]; check "nothing is written for it" 0 $? "$(ls -A names)" ""
# Made under a short name and renamed, it is refused when a run loads it, before the lock.
cp pc.json "names/$long"
out=$(machine "names/$long" ./flasher list); check "a run on a 230-byte bench name" 6 $? "$out" "give the bench a name of at most 205 bytes"
[ ! -e "names/$long.lock" ]; check "no lock file for it" 0 $? x x
out=$("$bench" new "names/$(printf 'b%.0s' $(seq 200)).json" 2>&1); check "new with a 205-byte name" 0 $? "$out" "wrote"

summary
