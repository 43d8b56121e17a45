# Sourced by the VM guests (scripts/vm/guest.sh under busybox's sh, scripts/vm/wine-guest.sh under
# bash), so plain sh: the check lines the host counts, the waits for the kernel's devices, and our
# emulated drive served to the kernel through TCMU behind tcm_loop.

# check WHAT STATUS [DETAIL]: "CHECK PASS WHAT" when STATUS is 0, else "CHECK FAIL WHAT" and the
# last lines of DETAIL, each as a "DETAIL" line. With `target` set, WHAT is preceded by it.
check() {
  if [ "$2" -eq 0 ]; then
    echo "CHECK PASS ${target:+$target }$1"
  else
    echo "CHECK FAIL ${target:+$target }$1"
    [ -n "${3:-}" ] && printf '%s\n' "$3" | tail -15 | sed 's/^/DETAIL /'
  fi
  return 0
}
has() { printf '%s\n' "$1" | grep -q -- "$2"; }
now() { cut -d' ' -f1 /proc/uptime; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# settle COUNT: waits (up to a minute) until COUNT type-5 devices have sg nodes.
settle() {
  i=0
  while [ $i -lt 300 ]; do
    n=0
    for d in /sys/class/scsi_device/*/device; do
      [ "$(cat $d/type 2> /dev/null)" = 5 ] || continue
      for g in $d/scsi_generic/*; do [ -c /dev/$(basename $g) ] && n=$((n + 1)); done
    done
    [ $n -ge "$1" ] && sleep 0.5 && return 0
    sleep 0.2
    i=$((i + 1))
  done
  return 1
}

# --- our drive behind tcm_loop --------------------------------------------------------------------
C=/sys/kernel/config/target
tcmu_lun=$C/loopback/naa.5001405000000001/tpgt_1/lun/lun_0/cd0
tcmu=${tcmu:-brenvo-tcmu}

# tcmu_device: the TCMU backstore the handler serves on /dev/uio0 (configfs mounted).
tcmu_device() {
  mkdir -p $C/core/user_0/cd0
  echo "dev_config=brenvo/cd0,dev_size=1048576,hw_block_size=2048" > $C/core/user_0/cd0/control
  echo 1 > $C/core/user_0/cd0/enable
}
# tcmu_link: the backstore as the LUN of a tcm_loop target, which the kernel then scans.
tcmu_link() {
  mkdir -p "$(dirname "$tcmu_lun")"
  echo naa.5001405000000002 > $C/loopback/naa.5001405000000001/tpgt_1/nexus
  ln -s $C/core/user_0/cd0 "$tcmu_lun"
}

# tcmu_serve LOG TRACE [--answer WHAT] BENCH: the handler on /dev/uio0 (its process in `handler`),
# its output in LOG and its trace in TRACE, once it has mapped the ring and says so. It is given
# 10 seconds, a busy machine's worst; a handler that ends or stays silent fails a check that says
# which and shows its output.
tcmu_serve() {
  serve_log=$1
  serve_trace=$2
  shift 2
  BRENVO_TRACE=$serve_trace "$tcmu" "$@" /dev/uio0 > "$serve_log" 2>&1 &
  handler=$!
  i=0
  while ! grep -q "serving" "$serve_log" 2> /dev/null; do
    if ! kill -0 $handler 2> /dev/null; then
      check "the TCMU handler ended before it served $*" 1 "$(cat "$serve_log")"
      return 1
    fi
    if [ $i -ge 100 ]; then
      check "the TCMU handler did not say it was serving within 10 s" 1 "$(cat "$serve_log")"
      return 1
    fi
    sleep 0.1
    i=$((i + 1))
  done
}
tcmu_stop() { kill $handler; wait $handler; }
