# Wine programs of this test's prefix ($WINEPREFIX), by the Windows command line Wine shows for
# them. Other prefixes' programs on the machine are never counted or ended.
# Sourced by the Windows suite's shell tests.

# Process IDs whose command line matches the extended regular expression $1.
wine_pids() {
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      echo "$pid"
  done
  return 0
}

# Waits up to $2 seconds until no such program is left.
wine_programs_end() {
  local _
  for _ in $(seq $(($2 * 10))); do
    [ -z "$(wine_pids "$1")" ] && return 0
    sleep 0.1
  done
  return 1
}

# Ends every such program.
end_wine_programs() {
  local pids
  pids=$(wine_pids "$1")
  [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
}
