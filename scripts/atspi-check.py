#!/usr/bin/python3
"""What a screen reader sees of the Quorvane window, read over AT-SPI.

Run by scripts/atspi-check.sh, which starts the window on a virtual display with a D-Bus session. Prints
the window's accessible tree (role, name, value) and fails when a control has no name, two controls
share a name, or the gauge is not a progress bar with its value; then opens the crop preview and checks
its controls the same way.
"""
import sys
import time

import pyatspi

# Roles a person operates or reads a value from; labels and panels only describe them.
CONTROLS = {
    "push button", "check box", "combo box", "text", "slider", "progress bar", "spin button", "link",
}

# The crop preview's button in the main window and the preview's title, in both languages.
PREVIEW_BUTTONS = {"Кадры снимков", "Crops of the pictures"}
PREVIEW_TITLES = PREVIEW_BUTTONS
# Space on the virtual display's keyboard.
SPACE_KEYCODE = 65


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


def named_controls(rows, failures, controls=CONTROLS):
    """Prints the rows; adds a failure for each control without a name or with another's name."""
    seen = {}
    for depth, role, name, value, in_combo in rows:
        print("  " * depth + f"{role}: {name!r}" + (f" value={value}" if value else ""))
        # The text part of a folder box bears the box's name; a list's items are its entries.
        if role in controls and not (in_combo and role != "text"):
            if not name:
                failures.append(f"{role} without a name")
            elif in_combo:
                pass
            elif name in seen:
                failures.append(f"{role} {name!r} has the name of a {seen[name]}")
            else:
                seen[name] = role


def open_preview(app, rows):
    """Presses the crop preview's button (with the keyboard, as its dialog is modal) and returns the
    preview's window once it shows."""
    for window in app:
        for node in pyatspi.findAllDescendants(window, lambda n: n.getRoleName() == "push button"
                                               and n.name in PREVIEW_BUTTONS):
            node.queryComponent().grabFocus()
            time.sleep(0.5)
            pyatspi.Registry.generateKeyboardEvent(SPACE_KEYCODE, None, pyatspi.KEY_PRESSRELEASE)
            deadline = time.time() + 20
            while time.time() < deadline:
                for shown in app:
                    if shown is not None and shown.name in PREVIEW_TITLES:
                        time.sleep(1)
                        return shown
                time.sleep(0.3)
    return None


def main():
    app = find_application(sys.argv[1] if len(sys.argv) > 1 else "quorvane")
    if app is None:
        print("atspi-check: the application did not appear on the accessibility bus", file=sys.stderr)
        return 1
    rows = []
    for window in app:
        walk(window, 0, rows)
    failures = []
    named_controls(rows, failures)
    gauges = [row for row in rows if row[1] == "progress bar"]
    if len(gauges) != 1 or gauges[0][3] == "":
        failures.append("no progress bar with a value")
    preview = open_preview(app, rows)
    if preview is None:
        failures.append("the crop preview did not open")
    else:
        preview_rows = []
        walk(preview, 0, preview_rows)
        named_controls(preview_rows, failures, CONTROLS | {"list"})
        if not any(row[1] == "list" for row in preview_rows):
            failures.append("the crop preview has no list of pictures")
    for failure in failures:
        print("atspi-check: " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
