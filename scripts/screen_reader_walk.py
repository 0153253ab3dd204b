#!/usr/bin/python3
"""The program as a screen reader meets it, through AT-SPI, driven by the
keyboard alone.

Run by screen_reader_walk.sh inside its own X server, window manager and
session bus. Starts the program on a data folder of two small discs, then
for the main window and each dialog the keyboard opens prints how many
controls take the focus, how many have a name and how many are tied to a
label, and any field or control a screen reader could not name. After each
dialog closes it says where the focus went back to. Then it does the
README's tasks by the keyboard (search, rename, comment, HTML and CSV,
catalogue, update, delete, sort, language) and checks each on disk. Exits
1 when a control has no name, a window no title, the focus did not come
back or a task could not be done. ZAFIREL_WALK_DEBUG=1 keeps the
program's messages and a screenshot of each failed task in /tmp.

usage: screen_reader_walk.py PROGRAM ZAFIREL_CLI WORK_FOLDER
"""
import os
import shutil
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

ITEM_ROLES = {
    pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_TREE_ITEM,
    pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_COLUMN_HEADER, pyatspi.ROLE_ROW_HEADER,
    pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM,
    pyatspi.ROLE_MENU, pyatspi.ROLE_TABLE_ROW,
}
FIELD_ROLES = {
    pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_DATE_EDITOR,
}
WINDOW_ROLES = {pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT,
                pyatspi.ROLE_WINDOW, pyatspi.ROLE_FILE_CHOOSER}
faults = []


def fault(text):
    print("FAULT:", text)
    faults.append(text)


# What has the focus, as a screen reader learns it: from the focus events.
last_focus = [None]


def on_focus(event):
    if event.detail1 == 1 or event.type.startswith("focus"):
        last_focus[0] = event.source


def pump(seconds):
    """Lets the bus deliver its events for a while."""
    context = GLib.MainContext.default()
    end = time.time() + seconds
    while time.time() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def key(*names):
    for name in names:
        subprocess.run(["xdotool", "key", "--delay", "60", name], check=True)
        pump(0.3)


def children(acc):
    try:
        return [acc.getChildAtIndex(i) for i in range(acc.childCount)]
    except Exception:  # an object gone while it was read
        return []


def walk(acc, depth=0):
    if acc is None or depth > 40:
        return
    yield acc
    if acc.getRole() in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE,
                         pyatspi.ROLE_LIST):
        return  # its rows are items, not controls
    for child in children(acc):
        yield from walk(child, depth + 1)


def find_app(name_part, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and name_part.lower() in (app.name or "").lower():
                return app
        pump(0.3)
    sys.exit("the program never showed on the accessibility bus")


def windows(app):
    # Every object at the application's top is a window, whatever its role.
    # Read afresh: no listener keeps the bus's cache of it current.
    app.clear_cache()
    return [w for w in children(app) if w is not None]


def audit(title, window):
    controls = named = tied = 0
    if not (window.name or "").strip():
        fault(f"{title}: the window has no title")
    if window.getRole() not in WINDOW_ROLES:
        fault(f"{title}: announced as a {window.getRoleName()}, not a window")
    for acc in walk(window):
        if acc is window:
            continue
        state = acc.getState()
        if not state.contains(pyatspi.STATE_FOCUSABLE) or acc.getRole() in ITEM_ROLES:
            continue
        if acc.parent is not None and acc.parent.getRole() == pyatspi.ROLE_COMBO_BOX:
            continue  # a choice box's own list
        controls += 1
        has_name = bool((acc.name or "").strip())
        has_label = any(r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                        for r in acc.getRelationSet())
        named += has_name
        tied += has_label
        ok = has_name or (has_label and acc.getRole() in FIELD_ROLES)
        if not ok:
            fault(f"{title}: {acc.getRoleName()} without a name "
                  f"(in {acc.parent.getRoleName() if acc.parent else '?'} "
                  f"\"{acc.parent.name if acc.parent else ''}\")")
    print(f"{title:28} controls {controls:3}, named {named:3}, tied to a label {tied:3}"
          f"   ({window.getRoleName()} \"{window.name}\")")


def focused(app):
    if last_focus[0] is not None:
        acc = last_focus[0]
        try:
            if acc.getRole() in (pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM,
                                 pyatspi.ROLE_TREE_ITEM) and acc.parent is not None:
                return acc.parent  # a list's row: the list has the focus
            return acc
        except Exception:
            pass  # an object gone: look for the focus instead
    for window in windows(app):
        for acc in walk(window):
            if acc.getState().contains(pyatspi.STATE_FOCUSED):
                return acc
        # A list's focus is on the list itself or one of its rows.
        for acc in walk(window):
            if acc.getRole() in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE,
                                 pyatspi.ROLE_TREE, pyatspi.ROLE_LIST):
                for row in children(acc):
                    if row is not None and row.getState().contains(pyatspi.STATE_FOCUSED):
                        return acc
    return None


