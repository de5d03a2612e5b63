#!/usr/bin/env python3
"""Scores crop positions on the smart-crop evaluation set against its hand-drawn subject boxes.

For each mode and size, quorvane-cli --list-crops tells which part of every photo a run would keep; the
score of a photo is the share of its subject box's area inside that kept window. Prints a Markdown table:
the mean share kept, the share of photos with at least 95% kept, and the losses against centre (photos
where the mode keeps under 95% while centre keeps at least 99%). Photos whose box is "none" (landscapes
without a subject) are listed apart and not counted.

Usage: bench/smart-crop/evaluate.py SETDIR [--modes centre,start,end,smart] [--split train|test|all]
           [--crop-file FILE]... [--per-photo] [--cli PATH]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = [(1080, 2400), (1440, 3200)]
# "# остаётся L,T WxH из W0xH0" or the same in English: only the numbers matter.
KEPT = re.compile(r"^#\D*?(\d+),(\d+)\s+(\d+)x(\d+)\D+(\d+)x(\d+)\s*$")


def read_boxes(path):
    """name -> (box or None, split); box = (left, top, right, bottom), right and bottom exclusive."""
    boxes = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        fields = line.split("#", 1)[0].split()
        if not fields:
            continue
        if len(fields) == 3 and fields[1] == "none":
            boxes[fields[0]] = (None, fields[2])
        elif len(fields) == 6:
            left, top, right, bottom = map(int, fields[1:5])
            if right <= left or bottom <= top:
                sys.exit(f"{path}:{number}: empty box")
            boxes[fields[0]] = ((left, top, right, bottom), fields[5])
        else:
            sys.exit(f"{path}:{number}: expected 'name left top right bottom split' or 'name none split'")
        if boxes[fields[0]][1] not in ("train", "test"):
            sys.exit(f"{path}:{number}: split must be train or test")
    return boxes


def list_crops(cli, setdir, width, height, option, value):
    """Runs the listing; returns ({name: (window, position, listed path)}, None) or (None, reason)."""
    with tempfile.TemporaryDirectory() as receiver:
        run = subprocess.run([cli, "--source", setdir, "--receiver", receiver, "--width", str(width),
                              "--height", str(height), "--list-crops", option, value],
                             capture_output=True, text=True, env=dict(os.environ, LANG="C"))
    if run.returncode != 0:
        reason = (run.stderr.strip().splitlines() or [f"exit status {run.returncode}"])[0]
        return None, reason
    crops, window = {}, None
    for line in run.stdout.splitlines():
        match = KEPT.match(line)
        if match:
            left, top, w, h, full_w, full_h = map(int, match.groups())
            window = (left, top, left + w, top + h, full_w, full_h)
        elif " " in line and not line.startswith("#") and window:
            position, path = line.split(" ", 1)
            name = os.path.splitext(os.path.basename(path))[0]
            crops[name] = (window, position, path)
            window = None
    return crops, None


def kept_share(box, window):
    width = min(box[2], window[2]) - max(box[0], window[0])
    height = min(box[3], window[3]) - max(box[1], window[1])
    if width <= 0 or height <= 0:
        return 0.0
    return width * height / ((box[2] - box[0]) * (box[3] - box[1]))


def crop_file_for_set(path, listed, folder):
    """A copy of a crop file whose paths are the ones the listing writes (matched by file name)."""
    lines = []
    for line in open(path, encoding="utf-8"):
        if line.strip() and not line.startswith("#") and " " in line.strip():
            position, photo = line.strip().split(" ", 1)
            name = os.path.splitext(os.path.basename(photo.replace("\\", "/")))[0]
            line = f"{position} {listed.get(name, photo)}\n"
        lines.append(line)
    copy = os.path.join(folder, os.path.basename(path))
    with open(copy, "w", encoding="utf-8") as out:
        out.writelines(lines)
    return copy


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("setdir", help="folder made by make-set.sh")
    parser.add_argument("--modes", default="centre,start,end,smart", help="comma-separated --crop values")
    parser.add_argument("--split", choices=("train", "test", "all"), default="all")
    parser.add_argument("--crop-file", action="append", default=[], metavar="FILE",
                        help="also score these positions (a --crop-file list), as a mode named after the file")
    parser.add_argument("--per-photo", action="store_true", help="also print each photo's kept share per mode")
    parser.add_argument("--boxes", default=os.path.join(HERE, "boxes.txt"))
    parser.add_argument("--cli", default=os.environ.get("QUORVANE_CLI",
                                                        os.path.join(HERE, "..", "..", "build-dev", "src",
                                                                     "quorvane-cli")))
    args = parser.parse_args()

    setdir = os.path.abspath(args.setdir)
    boxes = read_boxes(args.boxes)
    photos = sorted(name for name, (_, split) in boxes.items() if args.split in ("all", split))
    modes = [mode for mode in args.modes.split(",") if mode]
    if "centre" not in modes:
        modes.insert(0, "centre")  # the losses are counted against it
    runs = [(mode, "--crop", mode) for mode in modes]

    results, unavailable = {}, {}  # (mode, size) -> crops; mode -> reason
    with tempfile.TemporaryDirectory() as folder:
        for size in SIZES:
            for mode, option, value in runs:
                crops, reason = list_crops(args.cli, setdir, *size, option, value)
                if crops is None:
                    unavailable[mode] = reason
                else:
                    results[mode, size] = crops
            listed = {name: crop[2] for crops in results.values() for name, crop in crops.items()}
            for path in args.crop_file:
                mode = os.path.basename(path)
                crops, reason = list_crops(args.cli, setdir, *size, "--crop-file",
                                           crop_file_for_set(path, listed, folder))
                if crops is None:
                    unavailable[mode] = reason
                else:
                    results[mode, size] = crops
    modes += [os.path.basename(path) for path in args.crop_file]

    if "centre" in unavailable:
        sys.exit(f"no listing at centre: {unavailable['centre']}")
    missing = sorted(set(photos) - set(next(iter(results.values()))))
    if missing:
        sys.exit(f"not in {setdir}: {', '.join(missing)} (run make-set.sh)")
    extra = sorted(set(next(iter(results.values()))) - set(boxes))
    if extra:
        print(f"no box for: {', '.join(extra)}", file=sys.stderr)

    subjects = [name for name in photos if boxes[name][0]]
    empty = [name for name in photos if not boxes[name][0]]
    shares = {key: {name: kept_share(boxes[name][0], crops[name][0]) for name in subjects}
              for key, crops in results.items()}

    print(f"Split {args.split}: {len(subjects)} photos with a subject box; "
          f"{len(empty)} without one, not counted ({', '.join(empty) or 'none'}).\n")
    print("| mode | size | mean kept | >= 95% kept | losses against centre |")
    print("| --- | --- | ---: | ---: | ---: |")
    for mode in modes:
        for size in SIZES:
            if (mode, size) not in shares:
                print(f"| {mode} | {size[0]}x{size[1]} | unavailable: {unavailable[mode]} | | |")
                continue
            share, centre = shares[mode, size], shares["centre", size]
            mean = sum(share.values()) / len(subjects) if subjects else 0.0
            good = sum(value >= 0.95 for value in share.values())
            losses = sum(share[name] < 0.95 and centre[name] >= 0.99 for name in subjects)
            print(f"| {mode} | {size[0]}x{size[1]} | {100 * mean:.1f}% | "
                  f"{100 * good / max(len(subjects), 1):.0f}% ({good}) | {losses} |")

    if args.per_photo:
        for size in SIZES:
            available = [mode for mode in modes if (mode, size) in results]
            print(f"\n{size[0]}x{size[1]}: share of the box kept (photos without a subject: the position)\n")
            print("| photo | " + " | ".join(available) + " |")
            print("| --- |" + " ---: |" * len(available))
            for name in photos:
                if boxes[name][0]:
                    cells = [f"{100 * shares[mode, size][name]:.0f}%" for mode in available]
                else:
                    cells = [f"at {results[mode, size][name][1]}" for mode in available]
                print(f"| {name} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
