#!/usr/bin/python3
"""An independent module resolver built on the pefile module, as a peer of kivrel-scan.

Given MODULE and the search directories, it finds every module that MODULE
needs, transitively, and prints the set of module paths found and the names
that stayed unresolved. It shares no code with Kivrel: pefile reads the import
tables, and each directory is listed once into a dict keyed by the case-folded
file name.

The search order is kivrel-scan's: the module's own directory (when its
lower-cased path contains ".exe"), --initial-dir, --system-dir, --windows-dir,
then each ';'-separated element of --path (default: the WINEPATH variable, or
PATH on Windows) with %NAME% references expanded. A directory is listed once.

A name is looked for in each directory in order; the first matching file that
pefile reads as a PE image wins. A name without '.' gets one appended and then
matches any extension (as "NAME.*" does), the first such file in ascending
byte order first. Names holding a wildcard, a path separator or a colon, and
"." and "..", are never looked up: they are missing.

Output: the found paths, one per line, ordered by search directory and then
by name (kivrel-scan orders a directory's modules by reference order, so
compare the two as sets), then, if any name is missing (found nowhere, or only
as files that are not PE images), an empty line, "*** NOT FOUND or INCORRECT
***", an empty line and those names. A MODULE that is not a PE image gives the
single line "*** INVALID NT SIGNATURE ***". --json prints one document:
{module, searchDirectories, isPe, found, missing, exitStatus}.

With --functions it also checks every function each found module imports
against the exports of the module the import resolves to, following
forwarders ("MODULE.Name" or "MODULE.#ordinal", split at the last dot, ".dll"
added to a module without extension) for up to 32 links; a forwarder's module
is resolved and scanned like any other name. A function its module lacks, a
loop or a longer chain gives a line "IMPORTER -> MODULE!NAME" (or "!#ORDINAL"),
with " (forwarded to TARGET!NAME)" after a forwarder, after every other group
under "*** MISSING FUNCTIONS ***"; --json adds them as "missingFunctions".
pefile finds a name wherever it is in the name table (no binary search).

Exit status: 0 nothing missing, 1 MODULE is not a PE image or a name or a
function is missing, 2 usage error.

Debian's python3-pefile serves /usr/bin/python3, hence the interpreter line.
"""

import argparse
import itertools
import json
import os
import re
import sys

try:
    import pefile
except ImportError:  # pragma: no cover - depends on the machine
    sys.stderr.write("pefile-resolve: the Python module 'pefile' is missing "
                     "(Debian: apt-get install python3-pefile)\n")
    sys.exit(2)

IMPORT_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]
EXPORT_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]
MAX_FORWARDER_HOPS = 32
UNSEARCHABLE = re.compile(r"[*?\\/:]")


def fold(text):
    """Case folding of ASCII letters only, as Windows compares module names."""
    return text.translate(str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ",
                                        "abcdefghijklmnopqrstuvwxyz"))


def expand(element, environ):
    """Replaces each %NAME% whose variable is set and not empty by its value."""
    out, position = [], 0
    while True:
        start = element.find("%", position)
        end = element.find("%", start + 1) if start >= 0 else -1
        if start < 0 or end < 0:
            out.append(element[position:])
            return "".join(out)
        name = element[start + 1:end]
        value = environ.get(name, "") if name else ""
        if value:
            out.append(element[position:start])
            out.append(value)
        else:
            out.append(element[position:end + 1])
        position = end + 1


def search_directories(module, initial_dir, system_dir, windows_dir, path_list, environ):
    candidates = []
    if ".exe" in fold(module) and os.sep in module:
        candidates.append(module[:module.rfind(os.sep)])
    candidates += [initial_dir, system_dir, windows_dir]
    if path_list:
        candidates += [expand(element, environ) for element in path_list.split(";")]
    directories, seen = [], set()
    for directory in candidates:
        if not directory:
            continue
        if not directory.endswith(os.sep):
            directory += os.sep
        if fold(directory) not in seen:
            seen.add(fold(directory))
            directories.append(directory)
    return directories


