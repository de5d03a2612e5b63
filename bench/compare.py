#!/usr/bin/env python3
"""Times quorvane-cli against the decoding floor and against ImageMagick, GraphicsMagick and vipsthumbnail.

Every tool converts the whole corpus (bench/make-corpus.sh) to each target size. The floor is decoding
every JPEG of the corpus at full size with the floating-point IDCT, one after another. Runs are
interleaved; each figure is the median over the runs, and each ratio is taken against the floor of the
same run, so a busy moment affects both alike. User and system are the CPU seconds of the command and
all its children in user space and in the kernel (page faults, zeroing fresh memory, file I/O); their sum
over the wall time is how many cores were kept busy. Peak MiB is the largest resident set of any one
process over all runs. The processor's name is printed with the table: the ratio to the floor moves
between machines, since the cost of a first-touched page (a page fault and the zeroing of the page,
dearer under a hypervisor) weighs on a tool that maps large buffers more than on the floor.

Usage: bench/compare.py [--corpus DIR] [--cli [NAME=]PATH ...] [--runs N] [--sizes 176x220,1080x2400,1440x3200]
                        [--only-quorvane] [--cli-args=ARGS ...]
  --cli            the quorvane-cli to time (default build-rel/src/quorvane-cli); may be given several times,
                   e.g. --cli before=OLD/quorvane-cli --cli after=NEW/quorvane-cli, and NAME labels its rows
  --only-quorvane  time only quorvane-cli and the floor
  --cli-args=ARGS  one quorvane-cli row run with these extra arguments; may be given several times
                   (default: one row with "--jobs 1" and one with none)
Needs: djpeg (libjpeg-turbo-progs); without --only-quorvane also imagemagick, graphicsmagick, libvips-tools.
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


def measure(command, env=None):
    """Wall, user and system seconds and peak resident MiB of a shell command (children included)."""
    start = time.perf_counter()
    child = subprocess.Popen(["sh", "-c", command], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             env={**os.environ, **(env or {})})
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"failed ({child.returncode}): {command[:200]}")
    return wall, usage.ru_utime, usage.ru_stime, usage.ru_maxrss / 1024.0


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


def per_file(template, files):
    return "; ".join(template.format(src=shlex.quote(f), name=os.path.basename(f)) for f in files)


def main():
    parser = argparse.ArgumentParser(description="Times quorvane-cli against the decoding floor and other tools.")
    parser.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    parser.add_argument("--cli", action="append", metavar="[NAME=]PATH",
                        help="quorvane-cli to time (repeatable; NAME labels its rows)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="176x220,1080x2400,1440x3200")
    parser.add_argument("--only-quorvane", action="store_true", help="time only quorvane-cli and the floor")
    parser.add_argument("--cli-args", action="append", metavar="ARGS",
                        help="extra quorvane-cli arguments, one row each (repeatable)")
    args = parser.parse_args()

    jpegs = sorted(glob.glob(os.path.join(args.corpus, "*.jpg")))
    pictures = sorted(jpegs + glob.glob(os.path.join(args.corpus, "*.bmp")))
    if not jpegs:
        sys.exit("no corpus: run bench/make-corpus.sh first")
    out = tempfile.mkdtemp(prefix="quorvane-bench-")
    clis = []
    for given in args.cli or [os.path.join(HERE, "..", "build-rel", "src", "quorvane-cli")]:
        label, named, path = given.partition("=")
        clis.append((label, path) if named else ("", given))
    corpus = shlex.quote(args.corpus)
    sizes = [tuple(int(v) for v in s.split("x")) for s in args.sizes.split(",")]
    cli_args = args.cli_args if args.cli_args is not None else ["--jobs 1", ""]

    def tools(w, h):
        q = shlex.quote(out)
        rows = [(f"quorvane-cli {label} {extra}".replace("  ", " ").strip(),
                 f"{shlex.quote(os.path.abspath(path))} --source {corpus} --receiver {q} --width {w} --height {h} "
                 f"{extra}", None)
                for extra in cli_args for label, path in clis]
        if args.only_quorvane:
            return rows
        return rows + [
            ("ImageMagick, per file", per_file(f"convert-im6.q16 {{src}} -resize {w}x{h}^ -gravity center "
                                               f"-extent {w}x{h} -quality 60 {q}/{{name}}.jpg", pictures), None),
            ("GraphicsMagick, 2 threads", per_file(f"gm convert {{src}} -resize {w}x{h}^ -gravity center "
                                                   f"-extent {w}x{h} -quality 60 {q}/{{name}}.jpg", pictures),
             {"OMP_NUM_THREADS": "2"}),
            ("vipsthumbnail, per file", per_file(f"vipsthumbnail {{src}} --size {w}x{h} --smartcrop centre "
                                                 f"-o {q}/%s.jpg[Q=60]", pictures), None),
            ("vipsthumbnail, one process", f"vipsthumbnail {' '.join(shlex.quote(p) for p in pictures)} "
                                           f"--size {w}x{h} --smartcrop centre -o {q}/%s.jpg[Q=60]", None),
        ]

    floor_name = "floor (`djpeg -dct float`, JPEGs only)"
    floor_cmd = per_file("djpeg -dct float -outfile /dev/null {src}", jpegs)
    results = {}  # (tool, size) -> [(wall, user, system, x floor, peak MiB) per run]
    for run in range(args.runs):
        for w, h in sizes:
            floor = measure(floor_cmd)
            results.setdefault((floor_name, (w, h)), []).append(floor[:3] + (1.0, floor[3]))
            for name, command, env in tools(w, h):
                shutil.rmtree(out)
                os.mkdir(out)
                wall, user, system, rss = measure(command, env)
                results.setdefault((name, (w, h)), []).append((wall, user, system, wall / floor[0], rss))
        print(f"run {run + 1} of {args.runs} done", file=sys.stderr)
    shutil.rmtree(out, ignore_errors=True)

    print(f"{len(jpegs)} JPEGs and {len(pictures) - len(jpegs)} BMPs, {processor()}, {os.cpu_count()} cores, "
          f"medians of {args.runs} interleaved runs\n")
    header = ["tool"] + [f"{w}x{h} {c}" if c == "wall" else c for w, h in sizes
                         for c in ("wall", "user", "system", "x floor", "peak MiB")]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for name in dict.fromkeys(tool for tool, _ in results):
        cells = [name]
        for size in sizes:
            rows = results[(name, size)]
            wall, user, system, ratio, _ = (statistics.median(col) for col in zip(*rows))
            cells += [f"{wall:.2f} s", f"{user:.2f} s", f"{system:.2f} s", f"{ratio:.2f}",
                      f"{max(r[4] for r in rows):.0f}"]
        print("| " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
