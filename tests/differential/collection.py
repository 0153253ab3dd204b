"""Random collections for the differential checks: source folders with names
holding accents, ";" and "\\", sizes and dates at the usual boundaries,
catalogued by zafirel-cli under a given locale; and the collection read back
on our own (dbfread over the disc table, plain Python over the file lists),
never through the program."""
import datetime
import locale
import os
import subprocess
import time

import dbfread

NAMES = ["música", "Ñandú", "a;b", "c\\d", "readme", "foto", "Canción", "x", "datos", "ZAF"]
EXTENSIONS = ["mp3", "FLAC", "jpg", "txt", "doc", "", "exe", "zip", "ogg", "Mp3"]
SIZES = [0, 1, 1023, 1024, 1025, 2047, 2048, 2049, 1048575, 1048576, 1048577, 3 * 1048576]
MOMENTS = [
    datetime.datetime(2023, 12, 31, 23, 59),
    datetime.datetime(2024, 1, 1, 0, 0),
    datetime.datetime(2024, 1, 31, 12, 0),
    datetime.datetime(2024, 2, 1, 0, 1),
    datetime.datetime(2024, 2, 29, 23, 0),
    datetime.datetime(1999, 5, 5, 5, 5),
]
ALBUMS = ["Música", "PC", "Fotos", ""]


def environment(locale_name):
    env = dict(os.environ, LC_ALL=locale_name, TZ="UTC")
    env.pop("LANGUAGE", None)
    return env


def date_format(locale_name):
    """The strftime format the program writes dates with under a locale: the
    locale's own, or day/month/year for the C locale, which names no user."""
    if locale_name.startswith("C"):
        return "%d/%m/%Y"
    saved = locale.setlocale(locale.LC_TIME)
    try:
        locale.setlocale(locale.LC_TIME, locale_name)
        return locale.nl_langinfo(locale.D_FMT)
    finally:
        locale.setlocale(locale.LC_TIME, saved)


def usable_locales():
    """One locale that writes day first and one that writes month first, where installed."""
    found = []
    for wanted in (["es_ES.UTF-8", "es_ES.utf8", "C.UTF-8"], ["en_US.UTF-8", "en_US.utf8"]):
        for name in wanted:
            try:
                locale.setlocale(locale.LC_TIME, name)
                found.append(name)
                break
            except locale.Error:
                continue
    locale.setlocale(locale.LC_TIME, "C")
    return found


def make_source(folder, rng, pool):
    """A folder tree of random files (sparse, so large sizes cost nothing);
    some are taken from the pool of files earlier discs had, as copies are."""
    os.makedirs(folder)
    folders = [folder]
    for _ in range(rng.randint(1, 4)):
        sub = os.path.join(rng.choice(folders), rng.choice(NAMES) + str(rng.randint(0, 9)))
        if not os.path.exists(sub):
            os.makedirs(sub)
            folders.append(sub)
    for i in range(rng.randint(5, 25)):
        if pool and rng.random() < 0.4:
            name, size, moment = rng.choice(pool)
            if rng.random() < 0.3:
                name = name.upper() if rng.random() < 0.5 else name.lower()
            if rng.random() < 0.2:
                size = rng.choice(SIZES)
        else:
            extension = rng.choice(EXTENSIONS)
            name = rng.choice(NAMES) + str(i) + ("." + extension if extension else "")
            size, moment = rng.choice(SIZES), rng.choice(MOMENTS)
            pool.append((name, size, moment))
        path = os.path.join(rng.choice(folders), name)
        if os.path.exists(path):
            continue
        with open(path, "wb") as f:
            f.truncate(size)
        seconds = time.mktime(moment.timetuple())
        os.utime(path, (seconds, seconds))


def make_collection(cli, data, locale_name, rng, discs=5):
    """A data folder of random discs catalogued under locale_name; returns it."""
    env = environment(locale_name)
    os.environ["TZ"] = "UTC"
    time.tzset()
    subprocess.run([cli, "--data", data, "init", data], check=True, env=env)
    pool = []
    for n in range(discs):
        source = os.path.join(os.path.dirname(data), "disco%d" % n)
        make_source(source, rng, pool)
        title = rng.choice(NAMES) + " " + str(n)
        subprocess.run(
            [cli, "--data", data, "catalogue", source, "--title", title,
             "--album", rng.choice(ALBUMS)],
            check=True, env=env, stdout=subprocess.DEVNULL)
    return data


def read_collection(data):
    """The discs of the table ({number: (title, user number, album)}) and the
    catalogue folder with its .Ct names in the order searches take them."""
    table = dbfread.DBF(os.path.join(data, "CDROM.DBF"), encoding="cp850")
    discs = {str(r["AUTO"]): (r["TITULOCD"], r["NUMEROCD"], r["ALBUM"]) for r in table}
    folder = [os.path.join(data, n) for n in os.listdir(data) if n.startswith("Cat")][0]
    files = sorted((n for n in os.listdir(folder) if n.endswith(".Ct")), key=str.upper)
    return discs, folder, files


def lines_of(path):
    with open(path, "rb") as f:
        text = f.read().decode("cp1252")
    return [line for line in text.replace("\r\n", "\n").replace("\r", "\n").split("\n") if line]
