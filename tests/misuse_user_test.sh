#!/usr/bin/env bash
# Root working for a real unprivileged user: which user started a run is told by the mechanism in
# use, never by a variable alone, and what the user left in their home (a link) leads root
# nowhere. The user is made for the test and removed after. Usage: misuse_user_test.sh BUILD_DIR
set -u
build=$1
cli=$(realpath "$build")/cli/brenvo-cli
bench=$(realpath "$build")/tools/bench/brenvo-bench
pack=$(realpath "$build")/tools/pack/brenvo-pack
source "$(dirname "$0")/check.sh"
checks=14
if [ "$(id -u)" -ne 0 ] || ! command -v useradd > /dev/null || ! command -v setpriv > /dev/null; then
  not_run "root working for another user" $checks "needs root, useradd and setpriv"
  summary
  exit
fi
work=$(mktemp -d)
chmod 755 "$work"
user=brenvo-t$$
home=$work/home
sudoers=/etc/sudoers.d/brenvo-test-$$
cleanup() {
  rm -f "$sudoers"
  userdel "$user" > /dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
if ! useradd --system --no-create-home --home-dir "$home" --shell /usr/sbin/nologin "$user"; then
  not_run "root working for another user" $checks "useradd refused"
  summary
  exit
fi
uid=$(id -u "$user")
mkdir -p "$home" && chown "$user:" "$home"
as_user() { setpriv --reuid="$uid" --regid="$(id -g "$user")" --clear-groups "$@"; }
# The processes pkexec leaves: the user's shell, and in it (pkexec replaced itself with it) the
# program with root's rights. Here the shell runs for the user (its real uid) with root's rights
# kept, as a program with the set-user-id bit runs, so that what it starts is root's, with root's
# groups (pkexec gives the program root's own).
as_if_pkexec() {
  env -u BRENVO_MACHINE PKEXEC_UID="$uid" setpriv --ruid="$uid" --groups=0 bash -p -c \
    '"$@"; exit $?' sh "$@"
}
registry=$home/.config/brenvo/registry.json
entry() {  # entry FILE EXTRA: a registry file whose RunOnce value is this run's own command line
  cat > "$1" << JSON
{ "HKLM\\\\SOFTWARE\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\RunOnce": { "QVFWUpdate": "$cli machine" },
  $2 }
JSON
}

# Variables alone: a root shell that says sudo or pkexec started it, with the user's HOME.
for vars in "SUDO_USER=$user SUDO_UID=$uid" "PKEXEC_UID=$uid" "PKEXEC_UID=0"; do
  out=$(env -u BRENVO_MACHINE $vars HOME="$home" XDG_CONFIG_HOME="$home/.config" "$cli" machine 2>&1)
  rc=$?
  check "$vars from a root shell: not believed, said so" 0 $rc "$out" \
    "brenvo: cannot tell which user started this run; the check after the restart is kept in root's own folders"
  ! grep -q "through .* for" <<< "$out"
  check "$vars from a root shell: no user named in the machine report" 0 $? "$out" "User:"
done

# Through pkexec's way: the user is told, from the password database.
out=$(HOME=/elsewhere as_if_pkexec "$cli" machine 2>&1)
check "pkexec: the user is the one who started it" 0 $? "$out" "through pkexec for $user (uid $uid)"

# Through a real sudo, which the user may run this one program with: sudo says who it is.
if command -v sudo > /dev/null && [ -d /etc/sudoers.d ]; then
  echo "$user ALL=(root) NOPASSWD: $cli" > "$sudoers" && chmod 440 "$sudoers"
  out=$(cd / && as_user sudo -n "$cli" machine 2>&1)
  check "sudo: the user is the one who started it" 0 $? "$out" "through sudo for $user (uid $uid)"
  rm -f "$sudoers"
else
  not_run "a real sudo" 1 "sudo is not installed (scripts/install-deps.sh installs it)"
fi

# A registry file the user linked to a file only root may read: its contents never reach the
# user's file (the value the run removes at its start would have made root rewrite it).
secret=$work/root-only.json
entry "$secret" '"HKCU\\Secret": { "key": "s3cr3t" }'
chmod 600 "$secret"
as_user mkdir -p "$home/.config/brenvo" || echo "cannot make the user's folder"
as_user ln -s "$secret" "$registry"
out=$(as_if_pkexec "$cli" machine 2>&1)
[ -L "$registry" ] && ! grep -rqs s3cr3t "$home" && grep -q QVFWUpdate "$secret"
check "a linked registry.json: not followed, nothing of root's file copied" 0 $? \
  "$out $(ls -lR "$home" 2>&1)" "through pkexec"

# A linked folder on the way (~/.config/brenvo leading to a folder that root's group may write):
# the same, and root's groups give the user no way in either.
rootdir=$work/root-folder
mkdir -m 775 "$rootdir" && chown 0:0 "$rootdir" && entry "$rootdir/registry.json" '"HKCU\\Secret": { "key": "s3cr3t" }'
rm -f "$registry" && as_user rmdir "$home/.config/brenvo"
as_user ln -s "$rootdir" "$home/.config/brenvo"
before=$(ls -l --time-style=full-iso "$rootdir")
out=$(as_if_pkexec "$cli" machine 2>&1)
[ "$(ls -l --time-style=full-iso "$rootdir")" = "$before" ] && grep -q QVFWUpdate "$rootdir/registry.json"
check "a linked ~/.config/brenvo: not followed, root's folder untouched" 0 $? \
  "$out $(ls -l "$rootdir"; cat "$rootdir/registry.json")" "through pkexec"

# The user's own registry file: the started value is removed, and the file stays theirs.
as_user rm "$home/.config/brenvo" && as_user mkdir "$home/.config/brenvo"
as_user touch "$registry" && entry "$registry" '"HKCU\\Mine": { "key": "kept" }'
out=$(as_if_pkexec "$cli" machine 2>&1)
! grep -q QVFWUpdate "$registry" && grep -q kept "$registry" &&
  [ "$(stat -c %u "$registry" "$home/.config/brenvo")" = "$uid
$uid" ]
check "the user's own registry: the started value removed, the file still the user's" 0 $? \
  "$out $(ls -ln "$home/.config/brenvo"; cat "$registry")" "through pkexec"

# Root on the user's bench works on it as the user: everything the run writes there is theirs.
mkdir "$work/package" && (cd "$work/package" && qv12_package "$bench" &&
  "$pack" manifest.json "$cli" "$work/flasher" > /dev/null)
mkdir "$home/bench" && "$bench" new --preset typical "$home/bench/pc.json" > /dev/null
chown -R "$user:" "$home/bench"
out=$(BRENVO_MACHINE="$home/bench/pc.json" "$work/flasher" update --yes --no-reboot 2>&1)
check "root updates the user's bench" 0 $? "$out" "now QV12"
found=$(find "$home/bench" ! -uid "$uid")
[ -z "$found" ]
check "and leaves nothing of root's in the user's folder" 0 $? "$found" ""
# A contents file the user linked to a file only root may read: read as the user, it is refused.
flash=$(cd "$home/bench" && ls pc.json.E.*.flash)
cp "$home/bench/$flash" "$work/root-only.flash" && chmod 600 "$work/root-only.flash"
as_user rm "$home/bench/$flash" && as_user ln -s "$work/root-only.flash" "$home/bench/$flash"
out=$(BRENVO_MACHINE="$home/bench/pc.json" "$work/flasher" update --yes --no-reboot --force 2>&1)
rc=$?
[ $rc -ne 0 ] && [ -z "$(find "$home/bench" ! -uid "$uid")" ]
check "a contents file linked to root's: read as the user, refused" 0 $? "rc=$rc $out" \
  "cannot read the flash contents file (it cannot be opened: Permission denied)"
summary
