#!/usr/bin/env bash
# Installs the Debian packages listed in tools/packages.txt that are not installed yet.
# Idempotent: when everything is present it only runs `dpkg -s` and exits; `apt-get update`
# runs only when something is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list="${1:-$here/packages.txt}"
missing=()
while IFS= read -r line; do
  pkg=${line%%#*}
  pkg=$(echo "$pkg" | tr -d '[:space:]')
  [ -n "$pkg" ] || continue
  if ! dpkg -s "$pkg" >/dev/null 2>&1 || ! dpkg -s "$pkg" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$pkg")
  fi
done < "$list"
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing missing packages: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
