# The VM's kernel, for the scripts that boot one (sourced): Debian's linux-image-amd64, downloaded
# with apt-get download, unpacked and never installed, cached in $BRENVO_VM_CACHE (default
# ~/.cache/brenvo-vm), and its modules copied into an initramfs with what they depend on.

# vm_kernel: fetches the kernel package if the cache lacks it. Sets vm_package, vm_vmlinuz and
# vm_moddir; on failure returns 1 with vm_error saying why.
vm_kernel() {
  local cache=${BRENVO_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvo-vm} sudo=""
  mkdir -p "$cache"
  _vm_kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
  }
  vm_package=$(_vm_kernel_package)
  if [ -z "$vm_package" ]; then  # a fresh machine may have no package lists yet
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq > /dev/null 2>&1
    vm_package=$(_vm_kernel_package)
  fi
  [ -n "$vm_package" ] || { vm_error="apt-cache knows no linux-image-amd64"; return 1; }
  if [ ! -d "$cache/$vm_package" ]; then
    (cd "$cache" && rm -f "$vm_package"_*.deb && apt-get download "$vm_package" > /dev/null 2>&1) ||
      { vm_error="apt-get download $vm_package failed"; return 1; }
    # Another run may unpack the same package at the same time: each into a folder of its own.
    local unpacked=$cache/$vm_package.tmp.$$
    dpkg -x "$cache/$vm_package"_*.deb "$unpacked" &&
      { mv -T "$unpacked" "$cache/$vm_package" 2> /dev/null || rm -rf "$unpacked"; } ||
      { vm_error="dpkg -x failed"; return 1; }
    rm -f "$cache/$vm_package"_*.deb
  fi
  vm_vmlinuz=$(ls "$cache/$vm_package"/boot/vmlinuz-* | head -1)
  vm_moddir=$(ls -d "$cache/$vm_package"/lib/modules/* | head -1)
}

# vm_modules ROOT NAME...: copies the modules into ROOT/modules, each after what it depends on
# (read from each module's own depends=, the unpacked tree has no usable modules.dep), and lists
# their load order in ROOT/modules/order. A module built into the kernel is skipped.
vm_modules() {
  local root=$1 name
  shift
  mkdir -p "$root/modules"
  declare -gA _vm_loaded=()
  for name in "$@"; do _vm_module "$root" "$name" || return 1; done
}
_vm_module() {
  local root=$1 name=$2 file dep
  [ -n "${_vm_loaded[$name]:-}" ] && return 0
  _vm_loaded[$name]=1
  file=$(find "$vm_moddir" -name "$name.ko*" -o -name "${name//_/-}.ko*" | head -1)
  if [ -z "$file" ]; then
    grep -qE "/(${name}|${name//_/-})\.ko\$" "$vm_moddir/modules.builtin" 2> /dev/null && return 0
    vm_error="module $name not in $vm_package"
    return 1
  fi
  for dep in $(tr '\0' '\n' < "$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
    _vm_module "$root" "$dep" || return 1
  done
  cp "$file" "$root/modules/"
  basename "$file" >> "$root/modules/order"
}
