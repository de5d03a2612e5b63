#!/usr/bin/env python3
"""Checks a phone catalogue and the list of where its sizes come from.

Usage: python3 scripts/check-catalogue.py [CATALOGUE] [--sources FILE | --no-sources]

CATALOGUE defaults to examples/phone.ini. Every line must be a maker line "[Maker]" or a model line
"Name W/H": one space, a name without spaces, width and height as positive integers, the width not
larger than the height (portrait). The file is ASCII without byte-order mark, has no empty line and
no line break after its last line. Model names and maker lines may occur only once.

The sources file (default: phone-sources.txt beside the catalogue) has a line
"Maker Name W/H  source  [checked: ...]" or "... [not checked: ...]" for every model of the catalogue
and for nothing else; lines starting with "#" are comments. Prints what it finds; exit status 0 when
everything is in order, 1 otherwise.
"""
import argparse
import os
import re
import sys

SIZE = re.compile(r"([1-9][0-9]*)/([1-9][0-9]*)")
SOURCE_MARK = re.compile(r"\[(checked|not checked): [^\]]+\]")


def shown(path):
    relative = os.path.relpath(path)
    return path if relative.startswith("..") else relative


def split_lines(data, report):
    """Splits the catalogue bytes into lines and reports byte-level faults."""
    if data.startswith(b"\xef\xbb\xbf"):
        report(1, "starts with a byte-order mark")
        data = data[3:]
    if not data:
        report(1, "the file is empty")
        return []
    if data.endswith(b"\n"):
        report(data.count(b"\n") + 1, "line break after the last line")
    crlf = data.count(b"\r\n")
    lf = data.count(b"\n") - crlf
    if crlf and lf:
        report(1, "mixes CR LF and LF line ends (%d and %d)" % (crlf, lf))
    lines = []
    for number, raw in enumerate(data.split(b"\n"), 1):
        if raw.endswith(b"\r"):
            raw = raw[:-1]
        for column, byte in enumerate(raw, 1):
            if byte == 0x1A:
                report(number, "Ctrl-Z in column %d ends the text for the loader" % column)
            elif byte == 0x0D:
                report(number, "carriage return inside the line, column %d" % column)
            elif byte < 0x20 or byte == 0x7F:
                report(number, "control character 0x%02X in column %d" % (byte, column))
            elif byte > 0x7F:
                report(number, "non-ASCII byte 0x%02X in column %d" % (byte, column))
        lines.append(raw.decode("ascii", "replace"))
    return lines


def check_catalogue(path, report):
    """Returns {model name: (maker, width, height)} of the well-formed model lines."""
    with open(path, "rb") as stream:
        lines = split_lines(stream.read(), report)
    if lines and lines[-1] == "":
        lines.pop()  # the read after a final line break, already reported
    models = {}
    model_lines = {}
    maker_lines = {}
    maker, maker_line, maker_models = None, 0, 0
    for number, line in enumerate(lines, 1):
        if line.startswith("[") and line.endswith("]") and len(line) >= 2:
            if maker is not None and maker_models == 0:
                report(maker_line, "maker %s has no models" % maker)
            maker, maker_line, maker_models = line[1:-1], number, 0
            if maker == "":
                report(number, "maker line without a name")
            elif "[" in maker or "]" in maker:
                report(number, "bracket inside the maker name %r" % maker)
            elif maker != maker.strip():
                report(number, "blank at the edge of the maker name %r" % maker)
            if maker in maker_lines:
                report(number, "maker %s also on line %d" % (maker, maker_lines[maker]))
            else:
                maker_lines[maker] = number
            continue
        if line == "":
            report(number, "empty line")
            continue
        if line.startswith("["):
            report(number, "maker line must end with ']': %r" % line)
            continue
        if maker is None:
            report(number, "model line before the first maker line")
        maker_models += 1
        if line.count(" ") != 1:
            report(number, "model line needs exactly one space, between name and size: %r" % line)
            continue
        name, size = line.split(" ")
        match = SIZE.fullmatch(size)
        if name == "":
            report(number, "model line without a name")
            continue
        if match is None:
            report(number, "size of %s is not WIDTH/HEIGHT in positive integers: %r" % (name, size))
            continue
        width, height = int(match.group(1)), int(match.group(2))
        if width > height:
            report(number, "%s is %s, the width is larger than the height (portrait sizes only)"
                   % (name, size))
        if name in model_lines:
            report(number, "model %s also on line %d" % (name, model_lines[name]))
            continue
        model_lines[name] = number
        models[name] = (maker, width, height)
    if maker is not None and maker_models == 0:
        report(maker_line, "maker %s has no models" % maker)
    return models


def check_sources(path, models, report):
    listed = {}
    with open(path, "rb") as stream:
        text = stream.read().decode("utf-8", "replace")
    for number, line in enumerate(text.splitlines(), 1):
        if line.strip() == "" or line.startswith("#"):
            continue
        fields = line.split(None, 3)
        if len(fields) < 4 or SIZE.fullmatch(fields[2]) is None:
            report(number, "not a line 'Maker Name W/H  source  [checked: ...]': %r" % line)
            continue
        maker, name, size, rest = fields
        if SOURCE_MARK.search(rest) is None:
            report(number, "%s has no '[checked: ...]' or '[not checked: ...]' mark" % name)
        if name in listed:
            report(number, "model %s also on line %d" % (name, listed[name]))
            continue
        listed[name] = number
        if name not in models:
            report(number, "%s %s is not in the catalogue" % (maker, name))
            continue
        wanted = "%s %s %d/%d" % ((models[name][0], name) + models[name][1:])
        if "%s %s %s" % (maker, name, size) != wanted:
            report(number, "says %s %s %s, the catalogue has %s" % (maker, name, size, wanted))
    for name in models:
        if name not in listed:
            report(0, "no source for %s %s" % (models[name][0], name))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Checks a phone catalogue and its sources.")
    parser.add_argument("catalogue", nargs="?", default=os.path.join(root, "examples", "phone.ini"))
    parser.add_argument("--sources", help="default: phone-sources.txt beside the catalogue")
    parser.add_argument("--no-sources", action="store_true", help="check the catalogue alone")
    options = parser.parse_args()
    sources = options.sources or os.path.join(os.path.dirname(os.path.abspath(options.catalogue)),
                                              "phone-sources.txt")
    faults = []

    def reporter(path):
        def report(line, message):
            faults.append("%s:%s %s" % (shown(path), "%d:" % line if line else "", message))
        return report

    try:
        models = check_catalogue(options.catalogue, reporter(options.catalogue))
        if not options.no_sources:
            check_sources(sources, models, reporter(sources))
    except OSError as error:
        faults.append("%s: %s" % (shown(error.filename or options.catalogue), error.strerror))
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print("check-catalogue: %d problem(s)" % len(faults), file=sys.stderr)
        return 1
    makers = len({maker for maker, _, _ in models.values()})
    print("%s: %d models of %d makers, all well formed%s" % (
        shown(options.catalogue), len(models), makers, "" if options.no_sources else ", sources match"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
