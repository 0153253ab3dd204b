#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Run from the repository with a built command line (for real tables and
index files) and ImageMagick's convert (for pictures):
    /usr/bin/python3 scripts/make_fuzz_seeds.py build/zafirel-cli
The seeds are committed; the script is only needed to make them anew.
"""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus")


def seed(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def sector(name, fields):
    s = bytearray(512)
    s[0:3] = b"\xEB\x52\x90"
    s[3:11] = name
    for at, value in fields:
        s[at:at + len(value)] = value
    return bytes(s)


def volumes():
    fat16 = bytearray(sector(b"mkfs.fat", [(0x0B, b"\x00\x02\x04\x01\x00\x02"), (0x16, b"\x20\x00"),
                                           (0x26, b"\x29\xCD\xAB\x34\x12DATOS      FAT16   ")]))
    fat16[510:512] = b"\x55\xAA"
    seed("volume", "fat16", bytes(fat16))
    fat32 = bytearray(sector(b"mkfs.fat", [(0x0B, b"\x00\x02\x04\x01\x00\x02"),
                                           (0x42, b"\x29\x78\x56\x34\x12NO NAME    FAT32   ")]))
    fat32[510:512] = b"\x55\xAA"
    seed("volume", "fat32", bytes(fat32))
    seed("volume", "exfat", sector(b"EXFAT   ", [(0x64, b"\x11\x22\x33\x44")]))
    seed("volume", "ntfs", sector(b"NTFS    ", [(0x48, b"\x01\x02\x03\x04\x05\x06\x07\x08")]))

    def descriptor(kind, label, joliet=False):
        d = bytearray(2048)
        d[0] = kind
        d[1:6] = b"CD001"
        d[6] = 1
        if joliet:
            d[88:91] = b"%/E"
            text = label.encode("utf-16-be")
        else:
            text = label.encode("ascii")
        padding = (b"\x00 " * 16) if joliet else b" " * 32
        d[40:40 + 32] = (text + padding)[:32]
        return bytes(d)
    iso = bytes(16 * 2048) + descriptor(1, "MUSICA") + descriptor(2, "Música", True) + descriptor(255, "")
    seed("volume", "iso_joliet", iso)


def pictures():
    with tempfile.TemporaryDirectory() as tmp:
        for name, options in [("rgb.jpg", []), ("gray.jpg", ["-colorspace", "Gray"]),
                              ("cmyk.jpg", ["-colorspace", "CMYK"]),
                              ("progressive.jpg", ["-interlace", "Plane"])]:
            path = os.path.join(tmp, name)
            subprocess.run(["convert", "-size", "16x8", "gradient:red-blue"] + options +
                           ["-quality", "70", path], check=True)
            with open(path, "rb") as f:
                seed("jpeg", name, f.read())


def archives():
    for name, members in [("described.zip", [("FILE_ID.DIZ", "Juego de cartas\r\nv1.0")]),
                          ("readme.zip", [("docs/README.TXT", "Leeme;por favor\\")]),
                          ("none.zip", [("A.EXE", "MZ")])]:
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
            for member, text in members:
                z.writestr(member, text)
        seed("zip", name, buffer.getvalue())


def settings():
    lang = os.path.join(os.path.dirname(ROOT), "..", "lang", "Espanol.Len")
    with open(lang, "rb") as f:
        seed("settings", "Espanol.Len", f.read())
    seed("settings", "Opcion.INI", b"[General]\r\nDirectorio=/home/ana/Cat\xe1logos\r\nLenguaje=Espanol.Len\r\n"
         b"Indice=TituloCD\r\nZip=S\r\n\r\n[Unidades]\r\nD=/media/cdrom\r\n[Posicion]\r\nLeft=10\r\n")


def catalogues():
    tree = b"D:\\\r\nD:\\DOCS\\\r\nD:\\DOCS\\OLD\\\r\nD:\\JUEGOS\\\r\n"
    files = (b"D:\\LEEME.TXT;1;01/02/2003\r\nD:\\DOCS\\CARTA.DOC;3;25/12/2003;Notas\r\n"
             b"D:\\DOCS\\OLD\\VIEJO.ZIP;12;01/01/1999;Juego de cartas\r\nD:\\JUEGOS\\DOOM.EXE;700;05/05/1995\r\n")
    seed("catalogue", "disc", tree + b"\x00" + files)


def tables(cli):
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "data")
        os.makedirs(data)
        subprocess.run([cli, "init", data], check=True)
        for i in range(30):
            disc = os.path.join(tmp, "Disco %02d" % (29 - i))
            os.makedirs(disc)
            with open(os.path.join(disc, "A.TXT"), "w") as f:
                f.write("a")
            subprocess.run([cli, "--data", data, "catalogue", disc, "--album", "ROCK" if i % 3 else "POP"],
                           check=True, stdout=subprocess.DEVNULL)
        for index in ["Titulo.Mdx", "Auto.Mdx", "AlbumUn.Mdx", "Tamanio.Mdx"]:
            with open(os.path.join(data, index), "rb") as f:
                seed("index", index, f.read())
        with open(os.path.join(data, "CDROM.DBF"), "rb") as f:
            table = bytearray(f.read())
        # A memo for the first disc: block 1 of a fresh memo file.
        header_length, record_length = struct.unpack("<HH", table[8:12])
        notes = "Notas del disco\r\nsegunda línea".encode("cp850")
        memo = bytearray(512)
        memo[0:4] = struct.pack("<I", 2)
        memo[8:13] = b"CDROM"
        memo[20:22] = struct.pack("<H", 512)
        block = b"\xFF\xFF\x08\x00" + struct.pack("<I", len(notes) + 8) + notes
        memo += block.ljust(512, b"\x00")
        notes_at = header_length + 1 + 75 + 15 + 11 + 6 + 7 + 50 + 11 + 11 + 50 + 10
        table[notes_at:notes_at + 10] = b"         1"
        seed("table", "discs", bytes(table) + b"\x1A\x1A\x1A\x1A" + bytes(memo))


def images():
    """Small disc images made by genisoimage: Joliet with Rock Ridge, and plain."""
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "disco")
        os.makedirs(os.path.join(tree, "Docs", "Sub"))
        for name, text in (("Leeme.txt", b"hola"), ("Docs/Un nombre largo.txt", b"y"),
                           ("Docs/Sub/c.bin", b"c" * 3000)):
            with open(os.path.join(tree, name), "wb") as out:
                out.write(text)
        for name, options in (("joliet_rr", ["-J", "-R"]), ("plain", [])):
            image = os.path.join(work, name + ".iso")
            subprocess.run(["genisoimage", "-quiet", "-no-pad"] + options +
                           ["-V", "DISCO", "-o", image, tree], check=True)
            with open(image, "rb") as source:
                seed("image", name, source.read())


def archive_members():
    """Archives whose members are listed: ZIP (one inside another) and TAR in three compressions."""
    members = [("README.TXT", b"hola\r\n"), ("DOCS/A.TXT", b"a" * 300), ("n;a.txt", b"x")]
    inner = io.BytesIO()
    with zipfile.ZipFile(inner, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("X.TXT", b"x")
    outer = io.BytesIO()
    with zipfile.ZipFile(outer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members + [("INNER.ZIP", inner.getvalue())]:
            z.writestr(name, data)
    seed("archive", "nested.zip", outer.getvalue())
    import tarfile
    for mode, name in (("w:gz", "pack.tar.gz"), ("w:bz2", "pack.tar.bz2"), ("w:xz", "pack.tar.xz")):
        out = io.BytesIO()
        with tarfile.open(fileobj=out, mode=mode) as t:
            for member, data in members:
                info = tarfile.TarInfo(member)
                info.size = len(data)
                info.mtime = 946728000
                t.addfile(info, io.BytesIO(data))
        seed("archive", name, out.getvalue())


def main():
    archive_members()
    if shutil.which("genisoimage"):
        images()
    volumes()
    archives()
    settings()
    catalogues()
    if shutil.which("convert"):
        pictures()
    if len(sys.argv) > 1:
        tables(sys.argv[1])


main()
