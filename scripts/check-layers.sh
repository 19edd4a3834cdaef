#!/usr/bin/env bash
# Checks the folder layers of src/, platform/ and apps/. Each folder has a
# layer, the Qt modules it may use and the folders it may include (its own
# folder always); every folder it may include has a lower layer:
#
#   folder                  layer  Qt modules              may include
#   src/model                 1    Core                    -
#   src/wire                  1    Core                    -
#   src/hostifc               1    Core                    -
#   src/Resources             1    Core                    -
#   platform/units            1    Core                    -
#   src/link                  2    Core                    model wire hostifc
#   src/state                 2    Core                    model
#   src/design                2    Core                    model hostifc units
#   platform/kuvo             2    Core Network            hostifc
#   platform/mox              2    Core                    hostifc
#   platform/pluginmanager    2    Core                    hostifc
#   src/graphs                3    Core Gui Widgets        model units
#   apps/codec                3    Core                    model wire hostifc units kuvo mox pluginmanager
#   apps/designfile           3    Core                    model design units
#   apps/sim                  4    Core                    model wire hostifc units kuvo mox pluginmanager
#                                                          designfile
#   apps/host                 4    Core Gui Widgets Network model wire hostifc units kuvo mox pluginmanager
#                                                          designfile
#   src/window                4    Core Gui Widgets        model state design units Resources graphs
#   src/editors               5    Core Gui Widgets        model state design units graphs window
#   src/controller            6    Core Gui Widgets        model wire hostifc link state design window editors
#   src/plugin                7    Core Gui Widgets        model wire hostifc link state design window
#                                                          editors controller units
#
# So the plug-in (src/) uses no stand-in but the units library it links; a
# stand-in uses the interfaces it implements (src/hostifc); a program uses the
# shared model, wire and host interfaces and the stand-ins, never the
# plug-in's own folders nor another program. apps/designfile is no program but
# the design file reader the simulator and the host share; it uses the
# design conversion's algorithm keywords (src/design).
#
# What it checks:
# - every #include, in any form ("x" or <x>, indented, "# include"), that
#   names a project folder: src/<f>/..., platform/<f>/..., apps/<f>/..., a
#   bare <f>/..., a path relative to the file (../<f>/...), or the bare name
#   of a header that lives in another folder;
# - every Qt header, by the module whose include directory holds it (<QComboBox>
#   is a Widgets header because QtWidgets/QComboBox exists; <QtGui/...> names
#   its module), against the folder's Qt modules;
# - the project and Qt libraries each folder's CMakeLists.txt links;
# - that the layer column of README.md's layout table says the same as above.
# Prints every offence and exits 1 when there is one.
#
# Usage: scripts/check-layers.sh [ROOT]   (default: the checkout holding this script)
set -euo pipefail
self=$(readlink -f "${BASH_SOURCE[0]}")
cd "${1:-"$(dirname "$self")/.."}"

