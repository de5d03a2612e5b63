#!/usr/bin/env python3
"""Scores a grid of smart-crop weights on one half of the labelled set, through quorvane-smart-probe and
evaluate.py; prints one line per weight set, best last. The weights found here are frozen in
src/conversion/SmartCrop.h and then reported on the other half.

Usage: tune.py SETDIR [--split train] [--probe build-rel/bench/quorvane-smart-probe]
"""
import argparse
import glob
import itertools
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
# Edges, Colour, RareColour, Skin, EdgeFloor, Taper, CentrePull, CentreMargin
GRID = {
    "Edges": [4, 8, 12],
    "Colour": [3, 6, 9],
    "Skin": [12, 24],
    "CentrePull": [20, 40, 60, 80, 100],
    "CentreMargin": [4, 8],
}
FIXED = {"RareColour": 12, "EdgeFloor": 24, "Taper": 15}
ORDER = ["Edges", "Colour", "RareColour", "Skin", "EdgeFloor", "Taper", "CentrePull", "CentreMargin"]


def score(setdir, split, probe, weights, work):
    text = ",".join(str(weights[name]) for name in ORDER)
    crops = os.path.join(work, "probe.txt")
    with open(crops, "w") as out:
        subprocess.run([probe, "1080", "2400", text] + sorted(glob.glob(os.path.join(setdir, "*.jpg"))),
                       stdout=out, check=True)
    table = subprocess.run([sys.executable, os.path.join(HERE, "evaluate.py"), setdir, "--modes", "centre",
                            "--split", split, "--crop-file", crops], capture_output=True, text=True,
                           check=True).stdout
    row = re.search(r"\| probe\.txt \| 1080x2400 \| ([\d.]+)% \| [\d.]+% \((\d+)\) \| (\d+) \|", table)
    return text, float(row.group(1)), int(row.group(2)), int(row.group(3))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("setdir")
    parser.add_argument("--split", default="train")
    parser.add_argument("--probe", default=os.path.join(HERE, "..", "..", "build-rel", "bench",
                                                        "quorvane-smart-probe"))
    args = parser.parse_args()
    results = []
    with tempfile.TemporaryDirectory() as work:
        for values in itertools.product(*GRID.values()):
            weights = dict(FIXED, **dict(zip(GRID, values)))
            results.append(score(args.setdir, args.split, args.probe, weights, work))
    # Fewest losses against the centre first, then the most kept.
    results.sort(key=lambda r: (-r[3], r[1]))
    for text, kept, whole, losses in results:
        print(f"{text}: mean kept {kept}%, >=95% kept {whole}, losses {losses}")


if __name__ == "__main__":
    main()
