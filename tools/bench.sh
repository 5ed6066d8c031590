#!/bin/bash
# Builds the benchmarks, makes (or reuses) their trees and runs every figure under Wine,
# then prints one table. QUARRIX_BENCH_SCALE (default 1) scales every count for a quick try.
#   tools/bench.sh [--repeat N]   runs the whole table N times and prints, per figure, the
#                                 median ratio of the runs and their spread.
set -uo pipefail
REPEAT=1
if [ "${1:-}" = "--repeat" ]; then
    REPEAT=${2:?--repeat takes a count}
    shift 2
fi
QUARRIX_ROOT=$(cd "$(dirname "$0")/.." && pwd)
QUARRIX_BUILD=$QUARRIX_ROOT/build-bench
source "$QUARRIX_ROOT/tools/environment.sh"

SCALE=${QUARRIX_BENCH_SCALE:-1}
TREES=/tmp/quarrix-bench
# Longest a single benchmark may run before it is reported as hung.
LIMIT=${QUARRIX_BENCH_LIMIT:-300}

scaled() { python3 -c "print(max(200, int($1 * $SCALE)))"; }

install_missing_packages || exit 1
configure_and_build -DQUARRIX_TESTS=OFF -DQUARRIX_BENCH=ON || exit 1
trap stop_environment EXIT
start_display
start_wine

mkdir -p "$TREES"
# 1,000,000 entries: 1,110 folders (depth 3, fan-out 10), the rest files.
LARGE=$TREES/entries-$(scaled 1000000)
python3 "$QUARRIX_ROOT/bench/generate_tree.py" "$LARGE" --entries "$(scaled 1000000)" \
    --depth 3 --fan-out 10 || exit 1
# 100,000 files in 110 folders.
SMALL=$TREES/files-$(scaled 100000)
python3 "$QUARRIX_ROOT/bench/generate_tree.py" "$SMALL" --entries "$(( $(scaled 100000) + 110 ))" \
    --depth 2 --fan-out 10 || exit 1
OTHER_OWNER=$TREES/other-owner
touch "$OTHER_OWNER" && chown nobody "$OTHER_OWNER" 2>/dev/null

# NTFS volumes made through ntfs-3g's mount, 1,000,000 and 100,000 entries: minutes for the
# large one, so both are kept. The benchmark reaches each as drive N:, the image raw ("n::")
# and its read-only mount as the folders ("n:").
NTFS_LARGE=$TREES/ntfs-$(scaled 1000000).img
NTFS_SMALL=$TREES/ntfs-$(scaled 100000).img
for volume in "$NTFS_SMALL:$(scaled 100000)" "$NTFS_LARGE:$(scaled 1000000)"; do
    python3 "$QUARRIX_ROOT/bench/make_ntfs_volume.py" "${volume%:*}" "${volume##*:}" || exit 1
done
NTFS_MOUNT=$TREES/ntfs-mount
show_as_drive_n() {
    umount "$NTFS_MOUNT" 2>/dev/null
    mkdir -p "$NTFS_MOUNT"
    ntfs-3g -o ro,streams_interface=windows "$1" "$NTFS_MOUNT" || return 1
    ln -sfn "$NTFS_MOUNT" "$WINEPREFIX/dosdevices/n:"
    ln -sfn "$1" "$WINEPREFIX/dosdevices/n::"
}
hide_drive_n() {
    rm -f "$WINEPREFIX/dosdevices/n:" "$WINEPREFIX/dosdevices/n::"
    umount "$NTFS_MOUNT" 2>/dev/null
}
MFT_EXTENTS=$QUARRIX_BUILD/mft-extents.txt
/usr/bin/python3 -c "
import sys, pyfsntfs
volume = pyfsntfs.volume()
volume.open(sys.argv[1])
table = volume.get_file_entry(0)
for index in range(table.number_of_extents):
    print(*table.get_extent(index)[:2])" "$NTFS_LARGE" >"$MFT_EXTENTS" || exit 1

