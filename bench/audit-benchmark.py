#!/usr/bin/env python3
"""Times kivrel-scan --audit on the benchmark installation.

Generates (or reuses) the installation and its double, then measures, in
interleaved rounds after a warm-up: the single scan of the installation's EXE;
--audit of every directory of its search order (every module a root); and a
run of kivrel-scan per module, timed on a sample of the modules and scaled to
all of them. Peak memory of the audit comes from /usr/bin/time -v, for the
installation and its double (it must not grow with the square of the module
count). Also walks a generated tree of --tree-files files (most of them not PE
images, in nested folders) and its double. Targets: the audit at most 5 times
the single scan and at least 100 times faster than a scan per module; the
walk of the doubled tree at most 2.5 times the walk of the tree.
"""

import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

from installation_manifest import generated_installation

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TARGET_AUDIT_RATIO = 5.0
TARGET_PER_MODULE_SPEEDUP = 100.0
TARGET_WALK_GROWTH = 2.5


def installation(args, modules, directories, files):
    root = os.path.join(args.build_dir, "installations", "m%d-d%d-f%d-s1" % (modules, directories, files))
    m = generated_installation(args.build_dir, root, modules, directories, files)
    options = ["--system-dir", m["system-dir"], "--windows-dir", m.get("windows-dir", ""), "--path", m["path"]]
    search = [os.path.dirname(m["module"]), m["system-dir"]] + ([m["windows-dir"]] if m.get("windows-dir") else [])
    search += [d for d in m["path"].split(";") if d]
    return m, options, search


CPU = {}  # command -> CPU times (user + system) of its timed runs


def timed(command):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    child.returncode = 0  # reaped above
    CPU.setdefault(tuple(command), []).append(usage.ru_utime + usage.ru_stime)
    return time.perf_counter() - start


def cpu_median(command):
    return statistics.median(CPU[tuple(command)])


def peak_kib(command):
    result = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    found = re.search(rb"Maximum resident set size \(kbytes\): (\d+)", result.stderr)
    return int(found.group(1)) if found else 0


