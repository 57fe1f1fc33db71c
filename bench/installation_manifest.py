"""The manifest kivrel-bench-generate writes beside a synthetic installation:
one KEY=VALUE a line, '#' lines skipped; the expect-* keys collect every line
of their name, any other key keeps its last value. "search" is the search order it implies."""

import os


def read_manifest(path):
    manifest = {"expect-found": [], "expect-unresolved": [], "expect-missing-function": []}
    with open(path, encoding="latin-1") as f:
        for line in f:
            if line.startswith("#") or "=" not in line:
                continue
            key, value = line.rstrip("\n").split("=", 1)
            if key in manifest and isinstance(manifest[key], list):
                manifest[key].append(value)
            else:
                manifest[key] = value
    manifest["path-list"] = manifest.get("path", "")
    manifest["search"] = [os.path.dirname(manifest["module"]) + "/", manifest["system-dir"] + "/"]
    if manifest.get("windows-dir"):
        manifest["search"].append(manifest["windows-dir"] + "/")
    manifest["search"] += [d + "/" for d in manifest["path-list"].split(";") if d]
    return manifest
