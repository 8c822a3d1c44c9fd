# Sourced by the set-up scripts: installs the Debian packages that are missing, through sudo
# when not root. A failed `apt-get update` only warns: a mirror caught mid-sync breaks one
# index, and the others may still hold everything asked for. Only a failed install stops.
#   install_packages NAME PACKAGE...   (NAME prefixes the messages)

packages_missing=()
# Sets packages_missing to those of the given packages dpkg does not list as installed.
find_missing_packages() {
  packages_missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
      packages_missing+=("$p")
    fi
  done
}

packages_sudo=()
if [ "$(id -u)" -ne 0 ]; then
  packages_sudo=(sudo)
fi

# apt-get as root, without questions; a running dpkg (an unattended upgrade) is waited for.
packages_apt() {
  "${packages_sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get -q -o DPkg::Lock::Timeout=900 "$@"
}

# Runs apt-get with its output shown as it comes and kept in the file $1.
packages_apt_logged() {
  local log=$1
  shift
  packages_apt "$@" 2>&1 | tee "$log"
  return "${PIPESTATUS[0]}"
}

# Sets packages_update_failed to yes or no; never fails itself.
packages_update_failed=no
update_package_lists() {
  local name=$1 log status=0
  log=$(mktemp)
  packages_apt_logged "$log" update || status=$?
  if [ "$status" -ne 0 ]; then
    packages_update_failed=yes
    {
      echo "$name: warning: apt-get update failed (exit $status); going on with the package lists as they are:"
      grep -E '^(Err:|E:|W:)|^  ' "$log" | sed 's/^/  /' || true
    } >&2
  fi
  rm -f "$log"
}

install_packages() {
  local name=$1
  shift
  find_missing_packages "$@"
  if [ ${#packages_missing[@]} -eq 0 ]; then
    echo "$name: all packages present"
    return 0
  fi
  echo "$name: installing ${packages_missing[*]}"
  update_package_lists "$name"
  local log status=0
  log=$(mktemp)
  packages_apt_logged "$log" install -y --no-install-recommends "${packages_missing[@]}" ||
    status=$?
  if [ "$status" -ne 0 ]; then
    {
      echo "$name: apt-get install failed (exit $status); not installed: ${packages_missing[*]}"
      echo "$name: apt said:"
      if grep -q '^The following packages have unmet dependencies:' "$log"; then
        sed -n '/^The following packages have unmet dependencies:/,$p' "$log"
      else
        grep -E '^(E|Err):' "$log" || true
      fi | sed 's/^/  /'
      if [ "$packages_update_failed" = yes ]; then
        echo "$name: an index failed to download in apt-get update (the warning above): that is the"
        echo "  likely cause. A package built for two architectures (Multi-Arch: same, such as zlib1g"
        echo "  and zlib1g:i386) must be at one version in both; when the newer one's index is the"
        echo "  one missing, the other cannot follow and apt calls it not installable. Run the"
        echo "  set-up again once the mirror has finished syncing (apt-get update then succeeds)."
      fi
    } >&2
    rm -f "$log"
    return "$status"
  fi
  rm -f "$log"
}
