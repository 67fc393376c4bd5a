#!/usr/bin/env python3
"""Makes a signed update of a built application bundle.

    make-update.py --bundle build/Norvane.app --version 1.4.3 --key update.pem \
                   --out build/update [--short-version 1.4.3] [--format tar.xz|tar.gz|zip]
                   [--url-base https://host/Velmora/update/files/] [--channel Stable]

Copies the bundle, sets CFBundleVersion and CFBundleShortVersionString in its Info.plist,
packs it (the archive holds Name.app at its top), signs the archive with the Ed25519 key
and writes next to it appcast.xml with one item for it. Prints the archive's path, length
and signature.
"""
import argparse
import base64
import os
import plistlib
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from email.utils import formatdate
from xml.sax.saxutils import escape, quoteattr


def pack(source_dir, name, archive, fmt):
    if fmt == "zip":
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for folder, dirs, files in os.walk(os.path.join(source_dir, name)):
                for entry in sorted(dirs + files):
                    full = os.path.join(folder, entry)
                    relative = os.path.relpath(full, source_dir)
                    info = zipfile.ZipInfo.from_file(full, relative)
                    if os.path.islink(full):
                        info.external_attr = (0o120777 << 16)
                        z.writestr(info, os.readlink(full))
                    elif os.path.isdir(full):
                        z.writestr(info, b"")
                    else:
                        with open(full, "rb") as f:
                            z.writestr(info, f.read(), zipfile.ZIP_DEFLATED)
        return
    mode = {"tar.xz": "w:xz", "tar.gz": "w:gz"}[fmt]
    with tarfile.open(archive, mode) as t:
        t.add(os.path.join(source_dir, name), arcname=name)


def sign(key, archive):
    signature = subprocess.run(["openssl", "pkeyutl", "-sign", "-rawin", "-inkey", key, "-in", archive],
                               check=True, capture_output=True).stdout
    return base64.b64encode(signature).decode()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--short-version")
    parser.add_argument("--key", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--format", default="tar.xz", choices=["tar.xz", "tar.gz", "zip"])
    parser.add_argument("--url-base", default="https://127.0.0.1/Velmora/update/files/")
    parser.add_argument("--channel", default="Stable")
    args = parser.parse_args()

    bundle = os.path.abspath(args.bundle)
    name = os.path.basename(bundle.rstrip("/"))
    short = args.short_version or args.version
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, name)
        shutil.copytree(bundle, copy, symlinks=True)
        plist_path = os.path.join(copy, "Contents", "Info.plist")
        with open(plist_path, "rb") as f:
            info = plistlib.load(f)
        info["CFBundleVersion"] = args.version
        info["CFBundleShortVersionString"] = short
        with open(plist_path, "wb") as f:
            plistlib.dump(info, f)
        base = os.path.splitext(name)[0]
        archive = os.path.abspath(os.path.join(args.out, f"{base}-{args.version}.{args.format}"))
        pack(work, name, archive, args.format)

    signature = sign(args.key, archive)
    length = os.path.getsize(archive)
    url = args.url_base + os.path.basename(archive)
    item = (
        "    <item>\n"
        f"      <title>Version {escape(short)}</title>\n"
        f"      <sparkle:version>{escape(args.version)}</sparkle:version>\n"
        f"      <sparkle:shortVersionString>{escape(short)}</sparkle:shortVersionString>\n"
        f"      <pubDate>{formatdate(usegmt=True)}</pubDate>\n"
        f"      <enclosure url={quoteattr(url)} length=\"{length}\" type=\"application/octet-stream\" "
        f"channel={quoteattr(args.channel)} sparkle:edSignature=\"{signature}\"/>\n"
        "    </item>\n")
    with open(os.path.join(args.out, "appcast.xml"), "w") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n'
                '<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">\n'
                f"  <channel>\n    <title>{escape(base)}</title>\n{item}  </channel>\n</rss>\n")
    print(f"archive: {archive}\nlength: {length}\nsignature: {signature}")


if __name__ == "__main__":
    sys.exit(main())
