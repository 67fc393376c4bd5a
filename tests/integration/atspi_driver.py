#!/usr/bin/python3
"""Drives the program's window through the accessibility bus (AT-SPI), as a screen reader
user would, one step per run. Exits 0 when the step's checks hold; prints why not."""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

TIMEOUT = 30.0
SIDEBAR = ["Block History", "My Blocked Sites", "Time Restrictions", "Relaxed Policy",
           "Advanced", "Filter Test", "Help & Support"]


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def wait_for(what, find):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        try:
            found = find()
        except gi.repository.GLib.Error:
            found = None
        if found:
            return found
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == int(sys.argv[1]):
            return app
    return None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


FIELD = (Atspi.Role.ENTRY, Atspi.Role.TEXT)
PASSWORD = (Atspi.Role.PASSWORD_TEXT,)
TEXT = (Atspi.Role.LABEL, Atspi.Role.STATIC)
BUTTON = (Atspi.Role.PUSH_BUTTON,)
ITEM = (Atspi.Role.LIST_ITEM,)


def find_all(roles, name=None):
    app = application()
    if app is None:
        return []
    return [n for n in walk(app)
            if n.get_role() in roles and (name is None or n.get_name() == name) and showing(n)]


def find_one(roles, name):
    return wait_for("%s named %r" % (Atspi.role_get_name(roles[0]), name),
                    lambda: (find_all(roles, name) or [None])[0])


def press(node):
    action = node.get_action_iface() if hasattr(node, "get_action_iface") else node
    for i in range(action.get_n_actions()):
        if action.get_action_name(i) in ("Press", "press", "click"):
            action.do_action(i)
            return
    fail("%r has no press action" % node.get_name())


def is_selected(node):
    return node.get_state_set().contains(Atspi.StateType.SELECTED)


def type_into(field, text):
    field.get_editable_text_iface().set_text_contents(text)


def sign_in(email, password, expected_message=None):
    email_field = find_one(FIELD, "E-Mail")
    password_field = find_one(PASSWORD, "Password")
    type_into(email_field, email)
    type_into(password_field, password)
    press(find_one(BUTTON, "login with password"))
    if expected_message is not None:
        # The message under the fields is text a screen reader can read, characters as sent.
        find_one(TEXT, expected_message)


def sidebar():
    entries = wait_for("the sidebar", lambda: [n for n in find_all(ITEM) if n.get_name() in SIDEBAR])
    names = [n.get_name() for n in entries]
    if names != SIDEBAR:
        fail("sidebar entries are %r" % names)
    return {n.get_name(): n for n in entries}


def selected_entry():
    return [name for name, node in sidebar().items() if is_selected(node)]


def step_sign_in(args):
    email, wrong, right, message = args
    if find_one(BUTTON, "Close") is None:
        fail("no close button")
    sign_in(email, wrong, message)
    sign_in(email, right)
    wait_for("Block History selected", lambda: selected_entry() == ["Block History"])
    press(sidebar()["Help & Support"])
    wait_for("Help & Support selected", lambda: selected_entry() == ["Help & Support"])
    press(sidebar()["Block History"])
    wait_for("Block History selected again", lambda: selected_entry() == ["Block History"])


def step_history(args):
    expected = [tuple(row.split("|")) for row in args]
    urls = [row[1] for row in expected]

    def rows():
        found = [n for n in find_all(ITEM) if n.get_name() not in SIDEBAR]
        return found if len(found) == len(expected) else None

    shown = wait_for("%d block-history rows" % len(expected), rows)
    for node, (category, url) in zip(shown, expected):
        columns = [node.get_child_at_index(i).get_name() for i in range(node.get_child_count())]
        if len(columns) != 3 or columns[0] != category or columns[2] != url or not columns[1]:
            fail("row columns are %r, expected %r, a date, %r (rows in order %r)" % (columns, category, url, urls))
        if node.get_name() != ", ".join(columns):
            fail("row name %r does not read its columns %r" % (node.get_name(), columns))
    press(shown[-1])
    wait_for("the last row selected", lambda: is_selected(rows()[-1]) and not is_selected(rows()[0]))


def main():
    Atspi.init()
    step = sys.argv[2]
    wait_for("the program on the accessibility bus", application)
    {"sign-in": step_sign_in, "history": step_history}[step](sys.argv[3:])
    print("OK")


if __name__ == "__main__":
    main()
