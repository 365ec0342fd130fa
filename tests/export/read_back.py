#!/usr/bin/env python3
"""Reads an exported file back with readers this project did not write and prints it as JSON.

    read_back.py FILE.xlsx   -> {"rows": [[cell, ...], ...]} where a cell is null or
                                ["s", text, format] | ["n", number, format] |
                                ["d", "YYYY-MM-DDTHH:MM:SS", format] | ["b", bool, format]
    read_back.py FILE.csv    -> {"bom": bool, "crlf": bool, "lf_only": bool, "rows": [[text, ...]]}
"""
import csv
import datetime
import io
import json
import sys

import openpyxl  # a missing reader must fail the test, never skip it


def xlsx(path):
    book = openpyxl.load_workbook(path, read_only=False)
    sheet = book.worksheets[0]
    rows = []
    for row in sheet.iter_rows():
        out = []
        for c in row:
            v = c.value
            if v is None:
                out.append(None)
            elif isinstance(v, bool):
                out.append(["b", v, c.number_format])
            elif isinstance(v, datetime.datetime):
                out.append(["d", v.isoformat(), c.number_format])
            elif isinstance(v, (int, float)):
                out.append(["n", v, c.number_format])
            else:
                out.append(["s", str(v), c.number_format])
        rows.append(out)
    return {"rows": rows, "freeze": sheet.freeze_panes, "filter": sheet.auto_filter.ref}


def csv_file(path):
    data = open(path, "rb").read()
    bom = data.startswith(b"\xef\xbb\xbf")
    text = data.decode("utf-8-sig")
    lines = text.split("\n")
    # Line breaks inside quoted fields are the field's own; the record ends are checked by csv.
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=";")
    rows = [r for r in reader]
    crlf_ends = text.count("\r\n")
    return {"bom": bom, "crlf": crlf_ends >= len(rows) and text.endswith("\r\n"),
            "lf_only": "\r" not in text, "rows": rows, "lines": len(lines)}


def main():
    path = sys.argv[1]
    result = xlsx(path) if path.lower().endswith(".xlsx") else csv_file(path)
    json.dump(result, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
