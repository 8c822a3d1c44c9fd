#!/bin/sh
# PID 1 of the kernel suite's guest: runs m4410 against the emulated PC parallel port under
# the kernel's own parport_pc, ppdev and lp modules, prints one result line per check on the
# serial console ("m4410-kernel: ok NAME" or "m4410-kernel: FAIL NAME: why") and powers off.
# With lockdown=integrity on the kernel command line it runs the lockdown checks only.
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs -o mode=0755 tmpfs /run
mount -t tmpfs tmpfs /tmp
mkdir -p /run/lock
chmod 1777 /run/lock /tmp

LP_GID=7
TESTER=1000
LOCK=/run/m4410/ports.lock
OLD_LOCK=/run/lock/m4410-port-0x378.lock  # where the lock once lived, open to anyone
REFUSED="only root may name another"
NO_ECP="no ECP registers at the port's extended address"
modules=/lib/modules

say() { echo "m4410-kernel: $*"; }

# run [ENV=VALUE...] CMD...: the command under a time limit, so a hang is a failure, never
# a stuck suite. Leaves its exit status in $status and its output in /tmp/out.
run() {
  timeout -s KILL 60 env "$@" >/tmp/out 2>&1
  status=$?
}

# expect NAME STATUS TEXT CMD...: the command must end with STATUS and say TEXT.
expect() {
  name=$1 want=$2 text=$3
  shift 3
  run "$@"
  if [ "$status" -ne "$want" ]; then
    say "FAIL $name: exit $status, expected $want; output: $(head -c 600 /tmp/out | tr '\n' '|')"
  elif ! grep -qF -- "$text" /tmp/out; then
    say "FAIL $name: output lacks \"$text\": $(head -c 600 /tmp/out | tr '\n' '|')"
  else
    say "ok $name"
  fi
}

# Checks that the fixture itself holds; a broken fixture fails loudly instead of passing.
require() {
  name=$1
  shift
  if "$@" >/tmp/req 2>&1; then return 0; fi
  say "FAIL $name: $* failed: $(head -c 300 /tmp/req | tr '\n' '|')"
  return 1
}

load() { require "load-$1" insmod "$modules/$1.ko"; }

