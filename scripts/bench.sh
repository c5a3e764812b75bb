#!/usr/bin/env bash
# Builds the benchmark suite (release preset) and runs it: every case at 1,
# 100 and 1,000 instances, nine repetitions, medians. Prints the console
# output and the summary table, and writes the table to
# build/release/bench-table.md.
#
#   scripts/bench.sh            run, print, write the table
#   scripts/bench.sh --docs     also put the table into docs/performance.md
#   scripts/bench.sh --quick    one short pass of every case: checks that the
#                               suite builds and runs (its figures mean nothing)
#   scripts/bench.sh --benchmark_filter=Update   (other flags go to the binary)
set -euo pipefail
cd "$(dirname "$0")/.."

update_docs=0
quick=0
args=()
for arg in "$@"; do
    case "$arg" in
        --docs) update_docs=1 ;;
        --quick) quick=1 ;;
        *) args+=("$arg") ;;
    esac
done
# Repetitions are interleaved at random, so that a burst of other work on the
# machine spreads over all cases instead of spoiling one of them.
timing=(--benchmark_repetitions=9 --benchmark_min_time=0.2 --benchmark_enable_random_interleaving=true
    --benchmark_report_aggregates_only=true)
if [ "$quick" -eq 1 ]; then
    [ "$update_docs" -eq 0 ] || { echo "scripts/bench.sh: --quick figures do not go into the docs" >&2; exit 2; }
    timing=(--benchmark_repetitions=1 --benchmark_min_time=0.001)
fi

cmake --preset release >/dev/null
cmake --build --preset release --target kivanime_bench

table=build/release/bench-table.md
build/release/bench/kivanime_bench "${timing[@]}" --table="$table" "${args[@]+"${args[@]}"}"

if [ "$update_docs" -eq 1 ]; then
    cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
    {
        echo "Measured $(date -u +%Y-%m-%d) on ${cpu:-an unknown CPU}, $(nproc) cores," \
            "$(uname -sr), $(c++ --version | head -n 1)."
        echo
        cat "$table"
    } >build/release/bench-block.md
    awk -v block=build/release/bench-block.md '
        /<!-- bench-table:begin -->/ { print; while ((getline line < block) > 0) print line; skip = 1; next }
        /<!-- bench-table:end -->/ { skip = 0 }
        !skip { print }
    ' docs/performance.md >docs/performance.md.new
    mv docs/performance.md.new docs/performance.md
    echo "docs/performance.md updated"
fi
