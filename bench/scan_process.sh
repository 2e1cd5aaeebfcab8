#!/usr/bin/env bash
# Scan and recovery of a generated backup of 50,000 files (20,000 photos), as whole processes:
# scan wall time and peak memory, then recovery of every group against `cp` of the same files. The
# sample's groups hold same-named files, which recovery writes under numbered names.
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
print(max(report["backups"], key=lambda b: len(b["records"]))["path"])' "$work/report.json")
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

# Each side ends with a sync, so both pay for writing their data, not only for queuing it.
seconds() { python3 -c 'import time; print(time.monotonic())'; }
scan_start=$(seconds); "$cli" scan "$backup" >/dev/null; scan_end=$(seconds)
for run in 1 2 3; do
    rm -rf "$work/out" "$work/cp" && mkdir -p "$work/out" "$work/cp" && sync
    start=$(seconds)
    # Exit status 3: some stored files are missing from the sample on purpose.
    "$cli" recover "$backup" --to "$work/out" >/dev/null 2>&1 || [ $? -eq 3 ]
    sync
    middle=$(seconds)
    numbered=$(find "$work/out" -type f -regex '.* ([0-9]+)\(\.[^/]*\)?$' | wc -l)
    rm -rf "$work/out" && sync
    cp_start=$(seconds)
    xargs -0 -n 2000 cp -t "$work/cp" <"$work/files.list" 2>/dev/null || true
    sync
    end=$(seconds)
    python3 -c "
import sys
scan, start, middle, cp_start, end = map(float, sys.argv[1:])
recover = middle - start - scan
cp = end - cp_start
print(f'recover run $run: {recover:.2f} s without its scan ($numbered numbered names), cp: {cp:.2f} s, ratio {recover / cp:.2f}')
" "$(python3 -c "print($scan_end - $scan_start)")" "$start" "$middle" "$cp_start" "$end"
done
