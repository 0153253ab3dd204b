#!/usr/bin/env python3
"""Fails when a change the user started can fail without a message.

Guarded(step, [&] { ... }) keeps a failure inside a handler from ending it
and writes it to the log only: right for best-effort refreshes (refilling a
list, selecting a row, relabelling), wrong for a change of data, whose
failure the user must be told about with its cause (Reported, or a try and
PonerMensaje). The rule, checked on the text of every .cpp and .h under the
source folder: nothing between the parentheses of a Guarded(...) call may
call one of WRITES below, the calls that change the disc table, catalogue
files, pages or settings, and the handlers that start such changes. A new
writer, or a handler that starts one, belongs in the list.

Usage: check_guarded.py SOURCE_FOLDER
"""
import pathlib
import re
import sys

WRITES = [
    # tables and catalogue files
    "DeleteDisc", "ImportDiscs", "StoreCover", "DeleteCovers", "MarkIndexesInDoubt",
    "Post", "Delete", "Append", "DeleteFiles", "SetComment", "Rename",
    "WriteCatalogueFile", "DeleteCatalogueFiles", "WriteFiles",
    # pages
    "GrabarComoHTML", "GrabarLaBusqueda",
    # settings
    "WriteStr", "WritePath", "WriteBool", "WriteInt",
    # handlers that start one of the above
    "BorrarCatalogo", "Cataloga", "UseDataFolder", "GrabarBuscaClick",
]
CALL = re.compile(r"\b(" + "|".join(WRITES) + r")\s*\(")
GUARDED = re.compile(r"\bGuarded\s*\(")


def strip_comments_and_strings(text):
    """The text with comments and string literals blanked, lines kept."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def guarded_bodies(text):
    """(start, end) of the argument list of every Guarded call."""
    for match in GUARDED.finditer(text):
        depth, at = 1, match.end()
        while at < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[at], 0)
            at += 1
        yield match.end(), at


def problems(path, text):
    code = strip_comments_and_strings(text)
    if "template <typename Step>" in code and "void Guarded(" in code:
        return  # the definition itself
    for start, end in guarded_bodies(code):
        for call in CALL.finditer(code, start, end - 1):
            line = code.count("\n", 0, call.start()) + 1
            yield f"{path}:{line}: {call.group(1)} runs inside Guarded: report its failure"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    failures = []
    for path in sorted(root.rglob("*")):
        if path.suffix in (".h", ".cpp"):
            text = path.read_text(encoding="latin-1")
            failures += problems(path.relative_to(root).as_posix(), text)
    for failure in failures:
        print(failure)
    print(f"{len(failures)} change(s) the user starts run inside Guarded")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
