#!/usr/bin/env bash
# Writes LINES lines of one shape of entry list to OUT, the same every time
# on the same machine: made from this machine's file paths or its word list,
# with awk's random numbers started from SEED (default 1).
#
#   bench/make_list.sh SHAPE LINES OUT [SEED]
#
# Shapes:
#   paths     files, sorted, behind the prefixes /srv/copy0000, /srv/copy0001 ...
#   tree      files and directories (a directory ends in /), shuffled, behind
#             short prefixes /0, /1 ...
#   deep      files behind one long prefix of 63 bytes, shuffled
#   nearhits  paths of which half hold a near miss of "libx11" in their last
#             part ("lib/x11", "libX11", "libx-11", "lilx11" ...), one in
#             5,000 the word itself
#   words     one to twelve words of the word list, blank-separated
#   long      lines of 400 to 1,023 bytes: paths and words mixed
#
# PATHS names a file of the machine's paths (one per line, made once by
# the caller); without it the script lists them itself with find.
set -euo pipefail
shape=$1 lines=$2 out=$3 seed=${4:-1}
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
paths=${PATHS:-}
if [[ -z $paths ]]; then
    paths=$work/paths
    find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /work \
        -o -path "$PWD" \) -prune -o \( -type f -o -type d \) -printf '%y %p\n' 2>/dev/null |
        LC_ALL=C sort -k2 -u >"$paths"
fi
words=/usr/share/dict/words
[[ -r $words ]] || words=$work/words
if [[ $words == "$work/words" ]]; then
    # No word list installed: the words of the machine's licence texts.
    cat /usr/share/common-licenses/* 2>/dev/null | tr -cs "A-Za-z'" '\n' | LC_ALL=C sort -u >"$words"
fi

# Lines of the paths file are "TYPE PATH" (f for a file, d for a directory).
case $shape in
paths)
    awk -v want="$lines" '$1 == "f" { line[++n] = substr($0, 3) }
        END { out = 0; for (c = 0; out < want; c++)
                  for (i = 1; i <= n && out < want; i++) { printf "/srv/copy%04d%s\n", c, line[i]; out++ } }' \
        "$paths" >"$out"
    ;;
tree | deep)
    awk -v want="$lines" -v seed="$seed" -v shape="$shape" '
        shape == "tree" || $1 == "f" { p = substr($0, 3); line[++n] = ($1 == "d" && p != "/") ? p "/" : p }
        END { srand(seed); out = 0
              long = "/home/build-agent/workspace/release-2026.04/output/stage/rootfs"
              for (c = 0; out < want; c++) {
                  for (i = n; i > 1; i--) { j = int(rand() * i) + 1; t = line[i]; line[i] = line[j]; line[j] = t }
                  for (i = 1; i <= n && out < want; i++) {
                      printf "%s%s\n", shape == "tree" ? "/" c : long, line[i]; out++ } } }' \
        "$paths" >"$out"
    ;;
nearhits)
    awk -v want="$lines" -v seed="$seed" '$1 == "f" { line[++n] = substr($0, 3) }
        END { srand(seed)
              k = split("lib/x11 libX11 libx-11 lilx11 lib64/x1 libx_11 libxcb1 lib/x1 libx1.so libxi11 liba/x11 lib/X11", miss, " ")
              for (out = 0; out < want; out++) {
                  p = line[int(rand() * n) + 1]
                  if (rand() < 0.5) {
                      s = match(p, /[^\/]*$/)
                      name = substr(p, s); at = int(rand() * (length(name) + 1))
                      word = rand() < 0.0002 ? "libx11" : miss[int(rand() * k) + 1]
                      p = substr(p, 1, s - 1) substr(name, 1, at) word substr(name, at + 1)
                  }
                  print p } }' \
        "$paths" >"$out"
    ;;
words | long)
    awk -v want="$lines" -v seed="$seed" -v shape="$shape" '
        FILENAME == ARGV[1] { word[++w] = $0; next }
        $1 == "f" { path[++n] = substr($0, 3) }
        END { srand(seed)
              for (out = 0; out < want; out++) {
                  if (shape == "words") {
                      count = int(rand() * 12) + 1; s = word[int(rand() * w) + 1]
                      for (i = 2; i <= count; i++) s = s " " word[int(rand() * w) + 1]
                  } else {
                      size = 400 + int(rand() * 624); s = ""
                      while (length(s) < size)
                          s = s (s == "" ? "" : " ") (rand() < 0.5 ? path[int(rand() * n) + 1] : word[int(rand() * w) + 1])
                      s = substr(s, 1, size)
                  }
                  print s } }' \
        "$words" "$paths" >"$out"
    ;;
*)
    echo "$0: no shape '$shape' (paths tree deep nearhits words long)" >&2
    exit 2
    ;;
esac
