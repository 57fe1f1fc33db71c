"""The manifest kivrel-bench-generate writes beside a synthetic installation:
one KEY=VALUE a line, '#' lines skipped; the expect-* keys collect every line
of their name, any other key keeps its last value. "search" is the search order it implies."""

import os
import shutil
import subprocess


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


def generated_installation(build_dir, root, modules, directories, files, seed=1):
    """Makes the synthetic installation at ROOT with the built generator unless
    one is there already, and returns its manifest. An installation older than
    the generator is made again: it may lack what today's checks expect (export
    tables, the functions the generator leaves out)."""
    generator = os.path.join(build_dir, "bench", "kivrel-bench-generate")
    manifest = os.path.join(root, "installation.txt")
    if not os.path.exists(manifest) or os.path.getmtime(manifest) < os.path.getmtime(generator):
        shutil.rmtree(root, ignore_errors=True)
        result = subprocess.run([generator, "--modules", str(modules), "--directories", str(directories),
                                 "--files", str(files), "--seed", str(seed), root],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if result.returncode != 0:
            raise SystemExit("generating %s failed: %s" % (root, result.stderr.decode()))
    return read_manifest(manifest)
