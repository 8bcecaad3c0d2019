#!/usr/bin/env bash
# Installs the Debian packages in tools/deps.txt that are not installed yet:
# all of them, or with --build only those the build and the demo need (the
# part before the "## test" line).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--build" ]; then
  mapfile -t wanted < <(sed '/^## test/,$d' tools/deps.txt | grep -vE '^\s*(#|$)')
else
  mapfile -t wanted < <(grep -vE '^\s*(#|$)' tools/deps.txt)
fi
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
