#!/usr/bin/env python3
"""Times kivrel-scan's answers against its plain report on one installation.

Generates (or reuses) the benchmark installation, checks that --tree lists
every found module and that the default report is unchanged by the answers,
then times the default report, --tree, --tree --missing-only, --why (a module
deep in the graph), --format ldd and --copy-to (into a fresh directory each
run) in interleaved rounds and prints the medians, their ratio to the default
report and the machine's load. Target: --tree at most 1.5 times the default.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from installation_manifest import generated_installation

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TARGET_TREE_RATIO = 1.5


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--size", default="3000x25x40000", help="MODULESxDIRECTORIESxFILES (default %(default)s)")
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--no-build", action="store_true")
    args = parser.parse_args()
    if not args.no_build:
        for step in (["cmake", "--preset", "native", "-B", args.build_dir, "-DCMAKE_BUILD_TYPE=Release",
                      "-DKIVREL_BUILD_TESTS=ON"],
                     ["cmake", "--build", args.build_dir, "-j2", "--target", "kivrel-scan", "kivrel-bench-generate"]):
            if subprocess.run(step, cwd=ROOT, stdout=subprocess.DEVNULL).returncode != 0:
                sys.exit("build step failed: " + " ".join(step))

    modules, directories, files = args.size.split("x")
    root = os.path.join(args.build_dir, "installations", "m%s-d%s-f%s-s1" % (modules, directories, files))
    m = generated_installation(args.build_dir, root, modules, directories, files)
    scan = [os.path.join(args.build_dir, "cli", "kivrel-scan")]
    inputs = ["--system-dir", m["system-dir"], "--windows-dir", m.get("windows-dir", ""), "--path", m["path"],
              m["module"]]

    report = subprocess.run(scan + inputs, stdout=subprocess.PIPE).stdout.decode("latin-1").splitlines()
    found = [line for line in report if line.startswith("/")]
    tree = subprocess.run(scan + ["--tree"] + inputs, stdout=subprocess.PIPE).stdout.decode("latin-1")
    tree_paths = {line.split(" => ", 1)[1].replace(" (see above)", "") for line in tree.splitlines()[1:]}
    if not set(found) <= tree_paths:
        sys.exit("--tree does not list every module of the report")
    deep = os.path.basename(found[-1])

    work = tempfile.mkdtemp(prefix="kivrel-answers-")
    variants = [("default report", []), ("--tree", ["--tree"]),
                ("--tree --missing-only", ["--tree", "--missing-only"]), ("--why " + deep, ["--why", deep]),
                ("--format ldd", ["--format", "ldd"]), ("--copy-to (fresh)", None)]
    times = {name: [] for name, _ in variants}
    load_before = os.getloadavg()[0]
    try:
        for r in range(args.runs + 1):
            for name, extra in variants:
                if extra is None:
                    destination = os.path.join(work, "dist%d" % r)
                    extra = ["--copy-to", destination]
                start = time.perf_counter()
                subprocess.run(scan + extra + inputs, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if r > 0:  # the first round warms the cache
                    times[name].append(time.perf_counter() - start)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    load_after = os.getloadavg()[0]

    print("kivrel-scan answers on %s modules, %s directories, %s files; median of %d runs; load average "
          "before/after %.1f / %.1f on %d cores\n" % (modules, directories, files, args.runs, load_before,
                                                      load_after, os.cpu_count()))
    print("| command | median | vs default report |")
    print("|---|---:|---:|")
    base = statistics.median(times["default report"])
    for name, _ in variants:
        median = statistics.median(times[name])
        print("| %s | %.3f s | %.2f |" % (name, median, median / base))
    ratio = statistics.median(times["--tree"]) / base
    verdict = "met" if ratio <= TARGET_TREE_RATIO else "NOT met"
    print("\n--tree / default report: %.2f (target <= %.1f: %s)" % (ratio, TARGET_TREE_RATIO, verdict))
    return 0 if ratio <= TARGET_TREE_RATIO else 1


if __name__ == "__main__":
    sys.exit(main())
