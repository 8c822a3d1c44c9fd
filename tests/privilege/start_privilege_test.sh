#!/usr/bin/env bash
# Both programs given cap_sys_rawio+ep, as the documented setup does, and run by an ordinary
# user (nobody): once started they hold no capability, and a Qt platform plugin planted by that
# user runs without one. A setgid copy (root:lp 2755) gives up its group as well. Needs root (setcap, the change of user); skipped with the reason
# otherwise. Usage: start_privilege_test.sh M4410 MARLOVINE_UPDATER PLANTED_PLUGIN
set -euo pipefail
m4410=$1 updater=$2 plugin=$3
skip() { echo "start_privilege_test: skipped: $*"; exit 77; }
fail() { echo "start_privilege_test: FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "setcap and running as nobody need root"
command -v setcap >/dev/null || skip "setcap is missing (libcap2-bin)"
command -v setpriv >/dev/null || skip "setpriv is missing (util-linux)"
id nobody >/dev/null 2>&1 || skip "there is no user nobody"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
chmod 0755 "$work"
mkdir -m 0755 "$work/bin" "$work/plugins"
mkdir -m 0777 "$work/out"
cp "$m4410" "$updater" "$(command -v cat)" "$work/bin/"
cp "$plugin" "$work/plugins/"
for program in m4410 marlovine-updater cat; do
  setcap cap_sys_rawio+ep "$work/bin/$program" 2>/dev/null ||
    skip "setcap cap_sys_rawio+ep is refused here (no file capabilities on this filesystem)"
done
printf 'image\n' >"$work/image.bin"
chmod 0644 "$work/image.bin"
as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)

# The control: here a program with the file capability does hold it while it runs.
held=$("${as_nobody[@]}" "$work/bin/cat" /proc/self/status | awk '/^CapEff/ { print $2 }')
[ "$held" = "0000000000020000" ] ||
  skip "a file capability gives nothing here (CapEff $held: nosuid mount or a container)"

no_capability() {  # NAME STATUS-LINES
  local prm eff
  prm=$(awk '/^CapPrm/ { print $2 }' <<<"$2")
  eff=$(awk '/^CapEff/ { print $2 }' <<<"$2")
  [ "$prm" = "0000000000000000" ] && [ "$eff" = "0000000000000000" ] &&
    grep -q '^NoNewPrivs:[[:space:]]*1' <<<"$2" || fail "$1 still holds: $(grep -E '^(Cap|NoNewPrivs)' <<<"$2" | tr -s '\t\n' '  ')"
  echo "start_privilege_test: $1: $(grep -E '^(CapPrm|CapEff|NoNewPrivs)' <<<"$2" | tr -s '\t\n' '  ')"
}

# A running copy of m4410 (PROGRAM): a long simulated update, looked at once its start step
# is behind it (no_new_privs is its last act). Sets $status.
look_at_running() {
  "${as_nobody[@]}" "$1" update "$work/image.bin" --port sim \
    --sim update-ms=600000 --quiet --no-log >/dev/null 2>&1 &
  local pid=$!
  pids+=("$pid")
  status=""
  for _ in $(seq 600); do
    # The child of setpriv is m4410 itself (setpriv execs it).
    status=$(cat "/proc/$pid/status" 2>/dev/null || true)
    grep -q '^NoNewPrivs:[[:space:]]*1' <<<"$status" && return
    [ -n "$status" ] || fail "$1 ended before it could be looked at"
    sleep 0.1
  done
  fail "$1 never set no_new_privs"
}
look_at_running "$work/bin/m4410"
no_capability "running m4410 update --port sim" "$status"
grep -E '^Cap(Inh|Prm|Eff|Bnd|Amb)' <<<"$status" | sed 's/^/    /'

# A setgid copy, as an install root:lp 2755 would be: real, effective and saved group all
# nobody's own once started. The control: a setgid cat does run with the group here.
group=lp
getent group "$group" >/dev/null || group=daemon
own_group=$(getent group nogroup | cut -d: -f3)
set_group=$(getent group "$group" | cut -d: -f3)
mkdir -m 0755 "$work/sgid"
cp "$m4410" "$(command -v cat)" "$work/sgid/"
chown "root:$group" "$work/sgid/m4410" "$work/sgid/cat"
chmod 2755 "$work/sgid/m4410" "$work/sgid/cat"
held=$("${as_nobody[@]}" "$work/sgid/cat" /proc/self/status | awk '/^Gid/ { print $3 }')
if [ "$held" = "$set_group" ]; then
  look_at_running "$work/sgid/m4410"
  gids=$(awk '/^Gid/ { print $2, $3, $4 }' <<<"$status")
  [ "$gids" = "$own_group $own_group $own_group" ] ||
    fail "setgid m4410 keeps a group: Gid $gids (own $own_group, $group $set_group)"
  no_capability "running setgid m4410 (Gid $gids)" "$status"
else
  echo "start_privilege_test: setgid part skipped: a setgid program gets no group here"
fi

# The machine's own port: an unlisted one is refused before anything is taken, for the real
# cause: no port listed, or (where /dev/port is missing too) a kernel without port I/O.
cause="no parallel port found: the kernel lists none"
[ -e /dev/port ] || cause="$cause|no port I/O in this kernel"
if ! ls /proc/sys/dev/parport/parport* >/dev/null 2>&1; then
  for port in lpt lpt:0xcf0,0xcf8 lpt:0x64,0x464; do
    set +e
    out=$("${as_nobody[@]}" "$work/bin/m4410" probe --port "$port" 2>&1)
    code=$?
    set -e
    [ "$code" -eq 2 ] || fail "probe --port $port as nobody: exit $code: $out"
    grep -qE "$cause" <<<"$out" ||
      fail "probe --port $port: $out"
  done
  echo "start_privilege_test: with no port listed, every port refused to nobody with exit 2:" \
    "$(sed 's/^m4410: //' <<<"$out" | cut -c1-60)"
fi

# The planted plugin, named through the environment and through Qt's own options.
for way in environment options; do
  report=$work/out/$way
  if [ "$way" = environment ]; then
    "${as_nobody[@]}" env QT_QPA_PLATFORM_PLUGIN_PATH="$work/plugins" QT_QPA_PLATFORM=planted \
      M4410_PLANTED_REPORT="$report" "$work/bin/marlovine-updater" >/dev/null 2>&1 || true
  else
    "${as_nobody[@]}" env -u QT_QPA_PLATFORM M4410_PLANTED_REPORT="$report" \
      "$work/bin/marlovine-updater" -platformpluginpath "$work/plugins" -platform planted \
      >/dev/null 2>&1 || true
  fi
  [ -s "$report" ] || fail "the planted plugin did not run ($way)"
  no_capability "planted platform plugin ($way)" "$(cat "$report")"
done
