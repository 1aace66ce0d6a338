#!/usr/bin/env python3
"""small_meshes.py SRC_DIR DEST_DIR -- writes, for each mesh file in SRC_DIR, a small copy of it:
every group keeps its own lines (label, material, texture, flags) and the first vertices of its
geometry with the triangles among them; the materials and textures stay whole. The shipped meshes
are 13 to 480 kB, so a fuzzer seeded with them alone mutates inputs it reads at some 40 a second;
seeded with these it spends its time on the reader's branches instead of on the vertex rows."""
import os
import sys

KEEP_VERTICES = 6


def shrink(lines):
    out, i = [], 0
    while i < len(lines):
        words = lines[i].split()
        if words and words[0] == "GEOM" and len(words) >= 3 and words[1].isdigit() and words[2].isdigit():
            nv, nt = int(words[1]), int(words[2])
            vertices = lines[i + 1:i + 1 + nv]
            triangles = lines[i + 1 + nv:i + 1 + nv + nt]
            kept = min(nv, KEEP_VERTICES)
            tris = [t for t in triangles
                    if all(w.isdigit() and int(w) < kept for w in t.split()[:3]) and len(t.split()) >= 3]
            out.append(f"GEOM {kept} {len(tris)}" + (" " + " ".join(words[3:]) if len(words) > 3 else ""))
            out.extend(vertices[:kept])
            out.extend(tris)
            i += 1 + nv + nt
        else:
            out.append(lines[i])
            i += 1
    return out


def main():
    src, dest = sys.argv[1], sys.argv[2]
    os.makedirs(dest, exist_ok=True)
    for name in sorted(os.listdir(src)):
        if not name.endswith(".msh"):
            continue
        with open(os.path.join(src, name), encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
        with open(os.path.join(dest, "small_" + name), "w", encoding="utf-8") as f:
            f.write("\n".join(shrink(lines)) + "\n")


if __name__ == "__main__":
    main()