def describe(acc):
    return "nothing" if acc is None else f"{acc.getRoleName()} \"{acc.name}\""


def wait_for(condition, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        result = condition()
        if result:
            return result
        pump(0.2)
    return None


def new_window(app, before):
    names = {(w.name, w.getRole()) for w in before}
    return wait_for(lambda: next((w for w in windows(app)
                                  if (w.name, w.getRole()) not in names), None))


def tab_to(app, role, name_part, most=25):
    """Tab until the focus is on the control; True when it got there."""
    for _ in range(most):
        now = focused(app)
        if now is not None and now.getRole() == role and name_part in (now.name or ""):
            return True
        key("Tab")
    return False


def menu_entry(app, name_part):
    """Opens the Principal menu with F10 and goes down to the entry."""
    key("F10")
    for _ in range(40):
        key("Down")
        now = last_focus[0]
        if now is not None and now.getRole() == pyatspi.ROLE_MENU_ITEM and \
                name_part.lower() in (now.name or "").lower():
            key("Return")
            return True
    fault(f"no menu entry {name_part} (last: {describe(last_focus[0])})")
    key("Escape")
    return False


def dialog_round(app, title, open_keys, close_keys=("Escape",)):
    before_focus = focused(app)
    before = windows(app)
    if callable(open_keys):
        if not open_keys():
            return
    else:
        key(*open_keys)
    dialog = new_window(app, before)
    if dialog is None:
        fault(f"{title}: no dialog came")
        return
    time.sleep(0.4)
    audit(title, dialog)
    key(*close_keys)
    if wait_for(lambda: len(windows(app)) == len(before)) is None:
        fault(f"{title}: the dialog did not close")
        return
    time.sleep(0.5)
    after = focused(app)
    back = after is not None and before_focus is not None and \
        (after.getRole(), after.name) == (before_focus.getRole(), before_focus.name)
    print(f"{'':28} focus after closing: {describe(after)}"
          f"{'' if back else '  (was ' + describe(before_focus) + ')'}")
    if not back:
        fault(f"{title}: the focus went to {describe(after)}, not back to "
                      f"{describe(before_focus)}")


def shot(name):
    if os.environ.get("ZAFIREL_WALK_DEBUG"):
        subprocess.run(["import", "-window", "root", f"/tmp/walk-{name}.png"])


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "40", text], check=True)
    pump(0.3)


def task(name, done):
    print(f"task: {name:46} {'done' if done else 'FAILED'}")
    if not done:
        shot(name.split()[0])
        fault(f"the task \"{name}\" failed by the keyboard")


def close_messages(app, windows_before):
    """Answers with Enter any message left over a task."""
    for _ in range(5):
        if len(windows(app)) <= windows_before:
            return
        key("Return")
        pump(0.5)


def discs(cli, data):
    listed = subprocess.run([cli, "--data", data, "list"], capture_output=True, text=True)
    return [line.split("\t")[1] for line in listed.stdout.splitlines() if line]


def file_list(data, number):
    with open(os.path.join(data, "Catálogos", f"{number}.Ct"), encoding="cp1252") as f:
        return f.read()


