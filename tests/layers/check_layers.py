#!/usr/bin/env python3
"""Fails when a source file includes from a folder that its layer may not use (see LAYERS.md)."""
import re
import sys
from pathlib import Path

ROOT = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2]
FREE = ("tests", "fuzz", "bench")  # may include anything; nothing may include them


def layers():
    text = (ROOT / "LAYERS.md").read_text()
    block = re.search(r"```layers\n(.*?)```", text, re.S).group(1)
    return {folder: level for level, line in enumerate(block.splitlines())
            for folder in line.split()}


def folder_of(path, known):
    """The longest known folder that holds `path` (a path relative to the root)."""
    parts = Path(path).parts
    for n in range(len(parts) - 1, 0, -1):
        candidate = "/".join(parts[:n])
        if candidate in known or candidate in FREE:
            return candidate
    return None


def main():
    level = layers()
    faults = []
    for source in sorted(ROOT.rglob("*")):
        relative = source.relative_to(ROOT).as_posix()
        if source.suffix not in (".h", ".cpp", ".rc") or relative.startswith("build/"):
            continue
        here = folder_of(relative, level)
        if here is None or here in FREE:
            continue
        for number, line in enumerate(source.read_text(errors="replace").splitlines(), 1):
            match = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not match or "/" not in match.group(1):
                continue
            there = folder_of(match.group(1), level)
            if there is None or there == here:
                continue
            if there in FREE or level.get(there, 99) >= level[here]:
                faults.append(f"{relative}:{number}: {here}/ may not include {match.group(1)}")
    for fault in faults:
        print(fault)
    print(f"check_layers: {len(faults)} include(s) against the layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
