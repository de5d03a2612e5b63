#!/usr/bin/env python3
"""Times quorvane-cli against the decoding floor and against ImageMagick, GraphicsMagick and vipsthumbnail.

Every tool converts the whole corpus (bench/make-corpus.sh) to each target size. The floor is decoding
every JPEG of the corpus at full size with the floating-point IDCT, one after another. Runs are
interleaved; each figure is the median over the runs, and each ratio is taken against the floor of the
same run, so a busy moment affects both alike.

Usage: bench/compare.py [--corpus DIR] [--cli PATH] [--runs N] [--sizes 176x220,1080x2400]
Needs: djpeg (libjpeg-turbo-progs), imagemagick, graphicsmagick, libvips-tools, GNU time.
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

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(command, env=None):
    """Wall seconds, CPU seconds and peak resident MiB of a shell command (children included)."""
    with tempfile.NamedTemporaryFile(mode="r") as report:
        full = ["/usr/bin/time", "-f", "%e %U %S %M", "-o", report.name, "sh", "-c", command]
        subprocess.run(full, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env={**os.environ, **(env or {})})
        wall, user, system, rss = report.read().split()[-4:]
    return float(wall), float(user) + float(system), int(rss) / 1024.0


def per_file(template, files):
    return "; ".join(template.format(src=shlex.quote(f), name=os.path.basename(f)) for f in files)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    parser.add_argument("--cli", default=os.path.join(HERE, "..", "build-rel", "src", "quorvane-cli"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="176x220,1080x2400")
    args = parser.parse_args()

    jpegs = sorted(glob.glob(os.path.join(args.corpus, "*.jpg")))
    pictures = sorted(jpegs + glob.glob(os.path.join(args.corpus, "*.bmp")))
    if not jpegs:
        sys.exit("no corpus: run bench/make-corpus.sh first")
    out = tempfile.mkdtemp(prefix="quorvane-bench-")
    cli = shlex.quote(os.path.abspath(args.cli))
    corpus = shlex.quote(args.corpus)
    sizes = [tuple(int(v) for v in s.split("x")) for s in args.sizes.split(",")]

    def tools(w, h):
        q = shlex.quote(out)
        return [
            ("quorvane-cli --jobs 1", f"{cli} --source {corpus} --receiver {q} --width {w} --height {h} --jobs 1", None),
            ("quorvane-cli", f"{cli} --source {corpus} --receiver {q} --width {w} --height {h}", None),
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

    floor_cmd = per_file("djpeg -dct float -outfile /dev/null {src}", jpegs)
    results = {}
    for run in range(args.runs):
        for w, h in sizes:
            floor = measure(floor_cmd)
            results.setdefault(("floor (djpeg -dct float)", w, h), []).append(floor + (1.0,))
            for name, command, env in tools(w, h):
                shutil.rmtree(out)
                os.mkdir(out)
                wall, cpu, rss = measure(command, env)
                results.setdefault((name, w, h), []).append((wall, cpu, rss, wall / floor[0]))
        print(f"run {run + 1} of {args.runs} done", file=sys.stderr)
    shutil.rmtree(out, ignore_errors=True)

    print(f"{len(jpegs)} JPEGs and {len(pictures) - len(jpegs)} BMPs, {args.runs} runs, medians")
    print(f"{'tool':32} {'size':>10} {'wall s':>8} {'CPU s':>8} {'peak MiB':>9} {'x floor':>8}")
    for (name, w, h), rows in results.items():
        med = [statistics.median(col) for col in zip(*rows)]
        print(f"{name:32} {f'{w}x{h}':>10} {med[0]:8.2f} {med[1]:8.2f} {max(r[2] for r in rows):9.0f} {med[3]:8.2f}")


if __name__ == "__main__":
    main()
