#!/usr/bin/env python3
"""Pairs "<row>/ours" with "<row>/peer" from Google Benchmark JSON and prints one table,
headed by the processor's features, with the path each of our rows ran. A second file,
the same rows run without AVX-512 on both sides, adds its figures beside the first."""
import json
import sys


def figure(b):
    if "bytes_per_second" in b:
        return b["bytes_per_second"] / 1e6, "MB/s", True
    if "items_per_second" in b:
        return b["items_per_second"], "op/s", True
    return b["real_time"], b.get("time_unit", "ns"), False


def load(path):
    with open(path) as f:
        data = json.load(f)
    rows = {}
    paths = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        # Rows timed by the wall clock (network rows) carry this suffix.
        name = name.removesuffix("/real_time")
        row, _, side = name.rpartition("/")
        if side not in ("ours", "peer"):
            continue
        if side == "ours" and b.get("label"):
            paths[row] = b["label"]
        rows.setdefault(row, {})[side] = figure(b)
    features = data.get("context", {}).get("cpu_features")
    return rows, paths, features if features else "unknown"


def cells(sides):
    ours, peer = sides.get("ours"), sides.get("peer")
    unit = ours[1]
    o = f"{ours[0]:.1f} {unit}"
    p = f"{peer[0]:.1f} {unit}" if peer else "-"
    ratio = "-"
    if peer and ours[0] and peer[0]:
        # ratio > 1 means ours is slower than the peer
        ratio = f"{(peer[0] / ours[0]) if ours[2] else (ours[0] / peer[0]):.2f}x"
    return f"{o:>14} {p:>14} {ratio:>8}"


def main(paths):
    passes = [load(p) for p in paths]
    print(f"processor features: {passes[0][2]}")
    if len(passes) > 1:
        print(f"second pass, without AVX-512 on both sides: {passes[1][2]}")
    head = f"{'measured':44} {'ours':>14} {'peer':>14} {'ratio':>8}"
    if len(passes) > 1:
        head += f" {'ours -512':>14} {'peer -512':>14} {'ratio':>8}"
    print(head + "  path" + (" (without AVX-512)" if len(passes) > 1 else ""))
    rows, labels, _ = passes[0]
    # Repetitions run in random order, so the rows are listed by name.
    for row, sides in sorted(rows.items()):
        if sides.get("ours") is None:
            continue
        line = f"{row:44} {cells(sides)}"
        label = labels.get(row, "-")
        if len(passes) > 1:
            other = passes[1][0].get(row, {})
            line += f" {cells(other)}" if other.get("ours") else f" {'-':>14} {'-':>14} {'-':>8}"
            narrow = passes[1][1].get(row, "-")
            if narrow != label:
                label += f" ({narrow})"
        print(f"{line}  {label}")
    print("ratio: ours' cost over the peer's (1.00x = as fast, below 1 = faster)")


if __name__ == "__main__":
    main(sys.argv[1:])
