#!/bin/sh
# A stand-in for the desktop's dialog program: appends its arguments, one per line, to
# dialog_args.txt; a file selection answers with the name in CHOICE (none: dismissed).
for argument in "$@"; do echo "$argument"; done >>dialog_args.txt
[ "$1" = --file-selection ] || exit 0
[ -n "$CHOICE" ] || exit 1
echo "$CHOICE"
