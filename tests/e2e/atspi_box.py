#!/usr/bin/python3
"""Waits (30 s at most) for a dialog titled TITLE in the accessibility tree and checks what a
screen reader reads of it: TEXT in it, and a push button that has the keyboard focus.

    atspi_box.py TITLE TEXT
"""
import sys
import time

import pyatspi

DIALOG_ROLES = {pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT}


def walk(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def text_of(node):
    try:
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return ""


def find_dialog(title):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        for node in walk(app):
            if node.getRole() in DIALOG_ROLES and node.name == title:
                return app, node
    return None, None


def main():
    title, text = sys.argv[1], sys.argv[2]
    deadline = time.time() + 30
    app = dialog = None
    while time.time() < deadline:
        try:
            app, dialog = find_dialog(title)
        except Exception:  # an application leaving the bus while it is walked
            app = dialog = None
        if dialog is not None:
            break
        time.sleep(0.3)
    if dialog is None:
        sys.exit(f"no dialog titled {title!r} in the accessibility tree")
    print(f"application {app.name!r}: {dialog.getRoleName()} {dialog.name!r}")

    # The focus moves to the button as the box opens: look again for a few seconds.
    button = None
    said = False
    for _ in range(30):
        said = False
        for node in walk(dialog):
            if text in (node.name or "") or text in (node.description or "") or text in text_of(node):
                said = True
            if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.getState().contains(pyatspi.STATE_FOCUSED):
                button = node
        if said and button is not None:
            break
        time.sleep(0.2)
    if not said:
        sys.exit(f"the dialog does not hold the text {text!r}")
    if button is None:
        sys.exit("no push button of the dialog has the keyboard focus")
    print(f"text: {text!r}")
    print(f"focused push button: {button.name!r}")


main()
