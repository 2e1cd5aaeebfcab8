#!/usr/bin/env bash
# Times `pixhaven-cli manifest` as a whole process on a generated 500,000-record manifest:
# wall time and peak memory of five runs, output discarded.
# usage: bench/manifest_process.sh [BUILD_DIR]
set -euo pipefail
build_dir=${1:-$(cd "$(dirname "$0")/.." && pwd)/build}
backup=$(mktemp -d)
trap 'rm -rf "$backup"' EXIT

"$build_dir/bench/bench_manifest" --write-backup "$backup"
"$build_dir/cli/pixhaven-cli" manifest "$backup" >/dev/null  # warm the page cache
for run in 1 2 3 4 5; do
    /usr/bin/time -f "run $run: %e s wall, %M KB peak" \
        "$build_dir/cli/pixhaven-cli" manifest "$backup" >/dev/null
done
