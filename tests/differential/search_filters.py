"""zafirel-cli search with filters against our own reading of random
collections, written under a day-first and a month-first locale.

Usage: search_filters.py ZAFIREL_CLI [SEED]"""
import datetime
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import collection  # noqa: E402

TERMS = ["a", "MP3", "mus", "readme", "foto", "x", "_", ".", "0", "zaf"]


def upper_az(text):
    return "".join(c.upper() if "a" <= c <= "z" else c for c in text)


def expected(data, term, query, date_format):
    discs, folder, files = collection.read_collection(data)
    wanted = upper_az(term)
    judges_lines = any(k in query for k in ("ext", "min", "max", "after", "before"))
    out, matches = [], 0
    for name in files:
        number = name.split(".")[0]
        if number not in discs:
            continue
        title, user_number, album = discs[number]
        if "discs" in query and number not in query["discs"]:
            continue
        if "albums" in query and album.strip().upper() not in query["albums"]:
            continue
        heading = '%s - Nº: "%s" - Album: "%s"' % (title, user_number, album)
        if not judges_lines and wanted and wanted in title.upper():
            out.append(heading + " (ver catalogos)")
            matches += 1
        hits = []
        for line in collection.lines_of(os.path.join(folder, name)):
            if wanted not in upper_az(line):
                continue
            fields = line.split(";")
            base = fields[0].rsplit("\\", 1)[-1]
            if "ext" in query:
                if "." not in base or base.rsplit(".", 1)[1].upper() not in query["ext"]:
                    continue
            if "min" in query or "max" in query:
                kb = int(fields[1])
                if "min" in query and kb < math.ceil(query["min"] / 1024):
                    continue
                if "max" in query and kb > math.ceil(query["max"] / 1024):
                    continue
            if "after" in query or "before" in query:
                day = datetime.datetime.strptime(fields[2], date_format).date()
                if "after" in query and day < query["after"]:
                    continue
                if "before" in query and day > query["before"]:
                    continue
            hits.append("  " + fields[0])
        if hits:
            out.append(heading)
            out.extend(hits)
            matches += len(hits)
    return out + [str(matches)]


def random_query(rng, numbers):
    query, arguments = {}, []
    if rng.random() < 0.4:
        extensions = rng.sample(["mp3", "flac", "JPG", "txt", "zip"], rng.randint(1, 2))
        query["ext"] = {e.upper() for e in extensions}
        arguments += ["--ext", ",".join(extensions)]
    for key, option in (("min", "--min-size"), ("max", "--max-size")):
        if rng.random() < 0.3:
            value = rng.choice(collection.SIZES)
            text = rng.choice([str(value), "%dK" % math.ceil(value / 1024)])
            query[key] = value if text == str(value) else math.ceil(value / 1024) * 1024
            arguments += [option, text]
    for key, option in (("after", "--after"), ("before", "--before")):
        if rng.random() < 0.3:
            day = rng.choice(collection.MOMENTS).date()
            query[key] = day
            arguments += [option, day.isoformat()]
    if rng.random() < 0.2:
        album = rng.choice(collection.ALBUMS[:3])
        query["albums"] = {album.upper()}
        arguments += ["--album", album.lower()]
    if rng.random() < 0.2:
        chosen = rng.sample(numbers, rng.randint(1, 2))
        query["discs"] = set(chosen)
        for n in chosen:
            arguments += ["--disc", n]
    return query, arguments


def main():
    cli = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 2026)
    locales = collection.usable_locales()
    work = tempfile.mkdtemp(prefix="zafirel-filters-")
    failures = checked = 0
    try:
        for locale_name in locales:
            data = os.path.join(work, locale_name, "datos")
            collection.make_collection(cli, data, locale_name, rng)
            date_format = collection.date_format(locale_name)
            numbers = list(collection.read_collection(data)[0])
            for _ in range(60):
                term = rng.choice(TERMS)
                query, arguments = random_query(rng, numbers)
                command = [cli, "--data", data, "search", term] + arguments
                got = subprocess.run(command, capture_output=True, check=True,
                                     env=collection.environment(locale_name)).stdout
                want = expected(data, term, query, date_format)
                checked += 1
                if got.decode("utf-8").splitlines() != want:
                    failures += 1
                    print("MISMATCH (%s): %s" % (locale_name, " ".join(command[3:])))
                    print("  program: %r" % got.decode("utf-8").splitlines()[:12])
                    print("  ours:    %r" % want[:12])
    finally:
        shutil.rmtree(work)
    print("%d searches in %s, %d mismatches" % (checked, ", ".join(locales), failures))
    if len(locales) < 2:
        print("only one locale is installed: the month-first check did not run")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