# The user-space side of udev for the one device node the suite needs.
ppdev_node() {
  i=0
  while [ ! -c /dev/parport0 ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  require ppdev-node chgrp lp /dev/parport0 && chmod 0660 /dev/parport0
}

# As the ordinary user 1000: no capability, CAP_SYS_RAWIO as an ambient capability, or the
# documented setup: a copy of m4410 root:lp 0750 with the file capability, run in the lp group.
# util-linux's setpriv, by its path: busybox's own lacks --reuid.
AS_USER="/usr/bin/setpriv --reuid=$TESTER --regid=$TESTER"
WITH_RAWIO="$AS_USER --inh-caps=+sys_rawio --ambient-caps=+sys_rawio"
CAPPED=/tmp/capped/m4410
AS_OPERATOR="$AS_USER --groups=$LP_GID"

# The trace must show accesses that reached a port: the data register reads back the value
# last written to it, and the absent ECR floats at 0xff.
trace_reached_port() {
  awk '$3 == "0x378" && $2 == "W" { last = $4; written = 1 }
       $3 == "0x378" && $2 == "R" { read = 1; if (!written || $4 != last) bad = 1 }
       $3 == "0x77a" && $2 == "R" && $4 == "0xff" { ecr = 1 }
       END { exit !(written && read && !bad && ecr) }' "$1"
}

# The status lines of a running program: m4410 update as an operator with the file capability,
# held at its first word to the standard error stream by a pipe already full, so it is looked
# at after its start step and before it ends, whatever the timing. The run then goes on and
# must reach the port from its worker thread with the I/O permission taken at start.
capped_update_check() {
  rm -f /tmp/err /tmp/err.out /tmp/trace-user
  mkfifo /tmp/err
  exec 3<>/tmp/err
  head -c 65536 /dev/zero >&3
  $AS_OPERATOR $CAPPED update /tmp/image.bin --trace /tmp/trace-user >/dev/null 2>/tmp/err &
  pid=$!
  i=0
  while ! grep -q '^NoNewPrivs:[[:space:]]*1' /proc/$pid/status 2>/dev/null && [ $i -lt 600 ]; do
    sleep 0.1
    i=$((i + 1))
  done
  grep -E '^(Cap|NoNewPrivs)' /proc/$pid/status >/tmp/caps 2>&1
  timeout -s KILL 60 cat /tmp/err >/tmp/err.out &
  reader=$!
  exec 3>&-
  wait $pid
  status=$?
  wait $reader
  sed 's/^/m4410-kernel: note: running capped m4410: /' /tmp/caps
  if grep -q '^CapPrm:[[:space:]]*0000000000000000' /tmp/caps &&
    grep -q '^CapEff:[[:space:]]*0000000000000000' /tmp/caps &&
    grep -q '^NoNewPrivs:[[:space:]]*1' /tmp/caps; then
    say "ok capped-update-holds-no-capability"
  else
    say "FAIL capped-update-holds-no-capability: $(tr '\n' '|' </tmp/caps)"
  fi
  if [ "$status" -eq 3 ] && tr -d '\000' </tmp/err.out | grep -qF "$NO_ECP" &&
    trace_reached_port /tmp/trace-user; then
    say "ok capped-update-worker-reaches-the-port"
  else
    say "FAIL capped-update-worker-reaches-the-port: exit $status: $(tr -d '\000' </tmp/err.out | head -c 400 | tr '\n' '|'); trace: $(head -c 300 /tmp/trace-user | tr '\n' '|')"
  fi
}

capped_user_checks() {
  require capped-copy mkdir -p -m 0755 /tmp/capped && cp /usr/bin/m4410 $CAPPED &&
    chgrp lp $CAPPED && chmod 0750 $CAPPED && setcap cap_sys_rawio+ep $CAPPED || return
  expect capped-probe-reaches-the-port 3 "$NO_ECP" $AS_OPERATOR $CAPPED probe
  # From the user's own shell: setpriv keeps root's capabilities up to its exec, which would
  # pass over the file's mode.
  expect capped-outside-lp-cannot-run 126 "Permission denied" \
    $AS_USER --clear-groups /bin/sh -c "$CAPPED probe"
  capped_update_check
  # The PCI configuration registers and the keyboard controller: refused before any access.
  for port in lpt:0xcf0,0xcf8 lpt:0x64,0x464; do
    rm -f /tmp/trace-refused
    expect "capped-refused-$port" 2 "$REFUSED" \
      $AS_OPERATOR $CAPPED probe --port $port --trace /tmp/trace-refused
    if [ -s /tmp/trace-refused ]; then
      say "FAIL capped-refused-$port-untouched: $(head -c 300 /tmp/trace-refused | tr '\n' '|')"
    else
      say "ok capped-refused-$port-untouched"
    fi
  done
  expect capped-refusal-names-listed-port 2 "parport0 (--port lpt)" \
    $AS_OPERATOR $CAPPED probe --port lpt:0xcf0,0xcf8
}

# The port permission a program takes at start lives in its port thread alone: its main
# thread, and a program that thread starts (as the window program starts xdg-open), are
# denied the port. Each program is stopped by tests/kernel/witness_hook.c in its main thread
# once started: the window program at its dialog, the command in its update's first pause.
port_thread_checks() {
  for program in window command; do
    case $program in
      window) at=dialog cmd="QT_QPA_PLATFORM=offscreen marlovine-updater" ;;
      command) at=sleep cmd="m4410 update /tmp/image.bin" ;;
    esac
    rm -f /tmp/witness
    run $WITH_RAWIO --groups=$LP_GID env LD_PRELOAD=/lib/witness_hook.so \
      M4410_WITNESS_AT=$at M4410_WITNESS_OUT=/tmp/witness $cmd
    for who in main child; do
      if [ "$status" -eq 0 ] && grep -qx "$who: denied" /tmp/witness; then
        say "ok $program-$who-denied-the-port"
      else
        say "FAIL $program-$who-denied-the-port: exit $status: $(tr '\n' '|' </tmp/witness 2>&1); output: $(head -c 400 /tmp/out | tr '\n' '|')"
      fi
    done
  done
}

