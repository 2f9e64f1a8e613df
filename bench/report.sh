#!/usr/bin/env bash
# The performance report. Runs the benchmarks of bench/ and the conversion
# benchmark (bench/convert.sh), then converts the same generated package with
# MuPDF's text extraction (mutool draw -F stext), the tool a user would
# otherwise reach for, and prints one Markdown table: our time, MuPDF's, the
# ratio, pages per second and peak resident memory.
#
# usage: bench/report.sh [BUILD_DIR]      (default: build)
#   RUNS=N  timed runs of each converter on the package; the fastest counts (3)
# Targets: the whole conversion at least 3 times faster than MuPDF's text
# extraction, peak memory under 64 MB for the 1 000-page package; --nested at
# most 1.2, --document-fonts and --preview at most 1.3 times the default mode's
# time, --text-lines at most 1.15 times the time of the same mode without it. Wall-clock
# figures suffer when other jobs share the cores; the CPU row does less.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh

build=${1:-build}
runs=${RUNS:-3}
benches=(xml/xml_bench zip/zip_bench template/template_bench convert/convert_bench)

targets=()
for bench in "${benches[@]}"; do targets+=("$(basename "$bench")"); done
build_targets "$build" "${targets[@]}" xps2qlt xpsgen

work="$build/bench-report"
rm -rf "$work"
mkdir -p "$work"

# The conversion benchmark makes the package, converts it once and checks its
# own targets; a missed target is reported in the table, not here.
bench/convert.sh "$build" >"$work/convert.txt" || true
package="$build/bench-convert/bench.xps"
description=$(sed -n 's/^package: //p' "$work/convert.txt")
# convert.sh prints the package only when xps2qlt converted every page of it.
pages=${description%% pages*}
pages=${pages:-0}

# Times one command into $work/NAME.RUN. What the run before wrote reaches
# the disk first: otherwise a run that follows a converter waits for its
# templates, and one that follows MuPDF (which writes nothing) does not.
timed() {
  local name=$1
  shift
  sync
  /usr/bin/time -f "%e %U %S %M" -o "$work/$name.$run" "$@" >/dev/null 2>&1
}

# The two converters take turns, so that a busy moment of the machine does not
# fall on one of them only.
for run in $(seq "$runs"); do
  timed ours "$build/cli/xps2qlt" "$package"
  timed nested "$build/cli/xps2qlt" --nested "$package"
  timed fonts "$build/cli/xps2qlt" --document-fonts "$package"
  timed lines "$build/cli/xps2qlt" --text-lines "$package"
  timed nestedlines "$build/cli/xps2qlt" --nested --text-lines "$package"
  timed preview "$build/cli/xps2qlt" --preview "$package"
  timed mupdf mutool draw -F stext -o /dev/null "$package"
done

for bench in "${benches[@]}"; do
  name=$(basename "$bench")
  /usr/bin/time -f "%M" -o "$work/$name.peak" "$build/bench/$bench" \
    --benchmark_format=json --benchmark_out="$work/$name.json" >/dev/null 2>&1
done

python3 - "$work" "$runs" "$pages" "$description" "${targets[@]}" <<'EOF'
import json, os, platform, sys, time

work, runs, pages, description, benches = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5:]

def timings(tool):
    rows = []
    for run in range(1, runs + 1):
        wall, user, system, peak_kb = open(os.path.join(work, f"{tool}.{run}")).read().split()
        rows.append((float(wall), float(user) + float(system), int(peak_kb)))
    return min(r[0] for r in rows), min(r[1] for r in rows), max(r[2] for r in rows)

def seconds(value):
    return f"{value:.2f} s"

def megabytes(kb):
    return f"{kb / 1024:.1f} MB"

def duration(benchmark):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[benchmark["time_unit"]]
    value = benchmark["real_time"] * scale
    for unit, factor in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6)):
        if value >= factor:
            return f"{value / factor:.3g} {unit}"
    return f"{value / 1e-9:.3g} ns"

ours_wall, ours_cpu, ours_peak = timings("ours")
mupdf_wall, mupdf_cpu, mupdf_peak = timings("mupdf")
cpu = open("/proc/cpuinfo").read().split("model name")[1].split(":", 1)[1].split("\n", 1)[0].strip()
load = " ".join(open("/proc/loadavg").read().split()[:3])

print(f"Measured {time.strftime('%Y-%m-%d')} on {cpu}, {os.cpu_count()} cores, {platform.system()} "
      f"{platform.release()} (load averages {load} at the end; the machine is shared).")
print(f"Package: {description}; {pages} pages converted. Best of {runs} runs each.")
print()
print("| benchmark | ours | MuPDF `draw -F stext` | ratio | pages/s | peak memory |")
print("|---|---:|---:|---:|---:|---:|")
print(f"| whole conversion, wall clock | {seconds(ours_wall)} | {seconds(mupdf_wall)} | "
      f"{mupdf_wall / ours_wall:.1f}x | {pages / ours_wall:.0f} | {megabytes(ours_peak)} (MuPDF {megabytes(mupdf_peak)}) |")
print(f"| whole conversion, CPU time | {seconds(ours_cpu)} | {seconds(mupdf_cpu)} | "
      f"{mupdf_cpu / ours_cpu:.1f}x | {pages / ours_cpu:.0f} | |")
# The options against the same mode without them on the same package
# (targets 1.2, 1.3, 1.15, 1.15 and 1.3).
for tool, option, base, mode in (("nested", "--nested", "ours", "the default"),
                                 ("fonts", "--document-fonts", "ours", "the default"),
                                 ("lines", "--text-lines", "ours", "the default"),
                                 ("nestedlines", "--nested --text-lines", "nested", "--nested"),
                                 ("preview", "--preview", "ours", "the default")):
    wall, cpu_time, peak = timings(tool)
    base_wall, base_cpu, _ = timings(base)
    print(f"| {option}, wall clock / CPU time | {seconds(wall)} / {seconds(cpu_time)} | – | "
          f"{wall / base_wall:.2f}x / {cpu_time / base_cpu:.2f}x of {mode} | {pages / wall:.0f} | {megabytes(peak)} |")
for bench in benches:
    peak = int(open(os.path.join(work, f"{bench}.peak")).read())
    for benchmark in json.load(open(os.path.join(work, f"{bench}.json")))["benchmarks"]:
        name = benchmark["name"].split("/")[0]
        rate = benchmark.get("items_per_second")
        per_page = f"{rate:.0f}" if rate and bench == "app_bench" else "–"
        print(f"| {bench} {name} | {duration(benchmark)} | – | – | {per_page} | {megabytes(peak)} |")
print()
met = mupdf_wall / ours_wall >= 3 and ours_peak / 1024 < 64
print(f"Targets (at least 3x faster than MuPDF, under 64 MB): {'met' if met else 'MISSED'}.")
EOF