def make_tree(root, files):
    """`files` files in folders 3 deep, 1 in 50 a PE image (a copy of Wine's kernel32.dll)."""
    if os.path.isdir(root):
        return
    wine = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/kernel32.dll"
    module = wine if os.path.exists(wine) else None
    rng = random.Random(1)
    for i in range(files):
        folder = os.path.join(root, "d%d" % (i % 10), "e%d" % (i // 10 % 10), "f%d" % (i // 100 % 100))
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "file%d%s" % (i, rng.choice([".txt", ".dat", "", ".png"])))
        if module and i % 50 == 0:
            shutil.copyfile(module, path + ".dll")
        else:
            with open(path, "wb") as f:
                f.write(b"not a module %d\n" % i)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--size", default="3000x25x40000", help="MODULESxDIRECTORIESxFILES (default %(default)s)")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sample", type=int, default=200, help="modules scanned one by one (default %(default)s)")
    parser.add_argument("--tree-files", type=int, default=100000)
    parser.add_argument("--no-build", action="store_true")
    parser.add_argument("--scan-options", default="",
                        help="further options for every scan and audit, e.g. \"--loader\" (default none)")
    args = parser.parse_args()
    if not args.no_build:
        for step in (["cmake", "--preset", "native", "-B", args.build_dir, "-DCMAKE_BUILD_TYPE=Release",
                      "-DKIVREL_BUILD_TESTS=ON"],
                     ["cmake", "--build", args.build_dir, "-j2", "--target", "kivrel-scan", "kivrel-bench-generate"]):
            if subprocess.run(step, cwd=ROOT, stdout=subprocess.DEVNULL).returncode != 0:
                sys.exit("build step failed: " + " ".join(step))
    scan = [os.path.join(args.build_dir, "cli", "kivrel-scan")]
    modules, directories, files = (int(x) for x in args.size.split("x"))
    m, options, search = installation(args, modules, directories, files)
    _, double_options, double_search = installation(args, 2 * modules, 2 * directories, 2 * files)
    options += args.scan_options.split()
    double_options += args.scan_options.split()

    single = scan + options + [m["module"]]
    audit = scan + ["--audit"] + options + search
    # The modules the audit checked (with --verbose every one has a line), to sample from.
    audit_output = subprocess.run(audit + ["--verbose"], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL).stdout.decode("latin-1").splitlines()
    summary = next((line for line in audit_output if " checked, " in line), "")
    roots = sorted(line.split(": ", 1)[0] for line in audit_output[:audit_output.index("")])
    sample = random.Random(1).sample(roots, min(args.sample, len(roots)))

    times = {"single scan": [], "audit": [], "per module (sample)": []}
    load_before = os.getloadavg()[0]
    for r in range(args.runs + 1):
        t_single, t_audit = timed(single), timed(audit)
        t_each = sum(timed(scan + options + ["--module-dir", path]) for path in sample) if r in (0, 1) else None
        if r == 0:
            continue  # the first round warms the cache
        times["single scan"].append(t_single)
        times["audit"].append(t_audit)
        if t_each is not None:
            times["per module (sample)"].append(t_each)
    load_after = os.getloadavg()[0]
    base, audit_time = statistics.median(times["single scan"]), statistics.median(times["audit"])
    per_module = statistics.median(times["per module (sample)"]) * len(roots) / len(sample)
    peak, double_peak = peak_kib(audit), peak_kib(scan + ["--audit"] + double_options + double_search)

    tree = os.path.join(args.build_dir, "installations", "tree-%d" % args.tree_files)
    double_tree = os.path.join(args.build_dir, "installations", "tree-%d" % (2 * args.tree_files))
    make_tree(tree, args.tree_files)
    make_tree(double_tree, 2 * args.tree_files)
    walk = scan + ["--audit", "--recursive", "--system-dir", "", "--path", ""]
    timed(walk + [tree])
    t_tree = statistics.median(timed(walk + [tree]) for _ in range(3))
    timed(walk + [double_tree])
    t_double_tree = statistics.median(timed(walk + [double_tree]) for _ in range(3))

    print("kivrel-scan --audit%s on %d modules, %d directories, %d files (%s); median of %d runs; load average "
          "before/after %.1f / %.1f on %d cores\n" % ((" " + args.scan_options).rstrip(), modules, directories,
                                                      files, summary, args.runs, load_before, load_after,
                                                      os.cpu_count()))
    base_cpu, audit_cpu = cpu_median(single), cpu_median(audit)
    print("| what | time | CPU (user+sys) | vs single scan |")
    print("|---|---:|---:|---:|")
    print("| single scan of the EXE | %.3f s | %.3f s | 1.00 |" % (base, base_cpu))
    print("| --audit, every module (%d roots) | %.3f s | %.3f s | %.2f (CPU %.2f) |" %
          (len(roots), audit_time, audit_cpu, audit_time / base, audit_cpu / base_cpu))
    print("| kivrel-scan per module (%d sampled, scaled to %d) | %.1f s | | %.0f |" %
          (len(sample), len(roots), per_module, per_module / base))
    print("| --audit --recursive, %d-file tree | %.3f s | | |" % (args.tree_files, t_tree))
    print("| --audit --recursive, %d-file tree | %.3f s | | |" % (2 * args.tree_files, t_double_tree))
    print("\nThe audit is %.0f times faster than a scan per module; the doubled tree took %.2f times the tree."
          % (per_module / audit_time, t_double_tree / t_tree))
    print("\nPeak memory of the audit: %.1f MiB; of the doubled installation: %.1f MiB" %
          (peak / 1024, double_peak / 1024))
    checks = [("audit <= %.0f x the single scan" % TARGET_AUDIT_RATIO, audit_time / base <= TARGET_AUDIT_RATIO),
              ("audit >= %.0f x faster than a scan per module" % TARGET_PER_MODULE_SPEEDUP,
               per_module / audit_time >= TARGET_PER_MODULE_SPEEDUP),
              ("doubled tree walk <= %.1f x the tree walk" % TARGET_WALK_GROWTH,
               t_double_tree / t_tree <= TARGET_WALK_GROWTH),
              ("peak memory at most 2.5 x for the doubled installation", double_peak <= 2.5 * peak)]
    for text, ok in checks:
        print("- %s: %s" % (text, "met" if ok else "NOT met"))
    return 0 if all(ok for _, ok in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
