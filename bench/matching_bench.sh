#!/usr/bin/env bash
# Times loading and filtering a million entries against wc -l, grep -F,
# grep -Fi and fzf --filter over the same file in the same run, and prints
# the ratios of the medians.
#
#   bench/matching_bench.sh [items_bench binary]   (default build-rel/items_bench)
#
# Build the binary in a Release tree first:
#   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel --target items_bench
#
# The data are the file paths of this machine, repeated with distinct
# prefixes up to 1,000,000 lines (about 100 MB); they are made in a
# temporary directory and removed at the end, or taken from DATA when set.
# The token is a file name that occurs in one path only, so it matches a
# handful of lines; TOKEN overrides it. RUNS sets the repetitions of every
# figure (default 10); every figure is a median. LC_ALL defaults to C.UTF-8
# for every command. A ratio above 1.0 means ravlin was slower.
set -euo pipefail

bin=${1:-build-rel/items_bench}
runs=${RUNS:-10}
export LC_ALL=${LC_ALL:-C.UTF-8}
if [[ ! -x $bin ]]; then
    echo "usage: $0 [items_bench binary]  ($bin is not executable)" >&2
    exit 2
fi
for tool in hyperfine jq grep fzf wc; do
    command -v "$tool" >/dev/null || { echo "$0: needs $tool" >&2; exit 2; }
done
bin=$(realpath "$bin")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
base=$work/paths.txt
data=${DATA:-$work/lines.txt}

find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path "$work" \) -prune \
    -o -type f -print 2>/dev/null | LC_ALL=C sort -u >"$base"
if [[ -z ${DATA:-} ]]; then
    echo "making 1,000,000 lines from $(wc -l <"$base") paths ..." >&2
    awk -v want=1000000 '{ line[NR] = $0 }
        END { out = 0; for (c = 0; out < want; c++)
                  for (i = 1; i <= NR && out < want; i++) { printf "/srv/copy%04d%s\n", c, line[i]; out++ } }' \
        "$base" >"$data"
fi

token=${TOKEN:-}
if [[ -z $token ]]; then
    # File names found in one path only, taken from the middle of the list;
    # the first that is no part of any other path is the token.
    while IFS= read -r name; do
        if [[ $(grep -cF -- "$name" "$base") == 1 ]]; then
            token=$name
            break
        fi
    done < <(awk -F/ '{ n = $NF; count[n]++; at[n] = NR }
                 END { for (n in count)
                           if (count[n] == 1 && length(n) >= 8 && n ~ /^[a-z][A-Za-z0-9._-]*$/)
                               print at[n], n }' "$base" |
             sort -n | awk -v mid="$(($(wc -l <"$base") / 2))" '$1 >= mid { print $2 }' | head -50)
    [[ -n $token ]] || { echo "$0: found no token; set TOKEN" >&2; exit 2; }
fi
upper=${token^^}
lines=$(wc -l <"$data")
bytes=$(wc -c <"$data")
echo "data: $lines lines, $bytes bytes; token '$token' (-i: '$upper'), $(grep -cF -- "$token" "$data") matching lines; LC_ALL=$LC_ALL; $runs runs each" >&2

# Whole processes over the file. Their output goes through a pipe: grep
# stops at the first match when it sees its output is /dev/null.
hyperfine --runs "$runs" --warmup 2 --style none --output=pipe --export-json "$work/tools.json" \
    -n wc "wc -l < '$data'" \
    -n grep "grep -cF -- '$token' '$data'" \
    -n grepi "grep -ciF -- '$upper' '$data'" \
    -n fzf "fzf --filter '$token' < '$data'" \
    -n load "'$bin' --load < '$data'" >/dev/null

# In-process figures.
RAVLIN_BENCH_DATA=$data RAVLIN_BENCH_TOKEN=$token "$bin" \
    --benchmark_filter='BM_(LoadEntries|FilterRanked|FilterRankedNocase|FilterTokens|FilterTokensNocase|FilterFuzzy|FilterFuzzyNocase|FilterRankedEmptyInput)/' \
    --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$work/items.json" 2>/dev/null
memory=$(RAVLIN_BENCH_DATA=$data "$bin" --peak-memory)

tool_ms() { jq -r --arg n "$1" '.results[] | select(.command == $n) | .median * 1000' "$work/tools.json"; }
item_ms() {
    jq -r --arg n "BM_$1/real_time" \
        '.benchmarks[] | select(.run_name == $n and .aggregate_name == "median") | .real_time' "$work/items.json"
}
row() {  # figure, ravlin ms, reference name, reference ms, target
    awk -v f="$1" -v a="$2" -v r="$3" -v b="$4" -v t="$5" \
        'BEGIN { printf "%-34s %9.2f ms  %-16s %9.2f ms  ratio %5.2f  %s\n", f, a, r, b, a / b, t }'
}

echo
printf '%-34s %12s  %-16s %12s\n' "ravlin figure (median)" "" "reference" ""
row "load (in process)" "$(item_ms LoadEntries)" "wc -l < FILE" "$(tool_ms wc)" "(target <= 4)"
row "load (whole process, < FILE)" "$(tool_ms load)" "wc -l < FILE" "$(tool_ms wc)" "(target <= 4)"
row "filter_ranked" "$(item_ms FilterRanked)" "grep -F" "$(tool_ms grep)" "(target <= 1.0)"
row "filter_ranked -i" "$(item_ms FilterRankedNocase)" "grep -Fi" "$(tool_ms grepi)" "(target <= 1.5)"
row "filter_tokens 'usr TOKEN'" "$(item_ms FilterTokens)" "grep -F" "$(tool_ms grep)" ""
row "filter_tokens -i 'USR TOKEN'" "$(item_ms FilterTokensNocase)" "grep -Fi" "$(tool_ms grepi)" ""
row "filter_fuzzy" "$(item_ms FilterFuzzy)" "fzf --filter" "$(tool_ms fzf)" ""
row "filter_fuzzy -i" "$(item_ms FilterFuzzyNocase)" "fzf --filter" "$(tool_ms fzf)" ""
row "filter_ranked, empty input" "$(item_ms FilterRankedEmptyInput)" "grep -F" "$(tool_ms grep)" ""
echo
awk -v lines="$lines" '
    { v[$1] = $2 }
    END { printf "peak memory of loading: %.1f MB over %.1f MB of input = %.2f bytes per line (target <= 32)\n",
                 v["growth"] / 1e6, v["input_bytes"] / 1e6, v["growth_over_input_per_line"] }' <<<"$memory"
