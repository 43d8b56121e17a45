#!/usr/bin/env bash
# Every program, given a folder, a missing file or an unreadable file wherever it takes a path,
# ends with its own error and exit status (never a crash); a bench held by one run is refused to
# another; no program writes through a link, over a device or over its own inputs; boot runs no
# foreign program. Usage: misuse_test.sh BUILD_DIR
set -u
build=$1
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
cli=$build/cli/brenvo-cli
brenvo=$build/app/brenvo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1
source "$(dirname "$0")/check.sh"
# Seconds a run of the window program may take (longer under the sanitizers).
limit=$((60 * ${BRENVO_TIME_SCALE:-1}))

"$bench" key --seed 7 "$work/key.bin" > /dev/null
"$bench" firmware --revision QV12 --size 1048576 "$work/fw.bin" > /dev/null
"$bench" new --preset typical "$work/pc.json" > /dev/null
manifest() {  # manifest IMAGE_FILE
  cat > "$work/m.json" <<JSON
{ "title": "T", "driveName": "D", "options": "$(options)",
  "images": [ { "file": "$1", "key": "key.bin", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
}
manifest fw.bin
"$pack" "$work/m.json" "$cli" "$work/flasher" > /dev/null

# Inputs: a folder, a missing file, and a file that cannot be read. As root, permissions do not
# stop reading; /proc/self/mem opens and then fails every read, whoever reads it.
mkdir "$work/folder"
: > "$work/locked" && chmod 000 "$work/locked"
inputs=("$work/folder" "$work/missing" /proc/self/mem)
says=("is a folder, not a file" "does not exist" "cannot be read")
if [ "$(id -u)" -ne 0 ]; then
  inputs+=("$work/locked") says+=("cannot be opened")
else
  echo "misuse_test: as root a chmod 000 file stays readable; /proc/self/mem stands in for it"
fi

machine() { BRENVO_MACHINE=$1 "${@:2}" < /dev/null 2>&1; }
for i in "${!inputs[@]}"; do
  p=${inputs[$i]} s=${says[$i]}
  out=$("$cli" --package "$p" list 2>&1); check "brenvo-cli --package $p" 5 $? "$out" "$s"
  out=$(machine "$p" "$cli" list); check "brenvo-cli BRENVO_MACHINE=$p" 6 $? "$out" "$s"
  out=$(machine "$p" timeout "$limit" "$brenvo"); check "brenvo BRENVO_MACHINE=$p" 6 $? "$out" "$s"
  out=$("$pack" "$p" "$cli" "$work/out" 2>&1); check "brenvo-pack manifest $p" 1 $? "$out" "$s"
  out=$("$pack" "$work/m.json" "$p" "$work/out" 2>&1); check "brenvo-pack input $p" 1 $? "$out" "$s"
  manifest "$p"
  out=$("$pack" "$work/m.json" "$cli" "$work/out" 2>&1); check "brenvo-pack image $p" 1 $? "$out" "$s"
  manifest fw.bin
  out=$("$pack" --show "$p" 2>&1); check "brenvo-pack --show $p" 1 $? "$out" "$s"
  out=$("$bench" show "$p" 2>&1); check "brenvo-bench show $p" 1 $? "$out" "$s"
  out=$("$bench" boot "$p" 2>&1); check "brenvo-bench boot $p" 1 $? "$out" "$s"
done
[ ! -e "$work/out" ]; check "no output after a refusal" 0 $? "x" "x"

# Outputs: a folder, and a file in a folder that does not exist.
for p in "$work/folder" "$work/nowhere/file"; do
  out=$("$pack" "$work/m.json" "$cli" "$p" 2>&1); check "brenvo-pack output $p" 1 $? "$out" "brenvo-pack: "
  out=$("$bench" new "$p" 2>&1); check "brenvo-bench new $p" 1 $? "$out" "brenvo-bench: "
  out=$("$bench" key "$p" 2>&1); check "brenvo-bench key $p" 1 $? "$out" "cannot write"
  out=$("$bench" firmware --revision QV12 --size 4096 "$p" 2>&1)
  check "brenvo-bench firmware $p" 1 $? "$out" "cannot write"
  out=$(BRENVO_TRACE=$p machine "$work/pc.json" "$cli" list); check "brenvo-cli BRENVO_TRACE=$p" 6 $? "$out" "cannot open the trace file"
  out=$(BRENVO_TRACE=$p machine "$work/pc.json" timeout "$limit" "$brenvo"); check "brenvo BRENVO_TRACE=$p" 6 $? "$out" "cannot open the trace file"
done
out=$("$pack" "$work/m.json" "$work/flasher" "$work/flasher" 2>&1); check "brenvo-pack output = input" 1 $? "$out" "is the input program itself"

# Inputs that are not regular files: a FIFO (which would stall a reader for ever), a device, and
# a JSON too large for its kind. Each is refused at once, naming what it is.
mkfifo "$work/fifo"
python3 -c "import sys; open(sys.argv[1], 'w').write('[' + '{},' * 14000000 + '{}]')" "$work/big.json"
odd=("$work/fifo" /dev/zero "$work/big.json")
odds=("is a FIFO (named pipe), not a file" "is a character device, not a file" "is larger than")
for i in "${!odd[@]}"; do
  p=${odd[$i]} s=${odds[$i]} t=(timeout 20)
  out=$(machine "$p" "${t[@]}" "$cli" list); check "brenvo-cli BRENVO_MACHINE=$p" 6 $? "$out" "$s"
  out=$(machine "$p" "${t[@]}" "$brenvo"); check "brenvo BRENVO_MACHINE=$p" 6 $? "$out" "$s"
  out=$("${t[@]}" "$pack" "$p" "$cli" "$work/out" 2>&1); check "brenvo-pack manifest $p" 1 $? "$out" "$s"
  out=$("${t[@]}" "$bench" show "$p" 2>&1); check "brenvo-bench show $p" 1 $? "$out" "$s"
  out=$("${t[@]}" "$bench" boot "$p" 2>&1); check "brenvo-bench boot $p" 1 $? "$out" "$s"
  [ "$p" = "$work/big.json" ] && continue
  out=$("${t[@]}" "$cli" --package "$p" list 2>&1); check "brenvo-cli --package $p" 5 $? "$out" "$s"
  out=$("${t[@]}" "$pack" "$work/m.json" "$p" "$work/out" 2>&1); check "brenvo-pack input $p" 1 $? "$out" "$s"
  out=$("${t[@]}" "$pack" --show "$p" 2>&1); check "brenvo-pack --show $p" 1 $? "$out" "$s"
  manifest "$p"
  out=$("${t[@]}" "$pack" "$work/m.json" "$cli" "$work/out" 2>&1); check "brenvo-pack image $p" 1 $? "$out" "$s"
  manifest fw.bin
  sed -i "s|\"key.bin\"|\"$p\"|" "$work/m.json"
  out=$("${t[@]}" "$pack" "$work/m.json" "$cli" "$work/out" 2>&1); check "brenvo-pack key $p" 1 $? "$out" "$s"
  manifest fw.bin
  out=$(BRENVO_TRACE=$p machine "$work/pc.json" "${t[@]}" "$cli" list); check "brenvo-cli BRENVO_TRACE=$p" 6 $? "$out" "$s"
  out=$(BRENVO_TRACE=$p machine "$work/pc.json" "${t[@]}" "$brenvo"); check "brenvo BRENVO_TRACE=$p" 6 $? "$out" "$s"
done
[ ! -e "$work/out" ]; check "no output after refusing what is no file" 0 $? "x" "x"
# A manifest or a bench that gives a key twice is refused, naming the key.
sed 's/"options"/"options": "'"$(options uiVariant=9)"'", "options"/' "$work/m.json" > "$work/twice.json"
out=$("$pack" "$work/twice.json" "$cli" "$work/out" 2>&1); check "brenvo-pack, a key given twice" 1 $? "$out" "twice.json.options: given twice"
sed 's/"drives": \[/"drives": [], "drives": [/' "$work/pc.json" > "$work/twice-pc.json"
out=$(machine "$work/twice-pc.json" "$cli" list); check "brenvo-cli, a key given twice" 6 $? "$out" "twice-pc.json.drives: given twice"

# A bench held by a run (here by flock, as a run holds it) is refused to every other run.
held() { flock -n "$work/pc.json.lock" env BRENVO_MACHINE="$work/pc.json" "$@" < /dev/null 2>&1; }
out=$(held "$work/flasher" update --yes); check "brenvo-cli on a held bench" 6 $? "$out" "pc.json is in use by another run"
out=$(held timeout "$limit" "$brenvo"); check "brenvo on a held bench" 6 $? "$out" "pc.json is in use by another run"
out=$(held "$bench" boot "$work/pc.json"); check "brenvo-bench boot on a held bench" 1 $? "$out" "pc.json is in use by another run"
out=$(held "$bench" show "$work/pc.json"); check "brenvo-bench show reads a held bench" 0 $? "$out" "revision QV11"
out=$(machine "$work/pc.json" "$work/flasher" update --yes); check "the bench is free again" 0 $? "$out" "now QV12"

# Outputs that are no regular file, or that are the packer's own inputs, are refused; a link is
# never written through, whether it stands at the output or at a temporary name beside it.
echo precious > "$work/victim"
ln -s "$work/victim" "$work/link"
out=$("$pack" "$work/m.json" "$cli" /dev/full 2>&1); check "brenvo-pack output /dev/full" 1 $? "$out" "is a device, a pipe or a socket"
[ -c /dev/full ]; check "/dev/full stays a device" 0 $? x x
out=$("$pack" "$work/m.json" "$cli" "$work/link" 2>&1); check "brenvo-pack output a link" 1 $? "$out" "is a symbolic link"
out=$("$pack" "$work/m.json" "$cli" "$work/m.json" 2>&1); check "brenvo-pack output = manifest" 1 $? "$out" "is the manifest"
for p in fw.bin key.bin; do
  out=$("$pack" "$work/m.json" "$cli" "$work/$p" 2>&1); check "brenvo-pack output = $p" 1 $? "$out" "is $p, which the manifest names"
done
out=$("$bench" key "$work/link" 2>&1); check "brenvo-bench key to a link" 1 $? "$out" "is a symbolic link"
out=$("$bench" firmware --revision QV12 --size 4096 /dev/full 2>&1); check "brenvo-bench firmware to /dev/full" 1 $? "$out" "not a regular file"
out=$("$bench" new "$work/link" 2>&1); check "brenvo-bench new on a link" 1 $? "$out" "is a symbolic link"
ln -s "$work/victim" "$work/out2.packing"
out=$("$pack" "$work/m.json" "$cli" "$work/out2" 2>&1); check "brenvo-pack beside a planted link" 0 $? "$out" "verified"
"$bench" new --preset typical "$work/pl.json" > /dev/null
for name in pl.json.writing pl.E.1.flash.writing pl.json.E.1.flash.writing; do ln -s "$work/victim" "$work/$name"; done
out=$(machine "$work/pl.json" "$work/flasher" update --yes); check "brenvo-cli beside planted links" 0 $? "$out" "now QV12"
out=$(machine "$work/pl.json" timeout "$limit" "$brenvo"); check "brenvo beside planted links (no firmware: status 5)" 5 $? "$out" "No F/W in executable !"
[ "$(cat "$work/victim")" = precious ]; check "nothing written through a link" 0 $? x x
ln -s "$work/victim" "$work/pc.json.lock.tmp" && mv -T "$work/pc.json.lock.tmp" "$work/pc.json.lock"
out=$(machine "$work/pc.json" "$cli" list); check "brenvo-cli with a linked lock" 6 $? "$out" "is a symbolic link"
grep -q "Bad bench file" <<< "$out"; check "a lock problem is no bad bench" 1 $? "$out" ""
out=$(machine "$work/pc.json" timeout "$limit" "$brenvo"); check "brenvo with a linked lock" 6 $? "$out" "is a symbolic link"
out=$("$bench" boot "$work/pc.json" 2>&1); check "brenvo-bench boot with a linked lock" 1 $? "$out" "is a symbolic link"
[ "$(cat "$work/victim")" = precious ]; check "the lock is never written through a link" 0 $? x x
rm "$work/pc.json.lock"

# A bench reached through a link: a symbolic link is followed to the file, which is saved where
# it is; a bench with two names (a hard link) is refused, as a save would part them.
ln -s pc.json "$work/sym.json"
out=$(machine "$work/sym.json" "$work/flasher" list); check "brenvo-cli through a linked bench" 0 $? "$out" "QV12"
[ -L "$work/sym.json" ]; check "the link stays a link" 0 $? x x
ln "$work/pc.json" "$work/hard.json"
out=$(machine "$work/hard.json" "$cli" list); check "brenvo-cli on a hard-linked bench" 6 $? "$out" "names (hard links)"
out=$("$bench" boot "$work/hard.json" 2>&1); check "brenvo-bench boot on a hard-linked bench" 1 $? "$out" "names (hard links)"
rm "$work/hard.json"

# A copy made with cp keeps loading after runs on its original; brenvo-bench copy makes one with
# contents files of its own.
cp "$work/pl.json" "$work/pl.bak"
"$bench" firmware --revision QV13 --size 1048576 "$work/fw13.bin" > /dev/null
manifest fw13.bin
"$pack" "$work/m.json" "$cli" "$work/flasher13" > /dev/null
manifest fw.bin
out=$(machine "$work/pl.json" "$work/flasher13" update --yes --force); check "a run on the original" 0 $? "$out" "now QV13"
out=$("$bench" show "$work/pl.bak"); check "the cp copy still loads" 0 $? "$out" "revision QV12"
grep -q "the bench says" <<< "$out"; check "the cp copy's contents file is whole" 1 $? "$out" ""
out=$("$bench" copy "$work/pl.json" "$work/pl2.json"); check "brenvo-bench copy" 0 $? "$out" "1 flash contents file"
rm "$work"/pl.json.*.flash
out=$("$bench" show "$work/pl2.json"); check "the copy holds the flash" 0 $? "$out" "revision QV13"
out=$("$bench" copy "$work/pl2.json" "$work/pl.bak" 2>&1); check "brenvo-bench copy over a file" 1 $? "$out" "already exists"

# brenvo-bench boot runs only a Brenvo program that carries a package, for an entry that names the
# bench's program (misuse_boot_test.sh tries the entry's words).
cp /bin/sh "$work/sh"
cat > "$work/evil.json" <<JSON
{"brenvoBench": 1, "machine": {"programPath": "C:\\\\x.exe", "hostProgram": "$work/sh"},
 "registry": [{"key": "HKLM\\\\SOFTWARE\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\RunOnce",
               "name": "Evil", "value": "\"C:\\\\x.exe\" /QVCHECK 0 QV12"}]}
JSON
out=$("$bench" boot "$work/evil.json" 2>&1); check "brenvo-bench boot of a foreign program" 1 $? "$out" "refused the RunOnce entry \"Evil\""
[ ! -e "$work/ran" ]; check "the foreign program never ran" 0 $? "$out" "is not a Brenvo program: $work/sh holds no package block"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
