#!/bin/bash
# No folder includes a header of a folder above it, nor of a folder beside it
# (the records server is no client of the game's): each folder has a level,
# and a file may include the headers of its own folder and of lower levels.
# Usage: check_includes.sh SOURCE_DIR
set -u
cd "$1" || exit 2
declare -A level=(
  [common]=0
  [engine]=1 [storage]=1 [i18n]=1 [platform]=1
  [replay]=2 [drawing]=2
  [session]=3 [online]=3 [server]=3
  [game_session]=4
  [window]=5 [web]=5
  [tools]=6
  [bench]=7 [tests]=7
)
status=0
for folder in "${!level[@]}"; do
  while IFS=: read -r file line included; do
    target=${included%%/*}
    [ -n "${level[$target]+set}" ] || continue   # a system or a same-folder header
    if [ "$target" != "$folder" ] && [ "${level[$target]}" -ge "${level[$folder]}" ]; then
      echo "$file:$line includes $included, a header of $target/ (level ${level[$target]}) from $folder/ (level ${level[$folder]})"
      status=1
    fi
  done < <(grep -rnoE '^#include "[^"]+"' --include='*.cpp' --include='*.h' "$folder" | sed -E 's/#include "([^"]+)"/\1/')
done
# Below the front ends nothing knows Qt: the same code runs under every one.
for folder in common engine storage i18n replay drawing session online server game_session; do
  while IFS=: read -r file line included; do
    echo "$file:$line includes $included: $folder/ is below the front ends and knows no Qt"
    status=1
  done < <(grep -rnoE '^#include <Q[A-Za-z]*>' --include='*.cpp' --include='*.h' "$folder" | sed -E 's/#include <([^>]+)>/\1/')
done
[ $status -eq 0 ] && echo "every include points down or sideways within its folder, and no Qt below the front ends"
exit $status