OUTPUT=$QUARRIX_BUILD/bench-output.txt
run() {
    local name=$1; shift
    local started=$SECONDS
    echo "== $name" | tee -a "$OUTPUT"
    (cd "$QUARRIX_BUILD" && timeout "$LIMIT" wine "$@" 2>&1) | tr -d '\r' | tee -a "$OUTPUT"
    local status=${PIPESTATUS[0]}
    [ "$status" = 124 ] && echo "FAILED|$name|timed out after ${LIMIT}s" | tee -a "$OUTPUT"
    [ "$status" != 0 ] && [ "$status" != 124 ] && echo "FAILED|$name|exit status $status" | tee -a "$OUTPUT"
    echo "   ($name took $((SECONDS - started)) s)" | tee -a "$OUTPUT"
}
run_table() {
    run "walk without owners" "$QUARRIX_BUILD/bench/bench_walk.exe" plain "$LARGE"
    run "walk with owners" "$QUARRIX_BUILD/bench/bench_walk.exe" ntfs "$SMALL"
    run "walk with progress" "$QUARRIX_BUILD/bench/bench_walk.exe" progress "$LARGE"
    run "display" "$QUARRIX_BUILD/bench/bench_display.exe" "$SMALL" "$LARGE" "$OTHER_OWNER"
    run "map" "$QUARRIX_BUILD/bench/bench_map.exe" "$LARGE"
    run "scans" "$QUARRIX_BUILD/bench/bench_scans.exe" "$LARGE" "$OTHER_OWNER" "$QUARRIX_BUILD"
    show_as_drive_n "$NTFS_LARGE" && run "table read" "$QUARRIX_BUILD/bench/bench_mft.exe" scan "$MFT_EXTENTS" &&
        run "table read in the window" "$QUARRIX_BUILD/bench/bench_mft.exe" window
    show_as_drive_n "$NTFS_SMALL" && run "table read vs walk" "$QUARRIX_BUILD/bench/bench_mft.exe" versus
    hide_drive_n
}

# What a figure needs to be read: the machine, the code and the state of the page cache.
COMMIT=$(git -C "$QUARRIX_ROOT" rev-parse --short HEAD 2>/dev/null || echo unknown)
git -C "$QUARRIX_ROOT" diff --quiet HEAD 2>/dev/null || COMMIT="$COMMIT with uncommitted changes"
PROCESSOR=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -1)
ABOUT="processor: ${PROCESSOR:-unknown}, $(nproc) cores; commit: $COMMIT; scale: $SCALE
page cache: warm (each tree is walked once before it is timed; the table read alternates with its floor)"
OUTPUTS=()
for round in $(seq 1 "$REPEAT"); do
    OUTPUT=$QUARRIX_BUILD/bench-output-$round.txt
    : >"$OUTPUT"
    echo "== run $round of $REPEAT" | tee -a "$OUTPUT"
    run_table
    OUTPUTS+=("$OUTPUT")
done

echo
echo "$ABOUT"
python3 - "${OUTPUTS[@]}" <<'PYTHON'
import statistics, sys

def table(rows):
    widths = [max(len(row[column]) for row in rows) for column in range(len(rows[0]))]
    for index, row in enumerate(rows):
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
        if index == 0:
            print("  ".join("-" * width for width in widths))

runs = []
for path in sys.argv[1:]:
    rows = []
    for line in open(path, encoding="utf-8", errors="replace"):
        fields = line.rstrip("\n").split("|")
        if fields[0] == "RESULT" and len(fields) == 7:
            rows.append(fields[1:])
        elif fields[0] == "FAILED":
            rows.append([fields[1], "NOT MEASURED: " + fields[2], "", "", "", "no"])
    runs.append(rows)
print("Each time is the median of its rounds, then the fastest and slowest round; each ratio is of medians.")
table([["figure", "Quarrix", "baseline", "ratio", "target", "holds"]] + runs[-1])
if len(runs) > 1:
    print()
    print("Over %d runs of the whole table: the median ratio, and the lowest and highest." % len(runs))
    ratios, targets = {}, {}
    for rows in runs:
        for row in rows:
            # The record counts in a figure's name vary with the scale, not between runs.
            if row[3]:
                ratios.setdefault(row[0], []).append(float(row[3]))
                targets[row[0]] = row[4]
    summary = [["figure", "median ratio", "lowest", "highest", "target"]]
    for figure, values in ratios.items():
        summary.append([figure, "%.2f" % statistics.median(values), "%.2f" % min(values),
                        "%.2f" % max(values), targets[figure]])
    table(summary)
PYTHON
