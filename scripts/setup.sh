#!/usr/bin/env bash
# Installs the Debian packages of one set in scripts/packages.txt that are missing:
#   scripts/setup.sh run    what ./scripts/run.sh needs: building, running, the headless demo
#   scripts/setup.sh test   everything: also the tests and the benchmarks (the default)
# Idempotent and non-interactive; needs root (or sudo) only when something is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-test}" in
  run) groups="build run" ;;
  test) groups="build run test" ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac
list="$here/packages.txt"
# Sections marked with a release ([run trixie]) count only on that release.
release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
releases=$(sed -n 's/^\[[a-z]* \([a-z]*\)\].*/\1/p' "$list" | awk '!seen[$0]++')
if ! grep -qx "$release" <<<"$releases"; then
  newest=$(tail -n 1 <<<"$releases")
  echo "setup: Debian release '${release:-unknown}' has no section in scripts/packages.txt; using $newest's" >&2
  release=$newest
fi
mapfile -t wanted < <(awk -v groups=" $groups " -v release="$release" '
  /^\[[a-z]+( [a-z]+)?\]/ { sub(/\].*/, ""); group = substr($1, 2); only = $2; next }
  { sub(/#.*/, ""); gsub(/[[:space:]]/, "") }
  $0 != "" && index(groups, " " group " ") && (only == "" || only == release) { print }' "$list")
missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#wanted[@]} packages of the ${1:-test} set for $release present"
  exit 0
fi
echo "setup: installing ${#missing[@]} missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
