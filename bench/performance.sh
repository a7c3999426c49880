#!/usr/bin/env bash
# Measures everything docs/performance.md reports and rewrites its figures:
# builds ravlin, pathtest and menu_latency in Release, makes 10,000 to
# 10,000,000 lines of this machine's file paths and 1,000,000 lines of each
# other shape (bench/make_list.sh), runs menu_latency on them (ravlin and
# its peers), times pathtest against find, writes the records to
# docs/performance.tsv and turns them into the tables of
# docs/performance.md and the plot docs/performance.png.
#
#   bench/performance.sh
#
# RUNS (default 21) runs per figure, BIG_RUNS (default 5; 0 leaves them
# out) at 10,000,000 lines; BUILD (default build-rel) the build
# directory; JOBS (default 2) parallel compile jobs. LC_ALL defaults to
# C.UTF-8 for every command. Needs Xvfb, fzf, hyperfine and, for the plot,
# python3 with matplotlib (Debian: xvfb fzf hyperfine python3-matplotlib).
# A run on a machine busy with other work gives noisy figures: the load
# average before and after is written into the report.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-21}
big_runs=${BIG_RUNS:-5}
build=${BUILD:-build-rel}
export LC_ALL=${LC_ALL:-C.UTF-8}
records=docs/performance.tsv
for tool in Xvfb fzf grep wc hyperfine; do
    command -v "$tool" >/dev/null || { echo "$0: needs $tool" >&2; exit 2; }
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAVLIN_TESTS=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target ravlin pathtest menu_latency

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Real paths (files and directories), the project's own trees and the
# temporary and virtual file systems left out; every list is made from them
# or from the word list by bench/make_list.sh, with seed 1.
find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /work \
    -o -path "$PWD" -o -path "$work" \) -prune -o \( -type f -o -type d \) -printf '%y %p\n' 2>/dev/null |
    LC_ALL=C sort -k2 -u >"$work/machine"
export PATHS=$work/machine
bench/make_list.sh paths 1000000 "$work/paths-1000000"
head -n 100000 "$work/paths-1000000" >"$work/paths-100000"
head -n 10000 "$work/paths-1000000" >"$work/paths-10000"
shapes=()
for shape in tree deep nearhits words long; do
    bench/make_list.sh "$shape" 1000000 "$work/$shape-1000000" 1
    shapes+=("$work/$shape-1000000")
done
[[ $big_runs == 0 ]] || bench/make_list.sh paths 10000000 "$work/paths-10000000"

{
    echo "# $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores (the searches run on all of them), $(free -g | awk '/^Mem:/ { print $2 }') GiB, Linux $(uname -r)"
    echo "# $(awk '$1 == "f"' "$PATHS" | wc -l) files and $(awk '$1 == "d"' "$PATHS" | wc -l) directories of this machine, $(wc -l </usr/share/dict/words 2>/dev/null || echo no) words; $runs runs per figure ($big_runs at 10,000,000 lines); LC_ALL=$LC_ALL; default font"
    echo "# $(grep --version | head -1), fzf $(fzf --version | cut -d' ' -f1), $(hyperfine --version)"
    echo "# load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$build/menu_latency" --runs "$runs" "$build/ravlin" "$work/paths-10000" "$work/paths-100000" "$work/paths-1000000"
    # fzf takes seconds on these; the targets need only grep.
    "$build/menu_latency" --runs "$runs" --peers 'grep -F,grep -Fi' "$build/ravlin" "${shapes[@]}"
    [[ $big_runs == 0 ]] ||
        "$build/menu_latency" --runs "$big_runs" --peers 'grep -F' "$build/ravlin" "$work/paths-10000000"
    RECORDS=1 RUNS="$runs" bench/pathtest_bench.sh "$build/pathtest"
    echo "# load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$records"

# The first python3 that has matplotlib draws the plot; any makes the tables.
python=python3
for candidate in python3 /usr/bin/python3; do
    if command -v "$candidate" >/dev/null && "$candidate" -c 'import matplotlib' 2>/dev/null; then
        python=$candidate
        break
    fi
done
"$python" bench/performance_report.py "$records" docs/performance.md docs/performance.png
echo "$records, docs/performance.md and docs/performance.png rewritten" >&2
