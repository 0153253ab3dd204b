"""zafirel-cli stats (as CSV) against our own totals of random collections,
in all and within an album.

Usage: stats.py ZAFIREL_CLI [SEED]"""
import csv
import io
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collection  # noqa: E402


def expected(data, album):
    discs, folder, files = collection.read_collection(data)
    sections = {"total": {}, "album": {}, "month": {}, "extension": {}}

    def add(section, name, d, f, kb):
        row = sections[section].setdefault(name, [0, 0, 0])
        row[0] += d
        row[1] += f
        row[2] += kb

    for name in files:
        number = name.split(".")[0]
        if number not in discs or (album and discs[number][2].strip() != album.upper()):
            continue
        lines = collection.lines_of(os.path.join(folder, name))
        kb = 0
        for line in lines:
            fields = line.split(";")
            size = int(fields[1])
            kb += size
            base = fields[0].rsplit("\\", 1)[-1]
            add("extension", base.rsplit(".", 1)[1].upper() if "." in base else "", 0, 1, size)
        written = min(os.stat(os.path.join(folder, number + ext)).st_mtime for ext in (".Ct", ".Ind"))
        for section, key in (("total", ""), ("album", discs[number][2]),
                             ("month", time.strftime("%Y-%m", time.localtime(written)))):
            add(section, key, 1, len(lines), kb)
    rows = []
    for section in ("total", "album", "month", "extension"):
        items = sorted(sections[section].items(), key=lambda item: item[0].encode("cp1252"))
        if section == "extension":
            items.sort(key=lambda item: (-item[1][1], -item[1][2]))
        if section == "total" and not items:
            items = [("", [0, 0, 0])]
        rows += [[section, name] + [str(v) for v in values] for name, values in items]
    return rows


def main():
    cli = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 2029)
    work = tempfile.mkdtemp(prefix="zafirel-stats-")
    failures = 0
    try:
        locale_name = collection.usable_locales()[0]
        env = collection.environment(locale_name)
        data = collection.make_collection(cli, os.path.join(work, "datos"), locale_name, rng,
                                          discs=7)
        for album in ("", "Música", "PC"):
            command = [cli, "--data", data, "stats", "--format", "csv"]
            if album:
                command += ["--album", album]
            out = subprocess.run(command, capture_output=True, check=True, env=env).stdout
            got = list(csv.reader(io.StringIO(out.decode("utf-8"), newline="")))[1:]
            want = expected(data, album)
            if got != want:
                failures += 1
                print("MISMATCH: %s" % " ".join(command[3:]))
                print("  program: %r" % got[:8])
                print("  ours:    %r" % want[:8])
    finally:
        shutil.rmtree(work)
    print("%d mismatches" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