# What another user can put where a lock is, and what root's own umask does: no run hangs, and
# none goes to a second lock.
planted_lock_checks() {
  for planted in fifo file held; do
    rm -f $OLD_LOCK
    case $planted in
      fifo) $AS_USER mkfifo $OLD_LOCK ;;
      file) $AS_USER sh -c "umask 077; : >$OLD_LOCK" ;;
      held) $AS_USER sh -c "umask 077; : >$OLD_LOCK"
            $AS_USER flock $OLD_LOCK sleep 120 &
            holder=$! ;;
    esac
    expect "old-place-$planted-harmless" 3 "$NO_ECP" m4410 probe
    [ "$planted" = held ] && kill $holder
  done
  rm -f $OLD_LOCK
  if $AS_USER mkfifo /run/m4410/planted 2>/dev/null; then
    say "FAIL lock-folder-closed-to-users: user $TESTER created a file in /run/m4410"
  else
    say "ok lock-folder-closed-to-users"
  fi
  # Anything at the lock's place that is not root's plain file is refused at once.
  rm -f $LOCK && mkfifo $LOCK
  expect lock-place-fifo-refused 2 "not root's plain file" m4410 probe
  rm -f $LOCK && ln -s /tmp/elsewhere $LOCK
  expect lock-place-link-refused 2 "it is a link" m4410 probe
  rm -f $LOCK
  # An operator holding the lock file with flock, or outside lp unable to open it, keeps no
  # run off the port.
  run sh -c "umask 077; m4410 probe"
  if [ "$status" -eq 3 ] && [ "$(stat -c '%a %U %G' $LOCK)" = "640 root lp" ]; then
    say "ok umask-077-lock-for-operators"
  else
    say "FAIL umask-077-lock-for-operators: exit $status, lock $(stat -c '%a %U %G' $LOCK 2>&1)"
  fi
  # The claim needs only a read-only descriptor, so no operator can grow the file until /run
  # is full; root's run takes an older version's 0660 back.
  chmod 0660 $LOCK
  run m4410 probe
  if [ "$status" -eq 3 ] && [ "$(stat -c '%a' $LOCK)" = 640 ] &&
    ! $AS_OPERATOR sh -c "exec 4>>$LOCK" 2>/dev/null; then
    say "ok lock-file-read-only-for-operators"
  else
    say "FAIL lock-file-read-only-for-operators: exit $status, lock $(stat -c '%a %U %G' $LOCK 2>&1)"
  fi
  $AS_OPERATOR flock $LOCK sleep 120 &
  holder=$!
  expect lock-file-flock-harmless 3 "$NO_ECP" $AS_OPERATOR $CAPPED probe
  kill $holder
  if $AS_USER sh -c "exec 4<$LOCK" 2>/dev/null; then
    say "FAIL lock-file-closed-outside-lp: user $TESTER outside lp opened $LOCK"
  else
    say "ok lock-file-closed-outside-lp"
  fi
}

