#!/bin/sh
# The manual page renders without macro warnings and names every option
# that the program's own help lists.
set -eu
cli=$1
page=$2
# Lines of Chinese have no spaces to break at: only those warnings go.
warnings=$(groff -k -man -Tutf8 -z -ww -Wbreak "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings"
  exit 1
fi
shown=$(MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null)
status=0
for option in $("$cli" --help | grep -o -- '--[a-z-]*' | sort -u); do
  case "$shown" in
    *"$option"*) ;;
    *) echo "the manual page does not name $option"; status=1 ;;
  esac
done
exit $status
