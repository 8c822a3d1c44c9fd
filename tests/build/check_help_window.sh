#!/bin/sh
# The CHM's window opens with a contents pane wide enough to read: its window definition
# (#WINDOWS, one entry after an 8-byte head) marks the pane's width as set and sets it.
#   check_help_window.sh Help2QRB.chm
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
extract_chmLib "$1" "$work" >/dev/null
word() { od -An -t u4 -j "$1" -N 4 "$work/#WINDOWS" | tr -d ' '; }
valid=$(word $((8 + 0x0c)))
width=$(word $((8 + 0x4c)))
[ $((valid & 0x20)) -ne 0 ] || { echo "the contents pane's width is not set"; exit 1; }
[ "$width" -ge 150 ] || { echo "the contents pane is $width pixels wide"; exit 1; }
echo "contents pane: $width pixels"
