#!/usr/bin/env bash
# Checks that the plug-in's folders include only folders of lower layers:
#   model, wire  <  hostifc, link, state, design  <  window, editors, controller  <  plugin
# and that the Qt Core folders include no widgets. Prints every offending
# include and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# allowed[folder] = the folders it may include (itself always allowed).
declare -A allowed=(
  [model]=""
  [wire]=""
  [hostifc]=""
  [link]="model wire hostifc"
  [state]="model"
  [design]="model hostifc units"
  [Resources]=""
  [window]="model state units Resources"
  [editors]="model state design units window"
  [controller]="model wire hostifc link state design window editors"
  [plugin]="model wire hostifc link state design window editors controller units"
)
core_only="model wire hostifc link state design"

status=0
for dir in src/*/; do
  folder=$(basename "$dir")
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "src/$folder: a folder without a layer; add it to scripts/check-layers.sh"
    status=1
    continue
  fi
  while IFS= read -r line; do
    file=${line%%:*}
    inc=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$line")
    case "$inc" in
      */*) target=${inc%%/*} ;;
      *) continue ;;  # same folder
    esac
    [ "$target" = "$folder" ] && continue
    if ! grep -qw -- "$target" <<<"${allowed[$folder]}"; then
      echo "$file: includes $inc, but src/$folder may not include src/$target"
      status=1
    fi
  done < <(grep -rn '^#include "' "$dir" --include='*.h' --include='*.cpp' | sed -E 's/^([^:]+):[0-9]+:/\1:/' || true)
  if grep -qw "$folder" <<<"$core_only"; then
    if grep -rln -E '#include <(QtWidgets/)?Q(Widget|Dialog|MessageBox|Application|Label|PushButton|Painter|Pixmap|Icon)>' "$dir" 2>/dev/null; then
      echo "src/$folder is Qt Core only, but the files above include GUI headers"
      status=1
    fi
  fi
done
[ $status -eq 0 ] && echo "layers: every include runs downward"
exit $status
