#!/bin/sh
# Linker launcher: runs the link with SOURCE_DATE_EPOCH from FILE (see Reproducible.cmake),
# which ld writes as the PE time stamp. An empty or missing FILE leaves the link as it is.
# Usage: link-at-source-date.sh FILE LINK-COMMAND...
file=$1
shift
if [ -s "$file" ]; then
  SOURCE_DATE_EPOCH=$(cat "$file")
  export SOURCE_DATE_EPOCH
fi
exec "$@"
