#!/bin/sh
# The title of a study's drawing is the command that draws it: run as it
# stands (from another folder), it writes the same picture, byte for byte.
#
#   sh study_title_redraws.sh ROTABENCH_SIM SCENARIO
set -eu
sim=$1 scenario=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/first" "$work/again"
(cd "$work/first" && "$sim" --study 3 --seed 7 --jobs 2 --svg-range 1.5 --csv --svg "the study.svg" "$scenario" >/dev/null)
title=$(sed -n 's/^<text [^>]*font-size="14">\(rotabench-sim [^<]*\)<\/text>$/\1/p' "$work/first/the study.svg" |
        sed 's/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g')
[ -n "$title" ] || { echo "the drawing has no command for a title" >&2; exit 1; }
echo "title: $title"
(cd "$work/again" && eval "\"\$sim\"${title#rotabench-sim}" >/dev/null)
cmp "$work/first/the study.svg" "$work/again/the study.svg"
