#!/usr/bin/python3
"""Reads the running window of velmar-stat through the accessibility bus, as a screen reader does.

Usage: read_window.py COMMAND [ARGS]
  tables                print both tables' headers and their first and last rows as JSON
  edits                 print the names and texts of the edits of the window as JSON
  header TABLE COLUMN   print the screen position of a header cell (TABLE: Str or StrFull)
  column TABLE COLUMN   print every cell of a column, top to bottom, as JSON
  check-start           check what a screen reader reads of the demo after start-up
  check-sorted TABLE COLUMN ascending|descending KIND
                        check the rows are in that order (KIND: money or date); the summary keeps its
                        empty row and total row last
  press NAME            press the button of that accessible name
  tab NAME              print the screen position of the page tab of that name
  names                 print the names of the page tabs and buttons as JSON
  has-address ADDRESS   exit 0 when both tables show a row of that address, else 1
  check-charts          check the charts page tells the demo's months and its most expensive address
Waits up to 30 seconds for the program to appear on the bus; exits 1 with a message when it does not.
"""
import json
import re
import sys
import time

import pyatspi
from gi.repository import GLib


def find_app():
    deadline = time.time() + 30
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == "velmar-stat":
                return app
        time.sleep(0.3)
    sys.exit("velmar-stat did not appear on the accessibility bus")


def walk(node, depth=0):
    yield node
    try:
        # The cells of a table are read through its table interface, not one by one as children.
        if depth > 40 or node.getRole() == pyatspi.ROLE_TABLE:
            return
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except GLib.GError:
        return  # gone while it was read: the window changed under the reader (rows appended)
    for child in children:
        if child is not None:
            yield from walk(child, depth + 1)


def tables(app):
    """The two tables in page order (detailed first); Qt names them after the object name."""
    found = [n for n in walk(app) if n.getRole() == pyatspi.ROLE_TABLE]
    return found


def table_by_name(app, name):
    for table in tables(app):
        if table.name == name or table.description == name:
            return table
    found = tables(app)
    index = {"Str": 0, "StrFull": 1}[name]
    if len(found) <= index:
        sys.exit("the table %s is not on the bus" % name)
    return found[index]


def read_table(table):
    t = table.queryTable()
    headers = []
    for c in range(t.nColumns):
        h = t.getColumnHeader(c)
        headers.append(h.name if h is not None else t.getColumnDescription(c))
    rows = []
    for r in range(t.nRows):
        rows.append([t.getAccessibleAt(r, c).name for c in range(t.nColumns)])
    return {"headers": headers, "rows": rows}


MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sen", "Okt", "Nob", "Dec"]
DATE = re.compile(r"^(\d{1,2})-([A-Za-z]{3})-(\d{4})$")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


def value(text, kind):
    if kind == "money":
        return float(text)
    if kind == "date":
        day, month, year = DATE.match(text).groups()
        return (int(year), MONTHS.index(month) + 1, int(day))
    raise ValueError(kind)


def check_start(app):
    data = {name: read_table(table_by_name(app, name)) for name in ("Str", "StrFull")}
    detailed, summary = data["Str"], data["StrFull"]
    check(detailed["headers"] == ["Date", "Start", "End", "Address", "Min", "Received", "Money"],
          "detailed headers: %s" % detailed["headers"])
    check(summary["headers"] == ["Address", "Min", "Received", "Money", "Sessions"],
          "summary headers: %s" % summary["headers"])
    check(len(detailed["rows"]) > 100, "detailed rows: %d" % len(detailed["rows"]))
    for row in detailed["rows"]:
        check(DATE.match(row[0]) is not None, "a date without its year: %r" % row[0])
    check(summary["rows"][-2][0] == "" and summary["rows"][-1][0] == "Total",
          "summary ends with %s" % summary["rows"][-2:])
    edits = {}
    for n in walk(app):
        if n.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_COMBO_BOX) and n.name:
            edits[n.name] = n
    for name in ("Offset, s:", "Tariff:", "Log file:", "From", "To", "Template of the detailed table",
                 "Template of the summary table"):
        check(name in edits, "no edit named %r (named: %s)" % (name, sorted(edits)))
    print("read %d detailed and %d summary rows" % (len(detailed["rows"]), len(summary["rows"])))


