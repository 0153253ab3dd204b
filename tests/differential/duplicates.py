"""zafirel-cli duplicates (as CSV) against our own grouping of the lines of
random collections, for each way of matching, a minimum size and an album.

Usage: duplicates.py ZAFIREL_CLI [SEED]"""
import csv
import io
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collection  # noqa: E402

WAYS = {"name": 1, "name,size": 2, "name,size,date": 3}


def expected(data, way, min_size, album):
    discs, folder, files = collection.read_collection(data)
    groups = {}
    for order, name in enumerate(files):
        number = name.split(".")[0]
        if number not in discs or (album and discs[number][2].strip() != album.upper()):
            continue
        for line in collection.lines_of(os.path.join(folder, name)):
            fields = line.split(";")
            base = fields[0].rsplit("\\", 1)[-1]
            kb = int(fields[1])
            if min_size and kb < math.ceil(min_size / 1024):
                continue
            key = (base.upper(), kb, fields[2])[: WAYS[way]]
            groups.setdefault(key, []).append((number, fields[0], kb, fields[2]))
    found = []
    for copies in groups.values():
        if len({c[0] for c in copies}) < 2:
            continue
        biggest = max(c[2] for c in copies)
        first = copies[0]
        order_key = (-biggest, first[1].rsplit("\\", 1)[-1].upper().encode("cp1252"), first[2], first[3])
        found.append((order_key, copies, biggest))
    found.sort(key=lambda g: g[0])
    rows = []
    for index, (_, copies, biggest) in enumerate(found, 1):
        total = sum(c[2] for c in copies)
        for number, path, kb, date in copies:
            title, user_number, _ = discs[number]
            rows.append([str(index), copies[0][1].rsplit("\\", 1)[-1], str(len(copies)),
                         str(total), number, title, user_number, path, str(kb), date])
    return rows


def main():
    cli = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 2027)
    work = tempfile.mkdtemp(prefix="zafirel-duplicates-")
    failures = checked = groups = 0
    try:
        locale_name = collection.usable_locales()[0]
        data = collection.make_collection(cli, os.path.join(work, "datos"), locale_name, rng,
                                          discs=8)
        for way in WAYS:
            for min_size in (0, 1024, 1048577):
                for album in ("", "Música"):
                    command = [cli, "--data", data, "duplicates", "--by", way, "--format", "csv"]
                    if min_size:
                        command += ["--min-size", str(min_size)]
                    if album:
                        command += ["--album", album]
                    out = subprocess.run(command, capture_output=True, check=True,
                                         env=collection.environment(locale_name)).stdout
                    got = list(csv.reader(io.StringIO(out.decode("utf-8"), newline="")))
                    want = expected(data, way, min_size, album)
                    checked += 1
                    groups += len({row[0] for row in want})
                    if got[0][0] != "group" or got[1:] != want:
                        failures += 1
                        print("MISMATCH: %s" % " ".join(command[3:]))
                        print("  program: %r" % got[1:6])
                        print("  ours:    %r" % want[:5])
    finally:
        shutil.rmtree(work)
    print("%d listings, %d groups, %d mismatches" % (checked, groups, failures))
    return 1 if failures or groups == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
