#!/usr/bin/env python3
"""Compares what a recovery tool saved with the files laid out in a corpus image.

Usage: corpus-match.py [--by-form FILE] MANIFEST ORIGINALS IMAGE SAVED [MISSES [LIST]]
  --by-form  also writes, per form, a line: form, whole, byte_right, exact
             (tab-separated); a file's form is its name without its number,
             as the corpus makers name them (camera3.jpg and camera12.jpg are
             camera.jpg, id3v24_5.mp3 is id3v24.mp3)
  MANIFEST   corpus-image's output: name, start sector, bytes, whole|damaged (tab-separated)
  ORIGINALS  the folder the image was made from
  IMAGE      the image, where the damaged copies are read
  SAVED      the folder the tool saved into (searched recursively)
  MISSES     optional file to which the whole files not found byte-right or not
             at their exact length, the pieces and the false files are
             written, one per line
  LIST       pictora-cli's --list output of the run, which tells the sector
             each saved file (SAVED/TYPE/NAME) starts at; without it, the
             first number in a saved file's name is taken for its sector, as
             photorec (f0001234.jpg, t0001234.jpg) and foremost -q
             (00001234.jpg) name them

Prints one line: whole byte_right exact saved pieces false
  byte_right  whole files of which a saved file that starts at their sector
              starts with all their bytes (it may run on past their end)
  exact       whole files of which such a saved file is byte-identical
  saved       files the tool saved
  pieces      saved files that start at a later sector of a damaged copy: what
              follows a stretch overwritten with zeros is still the file's own
              data, and a tool may recover it as a file of its own
  false       saved files that are neither: they do not start with the first
              512 bytes of any placed file, whole or damaged (a damaged copy
              starts like its original), nor at a sector of a damaged copy

The corpus holds files of equal content (the same clip as MP4 and M4V, DV
clips of equal length), so a saved file counts only for the file at its own
sector; one whose sector is unknown counts for one file of its content not
yet counted. A tool's own reports (photorec.log, report.xml, foremost's
audit.txt) are not saved files and are skipped.
"""
import collections
import os
import re
import sys

HEAD = 512
REPORTS = {"photorec.log", "report.xml", "audit.txt"}


def main(argv):
    by_form_path = None
    if len(argv) > 2 and argv[1] == "--by-form":
        by_form_path = argv[2]
        argv = argv[:1] + argv[3:]
    if len(argv) < 5:
        sys.stderr.write(__doc__)
        return 2
    manifest, originals, image, saved_root = argv[1:5]
    misses_path = argv[5] if len(argv) > 5 else None
    list_path = argv[6] if len(argv) > 6 else None

    whole = {}  # start sector -> name of the whole file placed there
    damaged = []  # (start sector, bytes) of the damaged copies
    for line in open(manifest, encoding="utf-8"):
        fields = line.rstrip("\n").split("\t")
        if len(fields) != 4:
            continue
        if fields[3] == "whole":
            whole[int(fields[1])] = fields[0]
        else:
            damaged.append((int(fields[1]), int(fields[2])))
    data = {}
    for name in whole.values():
        with open(os.path.join(originals, name), "rb") as f:
            data[name] = f.read()
    longest = max((len(d) for d in data.values()), default=0)

    # The originals by their first bytes (all of them for a file shorter than
    # a sector), one table per key length.
    by_head = collections.defaultdict(lambda: collections.defaultdict(list))
    for name, d in data.items():
        key = d[:HEAD]
        by_head[len(key)][key].append(name)

    # Every later sector of a damaged copy, as the image holds it. Sectors of
    # zeros are left out: they would explain any run of zeros.
    pieces_by_head = set()
    with open(image, "rb") as img:
        for start, size in damaged:
            img.seek(start * HEAD)
            copy = img.read(size)
            for at in range(HEAD, len(copy) - HEAD + 1, HEAD):
                sector = copy[at : at + HEAD]
                if sector.count(0) != HEAD:
                    pieces_by_head.add(sector)

    listed = {}  # saved path -> start sector, from pictora-cli's list
    if list_path:
        for line in open(list_path, encoding="utf-8", errors="replace"):
            fields = line.rstrip("\n").split("\t")
            if len(fields) >= 4 and fields[2].isdigit():
                listed[os.path.join(saved_root, fields[1], fields[0])] = int(fields[2])

    def start_of(path):
        if list_path:
            return listed.get(path)
        number = re.match(r"\D*(\d+)", os.path.basename(path))
        return int(number.group(1)) if number else None

    byte_right, exact = set(), set()
    unplaced = []  # (start bytes, size) of saved files whose sector is unknown
    saved_count, pieces, false_files = 0, [], []
    for folder, _, files in os.walk(saved_root):
        for fname in files:
            if fname in REPORTS:
                continue
            path = os.path.join(folder, fname)
            saved_count += 1
            size = os.path.getsize(path)
            with open(path, "rb") as f:
                start = f.read(longest)
            if not any(start[:length] in table for length, table in by_head.items()):
                if start[:HEAD] in pieces_by_head:
                    pieces.append(os.path.relpath(path, saved_root))
                else:
                    false_files.append(os.path.relpath(path, saved_root))
                continue
            sector = start_of(path)
            if sector is None:
                unplaced.append((start, size))
                continue
            name = whole.get(sector)
            if name is not None and start[: len(data[name])] == data[name]:
                byte_right.add(name)
                if size == len(data[name]):
                    exact.add(name)
    for start, size in unplaced:
        candidates = [n for length, table in by_head.items() for n in table.get(start[:length], ())]
        for name in sorted(candidates):
            if name not in byte_right and start[: len(data[name])] == data[name]:
                byte_right.add(name)
                if size == len(data[name]):
                    exact.add(name)
                break

    print(len(whole), len(byte_right), len(exact), saved_count, len(pieces), len(false_files))
    if misses_path:
        with open(misses_path, "w", encoding="utf-8") as out:
            for sector, name in sorted(whole.items(), key=lambda item: item[1]):
                if name not in byte_right:
                    out.write(f"missing\t{name}\t{sector}\t{len(data[name])}\n")
                elif name not in exact:
                    out.write(f"not-exact\t{name}\t{sector}\t{len(data[name])}\n")
            for path in sorted(pieces):
                out.write(f"piece\t{path}\n")
            for path in sorted(false_files):
                out.write(f"false\t{path}\n")
    if by_form_path:
        forms = collections.defaultdict(lambda: [0, 0, 0])
        for name in whole.values():
            counts = forms[form_of(name)]
            counts[0] += 1
            counts[1] += name in byte_right
            counts[2] += name in exact
        with open(by_form_path, "w", encoding="utf-8") as out:
            for form in sorted(forms):
                out.write(form + "\t" + "\t".join(str(n) for n in forms[form]) + "\n")
    return 0


def form_of(name):
    stem, dot, ext = name.rpartition(".")
    if not dot:
        stem, ext = name, ""
    stem = re.sub(r"_?\d+$", "", stem) or stem
    return stem + dot + ext


if __name__ == "__main__":
    sys.exit(main(sys.argv))
