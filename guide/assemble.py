#!/usr/bin/env python3
"""assemble.py -- lays out the pilot's guide as the package carries it: Guide.md and the pictures it
shows, taken from the stand-in's runs of the scenarios (their --out folders).

    assemble.py --guide Guide.md --out DIR RUN_DIR...

Every picture the guide links as pictures/<file>.png is copied from the first run folder that
holds it into DIR/pictures/; a picture no run made is an error (exit 1), so the guide never ships
a picture the build did not make, nor a link to one that is not there.
"""
import argparse
import os
import re
import shutil
import sys

PICTURE = re.compile(r"!\[[^\]]*\]\(pictures/([^)\s]+\.png)\)")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--guide", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("runs", nargs="+")
    args = ap.parse_args()
    with open(args.guide, encoding="utf-8") as f:
        text = f.read()
    names = sorted(set(PICTURE.findall(text)))
    if not names:
        print("assemble.py: %s shows no pictures/*.png" % args.guide, file=sys.stderr)
        return 1
    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(os.path.join(args.out, "pictures"))
    missing = []
    for name in names:
        src = next((os.path.join(r, name) for r in args.runs if os.path.isfile(os.path.join(r, name))), None)
        if src is None:
            missing.append(name)
        else:
            shutil.copyfile(src, os.path.join(args.out, "pictures", name))
    if missing:
        print("assemble.py: no run made %s (runs: %s)" % (", ".join(missing), ", ".join(args.runs)), file=sys.stderr)
        return 1
    shutil.copyfile(args.guide, os.path.join(args.out, "Guide.md"))
    print("guide: %s with %d pictures" % (os.path.join(args.out, "Guide.md"), len(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
