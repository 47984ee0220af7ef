#!/usr/bin/env python3
"""Puts the per-form counts of several tools side by side.

Usage: forms-table.py LABEL=FILE [LABEL=FILE ...]
  FILE  corpus-match.py --by-form output of one tool's run on the image

Prints one row per form: the whole files placed, then for each tool
"exact/byte-right" (files saved at their exact length / files of which a
saved file holds every byte). Rows where the first tool saves fewer than all
at their exact length come first.
"""
import sys


def main(argv):
    if len(argv) < 2 or any("=" not in a for a in argv[1:]):
        sys.stderr.write(__doc__)
        return 2
    labels, counts, placed = [], {}, {}
    for arg in argv[1:]:
        label, path = arg.split("=", 1)
        labels.append(label)
        for line in open(path, encoding="utf-8"):
            form, whole, right, exact = line.rstrip("\n").split("\t")
            placed[form] = int(whole)
            counts[(label, form)] = (int(exact), int(right))
    forms = sorted(placed, key=lambda f: (counts.get((labels[0], f), (0, 0))[0] == placed[f], f))
    width = max([len("form")] + [len(f) for f in forms])
    cols = [max(len(l), 9) for l in labels]
    print(f"{'form':<{width}} {'whole':>5} " + " ".join(f"{l:>{c}}" for l, c in zip(labels, cols)))
    for form in forms:
        cells = []
        for label, c in zip(labels, cols):
            exact, right = counts.get((label, form), (0, 0))
            cells.append(f"{f'{exact}/{right}':>{c}}")
        print(f"{form:<{width}} {placed[form]:>5} " + " ".join(cells))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
