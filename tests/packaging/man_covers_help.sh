#!/usr/bin/env bash
# man_covers_help.sh PROGRAM PAGE: fails when `PROGRAM --help` prints a long
# option that the manual page PAGE never mentions, so the two cannot drift.
set -euo pipefail
program=$1
page=$2
help=$("$program" --help)
# The page as words: escaped hyphens and font changes undone, and the
# arguments of the alternating-font macros joined as troff joins them
# (".BI \-\-com N = PATH" reads "--comN=PATH").
text=$(sed -E -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\c//g' \
  -e '/^\.(BI|IB|BR|RB|IR|RI) /{s/^\.[A-Z]+ //; s/[ "]//g}' "$page")
missing=()
while read -r option; do
  grep -qF -- "$option" <<<"$text" || missing+=("$option")
done < <(grep -oE -- '--[a-zA-Z0-9][-a-zA-Z0-9]*' <<<"$help" | sort -u)
if (( ${#missing[@]} > 0 )); then
  echo "$(basename "$page") does not mention ${missing[*]}, which $(basename "$program") --help prints" >&2
  exit 1
fi
echo "$(basename "$page"): every long option of --help is documented"
