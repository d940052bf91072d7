"""What a screen reader is told about the window, read through AT-SPI as one would read it.

Usage (inside a D-Bus session, on a display with a window manager):
    a11y.py INSTALLATION-DIR PATH-FOR-THE-PROGRAM
The program is started in the installation (a PBS one, where the empty data files are disabled)
and must already lie there. Prints each fault and exits 1 if there was one.
"""
import os
import subprocess
import sys
import time

import pyatspi

faults = []


def expect(condition, message):
    if not condition:
        faults.append(message)
    return condition


def poll(seconds, probe):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    return None


def tree(node):
    yield node
    for child in node:
        if child is not None:
            yield from tree(child)


def shown(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def heard(node):
    """The role, name and description of a shown object, as a screen reader would say them."""
    return (node.getRoleName(), node.name, node.description)


install, program_path = sys.argv[1], sys.argv[2]
environment = dict(os.environ, PATH=program_path, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
app = subprocess.Popen(["./Zelvoset"], cwd=install, env=environment)
try:
    def main_window():
        for application in pyatspi.Registry.getDesktop(0):
            if application is not None and application.get_process_id() == app.pid:
                return next((window for window in application if shown(window)), None)
        return None

    window = poll(20, main_window)
    if not window:
        sys.exit("the window never appeared to assistive technology")
    expect(heard(window) == ("frame", "Zelvo Install", ""), f"the window is {heard(window)}")

    panel_name = "Installation Complete"
    options = [
        ("heading", "Select an option to continue.", ""),
        ("push button", "Install demo data", "Install Zelvo demonstration data"),
        ("label", "Install Zelvo demonstration data", ""),
        ("push button", "Install empty data files",
         "Install an initialized set of Zelvo data files for use in a new company setup"),
        ("label", "Install an initialized set of Zelvo data files for use in a new company setup",
         ""),
        ("push button", "Finish", ""),
    ]
    panel = [("panel", panel_name, ""), ("heading", panel_name, ""),
             ("label", "The installation process has finished.  To quit this program, click "
              "Exit.", ""), ("push button", "Exit", "")]
    everything = list(tree(window))[1:]
    seen = [heard(node) for node in everything if shown(node)]
    expect(seen == options, f"the options are heard as {seen}")
    expect(sorted(heard(node) for node in everything) == sorted(options + panel),
           f"the window holds {[heard(node) for node in everything]}")

    buttons = {node.name: node for node in everything if node.getRoleName() == "push button"}
    expect(not buttons["Install empty data files"].getState().contains(pyatspi.STATE_ENABLED),
           "the empty data files button is enabled in a PBS installation")
    expect(buttons["Install demo data"].getState().contains(pyatspi.STATE_FOCUSED),
           "the demo data button does not have the focus at start")

    buttons["Finish"].queryAction().doAction(0)

    def focused():
        return next((node for node in tree(window) if shown(node)
                     and node.getState().contains(pyatspi.STATE_FOCUSED)), None)

    poll(5, lambda: focused() and focused().name == "Exit")
    now = focused()
    expect(now is not None and heard(now) == ("push button", "Exit", "")
           and heard(now.parent) == ("panel", panel_name, ""),
           "after Finish the focus is on "
           + (f"{heard(now)} in {heard(now.parent)}" if now else "nothing"))
    seen = [heard(node) for node in tree(window) if shown(node)][1:]
    expect(seen == panel, f"after Finish the window shows {seen}")
finally:
    app.kill()
    app.wait()

for fault in faults:
    print("FAULT:", fault)
sys.exit(1 if faults else 0)
