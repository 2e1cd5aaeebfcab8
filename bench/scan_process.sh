#!/usr/bin/env bash
# Scan and recovery of a generated backup of 50,000 files (20,000 photos), as whole processes:
# scan wall time and peak memory, then recovery of every group against `cp` of the same files. The
# sample's groups hold same-named files, which recovery writes under numbered names. Then the same
# for the backup encrypted: recovery decrypts as it copies, `cp` copies the stored bytes.
# usage: bench/scan_process.sh [BUILD_DIR] [--plain-only]
# The work folder is made in $TMPDIR: TMPDIR=/dev/shm measures our copying without the disk's file
# system, whose inode allocation dominates and swings from run to run on some machines.
set -euo pipefail
build_dir=${1:-$(cd "$(dirname "$0")/.." && pwd)/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cli="$build_dir/cli/pixhaven-cli"
echo pixhaven >"$work/password"

seconds() { python3 -c 'import time; print(time.monotonic())'; }

# measure NAME [SAMPLEGEN OPTIONS...]
measure() {
    local name=$1
    shift
    local root="$work/$name"
    "$build_dir/tools/samplegen/pixhaven-samplegen" --out "$root" --small --files 50000 \
        --photos 20000 "$@" --json-report "$root.json" >/dev/null
    local backup
    backup=$(python3 -c '
import json, sys
report = json.load(open(sys.argv[1]))
print(max(report["backups"], key=lambda b: len(b["records"]))["path"])' "$root.json")
    local password=(--password-file "$work/password")
    echo "$name backup: $backup"

    "$cli" scan "$backup" "${password[@]}" >/dev/null  # warm the page cache
    for run in 1 2 3; do
        /usr/bin/time -f "$name scan run $run: %e s wall, %M KB peak" \
            "$cli" scan "$backup" "${password[@]}" >/dev/null
    done

    "$cli" scan "$backup" "${password[@]}" --json >"$work/scan.json"
    python3 -c '
import json, sys
scan = json.load(open(sys.argv[1]))
files = [item["file"] for group in scan["groups"] for item in group["items"]]
open(sys.argv[2], "w").write("\0".join(files) + "\0")
print("items:", len(files))' "$work/scan.json" "$work/files.list"

    # Each side ends with a sync, so both pay for writing their data, not only for queuing it.
    local scan_start scan_end
    scan_start=$(seconds); "$cli" scan "$backup" "${password[@]}" >/dev/null; scan_end=$(seconds)
    for run in 1 2 3; do
        # Fresh folders, nothing deleted until the end: a file system without a journal skips
        # inodes freed in the last minutes when it creates files, which would slow whichever side
        # followed a deletion.
        local out="$work/$name-out$run" copies="$work/$name-cp$run"
        mkdir -p "$out" "$copies" && sync
        local start middle cp_start end numbered
        start=$(seconds)
        # Exit status 3: some stored files are missing from the sample on purpose.
        "$cli" recover "$backup" --to "$out" "${password[@]}" >/dev/null 2>&1 || [ $? -eq 3 ]
        sync
        middle=$(seconds)
        numbered=$(find "$out" -type f -regex '.* ([0-9]+)\(\.[^/]*\)?$' | wc -l)
        cp_start=$(seconds)
        xargs -0 -n 2000 cp -t "$copies" <"$work/files.list" 2>/dev/null || true
        sync
        end=$(seconds)
        python3 -c "
import sys
scan, start, middle, cp_start, end = map(float, sys.argv[1:])
recover = middle - start - scan
cp = end - cp_start
print(f'$name recover run $run: {recover:.2f} s without its scan ($numbered numbered names), cp: {cp:.2f} s, ratio {recover / cp:.2f}')
" "$(python3 -c "print($scan_end - $scan_start)")" "$start" "$middle" "$cp_start" "$end"
    done
}

measure plain
if [ "${2:-}" != "--plain-only" ]; then
    measure encrypted --encrypt-large
fi
