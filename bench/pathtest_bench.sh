#!/usr/bin/env bash
# Times pathtest's directory listing against find over one directory of
# 100,000 entries and prints the ratios of the median wall times.
#
#   bench/pathtest_bench.sh [pathtest binary]   (default build/pathtest)
#
# RUNS sets the timed runs per command (default 15). Uses hyperfine when it is
# installed, else a loop over `date +%s%N`. A ratio above 1.0 means pathtest
# was slower than find. With RECORDS=1 it prints tab-separated records
# instead of the table, in the form bench/menu_latency.cpp prints
# (what, entries, case, program, median, min, max, runs; milliseconds).
set -euo pipefail

bin=${1:-build/pathtest}
runs=${RUNS:-15}
if [[ ! -x $bin ]]; then
    echo "usage: $0 [pathtest binary]  ($bin is not executable)" >&2
    exit 2
fi
bin=$(realpath "$bin")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir=$work/entries
mkdir "$dir"
echo "making 100,000 entries in $dir ..." >&2
(
    cd "$dir"
    seq -f 'file%06g' 1 60000 | xargs touch
    seq -f 'tool%06g' 1 30000 | xargs touch
    seq -f 'tool%06g' 1 30000 | xargs chmod 755
    seq -f 'dir%05g' 1 9990 | xargs mkdir
    touch .hidden1 .hidden2 .hidden3 .hidden4 .hidden5
    chmod 755 .hidden1 .hidden2
    mkdir .hidden-dir1 .hidden-dir2 .hidden-dir3 .hidden-dir4 .hidden-dir5
)

# name | pathtest command | find command, both as one line for hyperfine -N.
cases=(
    "-l|$bin -l $dir|find $dir -mindepth 1 -maxdepth 1 ! -name '.*' -printf '%f\n'"
    "-flx|$bin -flx $dir|find $dir -mindepth 1 -maxdepth 1 -type f -executable ! -name '.*' -printf '%f\n'"
)

# Both sides must print the same names; "." and ".." are hidden, so skipped.
for entry in "${cases[@]}"; do
    IFS='|' read -r name ours theirs <<<"$entry"
    if ! diff <(eval "$ours" | sort) <(eval "$theirs" | sort) >/dev/null; then
        echo "pathtest $name and find print different names" >&2
        exit 1
    fi
done

# Median, least and greatest wall time in milliseconds of one command line.
times_ms() {
    local command=$1 i start end
    local -a times=()
    if command -v hyperfine >/dev/null; then
        hyperfine -N --style none --warmup 3 --runs "$runs" \
            --export-json "$work/run.json" "$command" >/dev/null 2>&1
        # Seconds, from a JSON file with one result.
        for field in median min max; do
            grep -o "\"$field\": *[0-9.e+-]*" "$work/run.json" | head -n 1 |
                awk -F: '{ printf "%.1f ", $2 * 1000 }'
        done
        return
    fi
    for i in 1 2 3; do eval "$command" >/dev/null; done
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        eval "$command" >/dev/null
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n |
        awk '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2;
                                 printf "%.1f %.1f %.1f ", m / 1000, t[1] / 1000, t[NR] / 1000 }'
}

[[ -n ${RECORDS:-} ]] || printf '%-8s %14s %14s %8s\n' case "pathtest ms" "find ms" ratio
for entry in "${cases[@]}"; do
    IFS='|' read -r name ours theirs <<<"$entry"
    read -r ours_ms ours_min ours_max <<<"$(times_ms "$ours")"
    read -r theirs_ms theirs_min theirs_max <<<"$(times_ms "$theirs")"
    if [[ -n ${RECORDS:-} ]]; then
        printf 'pathtest\t100000\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" pathtest "$ours_ms" "$ours_min" "$ours_max" "$runs"
        printf 'pathtest\t100000\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" find "$theirs_ms" "$theirs_min" "$theirs_max" "$runs"
        continue
    fi
    printf '%-8s %14s %14s %8s\n' "$name" "$ours_ms" "$theirs_ms" \
        "$(awk -v a="$ours_ms" -v b="$theirs_ms" 'BEGIN { printf "%.2f", a / b }')"
done
