#!/usr/bin/env bash
# Runs scripts/setup and scripts/setup-windows with stand-ins for apt-get, dpkg, dpkg-query and
# sudo first on PATH, so nothing is installed: every package reads as missing, and
# `apt-get update` fails as it does on a mirror caught mid-sync. The set-up must go on to the
# install, run each apt step once, and stop only when the install fails, naming the packages.
# Usage: setup_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/sh
echo "apt-get $*" >>"$STANDIN_LOG"
case " $* " in
  *" update "*)
    echo "Hit:1 http://deb.debian.org/debian bookworm InRelease"
    echo "Err:4 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (120324 != 120236). Mirror sync in progress? [IP: 151.101.2.132 80]"
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/by-hash/SHA256/0f  File has unexpected size (120324 != 120236). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  *" install "*)
    if [ "$STANDIN_INSTALL" = fail ]; then
      echo "Some packages could not be installed. This may mean that you have"
      echo "requested an impossible situation."
      echo "The following packages have unmet dependencies:"
      echo " libwine:i386 : Depends: zlib1g:i386 (>= 1:1.2.0) but it is not installable"
      echo "E: Unable to correct problems, you have held broken packages." >&2
      exit 100
    fi
    echo "Setting up everything asked for" ;;
esac
exit 0
STANDIN
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/sh
echo "dpkg-query: no packages found matching the one asked for" >&2
exit 1
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/bin/sh
echo "dpkg $*" >>"$STANDIN_LOG"
exit 0
STANDIN
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
fail() { echo "setup_test: $*" >&2; failures=$((failures + 1)); }

# check SCRIPT ARGS INSTALL(ok|fail) PACKAGE_ASKED PACKAGE_NOT_ASKED
check() {
  local script=$1 args=$2 install=$3 asked=$4 not_asked=$5 status=0 label="$1 $2 (install $3)"
  : >"$work/calls"
  STANDIN_LOG=$work/calls STANDIN_INSTALL=$install PATH="$work/bin:$PATH" \
    "$source_dir/scripts/$script" $args >"$work/out" 2>"$work/err" </dev/null || status=$?
  [ "$(grep -c '^apt-get .*update' "$work/calls")" = 1 ] || fail "$label: apt-get update not run once"
  [ "$(grep -c '^apt-get .*install' "$work/calls")" = 1 ] || fail "$label: apt-get install not run once"
  grep -q '^apt-get .*install.* '"$asked"'\( \|$\)' "$work/calls" || fail "$label: $asked not asked for"
  ! grep -q '^apt-get .*install.* '"$not_asked"'\( \|$\)' "$work/calls" || fail "$label: $not_asked asked for"
  grep -q 'warning: apt-get update failed (exit 100)' "$work/err" || fail "$label: no warning"
  grep -q 'Mirror sync in progress' "$work/err" || fail "$label: apt's lines on the index not shown"
  if [ "$install" = ok ]; then
    [ "$status" = 0 ] || fail "$label: ended $status, not 0"
  else
    [ "$status" != 0 ] || fail "$label: ended 0 though the install failed"
    grep -q "not installed: .*$asked" "$work/err" || fail "$label: the packages are not named"
    grep -q 'zlib1g:i386 (>= 1:1.2.0) but it is not installable' "$work/err" ||
      fail "$label: apt's unmet dependency not shown"
    grep -q 'likely cause' "$work/err" || fail "$label: the failed index is not named as the cause"
  fi
  [ "$failures" = 0 ] || { sed 's/^/    /' "$work/out" "$work/err" >&2; exit 1; }
}

for install in ok fail; do
  check setup "" "$install" qt6-base-dev wine
  check setup demo "$install" cmake qt6-base-dev
  check setup-windows "" "$install" 'wine32:i386' qt6-base-dev
done
grep -q '^dpkg --add-architecture i386' "$work/calls" || fail "setup-windows did not add i386"
[ "$failures" = 0 ] || exit 1
echo "setup_test: both set-ups go on past a failed update and stop, naming packages, at a failed install"
