#!/usr/bin/env bash
# Compares two files of MDX answers (CUBEMILL_MDX_ANSWERS, see README.md): prints the name of
# each case whose answers differ, then of each case only one file holds. Exits 0 when every case
# has the same answers in both, 1 when one differs or is missing, 2 on wrong use.
#
# Usage: tests/data/mdx/compare_answers.sh BEFORE AFTER
set -euo pipefail

if [[ $# -ne 2 || ! -r $1 || ! -r $2 ]]; then
  echo "usage: $0 BEFORE AFTER (two readable files of answers)" >&2
  exit 2
fi

# Each case's block on one line, "<name>\t<its lines joined by \x1f>", sorted by name.
blocks() {
  awk 'BEGIN { RS = ""; FS = "\n"; OFS = "" }
       $1 ~ /^case / {
         name = substr($1, 6); text = $2
         for (i = 3; i <= NF; ++i) text = text "\x1f" $i
         print name "\t" text
       }' "$1" | LC_ALL=C sort
}

before=$(mktemp)
after=$(mktemp)
trap 'rm -f "$before" "$after"' EXIT
blocks "$1" >"$before"
blocks "$2" >"$after"

status=0
# Cases in both files whose answers differ.
changed=$(LC_ALL=C join -t $'\t' "$before" "$after" | awk -F '\t' '$2 != $3 { print $1 }')
if [[ -n $changed ]]; then
  echo "answers differ:"
  sed 's/^/  /' <<<"$changed"
  status=1
fi
only() {
  LC_ALL=C join -t $'\t' -v 1 <(cut -f 1 "$1") <(cut -f 1 "$2")
}
for side in before after; do
  if [[ $side == before ]]; then
    missing=$(only "$before" "$after")
  else
    missing=$(only "$after" "$before")
  fi
  if [[ -n $missing ]]; then
    echo "only $side:"
    sed 's/^/  /' <<<"$missing"
    status=1
  fi
done
if [[ $status -eq 0 ]]; then
  echo "the same answers: $(wc -l <"$before") cases"
fi
exit "$status"
