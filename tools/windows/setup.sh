#!/usr/bin/env bash
# Installs the Debian packages of tools/windows/deps.txt that are missing and
# enables Debian's source packages (deb-src), which the libzip and Qt builds
# unpack with `apt-get source`.
set -euo pipefail
cd "$(dirname "$0")/../.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

update=0
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx 'Sources'; then
  # Source lines beside the binary ones, for the same mirrors and suites.
  list=/etc/apt/sources.list.d/tidewell-deb-src.sources
  if [ -e /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$list" >/dev/null
  else
    grep -hE '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      $sudo tee /etc/apt/sources.list.d/tidewell-deb-src.list >/dev/null
  fi
  update=1
fi

mapfile -t wanted < <(grep -vE '^\s*(#|$)' tools/windows/deps.txt)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $update -eq 1 ]; then
  $sudo apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
