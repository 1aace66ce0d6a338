#!/usr/bin/env python3
"""check_package.py -- the release zips' listing against the source tree.

    check_package.py --source REPO --packages DIR --version V

Both zips (Corvane-V-linux-port-<cpu>.zip, Corvane-V-windows-source.zip) must unpack into a
simulator's root: the top level only Config/, Meshes/, Modules/, Scenarios/, Textures/ and
Doc/Corvane/; the data exactly the repository's addon/ tree; the guide and every picture it
links, as PNG files; no build or test junk. The port's zip holds exactly the five modules as the
port loads them (ELF files); the Windows builders' zip no binaries, and the module sources with
their CMake build in Doc/Corvane/Source/. Exit 77 (skipped) when no zip has been built yet, or
when the zips are older than the sources (left from an earlier package).
"""
import argparse
import glob
import os
import re
import sys
import zipfile

TOP = {"Config", "Meshes", "Modules", "Scenarios", "Textures", "Doc"}
PORT_MODULES = {"Modules/libcorvane_bus2.so", "Modules/libcorvane_src.so", "Modules/libcorvane_src_parafoil.so",
                "Modules/libhx220.so", "Modules/Plugin/libCorvaneMFD4.so"}
SOURCE_DIRS = ["common", "bus", "capsule", "parafoil", "helicopter", "l1display"]
JUNK = re.compile(r"(^|/)(CMakeFiles|CMakeCache\.txt|cmake_install\.cmake|Makefile|_CPack_Packages|__pycache__|"
                  r"\.gitkeep|Orbiter\.log|OrbiterSound_Log\.txt|testing|probes|CorvaneProbe)(/|$)|"
                  r"\.(o|a|obj|lib|pyc|png\.txt|csv|ninja)$|_test(_support)?\.(cpp|h)$|CorvaneHarness|"
                  r"(Blank vessel|Drop warp 10|Drop warp 100|Release in flight|Save every class)\.(scn|inputs)$")
PICTURE = re.compile(r"!\[[^\]]*\]\(pictures/([^)\s]+\.png)\)")


def files_under(root, rel, keep=lambda p: True):
    out = set()
    for dirpath, dirnames, filenames in os.walk(os.path.join(root, rel)):
        dirnames[:] = [d for d in dirnames if not d.startswith(".")]
        for fn in filenames:
            p = os.path.relpath(os.path.join(dirpath, fn), root).replace(os.sep, "/")
            if keep(p):
                out.add(p)
    return out


