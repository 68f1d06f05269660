#!/usr/bin/env bash
# The core's folders depend one way only, and the core includes no Qt.
# Each folder may include itself and the folders listed after it.
set -u
cd "$(dirname "$0")/../src"
order=(app dialogs controller params link ui platform)
status=0
for i in "${!order[@]}"; do
  folder=${order[$i]}
  allowed=("${order[@]:$i}")
  while IFS= read -r line; do
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"${line#*:}")
    ok=0
    for a in "${allowed[@]}"; do [ "$a" = "$target" ] && ok=1; done
    if [ $ok -eq 0 ]; then
      echo "layering: $line reaches up to $target/"
      status=1
    fi
  done < <(grep -rnE '#include "[a-z]+/' "$folder")
done
if grep -rnE '#include <Q' . ; then
  echo "layering: the core includes Qt"
  status=1
fi
[ $status -eq 0 ] && echo "layering: ${#order[@]} folders, dependencies point one way, no Qt in the core"
exit $status
