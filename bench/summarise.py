#!/usr/bin/env python3
"""Turns the hyperfine results and the per-run logs of bench/measure in
bench/out into the Markdown tables of bench/RESULTS.md, with each target
marked met or missed. Wall times are hyperfine's medians; CPU time (user +
system) and peak memory are the medians of each command's own runs."""
import json
import os
import platform
import statistics
import subprocess
import sys

out = sys.argv[1]
SHAPES = (("main", "board lines of about 76 bytes"),
          ("short", "short board lines of about 42 bytes, one in 50 a category line"),
          ("tiny", "empty and one-byte lines, one board line"))


def results(name):
    with open(os.path.join(out, name + ".json")) as f:
        return {r["command"]: r for r in json.load(f)["results"]}


def runs(name, command, least=False):
    """(CPU seconds, peak MiB) medians of a command's logged runs; with
    `least` the least CPU time of them."""
    with open(os.path.join(out, f"{name}.{command}.log")) as f:
        rows = [[int(v) for v in line.split()] for line in f if line.strip()]
    times = [(user + system) / 1e6 for user, system, _ in rows]
    cpu = min(times) if least else statistics.median(times)
    peak = statistics.median(kib / 1024 for _, _, kib in rows)
    return cpu, peak


def mib(name):
    return os.path.getsize(os.path.join(out, name + ".2ch")) / 2**20


def verdict(ok):
    return "met" if ok else "**missed**"


def machine():
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo")
                  if l.startswith("model name")), "?")
    fs = subprocess.run(["df", "-T", out], capture_output=True, text=True).stdout.splitlines()[-1].split()[1]
    load = open("/proc/loadavg").read().split()[:3]
    return (f"{os.cpu_count()} x {model}, Linux {platform.release()}, {fs} file system, "
            f"load average {' '.join(load)} at the end")


print(f"Machine: {machine()}.\n")
targets = []
shape_rows = {}
for name, label in SHAPES:
    r = results(name)
    wall = {c: r[c]["median"] for c in ("quenlit", "floor", "sed")}
    measured = {c: runs(name, c) for c in ("quenlit", "floor", "sed")}
    cpu = {c: measured[c][0] for c in measured}
    size = mib(name)
    rewritten = open(os.path.join(out, name + ".rewritten")).read().strip()
    print(f"### {label}: {size:.1f} MiB, {rewritten} lines rewritten\n")
    print("| command | wall (ms) | CPU (ms) | peak memory (MiB) | wall / floor | CPU / floor | CPU / sed | peak / file |")
    print("|---|---|---|---|---|---|---|---|")
    for command, shown in (("quenlit", "quenlit"), ("floor", "durable copy floor"), ("sed", "sed -i.bak")):
        peak = measured[command][1]
        print(f"| {shown} | {wall[command]*1e3:.0f} | {cpu[command]*1e3:.0f} | {peak:.1f} | "
              f"{wall[command]/wall['floor']:.2f} | {cpu[command]/cpu['floor']:.2f} | "
              f"{cpu[command]/cpu['sed']:.2f} | {peak/size:.2f} |")
    print()
    shape_rows[name] = (wall["quenlit"] / wall["floor"], cpu["quenlit"] / cpu["floor"],
                        cpu["quenlit"] / cpu["sed"], measured["quenlit"][1] / size)

print("### Scaling (quenlit alone)\n")
# The work grows with the file; noise only adds to it, so CPU time here is
# the least of each file's runs.
one = results("one")["quenlit"]["median"], runs("one", "quenlit", least=True)[0]
print(f"Fixed cost of a run, on a file of one board line: wall {one[0]*1e3:.1f} ms (median), "
      f"CPU {one[1]*1e3:.1f} ms (least of its runs, as for every file below). "
      "Per MiB is what a run costs beyond that.\n")
print("| file | MiB | wall (ms) | CPU (ms) | wall ms/MiB | CPU ms/MiB | peak memory / file |")
print("|---|---|---|---|---|---|---|")
per_mib = {}
for name, label in (("mb1", "board lines"), ("mb10", "board lines"), ("mb100", "board lines"),
                    ("lead5", "one line: lead bytes with tokens"),
                    ("lead50", "one line: lead bytes with tokens"),
                    ("tokens100k", "one line: 100,000 tokens"),
                    ("tokens1m", "one line: a million tokens")):
    wall = results(name)["quenlit"]["median"]
    cpu, peak = runs(name, "quenlit", least=True)
    size = mib(name)
    per_mib[name] = ((wall - one[0]) * 1e3 / size, (cpu - one[1]) * 1e3 / size)
    print(f"| {label} | {size:.1f} | {wall*1e3:.0f} | {cpu*1e3:.0f} | {per_mib[name][0]:.2f} | "
          f"{per_mib[name][1]:.2f} | {peak/size:.2f} |")
# Flat: CPU time per MiB of board lines from 1 to 100 MiB within 30 % of the
# 100 MiB file's, and of each kind of single huge line within 30 % of the
# same kind ten times larger.
def spread(small, big):
    return per_mib[small][1] / per_mib[big][1]
board = {n: spread(n, "mb100") for n in ("mb1", "mb10")}
huge = {"lead5": spread("lead5", "lead50"), "tokens100k": spread("tokens100k", "tokens1m")}
flat_board = all(0.7 <= v <= 1.3 for v in board.values())
flat_huge = all(0.7 <= v <= 1.3 for v in huge.values())
odd_lines = max(per_mib[n][1] for n in ("lead50", "tokens1m")) / per_mib["mb100"][1]
print()

start = results("startup")
startup = start["quenlit"]["median"] / start["true"]["median"]
base_cpu, base_peak = runs("missing", "quenlit")
print(f"### Start-up on a missing file\n\nquenlit {start['quenlit']['median']*1e3:.2f} ms, "
      f"/bin/true {start['true']['median']*1e3:.2f} ms: ratio {startup:.2f}; "
      f"peak memory {base_peak:.1f} MiB.\n")

print("### Targets\n")
print("| target | " + " | ".join(n for n, _ in SHAPES) + " | verdict |")
print("|---|" + "---|" * len(SHAPES) + "---|")


def row(title, index, limit_of):
    values = [shape_rows[n][index] for n, _ in SHAPES]
    ok = all(v <= limit_of(n) for v, (n, _) in zip(values, SHAPES))
    print(f"| {title} | " + " | ".join(f"{v:.2f}x" for v in values) + f" | {verdict(ok)} |")


row("wall at most 1.25x the durable floor", 0, lambda n: 1.25)
row("CPU at most 1.5x the floor's CPU", 1, lambda n: 1.5)
row("CPU at most 0.5x sed's", 2, lambda n: 0.5)
row("peak memory at most 1.5x the file (2x for tiny lines)", 3, lambda n: 2.0 if n == "tiny" else 1.5)
print()
print("| target | measured | verdict |")
print("|---|---|---|")
print(f"| CPU time per MiB of board lines, 1 and 10 MiB against 100 MiB, within ±30 % | "
      f"{board['mb1']:.2f}x, {board['mb10']:.2f}x | {verdict(flat_board)} |")
print(f"| the same for single huge lines, each kind against ten times its size | "
      f"lead bytes {huge['lead5']:.2f}x, tokens {huge['tokens100k']:.2f}x | {verdict(flat_huge)} |")
print(f"| (information) single huge lines against board lines, CPU per MiB | {odd_lines:.2f}x | |")
print(f"| start-up at most 3x /bin/true | {startup:.2f}x | {verdict(startup <= 3)} |")