def check_sorted(app, name, column, direction, kind):
    t = table_by_name(app, name).queryTable()
    cells = [t.getAccessibleAt(r, column).name for r in range(t.nRows)]
    body = cells[:-2] if name == "StrFull" else cells
    values = [value(text, kind) for text in body]
    wanted = sorted(values, reverse=(direction == "descending"))
    check(values == wanted, "%s column %d is not %s: %s ..." % (name, column, direction, values[:8]))
    if name == "StrFull":
        last = [t.getAccessibleAt(r, 0).name for r in (t.nRows - 2, t.nRows - 1)]
        check(last == ["", "Total"], "summary ends with %s" % last)
    print("%s column %d %s over %d rows" % (name, column, direction, len(body)))


def check_charts(app):
    charts = {n.name: n.description for n in walk(app) if n.description and n.name.endswith(("month", "money", "day"))}
    print(json.dumps(charts, ensure_ascii=False))
    money = charts.get("Money by month", "")
    for month in ("Sen 2003", "Okt 2003", "Nob 2003"):
        check(month + ": " in money, "the money chart does not tell %s: %r" % (month, money))
    check("Minutes by month" in charts and "Sessions by hour of day" in charts,
          "charts named: %s" % sorted(charts))
    # The address with the most money in the summary comes first in the addresses chart.
    t = table_by_name(app, "StrFull").queryTable()
    rows = [(t.getAccessibleAt(r, 0).name, t.getAccessibleAt(r, 3).name) for r in range(t.nRows - 2)]
    top = max(rows, key=lambda row: float(row[1]))[0]
    addresses = charts.get("Addresses with the most money", "")
    check(addresses.startswith(top + ": "), "the addresses chart does not begin with %s: %r" % (top, addresses))


def press(app, name):
    for n in walk(app):
        if n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == name:
            action = n.queryAction()
            for i in range(action.nActions):
                if action.getName(i) in ("Press", "press", "click"):
                    action.doAction(i)
                    return
    sys.exit("no button named %r" % name)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    app = find_app()
    command = sys.argv[1]
    if command == "tables":
        out = {}
        for name in ("Str", "StrFull"):
            data = read_table(table_by_name(app, name))
            out[name] = data
        print(json.dumps(out, ensure_ascii=False))
    elif command == "edits":
        edits = []
        for n in walk(app):
            if n.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX):
                text = ""
                try:
                    ti = n.queryText()
                    text = ti.getText(0, ti.characterCount)
                except NotImplementedError:
                    pass
                labels = []
                for rel in n.getRelationSet():
                    if rel.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                        labels += [rel.getTarget(i).name for i in range(rel.getNTargets())]
                edits.append({"role": n.getRoleName(), "name": n.name, "labelledBy": labels, "text": text})
        print(json.dumps(edits, ensure_ascii=False))
    elif command == "header":
        t = table_by_name(app, sys.argv[2]).queryTable()
        h = t.getColumnHeader(int(sys.argv[3]))
        x, y, w, hh = h.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print("%d %d" % (x + w // 2, y + hh // 2))
    elif command == "column":
        t = table_by_name(app, sys.argv[2]).queryTable()
        c = int(sys.argv[3])
        print(json.dumps([t.getAccessibleAt(r, c).name for r in range(t.nRows)], ensure_ascii=False))
    elif command == "check-start":
        check_start(app)
    elif command == "check-sorted":
        check_sorted(app, sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5])
    elif command == "tab":
        for n in walk(app):
            if n.getRole() == pyatspi.ROLE_PAGE_TAB and n.name == sys.argv[2]:
                x, y, w, h = n.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                print("%d %d" % (x + w // 2, y + h // 2))
                break
        else:
            sys.exit("no page tab named %r" % sys.argv[2])
    elif command == "press":
        press(app, sys.argv[2])
    elif command == "check-charts":
        check_charts(app)
    elif command == "has-address":
        found = {}
        try:
            for name, column in (("Str", 3), ("StrFull", 0)):
                t = table_by_name(app, name).queryTable()
                found[name] = [t.getAccessibleAt(r, column).name for r in range(t.nRows)].count(sys.argv[2])
        except GLib.GError as error:
            # Rows were being added while they were read: the caller asks again.
            sys.exit("the tables changed while they were read: %s" % error)
        print(json.dumps(found))
        if not all(found.values()):
            sys.exit(1)
    elif command == "names":
        names = [n.name for n in walk(app) if n.getRole() in (pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_PUSH_BUTTON)]
        print(json.dumps(names, ensure_ascii=False))
    else:
        sys.exit(__doc__)
    if failures:
        sys.exit(1)


if __name__ == "__main__":
    main()
