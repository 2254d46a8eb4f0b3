"""Checks the simulator window over AT-SPI, as a screen reader sees it: Run's
name follows its caption while held, and the status labels announce their
new values. Runs inside a11y_xvfb.sh, with the window open on a loop."""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

TITLE = "Wren processor simulator"


def find(node, want, depth=0):
    if node is None or depth > 12:
        return None
    try:
        if want(node):
            return node
        for child in node:
            found = find(child, want, depth + 1)
            if found is not None:
                return found
    except Exception:  # a node can vanish while we walk
        return None
    return None


def main():
    frame = None
    for _ in range(100):
        frame = find(pyatspi.Registry.getDesktop(0),
                     lambda a: a.getRoleName() == "frame" and a.name == TITLE)
        if frame is not None:
            break
        time.sleep(0.1)
    if frame is None:
        sys.exit("FAIL: the window is not on the accessibility bus")
    run = find(frame, lambda a: a.getRoleName() == "push button" and a.name == "Run")
    step = find(frame, lambda a: a.getRoleName() == "push button" and a.name == "Step")
    if run is None or step is None:
        sys.exit("FAIL: no buttons named Run and Step")

    seen = {"held": None, "released": None, "labels": []}

    def on_name(event):
        if event.source.getRoleName() == "label":
            seen["labels"].append(event.source.name)

    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    box = run.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    x, y = box.x + box.width // 2, box.y + box.height // 2

    def press():
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "mousedown", "1"], check=True)

    def while_held():
        seen["held"] = run.name
        subprocess.run(["xdotool", "mouseup", "1"], check=True)

    def after():
        seen["released"] = run.name
        pyatspi.Registry.stop()

    GLib.timeout_add(300, lambda: press() and False)
    GLib.timeout_add(1300, lambda: while_held() and False)
    GLib.timeout_add(1800, lambda: after() and False)
    pyatspi.Registry.start()

    failures = []
    if seen["held"] != "Release to stop":
        failures.append(f"Run read {seen['held']!r} while held")
    if seen["released"] != "Run":
        failures.append(f"Run read {seen['released']!r} after release")
    cycles = {name for name in seen["labels"] if name.startswith("Cycles: ")}
    if len(cycles) < 5:
        failures.append(f"the cycle label announced {len(cycles)} values during a 1 s run")
    if failures:
        sys.exit("FAIL: " + "; ".join(failures))
    print(f"a11y: Run read 'Release to stop' while held; {len(cycles)} cycle counts announced")


main()
