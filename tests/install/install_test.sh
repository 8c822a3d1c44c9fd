#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user then has: both programs and
# their port copies, their manual pages (readable by man, without warnings), the command's bash
# completion and the help pages. Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install_test: $*" >&2; exit 1; }
[ -x "$prefix/bin/m4410" ] || fail "m4410 not installed"
[ -x "$prefix/libexec/marlovine-updater/m4410" ] || fail "m4410's port copy not installed"
grep -q '^f /run/m4410/ports.lock 0640 root lp' "$prefix/lib/tmpfiles.d/marlovine-updater.conf" ||
  fail "no tmpfiles.d entry for the port lock"
for page in m4410 marlovine-updater; do
  file=$(MANPATH="$prefix/share/man" man -w "$page") || fail "man cannot find $page(1)"
  [ "$file" = "$prefix/share/man/man1/$page.1.gz" ] || fail "$page(1) found at $file, not compressed"
  gzip -t "$file" || fail "$page(1) is not a whole gzip file"
  warnings=$(MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
done
MANPATH="$prefix/share/man" man m4410 | grep -q "EXIT STATUS" || fail "m4410(1) has no exit status section"

completion="$prefix/share/bash-completion/completions/m4410"
[ -f "$completion" ] || fail "no bash completion"
# Completes the way an interactive shell would: commands first, then options, then --port values.
complete_words() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _m4410 m4410 "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
[ "$(complete_words m4410 pr)" = "probe" ] || fail "'m4410 pr' does not complete to probe"
complete_words m4410 update x --po | grep -qx -- "--port" || fail "update options not completed"
complete_words m4410 probe --port s | grep -qx sim || fail "--port values not completed"
complete_words m4410 update x --sim clock=virtual,ra | grep -qx "clock=virtual,rate=" ||
  fail "--sim keys not completed after a comma"

[ -f "$prefix/share/marlovine-updater/help/index.html" ] || fail "help pages not installed"
# The decoders where libsigrokdecode looks under the prefix, and loadable from there.
decoders=$prefix/share/libsigrokdecode/decoders
listed=$(SIGROKDECODE_DIR=$decoders sigrok-cli -L 2>&1) || fail "sigrok-cli -L failed: $listed"
for decoder in ieee1284 m4410; do
  grep -qE "^ +$decoder +" <<<"$listed" || fail "the $decoder decoder is not installed in $decoders"
done
echo "install_test: programs, manual pages, completion, help pages and decoders in place"
