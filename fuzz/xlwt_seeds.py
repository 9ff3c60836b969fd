#!/usr/bin/python3
"""Writes the fuzz_xls_reader seeds that come from another writer, python3-xlwt (Debian's
package; run with /usr/bin/python3): number, boolean, formula and blank cells, sheets of other
names and sizes, and a shared string table long enough to go on in CONTINUE records."""
import sys

import xlwt

folder = sys.argv[1] if len(sys.argv) > 1 else "corpus/fuzz_xls_reader"

book = xlwt.Workbook(encoding="utf-8")
data = book.add_sheet("Data")
data.write(0, 0, "CAN-ID")
data.write(0, 1, "DLC")
data.write(0, 2, u"Daten \u00e9\u20ac")
data.write(1, 0, 0x101)
data.write(1, 1, 8)
data.write(1, 2, 2.5)
data.write(2, 0, -7)
data.write(2, 1, 1e-07)
data.write(2, 2, True)
data.write(3, 0, xlwt.Formula("A2+B2"))
data.write(3, 3, "")
data.write_merge(4, 4, 0, 2, "merged")
other = book.add_sheet(u"Zw\u00f6lf")
other.write(299, 5, "far down")
other.write(0, 0, 1234567890123)
book.save(folder + "/xlwt-mixed.xls")

book = xlwt.Workbook(encoding="utf-8")
texts = book.add_sheet("Texts")
texts.write(0, 0, "a" * 2000)
texts.write(1, 0, u"\u015d" * 2800)
texts.write(2, 0, "b" * 600)
texts.write(3, 0, u"end \U0001F600")
book.save(folder + "/xlwt-continue.xls")
