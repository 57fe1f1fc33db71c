#!/bin/bash
# objdump-resolve.sh MODULE DIR...: the peer that DLL-bundling scripts are,
# run `objdump -p` on each module, take its "DLL Name:" lines and look each
# name up along the directories (in search order), transitively.
#
# Prints "found PATH" per module found and "unresolved NAME" per name that no
# directory holds as a PE image. Names are compared without regard to ASCII
# case; each directory is listed once; a name without '.' matches "NAME.*".
set -u
export LC_ALL=C

module=$1
shift
dirs=()
for d in "$@"; do dirs+=("${d%/}/"); done

declare -A listing  # "<directory index>/<folded name>" -> real name
for i in "${!dirs[@]}"; do
  while IFS= read -r -d '' path; do
    name=${path##*/}
    key="$i/${name,,}"
    # Of names differing only in case, the first in byte order wins.
    if [[ -z ${listing[$key]:-} || $name < ${listing[$key]} ]]; then listing[$key]=$name; fi
  done < <(find "${dirs[$i]}" -mindepth 1 -maxdepth 1 -print0 2>/dev/null)
done

# The import names of a PE image, or failure when the file is not one.
imports_of() {
  local out
  out=$(objdump -p -- "$1" 2>/dev/null) || return 1
  [[ $out == *"file format pei-"* ]] || return 1
  sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$out"
}

declare -A seen       # folded names taken up
declare -A bare_seen  # stems of extension-less names taken up ("foo.")
declare -A stem_seen  # stems of every name taken up
queue=()
enqueue() {
  local name key stem
  while IFS= read -r name; do
    name=${name%$'\r'}
    [[ -z $name ]] && continue
    [[ $name == *.* ]] || name+="."
    key=${name,,}
    stem="${key%%.*}."
    [[ -n ${seen[$key]:-} ]] && continue
    # "foo." and "foo.dll" stand for one module: whichever came first is kept.
    if [[ $key == "$stem" ]]; then
      [[ -n ${stem_seen[$stem]:-} ]] && continue
      bare_seen[$stem]=1
    elif [[ -n ${bare_seen[$stem]:-} ]]; then
      continue
    fi
    seen[$key]=1
    stem_seen[$stem]=1
    queue+=("$name")
  done
}

top=$(imports_of "$module") || { echo "unresolved $module"; exit 1; }
enqueue <<<"$top"

# A work queue rather than recursion: a deep import graph must not exhaust the
# shell's stack.
for ((q = 0; q < ${#queue[@]}; q++)); do
  name=${queue[$q]}
  key=${name,,}
  result=""
  if [[ $name != *[*?\\/:]* && $name != . && $name != .. ]]; then
    for i in "${!dirs[@]}"; do
      if [[ $key == *. ]]; then
        shopt -s nullglob nocaseglob
        reals=("${dirs[$i]}$key"*)
        shopt -u nullglob nocaseglob
        reals=("${reals[@]##*/}")
      elif [[ -n ${listing[$i/$key]:-} ]]; then
        reals=("${listing[$i/$key]}")
      else
        continue
      fi
      for real in "${reals[@]}"; do
        if deps=$(imports_of "${dirs[$i]}$real"); then
          result="${dirs[$i]}$real"
          [[ $key == *. ]] && seen[${real,,}]=1
          enqueue <<<"$deps"
          break
        fi
      done
      [[ -n $result ]] && break
    done
  fi
  if [[ -n $result ]]; then echo "found $result"; else echo "unresolved $name"; fi
done
