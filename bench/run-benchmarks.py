#!/usr/bin/env python3
"""Runs kivrel-scan, its peers and the floor side by side and prints a table.

For each installation (generated, and its double; optionally Wine's own PE
modules as a real corpus) it:
  1. checks that kivrel-scan's report is byte for byte, item values included,
     the report of the plain scan (kivrel-bench-plain), and that it says what
     the generator built;
  2. checks that every other tool found the same modules and the same
     unresolved names as kivrel-scan;
  3. times every tool, in interleaved rounds after a warm-up run, and reports
     the median; peak memory comes from /usr/bin/time -v;
  4. prints a Markdown table: each tool's median, its ratio to kivrel-scan,
     peak memory, kivrel-scan's ratio to the floor, and the growth of the time
     from an installation to its double.

Tools: kivrel-scan; the floor (bench/floor_resolve.cpp); the pefile resolver
(tools/pefile-resolve.py, Debian python3-pefile); the objdump script
(bench/objdump-resolve.sh); and the Windows build of kivrel-scan under wine64.
"""

import argparse
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from installation_manifest import generated_installation, read_manifest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
WINE_CORPUS = ["/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/i386-linux-gnu/wine/i386-windows"]

# Targets of the 3,000-module installation (warm cache).
TARGET_FLOOR_RATIO = 1.3
TARGET_PEFILE_SPEEDUP = 3.5
TARGET_OBJDUMP_SPEEDUP = 20.0
TARGET_DOUBLING_GROWTH = 2.2
TARGET_PEAK_MIB = 64.0
# kivrel-scan --loader (which checks functions too) and its rules without the
# function check, each against the default scan
TARGET_LOADER_RATIO = 1.2
TARGET_FUNCTIONS_RATIO = 1.5  # kivrel-scan --functions against the default scan
TARGET_PEFILE_FUNCTIONS_SPEEDUP = 10.0  # the pefile peer doing the same check