def tasks(app, cli, work):
    """The README's tasks, each by the keyboard alone, each checked on disk."""
    data = os.path.join(work, "data")
    top = len(windows(app))
    # Search: type the text, Enter; Tab to the results, a hit's Enter shows its file.
    menu_entry(app, "Búsqueda")
    pump(0.5)
    tab_to(app, pyatspi.ROLE_TEXT, "Texto a buscar")
    key("ctrl+a")
    type_text("dos")
    key("Return")
    pump(1)
    close_messages(app, top)  # the count of hits is said in a message
    found = tab_to(app, pyatspi.ROLE_TREE, "")
    if found:
        key("Down", "Right", "Down", "Return")
        pump(1)
    now = focused(app)
    task("search, a hit's file shown", found and now is not None and
         now.getRole() == pyatspi.ROLE_TABLE and "Archivos" in (now.name or ""))
    # Rename in place: F2, the new name, Enter.
    key("F2", "ctrl+a")
    type_text("nuevo.txt")
    key("Return")
    pump(1)
    task("rename a file in place (F2)", "nuevo.txt" in file_list(data, 2) or
         "nuevo.txt" in file_list(data, 1))
    # A comment: Enter opens the properties, the comment typed, Tab to Aceptar, Enter.
    key("Return")
    pump(1)
    type_text("comentario de prueba")
    tab_to(app, pyatspi.ROLE_PUSH_BUTTON, "Aceptar")
    key("Return")
    pump(1)
    close_messages(app, top)
    task("comment on a file", "comentario de prueba" in file_list(data, 2) or
         "comentario de prueba" in file_list(data, 1))
    # Ver HTML: Space marks the first disc, Aceptar (Alt+A) writes its page.
    menu_entry(app, "HTML")
    pump(1)
    tab_to(app, pyatspi.ROLE_LIST, "")
    key("space", "alt+a")
    pump(2)
    close_messages(app, top)
    exported = os.path.join(data, "Exportar")
    pages = [n for n in os.listdir(exported) if n.lower().endswith(".htm") or
             n.lower().endswith(".html")] if os.path.isdir(exported) else []
    task("HTML page of a disc", bool(pages))
    # Exportar CSV the same way.
    menu_entry(app, "CSV")
    pump(1)
    tab_to(app, pyatspi.ROLE_LIST, "")
    key("space", "alt+a")
    pump(2)
    close_messages(app, top)
    task("CSV of a disc", any(n.lower().endswith(".csv") for n in os.listdir(exported)))
    # Cataloguing: the Catalogar page, its button (Alt+C), the folder chooser,
    # a folder typed in the file dialog.
    before = len(discs(cli, data))
    new_disc = os.path.join(work, "disc3")
    os.makedirs(new_disc, exist_ok=True)
    with open(os.path.join(new_disc, "tres.txt"), "w") as f:
        f.write("3")
    menu_entry(app, "Catalogar")
    pump(0.5)
    key("alt+c")
    pump(1)
    if tab_to(app, pyatspi.ROLE_PUSH_BUTTON, "Elegir carpeta"):
        key("Return")
        pump(1.5)
        key("ctrl+a")
        type_text(new_disc)
        key("Return")
        pump(3)
    # The new disc's data come to be checked: Aceptar (Alt+A) keeps them.
    if len(windows(app)) > top:
        key("alt+a")
        pump(1)
    close_messages(app, top)
    task("catalogue a folder as a new disc", len(discs(cli, data)) == before + 1)
    # Updating a disc (Musica, the last by title, walked from disc1) with a
    # file added: the folder chosen, the walk, Aceptar (Alt+A) on the changes.
    with open(os.path.join(work, "disc1", "nueva.txt"), "w") as f:
        f.write("nueva")
    menu_entry(app, "Catálogos")
    pump(0.5)
    tab_to(app, pyatspi.ROLE_TABLE, "")
    key("ctrl+End")
    menu_entry(app, "Actualizar")
    pump(1)
    if tab_to(app, pyatspi.ROLE_PUSH_BUTTON, "Elegir carpeta"):
        key("Return")
        pump(1.5)
        key("ctrl+a")
        type_text(os.path.join(work, "disc1"))
        key("Return")
        pump(3)
        key("alt+a")
        pump(1.5)
    close_messages(app, top)
    task("update a disc", "nueva.txt" in file_list(data, 1))
    # Deleting a disc: the list, Delete, Aceptar (Alt+A) on the question,
    # whose Enter is Cancelar.
    before = len(discs(cli, data))
    menu_entry(app, "Catálogos")
    pump(0.5)
    tab_to(app, pyatspi.ROLE_TABLE, "")
    key("Delete")
    pump(1)
    key("alt+a")
    pump(1.5)
    close_messages(app, top)
    task("delete a disc", len(discs(cli, data)) == before - 1)
    # Sorting by size from the Principal menu's Ordenar por.
    menu_entry(app, "Ordenar")  # its Enter opens the submenu
    for _ in range(10):
        key("Down")
        if last_focus[0] is not None and "Tama" in (last_focus[0].name or ""):
            break
    key("Return")
    pump(1)
    with open(os.path.join(work, "bin", "Opcion.INI"), encoding="cp1252") as f:
        settings = f.read()
    task("sort the disc list by size", "BytesCD" in settings)
    # The language, from Opciones: English, then the window speaks it.
    menu_entry(app, "Opciones")
    pump(1)
    tab_to(app, pyatspi.ROLE_COMBO_BOX, "")
    key("End", "alt+a")
    pump(1.5)
    close_messages(app, top)
    names = [a.name for a in walk(windows(app)[0])]
    task("switch the language to English", "Catalogued discs" in names)


