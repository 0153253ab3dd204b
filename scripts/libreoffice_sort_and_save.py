#!/usr/bin/python3
"""Opens a dBASE table in LibreOffice Calc, sorts it by its first column
(descending) and saves it back over itself as dBASE, as a user with a
spreadsheet would. Needs LibreOffice (libreoffice-calc-nogui,
libreoffice-base-drivers) and python3-uno.
Usage: libreoffice_sort_and_save.py TABLE.DBF PROFILE_FOLDER"""
import os
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue



def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


table = os.path.abspath(sys.argv[1])
pipe = "zafirel%d" % os.getpid()
office = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore",
                           "-env:UserInstallation=" + uno.systemPathToFileUrl(os.path.abspath(sys.argv[2])),
                           "--accept=pipe,name=" + pipe + ";urp;"])
try:
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    ctx = None
    for _ in range(120):
        try:
            ctx = resolver.resolve("uno:pipe,name=" + pipe + ";urp;StarOffice.ComponentContext")
            break
        except Exception:
            time.sleep(0.5)
    if ctx is None:
        sys.exit("LibreOffice did not answer")
    desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
    url = uno.systemPathToFileUrl(table)
    doc = desktop.loadComponentFromURL(
        url, "_blank", 0, (prop("Hidden", True), prop("FilterName", "dBase")))
    sheet = doc.Sheets.getByIndex(0)
    cursor = sheet.createCursor()
    cursor.gotoEndOfUsedArea(False)
    last_row = cursor.RangeAddress.EndRow
    last_col = cursor.RangeAddress.EndColumn
    rng = sheet.getCellRangeByPosition(0, 0, last_col, last_row)
    field = uno.createUnoStruct("com.sun.star.table.TableSortField")
    field.Field = 0
    field.IsAscending = False
    rng.sort((prop("SortFields", uno.Any("[]com.sun.star.table.TableSortField", (field,))),
              prop("ContainsHeader", True)))
    doc.storeToURL(url, (prop("FilterName", "dBase"),))
    doc.close(True)
    print("sorted", last_row, "rows of", table)
finally:
    office.terminate()
    office.wait()
