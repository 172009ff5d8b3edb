#!/bin/sh
# Stands in for the file replacer: records its arguments, one per line, and the queue it finds
# beside itself, then ends. The file appears whole (written aside, then renamed).
here=$(dirname "$0")
{ printf '%s\n' "$@"; cat "$here/ReliftQueue.txt" 2>/dev/null; } >"$here/handed-over.part"
mv "$here/handed-over.part" "$here/handed-over"
