#!/usr/bin/env bash
# Regenerates the icon font files in resources/ from the pinned Font Awesome Free npm
# package: the solid TTF, its licence text and resources/icons.json (icon name -> code
# point and styles, read from the package's metadata/icons.yml).
# Needs npm and python3 (standard library only). Nothing is installed into the repository.
set -euo pipefail

package="@fortawesome/fontawesome-free@5.15.4"
# The TTF we ship; a different file means the registry served something unexpected.
ttf_sha256="af6397503fcefbd613976c21ad5c1e37298c18bbe07d096db03ccd3af6e05ba8"

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$work" && npm pack --silent "$package" >/dev/null)
tar -xzf "$work"/fortawesome-fontawesome-free-*.tgz -C "$work"
src="$work/package"

echo "$ttf_sha256  $src/webfonts/fa-solid-900.ttf" | sha256sum --check --quiet

mkdir -p "$repo/resources/fonts"
cp "$src/webfonts/fa-solid-900.ttf" "$repo/resources/fonts/fa-solid-900.ttf"
cp "$src/LICENSE.txt" "$repo/resources/fonts/LICENSE-fontawesome.txt"

python3 - "$src/metadata/icons.yml" "$repo/resources/icons.json" "$package" <<'PY'
# icons.yml is a flat mapping of icon name -> fields at two-space indent, with "styles"
# as a block list; that is all we read, so a few lines replace a YAML library.
import json
import re
import sys

source, target, package = sys.argv[1:4]


def unquote(text):
    text = text.strip()
    if len(text) >= 2 and text[0] == text[-1] and text[0] in "'\"":
        return text[1:-1]
    return text


icons = {}
name = None
field = None
with open(source, encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        line = line.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        if not line.startswith(" "):
            match = re.fullmatch(r"(.+?):\s*", line)
            if not match:
                sys.exit(f"{source}:{number}: expected an icon name")
            name = unquote(match.group(1))
            icons[name] = {"unicode": None, "styles": [], "private": False}
            field = None
        elif re.match(r"  [^ ]", line):
            key, _, value = line.strip().partition(":")
            field = key
            if key == "unicode":
                icons[name]["unicode"] = unquote(value)
            elif key == "private":
                icons[name]["private"] = unquote(value) == "true"
        elif field == "styles" and re.match(r"    - ", line):
            icons[name]["styles"].append(unquote(line.strip()[2:]))

# Private icons (the Font Awesome logo) are not in the web fonts.
icons = {name: icon for name, icon in icons.items() if not icon.pop("private")}
for name, icon in icons.items():
    if not icon["unicode"] or not re.fullmatch(r"[0-9a-f]{4,6}", icon["unicode"]):
        sys.exit(f"{source}: icon {name} has no usable unicode value")
    if not icon["styles"]:
        sys.exit(f"{source}: icon {name} has no styles")

# One icon per line keeps diffs of a version change readable.
lines = [
    "  " + json.dumps(name) + ": " + json.dumps(icons[name], separators=(", ", ": "))
    for name in sorted(icons)
]
with open(target, "w", encoding="utf-8") as f:
    f.write("{\n")
    f.write('"package": ' + json.dumps(package) + ",\n")
    f.write('"icons": {\n')
    f.write(",\n".join(lines))
    f.write("\n}\n}\n")
print(f"{target}: {len(icons)} icons")
PY
