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
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
mkdir -p /run/lock
chmod 1777 /run/lock /tmp

LP_GID=7
TESTER=1000
LOCK=/run/lock/m4410-port-0x378.lock
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

# As the ordinary user 1000: no capability, or CAP_SYS_RAWIO as an ambient capability.
# util-linux's setpriv, by its path: busybox's own lacks --reuid.
AS_USER="/usr/bin/setpriv --reuid=$TESTER --regid=$TESTER"
WITH_RAWIO="$AS_USER --inh-caps=+sys_rawio --ambient-caps=+sys_rawio"

# The trace must show accesses that reached a port: the data register reads back the value
# last written to it, and the absent ECR floats at 0xff.
trace_reached_port() {
  awk '$3 == "0x378" && $2 == "W" { last = $4; written = 1 }
       $3 == "0x378" && $2 == "R" { read = 1; if (!written || $4 != last) bad = 1 }
       $3 == "0x77a" && $2 == "R" && $4 == "0xff" { ecr = 1 }
       END { exit !(written && read && !bad && ecr) }' "$1"
}

main_suite() {
  expect ports-without-parport_pc 0 "no parallel ports found" m4410 ports

  load parport && load parport_pc
  echo "m4410-kernel: note: base-addr $(cat /proc/sys/dev/parport/parport0/base-addr), modes $(cat /proc/sys/dev/parport/parport0/modes)"
  expect ports-lists-the-port 0 "parport0: base 0x378" m4410 ports
  expect ports-shows-kernel-modes 0 "modes PCSPP,TRISTATE" m4410 ports
  expect ports-marks-no-ecp 0 "(no ECP)" m4410 ports

  # Raw access only: no ppdev, so no /dev/parport0 to claim.
  expect raw-probe-no-ecp 3 "$NO_ECP" m4410 probe
  expect raw-probe-again 3 "$NO_ECP" m4410 probe
  expect raw-update-no-ecp 3 "$NO_ECP" m4410 update /tmp/image.bin
  # QEMU has no second port: nothing answers at 0x278.
  expect no-port-at-base 3 "no parallel port answers at this address" m4410 probe --port lpt:0x278
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
  expect user-with-capability 3 "$NO_ECP" $WITH_RAWIO --groups=$LP_GID m4410 probe
  expect user-without-lp-group 2 "add the user to the lp group" \
    $WITH_RAWIO --clear-groups m4410 probe

  # The first instance keeps the lock for 3 s once it has it; the second comes meanwhile.
  rm -f /tmp/first.out
  LD_PRELOAD=/lib/hold_lock.so M4410_HOLD_LOCK_MS=3000 timeout -s KILL 60 m4410 probe \
    >/tmp/first.out 2>&1 &
  first=$!
  i=0
  while ! grep -q FLOCK /proc/locks && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
  expect second-probe-refused 2 "$LOCK" m4410 probe
  wait $first
  first_status=$?
  if [ "$first_status" -eq 3 ] && grep -qF "$NO_ECP" /tmp/first.out; then
    say "ok first-probe-unaffected"
  else
    say "FAIL first-probe-unaffected: exit $first_status: $(tr '\n' '|' </tmp/first.out)"
  fi
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
