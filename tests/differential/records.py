"""zafirel-cli's CSV and JSON against our own reading of random collections:
the disc list against dbfread over the table, a disc's export against its
file list, a search's records against its text lines.

Usage: records.py ZAFIREL_CLI [SEED]"""
import csv
import io
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

import dbfread

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collection  # noqa: E402


def run(cli, data, env, *words):
    return subprocess.run([cli, "--data", data, *words], capture_output=True, check=True,
                          env=env).stdout.decode("utf-8")


def main():
    cli = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 2028)
    work = tempfile.mkdtemp(prefix="zafirel-records-")
    problems = []
    try:
        locale_name = collection.usable_locales()[0]
        env = collection.environment(locale_name)
        data = collection.make_collection(cli, os.path.join(work, "datos"), locale_name, rng)
        discs, folder, files = collection.read_collection(data)
        table = {str(r["AUTO"]): r for r in dbfread.DBF(os.path.join(data, "CDROM.DBF"),
                                                        encoding="cp850")}
        # The disc list, both ways.
        as_csv = list(csv.DictReader(io.StringIO(run(cli, data, env, "list", "--format", "csv"),
                                                 newline="")))
        as_json = [json.loads(line) for line in
                   run(cli, data, env, "list", "--format", "json").splitlines()]
        if len(as_csv) != len(table) or len(as_json) != len(table):
            problems.append("list: %d/%d rows for %d discs" % (len(as_csv), len(as_json),
                                                                 len(table)))
        for row, obj in zip(as_csv, as_json):
            record = table[row["disc"]]
            want = {"title": record["TITULOCD"], "label": record["ETIQUETA"],
                    "serial": record["NSERIECD"], "album": record["ALBUM"],
                    "number": record["NUMEROCD"]}
            got = {k: row[k] for k in want}
            if got != want or obj["disc"] != int(row["disc"]) or obj["files"] != int(
                    record["TOTFILES"] or 0) or str(obj["files"]) != row["files"]:
                problems.append("list row %s: %r against %r" % (row["disc"], got, want))
        # Each disc's export against its file list.
        for name in files:
            number = name.split(".")[0]
            lines = collection.lines_of(os.path.join(folder, name))
            for form in ("csv", "json"):
                target = os.path.join(work, "disco." + form)
                run(cli, data, env, "export", number, target, "--format", form)
                with open(target, encoding="utf-8", newline="") as f:
                    if form == "csv":
                        rows = [[r["path"], r["kilobytes"], r["date"], r["description"]]
                                for r in csv.DictReader(f)]
                    else:
                        rows = [[o["path"], str(o["kilobytes"]), o["date"], o["description"]]
                                for o in map(json.loads, f)]
                want = [(line.split(";") + ["", "", ""])[:4] for line in lines]
                if rows != want:
                    problems.append("export %s as %s: %r against %r" % (number, form, rows[:3],
                                                                       want[:3]))
        # A search's records hold the hits its text shows.
        for term in ("a", "mp3", "_", "x"):
            text = run(cli, data, env, "search", term).splitlines()
            hits = [line[2:] for line in text[:-1] if line.startswith("  ")]
            records = [json.loads(line) for line in
                       run(cli, data, env, "search", term, "--format", "json").splitlines()]
            paths = [r["path"] for r in records if r["match"] == "file"]
            if paths != hits or len(records) != int(text[-1]):
                problems.append("search %s: %d records for %s matches" % (term, len(records),
                                                                         text[-1]))
    finally:
        shutil.rmtree(work)
    for problem in problems:
        print("MISMATCH: " + problem)
    print("%d mismatches" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
