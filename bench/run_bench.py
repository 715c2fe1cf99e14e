#!/usr/bin/env python3
"""Runs the benchmarks of a bench build and prints the side-by-side table of ratios.

Usage: bench/run_bench.py BUILD_DIR [--repetitions N] [--min-time S]
Each benchmark is repeated and the best repetition counts (the machine may be shared).
"""
import argparse
import json
import os
import platform
import subprocess
import sys


def run_json(program, args):
    out = subprocess.run([program, "--benchmark_format=json"] + args, check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    return json.loads(out)["benchmarks"]


def best(runs, key, higher_is_better):
    """Best repetition per benchmark name: {name: value}."""
    table = {}
    for run in runs:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        value = run[key] if key in run else None
        if value is None:
            continue
        name = run["run_name"] if "run_name" in run else run["name"]
        if name not in table or (value > table[name]) == higher_is_better:
            table[name] = value
    return table


def seconds(run_time, unit):
    return run_time * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[unit]


def best_seconds(runs):
    table = {}
    for run in runs:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        value = seconds(run["real_time"], run["time_unit"])
        name = run["run_name"] if "run_name" in run else run["name"]
        table[name] = min(table.get(name, value), value)
    return table


def machine():
    model, cores = "unknown", str(os.cpu_count())
    try:
        for line in subprocess.run(["lscpu"], stdout=subprocess.PIPE, text=True).stdout.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
    except OSError:
        pass
    memory = "unknown"
    try:
        with open("/proc/meminfo") as meminfo:
            kib = int(meminfo.readline().split()[1])
            memory = f"{kib / 1024 / 1024:.1f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    return f"{model}, {cores} cores, {memory} memory, {platform.system()} {platform.release()}"


def row(cells):
    return "| " + " | ".join(cells) + " |"


def verdict(ratio, target, at_least):
    if ratio is None:
        return "n/a"
    return "yes" if (ratio >= target if at_least else ratio <= target) else "no"


def ratio_text(ratio):
    return "n/a" if ratio is None else f"{ratio:.2f}"


def divide(a, b):
    return None if a is None or not b else a / b


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--min-time", default="0.3")
    options = parser.parse_args()
    bench_dir = os.path.join(options.build_dir, "bench")
    common = [f"--benchmark_repetitions={options.repetitions}", f"--benchmark_min_time={options.min_time}"]

    print("running korv-bench-parse ...", file=sys.stderr)
    parse_runs = run_json(os.path.join(bench_dir, "korv-bench-parse"), common)
    print("running korv-bench-client ...", file=sys.stderr)
    client_runs = run_json(os.path.join(bench_dir, "korv-bench-client"), common)
    print("running korv-bench-memory ...", file=sys.stderr)
    memory = json.loads(subprocess.run([os.path.join(bench_dir, "korv-bench-memory")], check=True,
                                       stdout=subprocess.PIPE, text=True).stdout)

    rate = best(parse_runs + client_runs, "bytes_per_second", True)
    times = best_seconds(client_runs)
    per_field = best(client_runs, "per_field", False)

    lines = [row(["Measurement", "Size", "Ours", "Peer", "Ratio", "Target", "Met"]),
             row(["---"] * 7)]
    sizes = [("50 KB", 51200), ("1 MB", 1048576), ("16 MB", 16777216)]

    def mbs(name):
        value = rate.get(name)
        return value / 1e6 if value is not None else None

    def fmt(value, unit):
        return "n/a" if value is None else f"{value:,.0f} {unit}" if value >= 100 else f"{value:,.1f} {unit}"

    for label, arg in sizes:
        ours = mbs(f"BM_LoadText/{arg}")
        for peer, target in (("pugixml default", 1.0), ("pugixml minimal", None), ("expat", None)):
            key = {"pugixml default": "BM_PugiDefault", "pugixml minimal": "BM_PugiMinimal",
                   "expat": "BM_Expat"}[peer]
            other = mbs(f"{key}/{arg}")
            r = divide(ours, other)
            lines.append(row([f"Markup: LoadText vs {peer}", label, fmt(ours, "MB/s"), fmt(other, "MB/s"),
                              ratio_text(r), ">= 1.00" if target else "(aim)" if peer == "pugixml minimal" else "-",
                              verdict(r, target, True) if target else "-"]))
    for label, arg in sizes:
        ours = mbs(f"BM_PatientDocLoad/{arg}")
        other = mbs(f"BM_PugiDefault/{arg}")
        r = divide(ours, other)
        lines.append(row(["Document: CPatientDoc::Load vs pugixml default", label, fmt(ours, "MB/s"),
                          fmt(other, "MB/s"), ratio_text(r), ">= 0.50", verdict(r, 0.5, True)]))
    base = per_field.get("BM_GetterWalk/1000/real_time")
    for fields in (1000, 10000, 100000):
        ours = per_field.get(f"BM_GetterWalk/{fields}/real_time")
        r = divide(ours, base)
        lines.append(row(["Getters: time per field vs 1,000 fields", f"{fields:,} fields",
                          fmt(ours * 1e9 if ours else None, "ns"), fmt(base * 1e9 if base else None, "ns"),
                          ratio_text(r), "<= 1.50", verdict(r, 1.5, False)]))
    for megabytes in (16, 128):
        ours = mbs(f"BM_GetImageData/{megabytes}/real_time")
        other = mbs(f"BM_BareImage/{megabytes}/real_time")
        r = divide(ours, other)
        lines.append(row(["Transfer: GetImageData vs bare frame reader", f"{megabytes} MB", fmt(ours, "MB/s"),
                          fmt(other, "MB/s"), ratio_text(r), ">= 0.70", verdict(r, 0.7, True)]))
    ours = times.get("BM_OpenPatient/real_time")
    other = times.get("BM_BarePatient/real_time")
    r = divide(ours, other)
    lines.append(row(["Latency: OpenPatient vs bare request and reply", "50 KB",
                      fmt(ours * 1e6 if ours else None, "us"), fmt(other * 1e6 if other else None, "us"),
                      ratio_text(r), "<= 2.00", verdict(r, 2.0, False)]))
    added = memory["peak"] - memory["rss_before"]
    r = added / memory["text_bytes"]
    lines.append(row(["Memory: peak resident added by CPatientDoc::Load / text size", "16 MB",
                      fmt(added / 1e6, "MB"), fmt(memory["text_bytes"] / 1e6, "MB"), ratio_text(r), "<= 4.00",
                      verdict(r, 4.0, False)]))

    print(f"Machine: {machine()}")
    print(f"Best of {options.repetitions} repetitions; MB = 10^6 bytes. Memory: separate process, "
          f"peak mark {'reset before the load (clear_refs)' if memory['peak_reset'] else 'from getrusage'}.")
    print()
    print("\n".join(lines))


if __name__ == "__main__":
    main()