declare -A layer=() modules=() allowed=() tree=()
# The table above is the rule: read it from this file's header. A row is
# "folder layer words...", a row without a folder continues the one before;
# its words are Qt modules up to the first folder name (or "-").
paths=() words=()
while read -r _ first second rest; do
  if [[ $first =~ ^(src|platform|apps)/[A-Za-z]+$ ]]; then
    paths+=("$first")
    f=${first#*/}
    tree[$f]=${first%%/*}
    layer[$f]=$second
    words+=("$rest")
  elif [ "$first" != folder ] && ((${#words[@]})); then
    words[-1]+=" $first $second $rest"
  fi
done < <(sed -n '/^#   folder /,/^#$/p' "$self")
order=()
for i in "${!paths[@]}"; do
  f=${paths[i]#*/}
  order+=("$f")
  modules[$f]="" allowed[$f]=""
  inlist=0
  for w in ${words[i]}; do
    if [ "$w" = - ] || [ -n "${tree[$w]+set}" ]; then inlist=1; fi
    if ((inlist)); then
      [ "$w" = - ] || allowed[$f]+="$w "
    else
      modules[$f]+="$w "
    fi
  done
  allowed[$f]=${allowed[$f]% } modules[$f]=${modules[$f]% }
done
# has LIST WORD: whether the space-separated LIST holds WORD.
has() { [[ " $1 " == *" $2 "* ]]; }

status=0
fail() { echo "$*"; status=1; }

# The table itself: every folder listed exists, every folder on disk is listed,
# and every allowed folder has a lower layer.
for dir in src/*/ platform/*/ apps/*/; do
  f=$(basename "$dir")
  [ -n "${tree[$f]+set}" ] || fail "${dir%/}: a folder without a layer; add it to scripts/check-layers.sh"
done
for f in "${order[@]}"; do
  [ -d "${tree[$f]}/$f" ] || fail "${tree[$f]}/$f: listed in scripts/check-layers.sh but missing"
  for a in ${allowed[$f]}; do
    if [ -z "${layer[$a]+set}" ]; then
      fail "scripts/check-layers.sh: ${tree[$f]}/$f may include '$a', which is no folder"
    elif [ "${layer[$a]}" -ge "${layer[$f]}" ]; then
      fail "scripts/check-layers.sh: ${tree[$f]}/$f (layer ${layer[$f]}) may include ${tree[$a]}/$a (layer ${layer[$a]}), which is not lower"
    fi
  done
done

# Which folder owns each header, for includes by bare file name.
declare -A owner=()
while IFS= read -r h; do
  rel=${h#*/}
  owner[${h##*/}]=${rel%%/*}
done < <(find src platform apps -mindepth 2 -type f \( -name '*.h' -o -name '*.hpp' \))

# Qt's module include directories (QtCore, QtGui, QtWidgets, ...).
qtinc=$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null || true)
if [ ! -d "$qtinc/QtCore" ]; then
  for d in /usr/include/*/qt6 /usr/include/qt6; do
    [ -d "$d/QtCore" ] && { qtinc=$d; break; }
  done
fi
qtmods=()
if [ -d "$qtinc/QtCore" ]; then
  for d in "$qtinc"/Qt*/; do qtmods+=("$(basename "$d")"); done
else
  fail "Qt 6 headers not found (qt6-base-dev): cannot tell which Qt module a header belongs to"
fi
# qt_module HEADER: sets $qtmod to the Qt modules (without "Qt") holding HEADER, "" when none.
declare -A qtcache=()
qt_module() {
  local h=$1 m
  if [ -n "${qtcache[$h]+set}" ]; then qtmod=${qtcache[$h]}; return; fi
  qtmod=""
  if [[ $h == */* ]]; then
    m=${h%%/*}
    [[ $m == Qt* && -d "$qtinc/$m" ]] && qtmod=${m#Qt}
  else
    for m in "${qtmods[@]}"; do
      [ -e "$qtinc/$m/$h" ] && qtmod+="${m#Qt} "
    done
  fi
  qtmod=${qtmod% }
  qtcache[$h]=$qtmod
}

# Every include of every source file.
re='^([^:]+):([0-9]+):[[:space:]]*(#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"])'
while IFS= read -r line; do
  [[ $line =~ $re ]] || continue
  file=${BASH_REMATCH[1]} where="${BASH_REMATCH[1]}:${BASH_REMATCH[2]}: ${BASH_REMATCH[3]}"
  quote=${BASH_REMATCH[4]} inc=${BASH_REMATCH[5]}
  rel=${file#*/}
  folder=${rel%%/*}
  [ -n "${tree[$folder]+set}" ] || continue   # not in a folder with a layer (reported above)
  # The project folder the include names, if any.
  target=""
  path=$inc
  if [[ $path == ./* || $path == ../* ]]; then
    path=$(realpath -m --relative-to=. "$(dirname "$file")/$path")
  fi
  path=${path#src/}; path=${path#platform/}; path=${path#apps/}
  if [[ $path == */* ]]; then
    first=${path%%/*}
    [ -n "${tree[$first]+set}" ] && target=$first
  elif [ "$quote" = '"' ] && [ -e "${file%/*}/$path" ]; then
    target=$folder
  elif [ -n "${owner[$path]+set}" ]; then
    target=${owner[$path]}
  fi
  if [ -n "$target" ]; then
    if [ "$target" != "$folder" ] && ! has "${allowed[$folder]}" "$target"; then
      fail "$where: ${tree[$folder]}/$folder may not include ${tree[$target]}/$target (it may include: ${allowed[$folder]:--})"
    fi
    continue
  fi
  # A Qt header must belong to one of the folder's modules.
  ((${#qtmods[@]})) || continue
  qt_module "$inc"
  [ -n "$qtmod" ] || continue
  ok=0
  for m in $qtmod; do has "${modules[$folder]}" "$m" && ok=1; done
  ((ok)) || fail "$where: a Qt $qtmod header, but ${tree[$folder]}/$folder uses only Qt ${modules[$folder]}"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' src platform apps \
           --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' --include='*.cxx' || true)

# What each folder's CMakeLists.txt links: helmdeck_<src folder>, platform_<folder>,
# helmdeck_<app>_core and Qt6::<module> (the first argument is the target itself).
declare -A lib=()
for f in "${order[@]}"; do
  case ${tree[$f]} in
    src) lib[helmdeck_${f,,}]=$f ;;
    platform) lib[platform_$f]=$f ;;
    apps) lib[helmdeck_${f}_core]=$f ;;
  esac
done
for f in "${order[@]}"; do
  cm=${tree[$f]}/$f/CMakeLists.txt
  [ -f "$cm" ] || continue
  while read -r _ args; do
    for a in $args; do
      if [[ $a == Qt6::* ]]; then
        has "${modules[$f]}" "${a#Qt6::}" ||
          fail "$cm: links $a, but ${tree[$f]}/$f uses only Qt ${modules[$f]}"
      elif [ -n "${lib[$a]+set}" ] && [ "${lib[$a]}" != "$f" ] && ! has "${allowed[$f]}" "${lib[$a]}"; then
        fail "$cm: links $a, but ${tree[$f]}/$f may not use ${tree[${lib[$a]}]}/${lib[$a]}"
      fi
    done
  done < <(tr '\n' ' ' <"$cm" | grep -oE 'target_link_libraries\([^)]*\)' | sed -E 's/^target_link_libraries\(//; s/\)$//')
done

# README.md's layout table gives each folder the same layer.
if [ -f README.md ]; then
  declare -A seen=()
  while IFS='|' read -r _ names lay _; do
    lay=${lay//[[:space:]]/}
    # shellcheck disable=SC2016  # the backquotes are the table's own
    for n in $(grep -oE '`(src|platform|apps)/[A-Za-z]+`' <<<"$names" | tr -d '`'); do
      f=${n#*/}
      seen[$f]=1
      if [ -z "${layer[$f]+set}" ]; then
        fail "README.md: the layout table lists $n, which has no layer here"
      elif [ "$lay" != "${layer[$f]}" ]; then
        fail "README.md: the layout table puts $n in layer '$lay', scripts/check-layers.sh in ${layer[$f]}"
      fi
    done
  done < <(sed -n '/^## Layout/,/^## /p' README.md | grep '^| `')
  for f in "${order[@]}"; do
    [ -n "${seen[$f]+set}" ] || fail "README.md: the layout table has no layer for ${tree[$f]}/$f"
  done
else
  fail "README.md: missing, so its layout table cannot be checked"
fi

[ $status -eq 0 ] && echo "layers: every include and link runs downward, every Qt header and library is of an allowed module"
exit $status