def fold(text):
    return text.translate(str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz"))


def run(command, **kwargs):
    """Runs to the end of the process itself, not of its output: Wine leaves
    service processes behind that hold inherited pipes open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        result = subprocess.run(command, stdout=out, stderr=err, **kwargs)
        out.seek(0)
        err.seek(0)
        result.stdout, result.stderr = out.read(), err.read()
    return result


class Tool:
    """A command to time, and how to read the modules it found from its output."""

    def __init__(self, name, command, parse, env=None, slow=False):
        self.name, self.command, self.parse, self.env, self.slow = name, command, parse, env, slow
        self.times, self.cpu_times, self.peak_kib, self.result = [], [], None, None

    def median(self):
        return statistics.median(self.times) if self.times else None

    def cpu_median(self):
        return statistics.median(self.cpu_times) if self.cpu_times else None


def parse_kivrel_json(stdout):
    report = json.loads(stdout.decode("latin-1"))
    found, unresolved, after_heading = set(), set(), False
    for line in report["lines"]:
        text = line["text"].encode("latin-1", "replace").decode("latin-1")
        if line["value"] != 0:
            found.add(fold(text))
        elif text.startswith("*** "):
            # Only the unresolved names count; --loader's later groups do not.
            after_heading = text == "*** NOT FOUND or INCORRECT ***"
        elif after_heading and text:
            unresolved.add(fold(text))
    return found, unresolved


def missing_functions(tool):
    """The missing-function lines of a kivrel-scan or pefile peer JSON document."""
    report = json.loads(tool.result.stdout.decode("latin-1"))
    lines = set()
    for m in report.get("missingFunctions", []):
        if isinstance(m, str):
            lines.add(m)
            continue
        text = m["name"] if "name" in m else "#%d" % m["ordinal"]
        forwarded = " (forwarded to %s)" % m["forwardedTo"] if "forwardedTo" in m else ""
        lines.add("%s -> %s!%s%s" % (m["importer"], m["module"], text, forwarded))
    return lines


def parse_found_lines(stdout):
    found, unresolved = set(), set()
    for line in stdout.decode("latin-1").splitlines():
        kind, _, value = line.partition(" ")
        (found if kind == "found" else unresolved).add(fold(value))
    return found, unresolved


def parse_pefile_json(stdout):
    report = json.loads(stdout.decode("latin-1"))
    return {fold(p) for p in report["found"]}, {fold(n) for n in report["missing"]}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def parse_wine_json(stdout):
    found, unresolved = parse_kivrel_json(stdout)
    unix = {fold(p[2:].replace("\\", "/")) if p.startswith("z:") else p for p in found}
    return unix, unresolved


def report_lines(stdout):
    """The report lines of a kivrel-scan JSON document, folded, Z: paths as Linux paths: the
    Windows build must give Linux's lines in Linux's order (it keeps the import's spelling)."""
    lines = []
    for line in json.loads(stdout.decode("latin-1"))["lines"]:
        text = fold(line["text"])
        lines.append((text[2:].replace("\\", "/") if text.startswith("z:") else text, line["value"]))
    return lines


def pefile_python():
    for candidate in ("/usr/bin/python3", sys.executable):
        if run([candidate, "-c", "import pefile"]).returncode == 0:
            return candidate
    return None


def make_tools(args, manifest, with_peers):
    m = manifest
    kivrel_args = ["--system-dir", m["system-dir"], "--windows-dir", m.get("windows-dir", ""),
                   "--path", m["path-list"], m["module"]]
    tools = [Tool("kivrel-scan", [os.path.join(args.build_dir, "cli", "kivrel-scan"), "--json"] + kivrel_args,
                  parse_kivrel_json),
             Tool("floor (C++)", [os.path.join(args.build_dir, "bench", "kivrel-bench-floor"), m["module"]]
                  + m["search"], parse_found_lines),
             # Every loader option on: found and unresolved names must be the default's.
             Tool("kivrel-scan --loader", [os.path.join(args.build_dir, "cli", "kivrel-scan"), "--json", "--loader"]
                  + kivrel_args, parse_kivrel_json),
             # The loader rules without the function check, which costs most of --loader.
             Tool("kivrel-scan loader rules", [os.path.join(args.build_dir, "cli", "kivrel-scan"), "--json",
                                                "--api-sets", "--delay-load", "--match-machine", "--module-dir",
                                                "--known-dlls", "--assemblies", "--wow64", "--dot-local"]
                  + kivrel_args, parse_kivrel_json),
             # Forwarders may add modules: compared with the pefile peer's check instead.
             Tool("kivrel-scan --functions", [os.path.join(args.build_dir, "cli", "kivrel-scan"), "--json",
                                              "--functions"] + kivrel_args, None)]
    if not with_peers:
        return tools
    python = pefile_python()
    if python and "pefile" not in args.skip:
        tools.append(Tool("pefile resolver", [python, os.path.join(ROOT, "tools", "pefile-resolve.py"), "--json"]
                          + kivrel_args, parse_pefile_json, slow=True))
        tools.append(Tool("pefile resolver --functions", [python, os.path.join(ROOT, "tools", "pefile-resolve.py"),
                                                          "--json", "--functions"] + kivrel_args, None,
                          slow=True))
    if shutil.which("objdump") and "objdump" not in args.skip:
        tools.append(Tool("objdump script", [os.path.join(ROOT, "bench", "objdump-resolve.sh"), m["module"]]
                          + m["search"], parse_found_lines, slow=True))
    exe = os.path.join(args.win64_build_dir, "cli", "kivrel-scan.exe")
    if "wine" not in args.skip and os.path.exists(exe) and os.path.exists(WINE):
        env = dict(os.environ, WINEPREFIX=os.path.join(args.win64_build_dir, "wineprefix"), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        wine_args = ["--system-dir", windows_path(m["system-dir"]),
                     "--windows-dir", windows_path(m["windows-dir"]) if m.get("windows-dir") else "",
                     "--path", ";".join(windows_path(d) for d in m["path-list"].split(";") if d),
                     windows_path(m["module"])]
        tools.append(Tool("kivrel-scan.exe (wine64)", [WINE, exe, "--json"] + wine_args, parse_wine_json,
                          env=env, slow=True))
        tools.append(Tool("wine64 start-up only", [WINE, exe, "--version"], None, env=env))
    return tools


def check_plain(args, manifest, kivrel_stdout, problems):
    """kivrel-scan's lines must be the plain scan's, texts and item values alike."""
    m = manifest
    plain = run([os.path.join(args.build_dir, "bench", "kivrel-bench-plain"), "--system-dir", m["system-dir"],
                 "--windows-dir", m.get("windows-dir", ""), "--path", m["path-list"], m["module"]])
    expected = plain.stdout
    report = json.loads(kivrel_stdout.decode("latin-1"))
    actual = "".join("%d\t%s\n" % (line["value"], line["text"]) for line in report["lines"]).encode("latin-1")
    if plain.returncode != 0 or actual != expected:
        problems.append("%s: kivrel-scan's report differs from the plain scan's" % m["name"])
        return False
    return True


def measure(tools, runs, slow_runs):
    # The first run is the warm-up, gives the output that is checked, and the
    # peak memory; the timed rounds interleave the tools so that a change of
    # load on the machine affects them alike.
    for tool in tools:
        tool.result = run(["/usr/bin/time", "-v"] + tool.command, env=tool.env)
        match = re.search(rb"Maximum resident set size \(kbytes\): (\d+)", tool.result.stderr)
        tool.peak_kib = int(match.group(1)) if match else None
    for r in range(max(runs, slow_runs)):
        for tool in tools:
            if r >= (slow_runs if tool.slow else runs):
                continue
            start = time.perf_counter()
            child = subprocess.Popen(tool.command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     env=tool.env)
            _, _, usage = os.wait4(child.pid, 0)
            tool.times.append(time.perf_counter() - start)
            tool.cpu_times.append(usage.ru_utime + usage.ru_stime)
            child.returncode = 0  # reaped above


def generate(args, modules, directories, files, seed):
    name = "m%d-d%d-f%d-s%d" % (modules, directories, files, seed)
    root = os.path.join(args.work_dir, name)
    m = generated_installation(args.build_dir, root, modules, directories, files, seed)
    # A real API set schema in the system directory, so that --loader reads
    # one; no generated module imports an API set, so no report changes.
    schema = os.path.join(WINE_CORPUS[0], "apisetschema.dll")
    if os.path.exists(schema) and os.path.isdir(m["system-dir"]):
        shutil.copy(schema, m["system-dir"])
    m["name"] = "%s modules, %s directories, %s files" % (format(int(m["modules"]), ","),
                                                           format(int(m["directories"]), ","),
                                                           format(int(m["files"]), ","))
    return m


def generate_corpus(args):
    root = os.path.join(args.work_dir, "wine-corpus")
    manifest = os.path.join(root, "installation.txt")
    if not os.path.exists(manifest):
        if os.path.exists(root):
            shutil.rmtree(root)
        command = [os.path.join(args.build_dir, "bench", "kivrel-bench-generate")]
        for directory in WINE_CORPUS:
            if os.path.isdir(directory):
                command += ["--corpus", directory]
        result = run(command + [root])
        if result.returncode != 0:
            sys.exit("preparing the Wine corpus failed: %s" % result.stderr.decode())
    m = read_manifest(manifest)
    m["name"] = "Wine's PE modules: an EXE importing all %s DLLs, %s files" % (m["modules"],
                                                                               format(int(m["files"]), ","))
    return m


def check_functions(tools, manifest, problems):
    """kivrel-scan --functions, the pefile peer and the generator name the same missing functions."""
    by_name = {t.name: t for t in tools}
    ours = by_name.get("kivrel-scan --functions")
    if ours is None:
        return
    reference = missing_functions(ours)
    expected = manifest["expect-missing-function"]
    if manifest["expect-found"] and reference != set(expected):
        problems.append("%s: kivrel-scan --functions does not report the missing functions the generator made"
                        % manifest["name"])
    peer = by_name.get("pefile resolver --functions")
    if peer is not None and missing_functions(peer) != reference:
        problems.append("%s: the pefile peer reports other missing functions (%d) than kivrel-scan (%d)"
                        % (manifest["name"], len(missing_functions(peer)), len(reference)))
    if peer is not None and parse_pefile_json(peer.result.stdout)[0] != parse_kivrel_json(ours.result.stdout)[0]:
        problems.append("%s: with --functions the pefile peer found other modules than kivrel-scan" % manifest["name"])


def check_results(tools, manifest, problems):
    kivrel = tools[0]
    if kivrel.result.returncode not in (0, 1):
        problems.append("%s: kivrel-scan failed: %s" % (manifest["name"], kivrel.result.stderr.decode()))
        return
    reference = kivrel.parse(kivrel.result.stdout)
    if manifest["expect-found"]:
        expected = ({fold(p) for p in manifest["expect-found"]}, {fold(n) for n in manifest["expect-unresolved"]})
        if reference != expected:
            problems.append("%s: kivrel-scan does not report what the generator built" % manifest["name"])
    for tool in tools[1:]:
        if tool.parse is None:
            continue
        try:
            got = tool.parse(tool.result.stdout)
        except (ValueError, KeyError):
            got = None
        if got != reference:
            detail = ""
            if got is not None:
                detail = " (%d/%d found, %d/%d unresolved)" % (len(got[0]), len(reference[0]), len(got[1]),
                                                               len(reference[1]))
            problems.append("%s: %s found other modules than kivrel-scan%s" % (manifest["name"], tool.name, detail))
        elif tool.parse is parse_wine_json and report_lines(tool.result.stdout) != report_lines(kivrel.result.stdout):
            problems.append("%s: %s reports other lines or another order than kivrel-scan" % (manifest["name"],
                                                                                           tool.name))


def fmt_time(seconds):
    if seconds is None:
        return "-"
    return "%.3f s" % seconds if seconds < 10 else "%.1f s" % seconds


def print_table(manifest, tools, doubled_tools, doubled_manifest):
    kivrel = tools[0].median()
    print("\n### %s\n" % manifest["name"])
    print("| tool | median | CPU (user+sys) | runs | vs kivrel-scan | peak memory |")
    print("|---|---:|---:|---:|---:|---:|")
    for tool in tools:
        median = tool.median()
        if tool is tools[0]:
            ratio = "1.00"
        elif median >= kivrel:
            ratio = "%.2f x slower" % (median / kivrel)
        else:
            ratio = "%.2f x faster" % (kivrel / median)
        peak = "%.1f MiB" % (tool.peak_kib / 1024) if tool.peak_kib else "-"
        print("| %s | %s | %s | %d | %s | %s |" % (tool.name, fmt_time(median), fmt_time(tool.cpu_median()),
                                                len(tool.times), ratio, peak))
    floor = tools[1].median()
    print("\nkivrel-scan / floor: **%.2f** (CPU time: %.2f)" % (kivrel / floor,
                                                              tools[0].cpu_median() / tools[1].cpu_median()))
    if doubled_tools:
        print("\nDoubled (%s):" % doubled_manifest["name"])
        for before, after in zip(tools, doubled_tools):
            peak = " (peak memory %.1f MiB)" % (after.peak_kib / 1024) if after.peak_kib else ""
            print("- %s: %s, x %.2f (CPU time x %.2f)%s" % (
                after.name, fmt_time(after.median()), after.median() / before.median(),
                after.cpu_median() / before.cpu_median(), peak))


def machine_note():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2 ** 30
    return "%s, %d cores, %.0f GiB, Linux %s" % (cpu, os.cpu_count(), memory, platform.release())


def build(args):
    steps = [["cmake", "--preset", "native", "-B", args.build_dir, "-DCMAKE_BUILD_TYPE=Release"],
             ["cmake", "--build", args.build_dir, "-j2", "--target", "kivrel-scan", "kivrel-bench-floor",
              "kivrel-bench-plain", "kivrel-bench-generate"]]
    if "wine" not in args.skip:
        steps += [["cmake", "--preset", "win64", "-B", args.win64_build_dir, "-DCMAKE_BUILD_TYPE=Release",
                   "-DKIVREL_BUILD_TESTS=OFF"],
                  ["cmake", "--build", args.win64_build_dir, "-j2", "--target", "kivrel-scan"]]
    for step in steps:
        result = subprocess.run(step, cwd=ROOT, stdout=subprocess.DEVNULL)
        if result.returncode != 0:
            sys.exit("build step failed: %s" % " ".join(step))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--win64-build-dir", default=os.path.join(ROOT, "build", "bench-win64"))
    parser.add_argument("--work-dir", default=None, help="where installations are generated (default: BUILD/installations)")
    parser.add_argument("--size", default="3000x25x40000", help="MODULESxDIRECTORIESxFILES (default %(default)s)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--runs", type=int, default=11, help="timed runs of the fast tools (default %(default)s)")
    parser.add_argument("--slow-runs", type=int, default=3,
                        help="timed runs of the pefile, objdump and Wine runs (default %(default)s)")
    parser.add_argument("--skip", default="", help="comma-separated: pefile, objdump, wine, double, corpus")
    parser.add_argument("--no-build", action="store_true", help="use the binaries as they are")
    args = parser.parse_args()
    args.skip = set(filter(None, args.skip.split(",")))
    args.work_dir = args.work_dir or os.path.join(args.build_dir, "installations")
    modules, directories, files = (int(x) for x in args.size.split("x"))

    if not args.no_build:
        build(args)
    server = None
    if "wine" not in args.skip and os.path.exists(WINE):
        env = dict(os.environ, WINEPREFIX=os.path.join(args.win64_build_dir, "wineprefix"), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        os.makedirs(env["WINEPREFIX"], exist_ok=True)
        # One persistent wineserver for the whole run, started before any Wine
        # process, so that every timed start is a warm start.
        server = subprocess.Popen([WINESERVER, "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        subprocess.run([WINE, "wineboot", "--init"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    load_before = os.getloadavg()
    problems = []
    try:
        manifest = generate(args, modules, directories, files, args.seed)
        tools = make_tools(args, manifest, with_peers=True)
        doubled_manifest, doubled_tools = None, None
        if "double" not in args.skip:
            doubled_manifest = generate(args, 2 * modules, 2 * directories, 2 * files, args.seed)
            doubled_tools = make_tools(args, doubled_manifest, with_peers=False)
        corpus_manifest, corpus_tools = None, None
        if "corpus" not in args.skip and os.path.isdir(WINE_CORPUS[0]):
            corpus_manifest = generate_corpus(args)
            corpus_tools = make_tools(args, corpus_manifest, with_peers=True)

        for m, t in ((manifest, tools), (doubled_manifest, doubled_tools), (corpus_manifest, corpus_tools)):
            if t is None:
                continue
            measure(t, args.runs, args.slow_runs)
            check_results(t, m, problems)
            check_functions(t, m, problems)
            check_plain(args, m, t[0].result.stdout, problems)
    finally:
        if server is not None:
            # Ends this prefix's wineserver and the services it started.
            subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            server.wait()
    load_after = os.getloadavg()

    print("## kivrel-scan against its peers and the floor\n")
    print("Machine: %s. Load average before/after: %.1f / %.1f. Median of %d runs (pefile, objdump, Wine: %d), "
          "warm cache." % (machine_note(), load_before[0], load_after[0], args.runs, args.slow_runs))
    print_table(manifest, tools, doubled_tools, doubled_manifest)
    if corpus_tools:
        print_table(corpus_manifest, corpus_tools, None, None)

    print("\n### Targets (%s)\n" % manifest["name"])
    kivrel, floor = tools[0].median(), tools[1].median()
    by_name = {t.name: t for t in tools}
    checks = [("kivrel-scan <= %.1f x the floor" % TARGET_FLOOR_RATIO, kivrel / floor <= TARGET_FLOOR_RATIO,
               "%.2f" % (kivrel / floor))]
    for name in ("kivrel-scan --loader", "kivrel-scan loader rules"):
        if name in by_name:
            ratio = by_name[name].median() / kivrel
            checks.append(("%s <= %.1f x the default scan" % (name, TARGET_LOADER_RATIO),
                           ratio <= TARGET_LOADER_RATIO, "%.2f" % ratio))
    if "kivrel-scan --functions" in by_name:
        functions = by_name["kivrel-scan --functions"].median()
        ratio = functions / kivrel
        checks.append(("kivrel-scan --functions <= %.1f x the default scan" % TARGET_FUNCTIONS_RATIO,
                       ratio <= TARGET_FUNCTIONS_RATIO, "%.2f" % ratio))
        if "pefile resolver --functions" in by_name:
            speedup = by_name["pefile resolver --functions"].median() / functions
            checks.append(("kivrel-scan --functions >= %.0f x faster than the pefile peer doing the same check"
                           % TARGET_PEFILE_FUNCTIONS_SPEEDUP, speedup >= TARGET_PEFILE_FUNCTIONS_SPEEDUP,
                           "%.1f" % speedup))
    if "pefile resolver" in by_name:
        speedup = by_name["pefile resolver"].median() / kivrel
        checks.append(("kivrel-scan >= %.1f x faster than the pefile resolver" % TARGET_PEFILE_SPEEDUP,
                       speedup >= TARGET_PEFILE_SPEEDUP, "%.1f" % speedup))
    if "objdump script" in by_name:
        speedup = by_name["objdump script"].median() / kivrel
        checks.append(("kivrel-scan >= %.0f x faster than the objdump script" % TARGET_OBJDUMP_SPEEDUP,
                       speedup >= TARGET_OBJDUMP_SPEEDUP, "%.0f" % speedup))
    if doubled_tools:
        growth = doubled_tools[0].median() / kivrel
        checks.append(("doubling multiplies kivrel-scan's time by <= %.1f" % TARGET_DOUBLING_GROWTH,
                       growth <= TARGET_DOUBLING_GROWTH, "%.2f" % growth))
        peak, doubled_peak = tools[0].peak_kib / 1024, doubled_tools[0].peak_kib / 1024
        checks.append(("kivrel-scan peak memory <= %.0f MiB, at most doubling with the installation" % TARGET_PEAK_MIB,
                       peak <= TARGET_PEAK_MIB and doubled_peak <= 2 * peak,
                       "%.1f MiB, doubled %.1f MiB" % (peak, doubled_peak)))
    for text, ok, value in checks:
        print("- %s: %s (%s)" % (text, "met" if ok else "NOT met", value))

    print()
    if problems:
        for problem in problems:
            print("RESULT MISMATCH: " + problem)
        return 1
    print("All tools found the same modules; kivrel-scan's reports equal the plain scan's byte for byte.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