main_suite() {
  expect ports-without-parport_pc 0 "no parallel ports found" m4410 ports
  # An operator's default port before the driver is loaded: the cause and its remedy.
  expect user-told-no-port-listed 2 \
    "no parallel port found: the kernel lists none. Load its driver (sudo modprobe parport_pc)" \
    $AS_USER --groups=$LP_GID m4410 probe

  load parport && load parport_pc
  echo "m4410-kernel: note: base-addr $(cat /proc/sys/dev/parport/parport0/base-addr), modes $(cat /proc/sys/dev/parport/parport0/modes)"
  expect ports-lists-the-port 0 "parport0: base 0x378" m4410 ports
  expect ports-shows-kernel-modes 0 "modes PCSPP,TRISTATE" m4410 ports
  expect ports-marks-no-ecp 0 "(no ECP)" m4410 ports

  # Raw access only: no ppdev, so no /dev/parport0 to claim.
  expect raw-probe-no-ecp 3 "$NO_ECP" m4410 probe
  expect raw-probe-again 3 "$NO_ECP" m4410 probe
  expect raw-update-no-ecp 3 "$NO_ECP" m4410 update /tmp/image.bin
  # QEMU has no second port: nothing answers at 0x278, which root may name although the
  # kernel does not list it.
  expect root-names-unlisted-port 3 "no parallel port answers at this address" \
    m4410 probe --port lpt:0x278
  run m4410 probe --trace /tmp/trace
  if [ "$status" -eq 3 ] && trace_reached_port /tmp/trace; then
    say "ok trace-reaches-the-port"
  else
    say "FAIL trace-reaches-the-port: exit $status; trace: $(head -c 600 /tmp/trace | tr '\n' '|')"
  fi

  # Through the kernel's claim.
  load ppdev && ppdev_node
  expect ppdev-probe-no-ecp 3 "$NO_ECP" m4410 probe
  expect ppdev-probe-again 3 "$NO_ECP" m4410 probe
  expect ppdev-update-no-ecp 3 "$NO_ECP" m4410 update /tmp/image.bin

  load lp
  expect printer-driver-refused 2 "kernel's printer driver" m4410 probe
  require unload-lp rmmod lp
  expect released-by-printer-driver 3 "$NO_ECP" m4410 probe

  expect user-without-capability 2 "needs root or the CAP_SYS_RAWIO capability" \
    $AS_USER --groups=$LP_GID m4410 probe
  expect user-without-lp-group 2 "add the user to the lp group" \
    $WITH_RAWIO --clear-groups m4410 probe
  capped_user_checks
  port_thread_checks
  planted_lock_checks
  # The first instance keeps each range of its lock for 5 s once it has it; the second, and one
  # on ranges overlapping it, come meanwhile.
  rm -f /tmp/first.out
  LD_PRELOAD=/lib/hold_lock.so M4410_HOLD_LOCK_MS=5000 timeout -s KILL 60 m4410 probe \
    >/tmp/first.out 2>&1 &
  first=$!
  i=0
  while ! grep -q OFDLCK /proc/locks && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
  expect second-probe-refused 2 "$LOCK" m4410 probe
  expect same-port-spelled-otherwise-refused 2 "$LOCK" m4410 probe --port lpt:888,1912
  expect overlapping-port-refused 2 "$LOCK" m4410 probe --port lpt:0x37c,0x77c
  wait $first
  first_status=$?
  if [ "$first_status" -eq 3 ] && grep -qF "$NO_ECP" /tmp/first.out; then
    say "ok first-probe-unaffected"
  else
    say "FAIL first-probe-unaffected: exit $first_status: $(tr '\n' '|' </tmp/first.out)"
  fi
  port_copy_checks
}

# As the package lays it out: /usr/bin/m4410 open to everyone and holding nothing, its port copy
# root:lp 0750 with the file capability. A user outside lp has the program and the simulated box
# and is told the group at a real-port run; an operator's real-port run goes to the copy.
port_copy_checks() {
  copy=/usr/libexec/marlovine-updater/m4410
  require port-copy mkdir -p -m 0755 ${copy%/*} && cp /usr/bin/m4410 $copy && chgrp lp $copy &&
    chmod 0750 $copy && setcap cap_sys_rawio+ep $copy || return
  outsider="$AS_USER --clear-groups"
  expect outsider-runs-the-program 0 "m4410 " $outsider m4410 --version
  expect outsider-updates-the-simulated-box 0 "host faults: none" \
    $outsider m4410 update /tmp/image.bin --port sim --sim clock=virtual
  expect outsider-told-the-group 2 "port access belongs to the group lp" $outsider m4410 probe
  if grep -qF "sudo usermod -aG lp NAME" /tmp/out && grep -qF "log in again" /tmp/out; then
    say "ok outsider-told-the-remedy"
  else
    say "FAIL outsider-told-the-remedy: $(head -c 600 /tmp/out | tr '\n' '|')"
  fi
  expect operator-handed-to-the-port-copy 3 "$NO_ECP" $AS_OPERATOR /usr/bin/m4410 probe
  rm -r ${copy%/*}
}

lockdown_suite() {
  mount -t securityfs securityfs /sys/kernel/security
  require lockdown-active grep -qF "[integrity]" /sys/kernel/security/lockdown &&
    load parport && load parport_pc &&
    expect lockdown-refused 2 "kernel lockdown (integrity) forbids raw port access" m4410 probe
}

printf 'an update image for a box that is not there\n' >/tmp/image.bin
echo "m4410-kernel: start $(uname -r)"
if grep -q "lockdown=integrity" /proc/cmdline; then
  lockdown_suite
else
  main_suite
fi
echo "m4410-kernel: done"
poweroff -f
