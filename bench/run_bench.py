#!/usr/bin/env python3
"""Runs the benchmarks of a bench build, prints the side-by-side table and writes results.json.

Usage: bench/run_bench.py BUILD_DIR [--repetitions N] [--min-time S]

Each benchmark is repeated (repetitions interleaved at random, so drift on a shared machine
hits both sides alike); the table gives the median of the repetitions with their range. A
row is not counted as met when either side's repetitions spread too far, when a benchmark
reported an error (a transfer whose bytes did not arrive, a document not built), or when the
ratio is beyond what is physically possible; such rows say why instead.
"""
import argparse
import json
import os
import platform
import statistics
import subprocess
import sys

# Ours faster than the bare reader of the same frames by more than noise is impossible.
TRANSFER_CEILING = 1.10
# No parse or transfer on this kind of machine goes past memory bandwidth.
MAX_MB_PER_S = 30000.0
# Repetitions whose slowest is more than this multiple of the fastest are not a stable figure.
MAX_SPREAD = 2.0
# A peer whose throughput falls by more than this factor between two sizes of one shape.
MAX_PEER_DROP = 4.0


def run_json(program, args):
    out = subprocess.run([program, "--benchmark_format=json"] + args, check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    return json.loads(out)["benchmarks"]


def seconds(run_time, unit):
    return run_time * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[unit]


class Samples:
    """Per benchmark name: the values of each repetition, and any error message."""

    def __init__(self, runs):
        self.values = {}
        self.errors = {}
        for run in runs:
            if run.get("run_type") != "iteration":
                continue
            name = run.get("run_name", run["name"])
            if run.get("error_occurred"):
                self.errors[name] = run.get("error_message", "error")
                continue
            entry = dict(run)
            entry["seconds"] = seconds(run["real_time"], run["time_unit"])
            entry["cpu_seconds"] = seconds(run["cpu_time"], run["time_unit"])
            self.values.setdefault(name, []).append(entry)

    def series(self, name, key):
        return [run[key] for run in self.values.get(name, []) if key in run]


class Figure:
    """Median and range of a series, scaled for display."""

    def __init__(self, series, scale=1.0, unit=""):
        self.series = [value * scale for value in series]
        self.unit = unit

    @property
    def median(self):
        return statistics.median(self.series) if self.series else None

    @property
    def spread(self):
        if not self.series or min(self.series) <= 0:
            return None
        return max(self.series) / min(self.series)

    def text(self):
        if not self.series:
            return "n/a"
        def num(value):
            return f"{value:,.0f}" if value >= 100 else f"{value:,.1f}" if value >= 10 else f"{value:,.2f}"
        if len(self.series) == 1:
            return f"{num(self.median)} {self.unit}"
        return f"{num(self.median)} {self.unit} ({num(min(self.series))}-{num(max(self.series))})"


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


class Table:
    def __init__(self):
        self.rows = []

    def add(self, measurement, size, ours, peer, ratio, target, at_least=None, limit=None, flags=(), errors=()):
        """target: text; at_least/limit: the bound the ratio is checked against (None: no verdict)."""
        flags = [flag for flag in flags if flag]
        errors = [error for error in errors if error]
        if errors:
            met = "error: " + "; ".join(errors)
        elif flags:
            met = "flagged: " + "; ".join(flags)
        elif ratio is None:
            met = "n/a"
        elif limit is None:
            met = "-"
        else:
            met = "yes" if (ratio >= limit if at_least else ratio <= limit) else "no"
        self.rows.append({
            "measurement": measurement, "size": size,
            "ours": ours.text() if isinstance(ours, Figure) else ours,
            "peer": peer.text() if isinstance(peer, Figure) else peer,
            "ratio": None if ratio is None else round(ratio, 3),
            "target": target, "met": met,
        })

    def markdown(self):
        lines = ["| Measurement | Size | Ours | Peer | Ratio | Target | Met |", "| --- " * 7 + "|"]
        for row in self.rows:
            ratio = "n/a" if row["ratio"] is None else f"{row['ratio']:.2f}"
            lines.append("| " + " | ".join([row["measurement"], row["size"], row["ours"], row["peer"], ratio,
                                            row["target"], row["met"]]) + " |")
        return "\n".join(lines)


def divide(a, b):
    return None if a is None or not b else a / b


def spread_flag(*figures):
    for figure in figures:
        if figure.spread is not None and figure.spread > MAX_SPREAD:
            return f"repetitions spread {figure.spread:.1f}x"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--min-time", default="0.3")
    options = parser.parse_args()
    bench_dir = os.path.join(options.build_dir, "bench")
    common = [f"--benchmark_repetitions={options.repetitions}", f"--benchmark_min_time={options.min_time}",
              "--benchmark_enable_random_interleaving=true"]

    print("running korv-bench-parse ...", file=sys.stderr)
    parse = Samples(run_json(os.path.join(bench_dir, "korv-bench-parse"), common))
    print("running korv-bench-client ...", file=sys.stderr)
    client = Samples(run_json(os.path.join(bench_dir, "korv-bench-client"), common))
    print("running korv-bench-memory ...", file=sys.stderr)
    memory = {}
    for shape in ("studies", "dense", "name-only"):
        memory[shape] = json.loads(subprocess.run([os.path.join(bench_dir, "korv-bench-memory"), shape], check=True,
                                                  stdout=subprocess.PIPE, text=True).stdout)

    table = Table()
    sizes = [("50 KB", 51200), ("1 MB", 1048576), ("16 MB", 16777216)]
    shapes = [("studies", 0), ("dense", 1)]

    def rate(samples, name):
        return Figure(samples.series(name, "bytes_per_second"), 1e-6, "MB/s")

    def rate_flags(*figures):
        return [f"{f.median:,.0f} MB/s is beyond memory bandwidth" for f in figures
                if f.median is not None and f.median > MAX_MB_PER_S]

    def peer_drop(key, shape):
        medians = [rate(parse, f"{key}/{arg}/{shape}").median for _, arg in sizes]
        medians = [m for m in medians if m]
        if len(medians) > 1 and max(medians) / min(medians) > MAX_PEER_DROP:
            return f"peer varies {max(medians) / min(medians):.0f}x across sizes"
        return None

    for shape_label, shape in shapes[:1]:
        for label, arg in sizes:
            ours = rate(parse, f"BM_LoadText/{arg}/{shape}")
            for peer_name, key, target in (("pugixml default", "BM_PugiDefault", ">= 1.00"),
                                           ("pugixml minimal", "BM_PugiMinimal", "(aim)"),
                                           ("expat", "BM_Expat", "-")):
                peer = rate(parse, f"{key}/{arg}/{shape}")
                table.add(f"Markup: LoadText vs {peer_name}", label, ours, peer, divide(ours.median, peer.median),
                          target, True, 1.0 if target == ">= 1.00" else None,
                          [spread_flag(ours, peer), peer_drop(key, shape)] + rate_flags(ours, peer),
                          [parse.errors.get(f"BM_LoadText/{arg}/{shape}"), parse.errors.get(f"{key}/{arg}/{shape}")])
    for shape_label, shape in shapes:
        for label, arg in sizes:
            ours = rate(parse, f"BM_PatientDocLoad/{arg}/{shape}")
            peer = rate(parse, f"BM_PugiDefault/{arg}/{shape}")
            table.add(f"Document: CPatientDoc::Load vs pugixml default ({shape_label})", label, ours, peer,
                      divide(ours.median, peer.median), ">= 1.00", True, 1.0,
                      [spread_flag(ours, peer), peer_drop("BM_PugiDefault", shape)] + rate_flags(ours, peer),
                      [parse.errors.get(f"BM_PatientDocLoad/{arg}/{shape}"),
                       parse.errors.get(f"BM_PugiDefault/{arg}/{shape}")])
    # CPU time, as the throughput rows (Google Benchmark's bytes per second are per CPU second).
    wide = Figure(parse.series("BM_WideElementLoad/1000000", "cpu_seconds"), 1e3, "ms")
    table.add("Document: CPatientDoc::Load of one element with 1,000,000 attributes", "1,000,000 attributes",
              wide, "-", divide(wide.median, 1000.0), "<= 1.00 (s)", False, 1.0, [spread_flag(wide)],
              [parse.errors.get("BM_WideElementLoad/1000000")])

    base = Figure(client.series("BM_GetterWalk/1000/real_time", "per_field"), 1e9, "ns")
    for fields in (10000, 100000):
        ours = Figure(client.series(f"BM_GetterWalk/{fields}/real_time", "per_field"), 1e9, "ns")
        table.add("Getters: time per field vs 1,000 fields", f"{fields:,} fields", ours, base,
                  divide(ours.median, base.median), "<= 1.30", False, 1.3, [spread_flag(ours, base)],
                  [client.errors.get(f"BM_GetterWalk/{fields}/real_time")])
    for megabytes in (16, 128):
        ours = rate(client, f"BM_GetImageData/{megabytes}/real_time")
        peer = rate(client, f"BM_BareImage/{megabytes}/real_time")
        r = divide(ours.median, peer.median)
        table.add("Transfer: GetImageData vs bare frame reader", f"{megabytes} MB", ours, peer, r, ">= 0.85", True,
                  0.85, [spread_flag(ours, peer), None if r is None or r <= TRANSFER_CEILING else
                         f"faster than the bare reader of the same frames"] + rate_flags(ours, peer),
                  [client.errors.get(f"BM_GetImageData/{megabytes}/real_time"),
                   client.errors.get(f"BM_BareImage/{megabytes}/real_time")])

    def latency(name):
        return Figure(client.series(name, "seconds"), 1e6, "us")

    ours = latency("BM_OpenPatient/0/real_time")
    peer = latency("BM_BarePatient/0/real_time")
    table.add("Latency: OpenPatient vs bare request and reply (studies)", "50 KB", ours, peer,
              divide(ours.median, peer.median), "<= 2.00", False, 2.0, [spread_flag(ours, peer)],
              [client.errors.get("BM_OpenPatient/0/real_time"), client.errors.get("BM_BarePatient/0/real_time")])
    for label, arg, index in (("50 KB", 51200, 1), ("1 MB", 1048576, 2)):
        ours = latency(f"BM_OpenPatient/{index}/real_time")
        bare = latency(f"BM_BarePatient/{index}/real_time")
        pugi = Figure(parse.series(f"BM_PugiInPlace/{arg}/1", "seconds"), 1e6, "us")
        peer_value = None if bare.median is None or pugi.median is None else bare.median + pugi.median
        peer_text = "n/a" if peer_value is None else f"{peer_value:,.0f} us ({bare.median:,.0f} + {pugi.median:,.0f})"
        table.add("Latency: OpenPatient vs (bare round trip + pugixml in-place parse) (dense)", label, ours,
                  peer_text, divide(ours.median, peer_value), "<= 1.50", False, 1.5,
                  [spread_flag(ours, bare, pugi)],
                  [client.errors.get(f"BM_OpenPatient/{index}/real_time"),
                   client.errors.get(f"BM_BarePatient/{index}/real_time"),
                   parse.errors.get(f"BM_PugiInPlace/{arg}/1")])
    worst = Figure(client.series("BM_GetterDuringLoad/real_time", "worst_getter_us"), 1.0, "us")
    load = Figure(client.series("BM_GetterDuringLoad/real_time", "seconds"), 1e3, "ms")
    table.add("Latency: longest getter call while OpenPatient loads (dense), vs the OpenPatient", "16 MB", worst,
              load, divide(worst.median, None if load.median is None else load.median * 1000.0), "-", False, None,
              [], [client.errors.get("BM_GetterDuringLoad/real_time")])

    for shape, label, limit in (("studies", "studies", 2.5), ("dense", "dense", 2.5), ("name-only", "name-only", 16.0)):
        probe = memory[shape]
        added = probe["peak"] - probe["rss_before"]
        r = added / probe["text_bytes"]
        errors = [] if probe["built"] else [f"document refused (tree over the size bound)"]
        table.add(f"Memory: peak resident added by CPatientDoc::Load / text size ({label})", "16 MB",
                  Figure([added], 1e-6, "MB"), Figure([probe["text_bytes"]], 1e-6, "MB"), r, f"<= {limit:.2f}",
                  False, limit, [], errors)

    results = os.path.join(options.build_dir, "results.json")
    with open(results, "w") as out:
        json.dump(table.rows, out, indent=1, ensure_ascii=False)
    print(f"Machine: {machine()}")
    print(f"Median of {options.repetitions} repetitions (range in brackets), repetitions interleaved at random; "
          f"MB = 10^6 bytes. Parse and document rows are per CPU second, client rows in real time. Both sides of a comparison reuse their document object after warm-up. "
          f"Memory: separate process per shape, peak mark "
          f"{'reset before the load (clear_refs)' if memory['studies']['peak_reset'] else 'from getrusage'}. "
          f"Rows also in {results}.")
    print()
    print(table.markdown())


if __name__ == "__main__":
    main()
