#!/usr/bin/env bash
# Measures everything docs/performance.md reports and rewrites its figures:
# builds ravlin, pathtest and menu_latency in Release, makes 10,000, 100,000
# and 1,000,000 lines of this machine's file paths, runs menu_latency on
# them (ravlin and its peers), times pathtest against find, writes the
# records to docs/performance.tsv and turns them into the tables of
# docs/performance.md and the plot docs/performance.png.
#
#   bench/performance.sh
#
# RUNS (default 21) runs per figure; BUILD (default build-rel) the build
# directory; JOBS (default 2) parallel compile jobs. LC_ALL defaults to
# C.UTF-8 for every command. Needs Xvfb, fzf, hyperfine and, for the plot,
# python3 with matplotlib (Debian: xvfb fzf hyperfine python3-matplotlib).
# A run on a machine busy with other work gives noisy figures: the load
# average before and after is written into the report.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-21}
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
# Real paths, repeated with distinct prefixes; the project's own trees and
# the temporary and virtual file systems are left out.
find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /work \
    -o -path "$PWD" -o -path "$work" \) -prune -o -type f -print 2>/dev/null | LC_ALL=C sort -u >"$work/paths"
awk -v want=1000000 '{ line[NR] = $0 }
    END { out = 0; for (c = 0; out < want; c++)
              for (i = 1; i <= NR && out < want; i++) { printf "/srv/copy%04d%s\n", c, line[i]; out++ } }' \
    "$work/paths" >"$work/1000000"
head -n 100000 "$work/1000000" >"$work/100000"
head -n 10000 "$work/1000000" >"$work/10000"

{
    echo "# $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores, $(free -g | awk '/^Mem:/ { print $2 }') GiB, Linux $(uname -r)"
    echo "# $(wc -l <"$work/paths") distinct paths of this machine; $runs runs per figure; LC_ALL=$LC_ALL; default font"
    echo "# $(grep --version | head -1), fzf $(fzf --version | cut -d' ' -f1), $(hyperfine --version)"
    echo "# load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$build/menu_latency" --runs "$runs" "$build/ravlin" "$work/10000" "$work/100000" "$work/1000000"
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
