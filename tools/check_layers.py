#!/usr/bin/env python3
"""Fails when a source includes a header from a layer above its own.

Each folder below may include headers of its own folder and of the folders
listed for it; the build enforces the same through include paths, this
check says it in one place and gives a readable message. Tests, tools and
benchmarks sit on top and may include anything.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
# folder -> folders it may include (besides itself)
ALLOWED = {
    "platform": [],
    "core": ["platform", "core/include"],
    "core/include": [],
    "control/include/plotrane": [],
    "control/data": ["core", "platform"],
    "control/render": ["control/data", "core", "platform", "control/include/plotrane"],
    "control/model": ["control/render", "control/data", "core", "platform",
                      "control/include/plotrane"],
    "control/widget": ["control/model", "control/render", "control/data", "core", "platform",
                       "control/include/plotrane"],
    "viewer/presenter": ["control/include/plotrane"],
    "viewer/doc": ["viewer/presenter", "core", "platform", "control/include/plotrane"],
    "viewer/ui": ["viewer/doc", "viewer/presenter", "core", "platform",
                  "control/include/plotrane"],
    "viewer/automation": ["viewer/ui", "viewer/doc", "viewer/presenter", "core", "platform",
                          "control/include/plotrane"],
    "client": ["core/include"],
}
SOURCE_SUFFIXES = {".c", ".cpp", ".h", ".hpp"}


def layer_of(path):
    rel = path.relative_to(ROOT).parent.as_posix()
    best = None
    for layer in ALLOWED:
        if rel == layer or rel.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    return best


def main():
    headers = {}  # header name (as included) -> layer
    sources = []
    for layer in ALLOWED:
        folder = ROOT / layer
        if not folder.is_dir():
            continue
        for path in folder.rglob("*"):
            if path.suffix in SOURCE_SUFFIXES and layer_of(path) == layer:
                sources.append(path)
                if path.suffix in {".h", ".hpp"}:
                    headers.setdefault(path.name, layer)
                    if layer == "control/include/plotrane":
                        headers["plotrane/" + path.name] = layer
    include = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
    faults = []
    for path in sorted(sources):
        own = layer_of(path)
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = include.match(line)
            if not match:
                continue
            target = headers.get(match.group(1))
            if target is None or target == own or target in ALLOWED[own]:
                continue
            faults.append(f"{path.relative_to(ROOT)}:{number}: {own} includes "
                          f"{match.group(1)} from {target}, a layer it may not use")
    for fault in faults:
        print(fault)
    if faults:
        print(f"check_layers: {len(faults)} upward include(s)")
        return 1
    print(f"check_layers: {len(sources)} sources, no upward include")
    return 0


if __name__ == "__main__":
    sys.exit(main())
