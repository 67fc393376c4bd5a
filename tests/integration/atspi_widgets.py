#!/usr/bin/python3
"""Finds and presses widgets of a running program through the accessibility bus (AT-SPI),
the way a screen reader or a person would see them.

    atspi_driver.py --pid PID wait  --role "push button" --name "Install Update" [--timeout 60]
    atspi_driver.py --pid PID press --role "push button" --name "Install Update" [--timeout 60]
    atspi_driver.py --pid PID wait  --role label --name-contains "VERSION 2.0"

Polls until a matching accessible shows up (exit 0, its name on stdout) or the timeout
passes (exit 1). Only the program with that process id is searched.
"""
import argparse
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def applications(pid):
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(index)
        try:
            if app is not None and app.get_process_id() == pid:
                yield app
        except Exception:
            continue


def matches(node, role, name, contains):
    try:
        if role and node.get_role_name() != role:
            return False
        text = node.get_name() or ""
    except Exception:
        return False
    if name is not None and text != name:
        return False
    if contains is not None and contains not in text:
        return False
    return True


def find(pid, role, name, contains, showing):
    stack = list(applications(pid))
    while stack:
        node = stack.pop()
        if matches(node, role, name, contains):
            if not showing or node.get_state_set().contains(Atspi.StateType.SHOWING):
                return node
        try:
            count = node.get_child_count()
        except Exception:
            continue
        for index in range(min(count, 500)):
            try:
                child = node.get_child_at_index(index)
            except Exception:
                continue
            if child is not None:
                stack.append(child)
    return None


def dump(pid):
    """Prints the program's tree: role, name and whether it shows, indented by depth."""
    stack = [(app, 0) for app in applications(pid)]
    while stack:
        node, depth = stack.pop()
        try:
            showing = node.get_state_set().contains(Atspi.StateType.SHOWING)
            print(f"{'  ' * depth}{node.get_role_name()} {node.get_name()!r}{'' if showing else ' (hidden)'}")
            count = node.get_child_count()
        except Exception:
            continue
        for index in reversed(range(min(count, 500))):
            child = node.get_child_at_index(index)
            if child is not None:
                stack.append((child, depth + 1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("action", choices=["wait", "press", "dump"])
    parser.add_argument("--role")
    parser.add_argument("--name")
    parser.add_argument("--name-contains")
    parser.add_argument("--timeout", type=float, default=60)
    args = parser.parse_args()

    if args.action == "dump":
        dump(args.pid)
        return 0
    deadline = time.monotonic() + args.timeout
    while True:
        node = find(args.pid, args.role, args.name, args.name_contains, showing=True)
        if node is not None:
            if args.action == "press":
                action = node.get_action_iface()
                if action is None or action.get_n_actions() == 0:
                    print("no action on " + node.get_name(), file=sys.stderr)
                    return 2
                action.do_action(0)
            print(node.get_name())
            return 0
        if time.monotonic() > deadline:
            print(f"nothing matched role={args.role} name={args.name} contains={args.name_contains}",
                  file=sys.stderr)
            return 1
        time.sleep(0.2)


if __name__ == "__main__":
    sys.exit(main())
