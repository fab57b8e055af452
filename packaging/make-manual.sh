#!/usr/bin/env bash
# Writes the manual page deckwright.1.gz with help2man from the program's own --help and
# --version, each command's --help as COMMANDS, and the hand-written sections of deckwright.h2m.
#   make-manual.sh DECKWRIGHT SECTIONS.h2m OUTPUT.1.gz
# The page's date comes from SOURCE_DATE_EPOCH when it is set (help2man reads it).
set -euo pipefail
program=$1
sections=$2
output=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One command's --help as roff: its description as a paragraph, its usage line, then each
# option as a tagged paragraph (the option left, its words indented below).
to_roff() {
    sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' | awk '
        function opt(t) { gsub(/-/, "\\-", t); return t }
        /^Usage: / { sub(/^Usage: /, ""); print ".PP"; print "Usage: \\fB" opt($0) "\\fR"; next }
        /^(Positionals|Options):$/ || /^$/ { next }
        /^  [^ ]/ {
            line = substr($0, 3)
            gap = match(line, /  +/)
            print ".TP"
            if (gap) { print ".B " opt(substr(line, 1, gap - 1)); print substr(line, gap + RLENGTH) }
            else print ".B " opt(line)
            next
        }
        /^   +[^ ]/ { sub(/^ +/, ""); print; next }
        { print }'
}

{
    echo "[COMMANDS]"
    for command in repair check inspect; do
        echo ".SS $command"
        "$program" "$command" --help | to_roff
    done
    echo
    cat "$sections"
} >"$work/sections.h2m"

help2man --no-info --section 1 \
    --name "repair damaged PowerPoint presentations (.ppt)" \
    --include "$work/sections.h2m" --output "$work/deckwright.1" "$program"
gzip -9n <"$work/deckwright.1" >"$output"
