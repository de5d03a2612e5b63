#!/usr/bin/env python3
"""Times quorvane-cli against the decoding floor on each format beyond JPEG and BMP.

For each format folder of the corpus (bench/make-format-corpus.sh: heic, avif, webp, png), the floor is
quorvane-format-floor decoding every file of that folder at full size to 8-bit RGB (RGBA with alpha) with
the format's own library, one file after another on one thread; quorvane-cli --all-formats converts the
same folder with its default jobs (all cores). Runs are interleaved; each figure is the median over the
runs, and the ratio is quorvane-cli's wall time over the floor's in the same run, so a busy moment affects
both alike. User and system are the CPU seconds of the command and its children; peak MiB is the largest
resident set of any one process over all runs. "Converted" counts the JPEGs quorvane-cli wrote in the last
run; where it falls short of the files (exit status 1: files skipped), the ratio is left out.

Usage: bench/compare-formats.py [--corpus DIR] [--cli PATH] [--floor PATH] [--runs N] [--size WxH]
"""
import argparse
import glob
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FORMATS = ("heic", "avif", "webp", "png")


def measure(command, allowed=(0,)):
    """Wall, user and system seconds, peak resident MiB and exit status of a shell command (children included)."""
    start = time.perf_counter()
    child = subprocess.Popen(["sh", "-c", command], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode not in allowed:
        sys.exit(f"failed ({child.returncode}): {command[:200]}")
    return wall, usage.ru_utime, usage.ru_stime, usage.ru_maxrss / 1024.0, child.returncode


def processor():
    """The processor's model name, as the kernel reports it."""
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown processor"


def written(folder):
    return sum(1 for _, _, names in os.walk(folder) for name in names if name.lower().endswith(".jpg"))


def main():
    parser = argparse.ArgumentParser(description="Times quorvane-cli against the decoding floor per format.")
    parser.add_argument("--corpus", default=os.path.join(HERE, "format-corpus"))
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build-rel", "src", "quorvane-cli"))
    parser.add_argument("--floor", default=os.path.join(HERE, "..", "build-rel", "bench", "quorvane-format-floor"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size", default="1080x2400")
    args = parser.parse_args()

    width, height = (int(v) for v in args.size.split("x"))
    folders = {}
    for fmt in FORMATS:
        files = sorted(f for f in glob.glob(os.path.join(args.corpus, fmt, "*")) if os.path.isfile(f))
        if files:
            folders[fmt] = files
    if not folders:
        sys.exit("no corpus: run bench/make-format-corpus.sh first")
    for tool in (args.cli, args.floor):
        if not os.access(tool, os.X_OK):
            sys.exit(f"no {tool}: build it first (-DQUORVANE_BENCH=ON)")
    out = tempfile.mkdtemp(prefix="quorvane-bench-")
    cli = shlex.quote(os.path.abspath(args.cli))
    floor = shlex.quote(os.path.abspath(args.floor))

    results = {}  # (format, tool) -> [(wall, user, system, peak MiB) per run]
    ratios = {}  # format -> [wall(quorvane) / wall(floor) per run]
    converted = {}  # format -> (JPEGs written, exit status) of the last run
    for run in range(args.runs):
        for fmt, files in folders.items():
            floor_run = measure(f"{floor} {' '.join(shlex.quote(f) for f in files)}")
            shutil.rmtree(out)
            os.mkdir(out)
            # Status 1 is a run that skipped files; it is shown in the table, not taken as a failure.
            cli_run = measure(f"{cli} --all-formats --source {shlex.quote(os.path.join(args.corpus, fmt))} "
                              f"--receiver {shlex.quote(out)} --width {width} --height {height}", allowed=(0, 1))
            results.setdefault((fmt, "floor"), []).append(floor_run[:4])
            results.setdefault((fmt, "cli"), []).append(cli_run[:4])
            ratios.setdefault(fmt, []).append(cli_run[0] / floor_run[0])
            converted[fmt] = (written(out), cli_run[4])
        print(f"run {run + 1} of {args.runs} done", file=sys.stderr)
    shutil.rmtree(out, ignore_errors=True)

    print(f"{processor()}, {os.cpu_count()} cores, {width}x{height}, medians of {args.runs} interleaved runs\n")
    header = ["format", "files", "converted", "floor wall", "user", "system", "peak MiB",
              "quorvane-cli wall", "user", "system", "peak MiB", "x floor"]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for fmt, files in folders.items():
        cells = [fmt, str(len(files))]
        done, status = converted[fmt]
        cells.append(f"{done}" + (f" (status {status})" if status else ""))
        for tool in ("floor", "cli"):
            rows = results[(fmt, tool)]
            wall, user, system = (statistics.median(col) for col in list(zip(*rows))[:3])
            cells += [f"{wall:.2f} s", f"{user:.2f} s", f"{system:.2f} s", f"{max(r[3] for r in rows):.0f}"]
        # A ratio over a run that skipped files would time refusals, not decoding.
        cells.append(f"{statistics.median(ratios[fmt]):.2f}" if done == len(files) and not status else "n/a")
        print("| " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
