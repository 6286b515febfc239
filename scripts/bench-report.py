#!/usr/bin/env python3
"""Turns the Google Benchmark JSON files of one ./scripts/bench run into docs/performance.md.

A benchmark named Family/size is paired with its baseline Family_Raw/size (the same work
done directly on the store, measured in the same run); the report gives both medians, their
ratio, how the median grows from one size to the next, and the benchmark's own counters.
A benchmark that could not run (no PostgreSQL server, a failed check) is listed with its
reason. run.json in the results folder, when there, describes the run (written by
./scripts/bench). docs/performance-notes.md, when there, is appended: how each benchmark is
built and what its figures mean.

Usage: bench-report.py RESULTS_FOLDER docs/performance.md
"""
import json
import os
import platform
import sys

UNIT = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
NOT_COUNTERS = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
                "iterations", "real_time", "cpu_time", "time_unit", "aggregate_name",
                "family_index", "per_family_instance_index", "aggregate_unit",
                "error_occurred", "error_message"}


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
            mem = f", {kb / 1024 / 1024:.0f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    return f"{model}, {os.cpu_count()} cores{mem}, {platform.system()} {platform.release()}"


def fmt(ns):
    if ns >= 1e9:
        return f"{ns / 1e9:.2f} s"
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.1f} µs"
    return f"{ns:.0f} ns"


def number(v):
    if abs(v - round(v)) < 0.05:
        return f"{round(v):,}"
    return f"{v:,.1f}"


def split_name(run_name):
    """'Family/size/iterations:3/manual_time' -> ('Family', 'size')."""
    family, _, rest = run_name.partition("/")
    size = rest.split("/")[0] if rest else ""
    if ":" in size:  # no size, only options
        size = ""
    return family, size


def read_program(path):
    """{(family, size): result} and the family order of one program's JSON file.

    A result is {"ns", "cpu_ns", "counters"} (medians), or {"error": message}."""
    with open(path) as f:
        data = json.load(f)
    results, order, singles = {}, {}, {}
    for b in data.get("benchmarks", []):
        family, size = split_name(b.get("run_name", b["name"]))
        order.setdefault(family, b.get("family_index", len(order)))
        key = (family, size)
        scale = UNIT.get(b.get("time_unit", "ns"), 1)
        if b.get("error_occurred"):
            results.setdefault(key, {"error": b.get("error_message", "failed")})
            continue
        if "real_time" not in b:
            continue  # an aggregate without times (a complexity fit: BigO, RMS)
        entry = {"ns": b["real_time"] * scale, "cpu_ns": b["cpu_time"] * scale,
                 "manual": "manual_time" in b.get("run_name", b["name"]),
                 "counters": {k: v for k, v in b.items()
                              if k not in NOT_COUNTERS and isinstance(v, (int, float))}}
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                results[key] = entry
        else:
            singles.setdefault(key, entry)  # a run without repetitions has no aggregates
    for key, entry in singles.items():
        if key not in results or "error" in results[key]:
            results[key] = entry
    return results, order, data.get("context", {})


def shown_size(size):
    try:
        return f"{int(size):,}"
    except ValueError:
        return size or "—"


def size_key(size):
    try:
        return (0, int(size))
    except ValueError:
        return (1, size)


def program_table(results, order):
    lines = ["| benchmark | size | median | CPU | raw baseline | ratio | growth | counters |",
             "|---|---|---|---|---|---|---|---|"]
    families = sorted({f for f, _ in results if not f.endswith("_Raw")},
                      key=lambda f: (order.get(f, 0), f))
    # A baseline whose own family is missing still gets its rows.
    families += sorted({f for f, _ in results if f.endswith("_Raw") and f[:-4] not in families},
                       key=lambda f: (order.get(f, 0), f))
    for family in families:
        shown_family = family.removeprefix("BM_")
        previous = None
        for size in sorted({s for f, s in results if f == family}, key=size_key):
            r = results[(family, size)]
            if "error" in r:
                lines.append(f"| {shown_family} | {shown_size(size)} | skipped: {r['error']} "
                             "| | | | | |")
                continue
            raw = results.get((family + "_Raw", size))
            raw_text, ratio = "—", "—"
            if raw and "error" in raw:
                raw_text = f"skipped: {raw['error']}"
            elif raw:
                raw_text = fmt(raw["ns"])
                if raw["ns"] > 0:
                    ratio = f"{r['ns'] / raw['ns']:.1f}×"
            growth = "—"
            if previous:
                p_size, p_ns = previous
                try:
                    growth = f"×{r['ns'] / p_ns:.1f} for ×{int(size) / int(p_size):.0f} size"
                except (ValueError, ZeroDivisionError):
                    growth = f"×{r['ns'] / p_ns:.1f}" if p_ns else "—"
            counters = dict(r["counters"])
            if raw and "error" not in raw:
                for k, v in raw["counters"].items():
                    if k == "round_trips":
                        counters["raw round_trips"] = v
            shown = ", ".join(f"{k} {number(v)}" for k, v in sorted(counters.items()))
            cpu = "—" if r["manual"] else fmt(r["cpu_ns"])  # timed by the benchmark itself
            lines.append(f"| {shown_family} | {shown_size(size)} | {fmt(r['ns'])} | {cpu} | "
                         f"{raw_text} | {ratio} | {growth} | {shown} |")
            previous = (size, r["ns"])
    return lines


def main(folder, target):
    programs = {}
    contexts = {}
    for name in sorted(os.listdir(folder)):
        if name.endswith(".json") and name.startswith("bench_"):
            program = name[:-5]
            results, order, context = read_program(os.path.join(folder, name))
            programs[program] = (results, order)
            contexts[program] = context
    run = {}
    run_file = os.path.join(folder, "run.json")
    if os.path.exists(run_file):
        with open(run_file) as f:
            run = json.load(f)

    lines = ["# Performance", "",
             "Made by `./scripts/bench`; do not edit by hand (the notes at the end come from "
             "`docs/performance-notes.md`). All figures are from one run: medians of "
             f"{run.get('repetitions', 'several')} repetitions of each benchmark, each beside "
             "its raw baseline (`_Raw`, the same work done straight on the store) measured in "
             "the same run. The machine is shared, so compare ratios rather than absolute "
             "times. Wall time is the median; CPU is this process's own (a PostgreSQL "
             "server's work shows in the wall time only).", ""]
    lines.append(f"- Machine: {machine()}.")
    if run.get("started"):
        lines.append(f"- Run: {run['started']}, {run.get('minutes', '?')} minutes; load "
                     f"average {run.get('load_before', '?')} at the start, "
                     f"{run.get('load_after', '?')} at the end.")
    if run.get("build"):
        lines.append(f"- Build: {run['build']}.")
    if run.get("postgres"):
        lines.append(f"- PostgreSQL: {run['postgres']}.")
    if run.get("failed"):
        lines.append(f"- Programs that failed (their figures are missing or partial): "
                     f"{', '.join(run['failed'])}.")
    lines.append("")
    for program in sorted(programs):
        results, order = programs[program]
        lines += [f"## {program.removeprefix('bench_')}", ""]
        lines += program_table(results, order)
        lines.append("")
    extra = os.path.join(os.path.dirname(target), "performance-notes.md")
    if os.path.exists(extra):
        with open(extra) as f:
            lines += [f.read().rstrip("\n")]
    with open(target, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: bench-report.py RESULTS_FOLDER OUTPUT.md")
    main(sys.argv[1], sys.argv[2])
