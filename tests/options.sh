# Sourced by the scripts that pack packages: `options [NAME=DIGIT]...` prints the 32 option digits
# of the shipped package with the named options changed, e.g. `options uiVariant=2 unattended=1`.
# The names are the ones `brenvo-pack --show` prints. An unknown name or a value that is not one
# digit is an error: a message on standard error, status 2 and nothing printed.

options() {
  local digits=00010110001001100000000000000000 pair name value at
  for pair in "$@"; do
    name=${pair%%=*} value=${pair#*=}
    case $name in
      uiVariant) at=1 ;; language) at=2 ;; warnNewer) at=4 ;; checkTray) at=5 ;;
      commitVariant) at=6 ;; rebootAfterSuccess) at=7 ;; unattended) at=8 ;;
      exitWhenDone) at=9 ;; noticeKind) at=10 ;; imageCount) at=11 ;; directIde) at=12 ;;
      listMatchedOnly) at=13 ;; stayAfterSuccess) at=14 ;; askBeforeReboot) at=15 ;;
      warnSame) at=17 ;; skipCurrent) at=18 ;;
      *) echo "options: no option is named \"$name\"" >&2; return 2 ;;
    esac
    if [ "$pair" = "$name" ] || ! [[ $value =~ ^[0-9]$ ]]; then
      echo "options: $name is one digit, not \"$value\" (write $name=DIGIT)" >&2
      return 2
    fi
    digits=${digits:0:at-1}$value${digits:at}
  done
  echo "$digits"
}
