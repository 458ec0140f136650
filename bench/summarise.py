#!/usr/bin/env python3
"""Turns the hyperfine and /usr/bin/time results in bench/out into the
Markdown table of bench/RESULTS.md, with each target marked met or missed."""
import json
import os
import platform
import subprocess
import sys

out = sys.argv[1]


def results(name):
    with open(os.path.join(out, name + ".json")) as f:
        return {r["command"]: r for r in json.load(f)["results"]}


def cpu(r):
    return r["user"] + r["system"]


def mib(name):
    return os.path.getsize(os.path.join(out, name + ".2ch")) / 2**20


def verdict(ok):
    return "met" if ok else "**missed**"


def machine():
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    fs = subprocess.run(["df", "-T", out], capture_output=True, text=True).stdout.splitlines()[-1].split()[1]
    load = open("/proc/loadavg").read().split()[:3]
    return (f"{os.cpu_count()} x {model}, Linux {platform.release()}, {fs} file system, "
            f"load average {' '.join(load)} at the end (machine shared with other builds)")


main = results("main")
q, floor, sed = main["quenlit"], main["floor"], main["sed"]
wall_floor = q["mean"] / floor["mean"]
cpu_sed = cpu(q) / cpu(sed)
rewritten = open(os.path.join(out, "main.rewritten")).read().strip()

print(f"Machine: {machine()}.\n")
print(f"### End to end, {mib('main'):.1f} MiB, 1,000,000 board lines ({rewritten} rewritten)\n")
print("| command | wall (ms) | CPU user+sys (ms) | wall / floor | wall / sed | CPU / floor | CPU / sed |")
print("|---|---|---|---|---|---|---|")
for name, r in (("quenlit", q), ("durable copy floor", floor), ("sed -i.bak", sed)):
    print(f"| {name} | {r['mean']*1e3:.0f} ± {r['stddev']*1e3:.0f} | {cpu(r)*1e3:.0f} | "
          f"{r['mean']/floor['mean']:.2f} | {r['mean']/sed['mean']:.2f} | "
          f"{cpu(r)/cpu(floor):.2f} | {cpu(r)/cpu(sed):.2f} |")

print("\n### Scaling (quenlit, whole run)\n")
print("| file | MiB | wall (ms) | wall ms/MiB | CPU ms/MiB |")
print("|---|---|---|---|---|")
per_mb = {}
for name, label in (("mb1", "board lines"), ("mb10", "board lines"), ("main", "board lines"),
                    ("mb100", "board lines"), ("lead5", "one line: lead bytes with tokens"),
                    ("lead50", "one line: lead bytes with tokens"),
                    ("tokens100k", "one line: 100,000 tokens"),
                    ("tokens1m", "one line: a million tokens")):
    r = q if name == "main" else results(name)[name]
    size = mib(name)
    per_mb[name] = cpu(r) * 1e3 / size
    print(f"| {label} | {size:.1f} | {r['mean']*1e3:.0f} | {r['mean']*1e3/size:.2f} | {per_mb[name]:.2f} |")
# Flat: ten times the input of one kind costs at most 1.5 times as much per MiB.
flat = max(per_mb[big] / per_mb[small]
           for small, big in (("mb10", "mb100"), ("lead5", "lead50"), ("tokens100k", "tokens1m")))
# For information: what the pathological lines cost per MiB against board lines.
odd_lines = max(per_mb[n] for n in ("lead50", "tokens1m")) / per_mb["mb100"]

print("\n### Peak memory (max RSS)\n")
print("| file | MiB | peak RSS (MiB) | peak / file size | above start-up / file size |")
print("|---|---|---|---|---|")
rows = [line.split() for line in open(os.path.join(out, "memory.txt"))]
base = next(int(kb) for name, size, kb in rows if name == "missing") / 1024
mem_ratio = 0.0
for name, size, kb in rows:
    size_mb, peak = int(size) / 2**20, int(kb) / 1024
    if name == "missing":
        print(f"| missing file (start-up) | 0 | {peak:.1f} | | |")
        continue
    ratio = peak / size_mb
    if size_mb >= 10:
        mem_ratio = max(mem_ratio, ratio)
    print(f"| {name} | {size_mb:.1f} | {peak:.1f} | {ratio:.2f} | {(peak - base) / size_mb:.2f} |")

start = results("startup")
startup = start["quenlit"]["mean"] / start["true"]["mean"]
print(f"\n### Start-up on a missing file\n\nquenlit {start['quenlit']['mean']*1e3:.2f} ms, "
      f"/bin/true {start['true']['mean']*1e3:.2f} ms: ratio {startup:.2f}.\n")

print("### Targets\n")
print("| target | measured | verdict |")
print("|---|---|---|")
print(f"| end-to-end wall within 1.25x the durable floor | {wall_floor:.2f}x | {verdict(wall_floor <= 1.25)} |")
print(f"| CPU at most half of sed's | {cpu_sed:.2f}x | {verdict(cpu_sed <= 0.5)} |")
print(f"| flat time per MiB (CPU per MiB at ten times the size, worst of board lines and both single-line kinds, at most 1.5x) | {flat:.2f}x | {verdict(flat <= 1.5)} |")
print(f"| (information) single pathological lines against board lines, CPU per MiB | {odd_lines:.2f}x | |")
print(f"| peak memory at most 4x the file size (files of 10 MiB and more) | {mem_ratio:.2f}x | {verdict(mem_ratio <= 4)} |")
