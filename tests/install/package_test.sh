#!/usr/bin/env bash
# The Debian package's maintainer scripts as an administrator meets them, with the real dpkg
# installing into a throwaway root (--root, scripts run chrootless with DPKG_ROOT set), real
# dpkg-statoverride and real setcap on the files there: install, the README's setup commands,
# reinstall, upgrade, remove, purge, the README's removal commands, then a new install set up
# by following the note postinst prints. Needs root (skipped otherwise: exit 77).
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source_dir=$2
[ "$(id -u)" = 0 ] || { echo "package_test: skipped: dpkg --root and setcap need root"; exit 77; }
getent group lp >/dev/null || { echo "package_test: skipped: no group lp here"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
fail() { echo "package_test: $*" >&2; exit 1; }

# The package as built, and the same files as a newer version for the upgrade.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack could not build the package"; }
old=$(ls "$work"/cpack/marlovine-updater_*.deb)
dpkg-deb -R "$old" "$work/newer"
sed -i 's/^Version: .*/&+1/' "$work/newer/DEBIAN/control"
new=$work/newer.deb
dpkg-deb -b "$work/newer" "$new" >/dev/null

mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log" "$root/etc" "$root/run"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
getent passwd root >"$root/etc/passwd"
getent group root lp >"$root/etc/group"
export DPKG_ROOT=$root  # dpkg-statoverride, in the commands run below as in the scripts
pkg() {
  dpkg --root="$root" --force-script-chrootless --force-depends --force-unsafe-io "$@" \
    >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out" >&2; fail "dpkg $* failed"; }
}
programs="m4410 marlovine-updater"
copies=/usr/libexec/marlovine-updater  # the port copies, which alone get the port

# The commands of the one shell block in FILE that holds LINE, sudo and comments kept.
block() {
  awk -v want="$2" '
    /^```sh$|<pre>/ { inblock = 1; text = "" }
    inblock { line = $0; sub(/.*<pre>/, "", line); sub(/<\/pre>.*/, "", line)
              if (line !~ /^```/) text = text line "\n" }
    /^```$|<\/pre>/ && inblock { inblock = 0; if (index(text, want)) printf "%s", text }
  ' "$1"
}
# Runs commands as written, with setcap and getcap reaching the throwaway root's files, and no
# user added to the host's groups.
run_commands() {
  bash -euo pipefail -c '
    root=$1; shift
    sudo() { "$@"; }
    usermod() { :; }
    under_root() { local a=() x; for x in "${@:2}"; do
      case $x in /*) a+=("$root$x") ;; *) a+=("$x") ;; esac; done; command "$1" "${a[@]}"; }
    setcap() { under_root setcap "$@"; }
    chmod() { under_root chmod "$@"; }
    getcap() { under_root getcap "$@"; }
    source /dev/stdin' _ "$root" || fail "these commands failed:
$(cat "$work/commands")"
}
follow() {
  : >"$work/dpkg.out"
  printf '%s\n' "$1" >"$work/commands"
  run_commands <"$work/commands" >/dev/null
}

# The programs in /usr/bin stay every user's, with nothing to give; their copies are there.
open_to_all() {
  local p
  for p in $programs; do
    [ "$(stat -c '%U:%G %a' "$root/usr/bin/$p")" = "root:root 755" ] &&
      [ -z "$(getcap "$root/usr/bin/$p")$(dpkg-statoverride --list "/usr/bin/$p")" ] ||
      fail "$1: /usr/bin/$p is not root:root 755 without capability or override"
    [ -f "$root$copies/$p" ] || fail "$1: no port copy $copies/$p"
  done
}
access() {
  local p
  open_to_all "$1"
  for p in $copies/m4410 $copies/marlovine-updater; do
    getcap "$root$p" | grep -q 'cap_sys_rawio=ep' || fail "$1: $p has no capability"
    [ "$(stat -c '%U:%G %a' "$root$p")" = "root:lp 750" ] || fail "$1: $p is not root:lp 750"
    [ "$(dpkg-statoverride --list "$p")" = "root lp 750 $p" ] || fail "$1: no override for $p"
  done
  ! grep -q 'administrator runs once' "$work/dpkg.out" || fail "$1: postinst asks for steps already done"
}

for source in "$source_dir/README.md" "$build/help/linux/port-access.html" \
    "$source_dir/cmake/debian/postinst"; do
  ! grep -Eq 'setcap (-r|cap_[a-z_+=]+) /[^ ]+ /' "$source" ||
    fail "$source names two files in one setcap (only the first gets it)"
done
setup=$(block "$source_dir/README.md" 'setcap cap_sys_rawio+ep')
removal=$(block "$source_dir/README.md" 'dpkg-statoverride --remove')
[ -n "$setup" ] && [ -n "$removal" ] || fail "README has no setup or no removal commands"
steps() { grep -E '^sudo (setcap|dpkg-statoverride)' <<<"$1"; }
[ "$(steps "$(block "$build/help/linux/port-access.html" 'setcap cap_sys_rawio+ep')")" = "$(steps "$setup")" ] ||
  fail "the help's setup commands differ from README's"
[ "$(steps "$(block "$build/help/linux/port-access.html" 'dpkg-statoverride --remove')")" = "$(steps "$removal")" ] ||
  fail "the help's removal commands differ from README's"

pkg -i "$old"
grep -q 'administrator runs once' "$work/dpkg.out" || fail "install: postinst gave no steps"
open_to_all install
[ -d "$root/run/m4410" ] || fail "install: no lock folder $root/run/m4410"
follow "$setup"
access "README setup"
pkg -i "$old"
access "reinstall"
pkg -i "$new"
access "upgrade"
pkg -r marlovine-updater
[ ! -e "$root/usr/bin/m4410" ] && [ ! -e "$root$copies" ] || fail "remove: programs left"
pkg -P marlovine-updater
[ ! -e "$root/run/m4410" ] || fail "purge: the lock folder is left"
follow "$removal"
[ -z "$(dpkg-statoverride --list)" ] || fail "README's removal leaves overrides: $(dpkg-statoverride --list)"

# Once more from scratch: the copy of m4410 set up by hand, marlovine-updater as an earlier
# version set it up (in /usr/bin); then following the note postinst prints, which must hold
# only the steps still missing.
note() { sed -n 's/^  \(sudo .*\)$/\1/p' "$work/dpkg.out"; }
pkg -i "$new"
[ "$(note | grep -c 'setcap')" = 2 ] || fail "the note does not name each program: $(note)"
dpkg-statoverride --update --add root lp 0750 $copies/m4410
dpkg-statoverride --update --add root lp 0750 /usr/bin/marlovine-updater
pkg -i "$new"
getcap "$root$copies/m4410" | grep -q 'cap_sys_rawio=ep' || fail "half set up: m4410 has no capability"
[ -n "$(note)" ] && ! note | grep -q m4410 &&
  note | grep -qx 'sudo dpkg-statoverride --remove /usr/bin/marlovine-updater' ||
  fail "half set up: the note is not just what is missing: $(note)"
follow "$(note)"
pkg -i "$new"
access "the note's setup, then reinstall"
echo "package_test: the capability stays through reinstall and upgrade; purge and the README's removal leave nothing"
