#!/usr/bin/env bash
# The option digits by name agree with the names brenvo-pack shows; brenvo-pack refuses a package
# no drive could be updated by, writing nothing; a package an older packer let through is flagged
# by brenvo-pack --show and brenvo-cli package. Usage: package_checks_test.sh BUILD_DIR
set -u
source "$(dirname "$0")/end_to_end.sh" "$1"

out=$(options bogus=1 2>&1); check "an unknown option name" 2 $? "$out" 'no option is named "bogus"'
out=$(options uiVariant 2>&1); check "a name without a digit" 2 $? "$out" "uiVariant is one digit"
out=$(options uiVariant=10 2>&1); check "a value of two digits" 2 $? "$out" "uiVariant is one digit"

cd "$work" || exit 2
qv12_package "$bench"
"$pack" manifest.json "$cli" flasher > /dev/null
shown=$("$pack" --show flasher)
# Every option the packer shows, by the digit it shows it at: options NAME=N changes that digit.
names=0
while read -r digit name; do
  names=$((names + 1))
  shipped=$(options)
  value=$(( ${shipped:digit-1:1} == 0 ? 1 : 0 ))
  changed=$(options "$name=$value")
  expected=${shipped:0:digit-1}$value${shipped:digit}
  [ "$changed" = "$expected" ]
  check "options $name=$value sets digit $digit" 0 $? "$changed / $expected" ""
done < <(sed -n 's/^ *\([0-9][0-9]*\)  \([a-zA-Z]*\) .*/\1 \2/p' <<< "$shown")
[ "$names" -eq 16 ]; check "the packer shows 16 named options" 0 $? "$names" ""

sed -i 's/"newRevision": "QV12"/"newRevision": "QV13A"/' manifest.json
out=$("$pack" manifest.json "$cli" refused 2>&1)
check "a new revision wider than compared is refused" 1 $? "$out" \
  'images[0].newRevision: "QV13A" is 5 characters'
[ ! -e refused ]; check "the refusal writes nothing" 0 $? "$(ls)" ""

# An older packer wrote no checksum digits and let a lower bound above the upper one through.
at=$(sed -n 's/.*block at file offset \([0-9]*\).*/\1/p' <<< "$shown" | head -1)
printf 'QV20' | dd of=flasher bs=1 seek=$((at + 238)) conv=notrunc status=none
printf '00000000000000' | dd of=flasher bs=1 seek=$((at + 1774 + 27)) conv=notrunc status=none
flaw='image 1, constraint 1, lower bound: "QV20" is above the upper bound "QV19"'
out=$("$pack" --show flasher 2>&1); check "--show flags the flaw" 1 $? "$out" "$flaw"
check "--show says no drive can be updated" 1 1 "$out" "No drive can be updated by this package"
out=$("$cli" package --package flasher 2>&1); check "brenvo-cli package flags the flaw" 5 $? "$out" "$flaw"
summary
