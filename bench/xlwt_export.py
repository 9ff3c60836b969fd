#!/usr/bin/python3
"""Writes the cells of bench_export's workbook with python3-xlwt, for comparison with the
utility's own workbook writer: xlwt_export.py CELLS OUT.xls. CELLS holds the sheet's rows, one a
line, cells separated by tabs, as bench_export wrote them. Each line read from the standard input
writes and saves the workbook once and answers with the milliseconds it took, so that the
caller's rounds and these can alternate."""
import sys
import time

import xlwt

cells_path, path = sys.argv[1], sys.argv[2]
with open(cells_path, encoding="utf-8") as f:
    cells = [line.rstrip("\n").split("\t") for line in f]

for _ in sys.stdin:
    start = time.monotonic()
    book = xlwt.Workbook()
    sheet = book.add_sheet("CANMID")
    for r, row in enumerate(cells):
        for c, text in enumerate(row):
            sheet.write(r, c, text)
    book.save(path)
    print(f"{(time.monotonic() - start) * 1000:.3f}", flush=True)
