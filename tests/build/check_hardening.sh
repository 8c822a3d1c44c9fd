#!/bin/sh
# Reads the built programs with readelf and fails unless each is hardened: a position-
# independent executable, relocations read-only and bound at start (RELRO with BIND_NOW),
# stack protection and, in optimised builds, fortified library calls.
#   check_hardening.sh fortified|plain PROGRAM...
set -u
fortify=$1
shift
status=0
fail() { echo "check_hardening: $1: $2" >&2; status=1; }
for program in "$@"; do
  header=$(readelf -h "$program") || { fail "$program" "not readable as ELF"; continue; }
  echo "$header" | grep -q 'Type:[[:space:]]*DYN' || fail "$program" "not a position-independent executable (no -pie)"
  readelf -lW "$program" | grep -q 'GNU_RELRO' || fail "$program" "no RELRO segment (-z relro)"
  readelf -dW "$program" | grep -Eq '\(BIND_NOW\)|\(FLAGS\)[[:space:]]+.*BIND_NOW|\(FLAGS_1\).*[[:space:]]NOW' || fail "$program" "relocations not bound at start (-z now)"
  symbols=$(readelf -sW --dyn-syms "$program")
  echo "$symbols" | grep -q '__stack_chk_fail' || fail "$program" "no stack protection (-fstack-protector-strong)"
  if [ "$fortify" = fortified ]; then
    echo "$symbols" | grep -Eq '__[a-z0-9_]+_chk(@|[[:space:]]|$)' || fail "$program" "no fortified calls (-D_FORTIFY_SOURCE=2)"
  fi
done
[ $status -eq 0 ] && echo "check_hardening: $# programs hardened"
exit $status
