#!/usr/bin/env bash
# Scan and recovery of a generated backup of 50,000 files (20,000 photos), as whole processes:
# scan wall time and peak memory, then recovery of every group against `cp` of the same files.
# usage: bench/scan_process.sh [BUILD_DIR]
set -euo pipefail
build_dir=${1:-$(cd "$(dirname "$0")/.." && pwd)/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli="$build_dir/cli/pixhaven-cli"

"$build_dir/tools/samplegen/pixhaven-samplegen" --out "$work/root" --small --files 50000 \
    --photos 20000 --json-report "$work/report.json" >/dev/null
backup=$(python3 -c '
import json, sys
report = json.load(open(sys.argv[1]))
print(max(report["backups"], key=lambda b: len(b["records"]))["folder"])' "$work/report.json")
echo "backup: $backup"

"$cli" scan "$backup" >/dev/null  # warm the page cache
for run in 1 2 3; do
    /usr/bin/time -f "scan run $run: %e s wall, %M KB peak" "$cli" scan "$backup" >/dev/null
done

"$cli" scan "$backup" --json >"$work/scan.json"
python3 -c '
import json, sys
scan = json.load(open(sys.argv[1]))
files = [item["file"] for group in scan["groups"] for item in group["items"]]
open(sys.argv[2], "w").write("\0".join(files) + "\0")
print("items:", len(files))' "$work/scan.json" "$work/files.list"

for run in 1 2 3; do
    rm -rf "$work/out" "$work/cp" && mkdir -p "$work/out" "$work/cp"
    sync
    start=$(date +%s.%N)
    "$cli" recover "$backup" --to "$work/out" >/dev/null
    middle=$(date +%s.%N)
    # cp gets the same sources; numbered destinations, since stored names are unique anyway.
    xargs -0 -n 2000 cp -t "$work/cp" <"$work/files.list" 2>/dev/null || true
    end=$(date +%s.%N)
    python3 -c "import sys; r, c = float(sys.argv[2]) - float(sys.argv[1]), float(sys.argv[3]) - float(sys.argv[2]); print(f'recover run $run: {r:.2f} s (scan included), cp: {c:.2f} s, ratio {r / c:.2f}')" "$start" "$middle" "$end"
done
