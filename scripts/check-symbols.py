#!/usr/bin/python3
"""Proves that the installed engine takes no global name from the program
that links it but those its public headers declare.

    check-symbols.py <prefix>

Lists the external symbols the archives in <prefix>/lib define and finds the
namespace each one's entity lives in, from its mangled name. Names in
`morpotta` and in the standard library pass, and so do the compiler's own
(reserved names) and the weak definitions Bullet's headers make. A global
name passes when the public headers, compiled,
declare it: a probe file that includes them all says `using ::Name;` for
each one, and the compiler's errors name the ones they do not declare.
Fails, listing them demangled, when any global name is left.
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

# Special names whose rest is the encoding or type they are made for:
# typeinfo, its name, vtable, VTT, guard variable, thread-local init and
# wrapper.
SPECIAL_PREFIXES = ("TI", "TS", "TV", "TT", "GV", "TH", "TW")
# Standard-library abbreviations that may open a name.
STD_ABBREVIATIONS = ("St", "Sa", "Sb", "Ss", "Si", "So", "Sd")
# A dependency whose headers define inline members, vtables and typeinfo
# that the archives carry as weak definitions (any program using the same
# headers makes the same ones): Bullet's classes, named bt<Name>.
DEPENDENCY_WEAK_NAMES = re.compile(r"bt[A-Z]")
WEAK_TYPES = ("W", "V", "u")


def source_name(text):
    """Reads a <length><identifier> at the start of text."""
    digits = re.match(r"\d+", text)
    if not digits:
        return None
    length = int(digits.group())
    start = digits.end()
    return text[start:start + length]


def owner_of(mangled):
    """The outermost name of a symbol's entity: 'std' for the standard
    library, the first component of a nested name, the name itself of a
    global entity; None for what the compiler keeps apart (local names);
    the mangled name itself, which no header declares, for any other form
    (a global operator)."""
    if not mangled.startswith("_Z"):
        return mangled
    rest = mangled[2:]
    while True:
        if rest.startswith(SPECIAL_PREFIXES):
            rest = rest[2:]
        elif rest.startswith(("Th", "Tv", "Tc")):
            # Thunks: their call offsets, then the function's encoding.
            rest = re.sub(r"^T[hvc](?:h?n?\d+_|v?n?\d+_n?\d+_)+", "", rest)
        elif rest.startswith("GR"):
            rest = rest[2:]
        elif rest.startswith("Z"):
            # A function's local entity: its owner is the function's.
            rest = rest[1:]
        elif rest.startswith(("N", "P", "R", "O", "K", "r", "V")):
            rest = rest[1:]
        else:
            break
    if rest.startswith(STD_ABBREVIATIONS):
        return "std"
    if rest.startswith("L"):
        return None
    return source_name(rest) or mangled


def defined_symbols(archives):
    """(mangled, nm type, archive) for each external symbol the archives define."""
    output = subprocess.run(["nm", "--defined-only", "--extern-only", "--print-file-name", *archives],
                            check=True, capture_output=True, text=True).stdout
    symbols = set()
    for line in output.splitlines():
        fields = line.split()
        if len(fields) == 3:
            symbols.add((fields[2], fields[1], os.path.basename(line.split(":", 1)[0])))
    return sorted(symbols)


def passes_without_headers(owner, nm_type):
    if nm_type in WEAK_TYPES and DEPENDENCY_WEAK_NAMES.match(owner):
        return True
    if owner in ("morpotta", "std", "__gnu_cxx"):
        return True
    # Reserved names: the compiler's own (a mangled name left whole is not).
    return owner.startswith(("__", "DW.ref.")) or re.match(r"_[A-Y]", owner) is not None


def undeclared_names(names, include_dir):
    """The names of `names` that the public headers do not declare globally."""
    headers = sorted(glob.glob(os.path.join(include_dir, "engine", "*.h")))
    lines = [f'#include "engine/{os.path.basename(h)}"' for h in headers]
    first_probe_line = len(lines) + 2
    lines.append("namespace symbol_probe {")
    lines += [f"using ::{name};" for name in names]
    lines.append("}")
    with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as probe:
        probe.write("\n".join(lines) + "\n")
    try:
        result = subprocess.run(["g++", "-std=c++20", "-fsyntax-only", "-fmax-errors=0", "-I", include_dir,
                                 probe.name], capture_output=True, text=True)
    finally:
        os.unlink(probe.name)
    failed_lines = {int(m.group(1)) for m in re.finditer(re.escape(probe.name) + r":(\d+):\d+: error:",
                                                         result.stderr)}
    if result.returncode != 0 and not failed_lines:
        sys.exit("check-symbols: the public headers do not compile:\n" + result.stderr)
    return {names[line - first_probe_line] for line in failed_lines}


def demangled(symbols):
    output = subprocess.run(["c++filt"], input="\n".join(symbols), check=True, capture_output=True,
                            text=True).stdout
    return output.splitlines()


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check-symbols.py <prefix>")
    prefix = sys.argv[1]
    archives = sorted(glob.glob(os.path.join(prefix, "lib", "*.a")))
    if not archives:
        sys.exit(f"check-symbols: no archives in {prefix}/lib")
    symbols = defined_symbols(archives)
    global_symbols = []
    for mangled, nm_type, archive in symbols:
        owner = owner_of(mangled)
        if owner is None or passes_without_headers(owner, nm_type):
            continue
        global_symbols.append((mangled, archive, owner))
    names = sorted({owner for _, _, owner in global_symbols})
    undeclared = undeclared_names(names, os.path.join(prefix, "include"))
    offending = [(mangled, archive) for mangled, archive, owner in global_symbols if owner in undeclared]
    if not offending:
        print(f"symbols: {len(symbols)} external symbols, {len(names)} global names, all declared "
              "by the public headers")
        return
    print(f"symbols: {len(offending)} external symbols take {len(undeclared)} global names that no public header "
          "declares:", file=sys.stderr)
    for (mangled, archive), readable in zip(offending, demangled([m for m, _ in offending])):
        print(f"  {archive}: {readable}", file=sys.stderr)
    sys.exit(1)


if __name__ == "__main__":
    main()
