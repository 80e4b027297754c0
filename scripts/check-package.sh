#!/usr/bin/env bash
# Builds the .deb and checks it as a user would meet it: its file list, the
# desktop entry and AppStream metadata validators, lintian (no errors), and
# ivra-run unpacked from it with dpkg -x running a short simulated measurement.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(bash scripts/package.sh)
echo "== package: $deb ($(stat -c %s "$deb") bytes)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

id=io.github.ivra.Ivra
expected=(
  usr/bin/ivra usr/bin/ivra-run usr/bin/ivra-sim usr/bin/ivra-plot
  usr/share/applications/$id.desktop
  usr/share/metainfo/$id.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/$id.svg
  usr/share/man/man1/ivra.1.gz usr/share/man/man1/ivra-run.1.gz usr/share/man/man1/ivra-sim.1.gz
  usr/share/man/man1/ivra-plot.1.gz
  usr/share/doc/ivra/copyright usr/share/doc/ivra/changelog.gz usr/share/doc/ivra/screenshot.png
  usr/share/lintian/overrides/ivra
)
for size in 16 24 32 48 64 128 256; do expected+=(usr/share/icons/hicolor/${size}x${size}/apps/$id.png); done
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort > "$work/files"
printf '%s\n' "${expected[@]}" | sort > "$work/expected"
if ! diff -u "$work/expected" "$work/files"; then
  echo "check-package: the .deb's file list differs from the expected one (- missing, + unexpected)" >&2
  exit 1
fi
echo "== file list: ${#expected[@]} files as expected"

root="$work/root"
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
# The menu entry must start an installed program and find its icon.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/usr/share/applications/$id.desktop" | head -n 1)
icon_name=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/$id.desktop")
test -x "$root/usr/bin/$exec_name" || { echo "check-package: Exec=$exec_name is not in usr/bin" >&2; exit 1; }
test -f "$root/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ||
  { echo "check-package: Icon=$icon_name has no 48x48 PNG" >&2; exit 1; }
# The changelog's newest entry names the version being packaged.
version=$(dpkg-deb -f "$deb" Version)
# The changelog, the AppStream release list and the manual pages name the
# version being packaged.
zcat "$root/usr/share/doc/ivra/changelog.gz" | head -n 1 | grep -q "^ivra ($version)" ||
  { echo "check-package: packaging/debian/changelog has no entry for $version on top" >&2; exit 1; }
grep -m 1 '<release ' "$root/usr/share/metainfo/$id.metainfo.xml" | grep -qF "version=\"$version\"" ||
  { echo "check-package: the metainfo's newest release is not $version" >&2; exit 1; }
for page in "$root"/usr/share/man/man1/*.1.gz; do
  zcat "$page" | grep -m 1 '^\.TH ' | grep -qF "\"Ivra $version\"" ||
    { echo "check-package: $(basename "$page") does not say Ivra $version in its .TH line" >&2; exit 1; }
done

echo "== lintian"
status=0
lintian --fail-on error "$deb" > "$work/lintian" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian" || true
(( status == 0 )) || { echo "check-package: lintian reports errors" >&2; exit 1; }

echo "== unpacked ivra-run --simulate --time 10"
"$root/usr/bin/ivra-run" --simulate --time 10 --output "$work/run.dat"
lines=$(wc -l < "$work/run.dat")
if (( lines < 9 || lines > 11 )); then
  echo "check-package: expected about 10 samples from the unpacked ivra-run, got $lines" >&2
  exit 1
fi
echo "== package check: OK"
