#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt (needs root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t packages < <(grep -v -E '^\s*(#|$)' "$here/packages.txt")
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