def check_common(name, z, names, source, faults):
    files = {n for n in names if not n.endswith("/")}
    tops = {n.split("/")[0] for n in files}
    allowed = TOP | ({"Sound"} if os.path.isdir(os.path.join(source, "addon", "Sound")) else set())
    for t in sorted(tops - allowed):
        faults.append("%s: %s/ at the top level" % (name, t))
    for n in sorted(files):
        if n.startswith("Doc/") and not n.startswith("Doc/Corvane/"):
            faults.append("%s: %s outside Doc/Corvane/" % (name, n))
        if JUNK.search(n):
            faults.append("%s: build or test file %s" % (name, n))
    data = files_under(os.path.join(source, "addon"), "", lambda p: not p.endswith(".gitkeep"))
    shipped = {n for n in files if n.split("/")[0] in ("Config", "Meshes", "Scenarios", "Textures", "Sound")}
    for n in sorted(data - shipped):
        faults.append("%s: the add-on's %s is missing" % (name, n))
    for n in sorted(shipped - data):
        faults.append("%s: %s is not of the add-on's data" % (name, n))
    if not any(n.startswith("Scenarios/Corvane/") and n.endswith(".scn") for n in files):
        faults.append("%s: no scenario" % name)
    guide = os.path.join(source, "guide", "Guide.md")
    if "Doc/Corvane/Guide.md" not in files:
        faults.append("%s: no Doc/Corvane/Guide.md" % name)
    elif z.read("Doc/Corvane/Guide.md") != open(guide, "rb").read():
        faults.append("%s: Doc/Corvane/Guide.md is not the repository's guide/Guide.md" % name)
    pictures = sorted(set(PICTURE.findall(open(guide, encoding="utf-8").read())))
    if not pictures:
        faults.append("guide/Guide.md links no picture")
    for p in pictures:
        n = "Doc/Corvane/pictures/" + p
        if n not in files:
            faults.append("%s: the guide's picture %s is missing" % (name, n))
        elif z.read(n)[:8] != b"\x89PNG\r\n\x1a\n":
            faults.append("%s: %s is no PNG file" % (name, n))
    return files


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--packages", required=True)
    ap.add_argument("--version", required=True)
    a = ap.parse_args()
    port = sorted(glob.glob(os.path.join(a.packages, "Corvane-%s-linux-port-*.zip" % a.version)))
    win = os.path.join(a.packages, "Corvane-%s-windows-source.zip" % a.version)
    if not port and not os.path.exists(win):
        print("no packages in %s yet (./corvane.sh package)" % a.packages)
        return 77
    # Zips older than the sources they hold are left from an earlier package: skipped, not judged
    # (./corvane.sh package makes them afresh and runs this check at once).
    newest = max(os.path.getmtime(os.path.join(a.source, f)) for d in ["addon", "guide"] + SOURCE_DIRS
                 for f in files_under(a.source, d))
    if all(os.path.getmtime(z) < newest for z in port + ([win] if os.path.exists(win) else [])):
        print("the packages in %s are older than the sources (./corvane.sh package)" % a.packages)
        return 77
    faults = []
    if len(port) != 1:
        faults.append("expected one Corvane-%s-linux-port-<cpu>.zip in %s, found %d" % (a.version, a.packages, len(port)))
    else:
        name = os.path.basename(port[0])
        with zipfile.ZipFile(port[0]) as z:
            files = check_common(name, z, z.namelist(), a.source, faults)
            modules = {n for n in files if n.startswith("Modules/")}
            for n in sorted(PORT_MODULES - modules):
                faults.append("%s: module %s is missing" % (name, n))
            for n in sorted(modules - PORT_MODULES):
                faults.append("%s: %s is not one of the five modules" % (name, n))
            for n in sorted(PORT_MODULES & modules):
                if z.read(n)[:4] != b"\x7fELF":
                    faults.append("%s: %s is no ELF file" % (name, n))
        print("%s: %d files, %d bytes" % (name, len(files), os.path.getsize(port[0])))
    if not os.path.exists(win):
        faults.append("no %s" % win)
    else:
        name = os.path.basename(win)
        with zipfile.ZipFile(win) as z:
            files = check_common(name, z, z.namelist(), a.source, faults)
            for n in sorted(n for n in files if n.startswith("Modules/") or n.endswith((".so", ".dll"))):
                faults.append("%s: binary %s in the sources' package" % (name, n))
            src = "Doc/Corvane/Source/"
            want = {src + "CMakeLists.txt", src + "BUILDING.md"}
            for d in SOURCE_DIRS:
                want |= {src + p for p in files_under(a.source, d, lambda p: (p.endswith((".cpp", ".h")) or
                         p.endswith("/CMakeLists.txt")) and not JUNK.search(p))}
            have = {n for n in files if n.startswith(src)}
            # The sources stand alone: each quoted include is a file of the package (own folder,
            # common/) or the SDK's header, never the stand-in's or a test's.
            for n in sorted(h for h in have if h.endswith((".cpp", ".h"))):
                text = z.read(n).decode("utf-8", "replace")
                for inc in re.findall(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
                    places = [os.path.normpath(os.path.join(os.path.dirname(n), inc)), src + "common/" + inc]
                    if inc != "Orbitersdk.h" and not any(p in have for p in places):
                        faults.append('%s: %s includes "%s", which the package does not hold' % (name, n, inc))
            for n in sorted(want - have):
                faults.append("%s: source %s is missing" % (name, n))
            for n in sorted(have - want):
                faults.append("%s: %s is not a module source" % (name, n))
        print("%s: %d files, %d bytes" % (name, len(files), os.path.getsize(win)))
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
