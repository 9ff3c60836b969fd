#!/usr/bin/python3
"""The cells of bench_export's workbook (header and frame rows of a mapping list) written by
python3-xlwt, for comparison with the utility's own workbook writer."""
import sys
import time

import xlwt

rows, path = int(sys.argv[1]), sys.argv[2]
cells = [["Mode", "ID", "RTR", "DLC", "DataL", "DataH"],
         ["0", "0x107", "0", "8", "0x00000000", "0x00000000"]]
for i in range(rows):
    cells.append(["0", "0x116", "0", "8", "0x%08X" % (i * 16), "%08X" % ((i & 0x7FF) | 0x80000000)])
cells.append(["0", "0x108", "0", "8", "0x00000000", "0x00000000"])

rounds = 5
start = time.monotonic()
for _ in range(rounds):
    book = xlwt.Workbook()
    sheet = book.add_sheet("CANMID")
    for r, row in enumerate(cells):
        for c, text in enumerate(row):
            sheet.write(r, c, text)
    book.save(path)
print(f"{(time.monotonic() - start) / rounds * 1000:.1f}")
