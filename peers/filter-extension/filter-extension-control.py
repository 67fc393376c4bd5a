#!/usr/bin/env python3
"""Sends commands to the filter-extension stand-in's control channel and prints each answer.

    filter-extension-control.py '{"cmd":"ping"}' '{"cmd":"sync"}'

Each argument is one JSON command; the answers come one per line, in order. The socket is
<runtime dir>/org.norvane.filter.mac.extension.control, the runtime dir NORVANE_RUNTIME_DIR,
else $XDG_RUNTIME_DIR/norvane, else /tmp/norvane-<uid>. Exits 1 when an answer is not ok.
"""
import json
import os
import socket
import sys


def runtime_directory():
    if os.environ.get("NORVANE_RUNTIME_DIR"):
        return os.environ["NORVANE_RUNTIME_DIR"]
    if os.environ.get("XDG_RUNTIME_DIR"):
        return os.path.join(os.environ["XDG_RUNTIME_DIR"], "norvane")
    return "/tmp/norvane-%d" % os.getuid()


def main(commands):
    path = os.path.join(runtime_directory(), "org.norvane.filter.mac.extension.control")
    status = 0
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as connection:
        connection.connect(path)
        channel = connection.makefile("rw", encoding="utf-8")
        for command in commands:
            channel.write(json.dumps(json.loads(command)) + "\n")
            channel.flush()
            answer = channel.readline()
            if not answer:
                sys.exit("the filter extension closed the control channel")
            print(answer, end="")
            if not json.loads(answer).get("ok"):
                status = 1
    return status


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1:]))
