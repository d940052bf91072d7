"""What a screen reader is told, read through AT-SPI: a11y.py INSTALLATION PATH-FOR-THE-PROGRAM.

Starts the program in a PBS installation (the empty data files disabled) and prints each fault.
"""
import os
import subprocess
import sys
import time

import pyatspi

faults = []


def poll(seconds, probe):
    end = time.monotonic() + seconds
    while not (found := probe()) and time.monotonic() < end:
        time.sleep(0.1)
    return found


def tree(node):
    for child in node:
        yield child
        yield from tree(child)


def has(node, state):
    return node.getState().contains(state)


def heard(node):
    return (node.getRoleName(), node.name, node.description)


def shown(window):
    return [heard(node) for node in tree(window) if has(node, pyatspi.STATE_SHOWING)]


def check(what, actual, expected):
    if actual != expected:
        faults.append(f"{what}: {actual}, expected {expected}")


demo, empty = "Install Zelvo demonstration data", \
    "Install an initialized set of Zelvo data files for use in a new company setup"
options = [("heading", "Select an option to continue.", ""),
           ("push button", "Install demo data", demo), ("label", demo, ""),
           ("push button", "Install empty data files", empty), ("label", empty, ""),
           ("push button", "Finish", "")]
panel = [("panel", "Installation Complete", ""), ("heading", "Installation Complete", ""),
         ("label", "The installation process has finished.  To quit this program, click Exit.", ""),
         ("push button", "Exit", "")]

app = subprocess.Popen(["./Zelvoset"], cwd=sys.argv[1], env=dict(
    os.environ, PATH=sys.argv[2], QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
try:
    window = poll(20, lambda: next((a[0] for a in pyatspi.Registry.getDesktop(0)
                                    if a and a.get_process_id() == app.pid and a[0]), None))
    if not window:
        sys.exit("the window never appeared to assistive technology")
    check("the window", heard(window), ("frame", "Zelvo Install", ""))
    check("the options", shown(window), options)
    check("the whole window", sorted(map(heard, tree(window))), sorted(options + panel))
    buttons = {node.name: node for node in tree(window) if node.getRoleName() == "push button"}
    check("empty data files enabled",
          has(buttons["Install empty data files"], pyatspi.STATE_ENABLED), False)

    buttons["Finish"].queryAction().doAction(0)
    poll(5, lambda: has(buttons["Exit"], pyatspi.STATE_FOCUSED))
    focused = [node for node in tree(window) if has(node, pyatspi.STATE_FOCUSED)]
    check("the focus after Finish, in", [(heard(n), heard(n.parent)) for n in focused],
          [(panel[-1], panel[0])])
    check("after Finish", shown(window), panel)
finally:
    app.kill()
    app.wait()

for fault in faults:
    print("FAULT:", fault)
sys.exit(1 if faults else 0)