class Resolver:
    def __init__(self, directories, functions=False):
        self.directories = directories
        self.functions = functions
        self.listings = {}
        self.parsed = {}
        self.imported = {}  # path -> [(module, [name or ordinal])]
        self.exported = {}  # path -> ({name: index}, {ordinal: index}, [forwarder or None])
        self.resolved = {}  # folded name -> path or None

    def listing(self, directory):
        """Case-folded name -> sorted real names, built once per directory."""
        if directory not in self.listings:
            table = {}
            try:
                names = sorted(os.listdir(directory))
            except OSError:
                names = []
            for name in names:
                table.setdefault(fold(name), []).append(name)
            self.listings[directory] = table
        return self.listings[directory]

    def imports(self, path):
        """The import names of the PE image at `path`, or None when it is not one."""
        if path not in self.parsed:
            try:
                pe = pefile.PE(path, fast_load=True)
                wanted = [IMPORT_DIRECTORY] + ([EXPORT_DIRECTORY] if self.functions else [])
                pe.parse_data_directories(directories=wanted)
                entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                names = [entry.dll.decode("latin-1") for entry in entries if entry.dll]
                if self.functions:
                    self.read_functions(path, pe, entries)
                pe.close()
            except (pefile.PEFormatError, OSError):
                names = None
            self.parsed[path] = names
        return self.parsed[path]

    def read_functions(self, path, pe, entries):
        self.imported[path] = [(entry.dll.decode("latin-1"),
                                [i.name.decode("latin-1") if i.name is not None else i.ordinal
                                 for i in entry.imports]) for entry in entries if entry.dll]
        by_name, by_ordinal, forwarders = {}, {}, []
        exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
        for index, symbol in enumerate(exports.symbols if exports else []):
            if symbol.name is not None:
                by_name[symbol.name.decode("latin-1")] = index
            if symbol.address:
                by_ordinal[symbol.ordinal] = index
            forwarders.append(symbol.forwarder.decode("latin-1") if symbol.forwarder else None)
        self.exported[path] = (by_name, by_ordinal, forwarders)

    def bind(self, path, function):
        """None when `function` binds in the module at `path`, else the last link
        followed ("" for none); None also when a forwarder's module is missing."""
        seen, link = {(path, function)}, ""
        for hop in range(MAX_FORWARDER_HOPS + 2):
            by_name, by_ordinal, forwarders = self.exported[path]
            index = by_ordinal.get(function) if isinstance(function, int) else by_name.get(function)
            if index is None:
                return link
            forwarder = forwarders[index]
            if forwarder is None:
                return None
            if hop == MAX_FORWARDER_HOPS or "." not in forwarder.strip("."):
                return link
            module, name = forwarder.rsplit(".", 1)
            if "." not in module:
                module += ".dll"
            function = int(name[1:]) if name.startswith("#") and name[1:].isdigit() else name
            path = self.find(module)
            if path is None:
                return None
            link = "%s!%s" % (module, name)
            if (path, function) in seen:
                return link
            seen.add((path, function))
        return link

    def check_functions(self, module, found):
        """Lines for the functions that found modules import and do not get;
        `found` grows by the modules forwarders need."""
        lines, done = [], set()
        for index in itertools.count():  # `found` grows while this runs
            if index > len(found):
                return lines
            importer = found[index - 1] if index else module
            if importer in done:
                continue
            done.add(importer)
            for name, functions in self.imported.get(importer, []):
                path = self.find(name)
                if path is None:
                    continue
                for function in functions:
                    link = self.bind(path, function)
                    if link is None:
                        continue
                    text = "#%d" % function if isinstance(function, int) else function
                    lines.append("%s -> %s!%s%s" % (os.path.basename(importer), name, text,
                                                   " (forwarded to %s)" % link if link else ""))

    def find(self, name):
        """The path `name` resolves to, resolving it and its imports now if new."""
        if "." not in name:
            name += "."
        key = fold(name)
        if key not in self.resolved:
            self.queue.append(name)
            self.seen.add(key)
            self.drain()
        return self.resolved.get(key)

    def matches(self, directory, name):
        table = self.listing(directory)
        key = fold(name)
        if key.endswith("."):
            found = [real for folded, reals in table.items()
                     if folded.startswith(key) for real in reals]
            return sorted(found)
        return table.get(key, [])

    def resolve(self, module):
        """Returns (is_pe, found paths in discovery order, missing names)."""
        top = self.imports(module)
        if top is None:
            return False, [], []
        self.found, self.missing, self.queue, self.seen = [], [], [], set()
        self.enqueue(top)
        self.drain()
        return True, self.found, self.missing

    def enqueue(self, names):
        for name in names:
            if "." not in name:
                name += "."
            if fold(name) not in self.seen:
                self.seen.add(fold(name))
                self.queue.append(name)

    def drain(self):
        while self.queue:
            name = self.queue.pop(0)
            path = None
            if name not in (".", "..") and not UNSEARCHABLE.search(name):
                path = self.first_pe(name)
            self.resolved[fold(name)] = path
            if path is None:
                self.missing.append(name)
                continue
            self.found.append(path)
            self.enqueue(self.imports(path))

    def first_pe(self, name):
        for directory in self.directories:
            for real in self.matches(directory, name):
                path = directory + real
                if os.path.isfile(path) and self.imports(path) is not None:
                    return path
        return None


def main(argv):
    parser = argparse.ArgumentParser(
        prog="pefile-resolve",
        description="Resolve the modules MODULE needs with pefile (a peer of kivrel-scan).")
    parser.add_argument("--initial-dir", default="", metavar="DIR")
    parser.add_argument("--system-dir", default="", metavar="DIR")
    parser.add_argument("--windows-dir", default="", metavar="DIR")
    parser.add_argument("--path", default=None, metavar="LIST",
                        help="';'-separated directories searched last, %%NAME%% expanded "
                             "(default: WINEPATH, or PATH on Windows)")
    parser.add_argument("--json", action="store_true", help="print one JSON document")
    parser.add_argument("--functions", action="store_true",
                        help="also check the imported functions against the exports")
    parser.add_argument("module", metavar="MODULE")
    args = parser.parse_args(argv)

    path_list = args.path
    if path_list is None:
        path_list = os.environ.get("PATH" if os.name == "nt" else "WINEPATH", "")
    directories = search_directories(args.module, args.initial_dir, args.system_dir,
                                     args.windows_dir, path_list, os.environ)
    resolver = Resolver(directories, args.functions)
    is_pe, found, missing = resolver.resolve(args.module)
    functions = resolver.check_functions(args.module, found) if is_pe and args.functions else []
    found = sorted(set(found), key=lambda p: (directories.index(p[:p.rfind(os.sep) + 1]),
                                              fold(p)))
    status = 0 if is_pe and not missing and not functions else 1

    if args.json:
        json.dump({"module": args.module, "searchDirectories": directories, "isPe": is_pe,
                   "found": found, "missing": missing, "missingFunctions": functions,
                   "exitStatus": status},
                  sys.stdout, indent=2)
        sys.stdout.write("\n")
    elif not is_pe:
        print("*** INVALID NT SIGNATURE ***")
    else:
        for path in found:
            print(path)
        if missing:
            print("\n*** NOT FOUND or INCORRECT ***\n")
            for name in missing:
                print(name)
        if functions:
            print("\n*** MISSING FUNCTIONS ***\n")
            for line in functions:
                print(line)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
