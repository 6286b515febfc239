#!/usr/bin/env python3
"""Turns the Google Benchmark JSON files of one ./scripts/bench run into docs/performance.md.

A benchmark named Family/size is paired with its baseline Family_Raw/size (the same work
done directly on the store, measured in the same run); the report gives both medians and
their ratio, and how the median grows from one size to the next.
"""
import json
import os
import platform
import sys
from collections import defaultdict


def machine():
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            mem = f"{kb / 1024 / 1024:.0f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    return f"{model}, {os.cpu_count()} cores, {mem}, {platform.system()} {platform.release()}"


def fmt(ns):
    if ns >= 1e9:
        return f"{ns / 1e9:.2f} s"
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.1f} µs"
    return f"{ns:.0f} ns"


UNIT = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}


def main(folder, target):
    rows = defaultdict(dict)  # program -> {(family, size): (median_ns, counters)}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".json"):
            continue
        with open(os.path.join(folder, name)) as f:
            data = json.load(f)
        program = name[:-5]
        for b in data.get("benchmarks", []):
            if b.get("aggregate_name", "median") != "median":
                continue
            full = b.get("run_name", b["name"])
            family, _, size = full.partition("/")
            size = size.split("/")[0] if size else ""
            ns = b["real_time"] * UNIT.get(b.get("time_unit", "ns"), 1)
            counters = {k: v for k, v in b.items()
                        if k not in ("name", "run_name", "run_type", "repetitions",
                                     "repetition_index", "threads", "iterations", "real_time",
                                     "cpu_time", "time_unit", "aggregate_name", "family_index",
                                     "per_family_instance_index", "aggregate_unit")
                        and isinstance(v, (int, float))}
            rows[program][(family, size)] = (ns, counters)

    lines = ["# Performance", "",
             "Made by `./scripts/bench` (medians of repeated runs, all figures of one run; "
             "these machines are noisy, so compare ratios rather than absolute times).", "",
             f"Machine: {machine()}.", ""]
    for program in sorted(rows):
        results = rows[program]
        lines += [f"## {program.removeprefix('bench_')}", "",
                  "| benchmark | size | median | raw baseline | ratio | growth | counters |",
                  "|---|---|---|---|---|---|---|"]
        families = sorted({f for f, _ in results if not f.endswith("_Raw")})
        for family in families:
            sizes = sorted({s for f, s in results if f == family},
                           key=lambda s: (len(s), s))
            previous = None
            for size in sizes:
                ns, counters = results[(family, size)]
                raw = results.get((family + "_Raw", size))
                raw_text = fmt(raw[0]) if raw else "—"
                ratio = f"{ns / raw[0]:.1f}×" if raw and raw[0] > 0 else "—"
                growth = "—"
                if previous:
                    p_size, p_ns = previous
                    try:
                        growth = f"×{ns / p_ns:.1f} for ×{int(size) / int(p_size):.0f} size"
                    except (ValueError, ZeroDivisionError):
                        growth = f"×{ns / p_ns:.1f}"
                shown = ", ".join(f"{k} {v:.0f}" for k, v in sorted(counters.items()))
                lines.append(f"| {family.removeprefix('BM_')} | {size or '—'} | {fmt(ns)} | "
                             f"{raw_text} | {ratio} | {growth} | {shown} |")
                previous = (size, ns)
        lines.append("")
    extra = os.path.join(os.path.dirname(target), "performance-notes.md")
    if os.path.exists(extra):
        with open(extra) as f:
            lines += [f.read()]
    with open(target, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
