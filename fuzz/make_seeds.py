#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_XpcFrameDecoderFuzz from the wire format in
docs/ipc-protocol.md (written independently of the C++ encoder). Each seed starts with the
byte that sets the size of the pieces the fuzz target feeds (value + 1)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "XpcFrameDecoderFuzz")


def frame(kind, body):
    return struct.pack(">HI", kind, len(body)) + body


def hello(version=1):
    return frame(1, b"NVXP" + struct.pack(">H", version))


def text(s):
    b = s.encode()
    return b"\x05" + struct.pack(">I", len(b)) + b


def dictionary(pairs):
    return b"\x07" + struct.pack(">I", len(pairs)) + b"".join(text(k) + text(v) for k, v in pairs)


def call(selector, args, call_id=0, descriptor=False):
    sel = selector.encode()
    body = struct.pack(">I", call_id) if call_id else b""
    body += bytes([1 if descriptor else 0]) + struct.pack(">H", len(sel)) + sel
    body += struct.pack(">H", len(args)) + b"".join(args)
    return frame(3 if call_id else 2, body)


def reply(call_id, status, args):
    return frame(4, struct.pack(">IB", call_id, status) + struct.pack(">H", len(args)) + b"".join(args))


NULL = b"\x00"
TRUE = b"\x01\x01"


def int16(v):
    return b"\x02" + struct.pack(">h", v)


SEEDS = {
    "register": (0, hello() + call("register:", [], call_id=1)),
    "url-blocked": (3, hello() + call("receiveMessageWithId:data:fileHandle:", [
        int16(0), dictionary([("url", "https://ads.example.com/x"), ("category", "Advertising"),
                              ("textTrigger", "")])])),
    "copy-log-with-descriptor": (255, hello() + call("receiveMessageWithId:data:fileHandle:", [
        int16(1), dictionary([("type", "goLog")])], descriptor=True)),
    "send-message": (16, hello() + call("sendMessageWithMessage:completionHandler:", [
        int16(3), dictionary([("request", "1")])], call_id=7)),
    "replies": (1, hello() + reply(1, 0, [TRUE]) + reply(2, 1, [])),
    "every-type": (7, hello() + call("types:", [
        NULL, TRUE, int16(-2), b"\x03" + struct.pack(">i", -70000), b"\x04" + struct.pack(">q", 1 << 40),
        text("grüß"), b"\x06" + struct.pack(">I", 3) + b"\x00\x01\x02",
        b"\x07" + struct.pack(">I", 2) + int16(1) + NULL + text("k") + b"\x06\x00\x00\x00\x00"])),
    "hello-only": (5, hello()),
    "before-handshake": (0, call("register:", [], call_id=1)),
    "over-the-cap": (0, hello() + struct.pack(">HI", 2, 16 * 1024 * 1024 + 1)),
    "truncated": (2, hello() + call("register:", [], call_id=1)[:-3]),
    "other-version": (0, hello(2)),
}

os.makedirs(OUT, exist_ok=True)
for name, (chunk, data) in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes([chunk]) + data)
