#!/usr/bin/env bash
# man_covers_help.sh PROGRAM PAGE: fails when `PROGRAM --help` prints a long
# option that the manual page PAGE never mentions, or when the page's OPTIONS
# section describes one that --help does not print, so the two cannot drift.
set -euo pipefail
program=$1
page=$2
name=$(basename "$program")
help=$("$program" --help)
# The page as words: escaped hyphens and font changes undone, and the
# arguments of the alternating-font macros joined as troff joins them
# (".BI \-\-com N = PATH" reads "--comN=PATH").
plain=$(sed -E -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\c//g' "$page")
text=$(sed -E -e '/^\.(BI|IB|BR|RB|IR|RI) /{s/^\.[A-Z]+ //; s/[ "]//g}' <<<"$plain")
long_options() { grep -oE -- '--[a-zA-Z0-9][-a-zA-Z0-9]*' | sort -u; }

undocumented=()
while read -r option; do
  grep -qF -- "$option" <<<"$text" || undocumented+=("$option")
done < <(long_options <<<"$help")

# The tag lines (the line after each .TP) of the OPTIONS section.
described=$(awk '/^\.SH/ { inside = ($2 == "OPTIONS") } inside && tag { print } { tag = inside && /^\.TP/ }' \
  <<<"$plain" | long_options)
unknown=()
while read -r option; do
  [[ -z "$option" || "$option" == --help ]] && continue
  grep -qF -- "$option" <<<"$help" || unknown+=("$option")
done <<<"$described"

status=0
if (( ${#undocumented[@]} > 0 )); then
  echo "$(basename "$page") does not mention ${undocumented[*]}, which $name --help prints" >&2
  status=1
fi
if (( ${#unknown[@]} > 0 )); then
  echo "$(basename "$page") describes ${unknown[*]}, which $name --help does not print" >&2
  status=1
fi
(( status == 0 )) && echo "$(basename "$page") and $name --help name the same long options"
exit "$status"
