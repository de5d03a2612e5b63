#!/usr/bin/python3
"""What a screen reader sees of the Quorvane window, read over AT-SPI.

Run by scripts/atspi-check.sh, which starts the window on a virtual display with a D-Bus session. Prints
the window's accessible tree (role, name, value) and fails when a control has no name, two controls
share a name, or the gauge is not a progress bar with its value.
"""
import sys
import time

import pyatspi

# Roles a person operates or reads a value from; labels and panels only describe them.
CONTROLS = {
    "push button", "check box", "combo box", "text", "slider", "progress bar", "spin button", "link",
}


def find_application(name, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.3)
    return None


def walk(node, depth, rows, in_combo=False):
    try:
        role = node.getRoleName()
        name = node.name
    except Exception:  # an object that went away while being read
        return
    value = ""
    try:
        value = str(node.queryValue().currentValue)
    except NotImplementedError:
        pass
    rows.append((depth, role, name, value, in_combo))
    for child in node:
        if child is not None:
            walk(child, depth + 1, rows, in_combo or role == "combo box")


def main():
    app = find_application(sys.argv[1] if len(sys.argv) > 1 else "quorvane")
    if app is None:
        print("atspi-check: the application did not appear on the accessibility bus", file=sys.stderr)
        return 1
    rows = []
    for window in app:
        walk(window, 0, rows)
    failures = []
    seen = {}
    for depth, role, name, value, in_combo in rows:
        print("  " * depth + f"{role}: {name!r}" + (f" value={value}" if value else ""))
        # The text part of a folder box bears the box's name; a list's items are its entries.
        if role in CONTROLS and not (in_combo and role != "text"):
            if not name:
                failures.append(f"{role} without a name")
            elif in_combo:
                pass
            elif name in seen:
                failures.append(f"{role} {name!r} has the name of a {seen[name]}")
            else:
                seen[name] = role
    gauges = [row for row in rows if row[1] == "progress bar"]
    if len(gauges) != 1 or gauges[0][3] == "":
        failures.append("no progress bar with a value")
    for failure in failures:
        print("atspi-check: " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