def seed(cli, work):
    """The program in a folder of its own, on a data folder of two discs."""
    program_folder = os.path.join(work, "bin")
    data = os.path.join(work, "data")
    os.makedirs(program_folder, exist_ok=True)
    subprocess.run([cli, "init", data], check=True, stdout=subprocess.DEVNULL)
    for n, title in ((1, "Musica"), (2, "Fotos")):
        disc = os.path.join(work, f"disc{n}")
        os.makedirs(os.path.join(disc, "CARPETA"), exist_ok=True)
        for name in ("uno.txt", "CARPETA/dos.txt"):
            with open(os.path.join(disc, name), "w") as f:
                f.write("x" * 2000 * n)
        subprocess.run([cli, "--data", data, "catalogue", disc, "--title", title,
                        "--album", "VARIOS"], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(program_folder, "Opcion.INI"), "w", newline="") as f:
        f.write(f"[General]\r\nDirectorio={data}\r\n")
    return program_folder


def main():
    program, cli, work = sys.argv[1], sys.argv[2], sys.argv[3]
    program_folder = seed(cli, work)
    for name in os.listdir(os.path.dirname(program)):
        if name.endswith(".Len"):
            shutil.copy(os.path.join(os.path.dirname(program), name), program_folder)
    exe = os.path.join(program_folder, "zafirel")
    shutil.copy(program, exe)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               QT_ACCESSIBILITY="1")
    quiet = None if os.environ.get("ZAFIREL_WALK_DEBUG") else subprocess.DEVNULL
    running = subprocess.Popen([exe], env=env, stdout=subprocess.DEVNULL, stderr=quiet)
    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused", "focus:")
    try:
        app = find_app("zafirel")
        main_window = wait_for(lambda: next(iter(windows(app)), None))
        time.sleep(1.5)
        # A first start may greet; any message box goes with Enter.
        while len(windows(app)) > 1:
            key("Return")
            time.sleep(0.5)
        audit("main window", main_window)

        # The disc list, reached by the keyboard alone.
        menu_entry(app, "Catálogos")
        time.sleep(0.5)
        if not tab_to(app, pyatspi.ROLE_TABLE, ""):
            fault("Tab never reached the disc list")
        list_focus = focused(app)
        print(f"{'':28} the disc list has the focus: {describe(list_focus)}")
        dialog_round(app, "disc editor (F2)", ("F2",))
        dialog_round(app, "delete question (Supr)", ("Delete",))
        for title, entry in (("Opciones", "Opciones"), ("Ver HTML (disc choice)", "HTML"),
                             ("duplicates", "repetidos"), ("statistics", "Estad"),
                             ("update: drive choice", "Actualizar")):
            dialog_round(app, title, lambda entry=entry: menu_entry(app, entry))
        # A disc's files: Enter opens them; Tab reaches the file list.
        key("Return")
        time.sleep(1)
        if tab_to(app, pyatspi.ROLE_TABLE, "Archivos"):
            key("Down")
            dialog_round(app, "file properties (Enter)", ("Return",))
        else:
            fault("Tab never reached the file list")
        tasks(app, cli, work)
        key("ctrl+q")
        running.wait(timeout=10)
    finally:
        if running.poll() is None:
            running.kill()
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
