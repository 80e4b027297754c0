#!/usr/bin/env bash
# Builds the Debian package of Ivra from the default preset and prints its
# path: build/default/package/ivra_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null
rm -f build/default/package/ivra_*.deb
if ! cpack --config build/default/CPackConfig.cmake -B build/default/package > build/default/cpack.log 2>&1; then
  cat build/default/cpack.log >&2
  exit 1
fi
ls build/default/package/ivra_*.deb
