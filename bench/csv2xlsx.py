#!/usr/bin/python3
# Writes the benchmark's CSV file as a one-sheet .xlsx workbook holding the
# same values: numbers as numbers, the date, date-time and time columns as
# serial numbers with date formats, the rest as shared strings (the way
# spreadsheet programs store text). Standard library only, streamed, so a
# million rows need no more memory than the strings table.
#   /usr/bin/python3 bench/csv2xlsx.py in.csv out.xlsx
import csv
import datetime
import sys
import zipfile
from xml.sax.saxutils import escape

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
EPOCH = datetime.date(1899, 12, 30).toordinal()
# The kind of each column of bench/server.sh's CSV: n number, s text,
# d date, t date-time, h time.
KINDS = "nsnndthsss"
STYLE = {"d": 1, "t": 2, "h": 3}


def days(text):
    y, m, d = text.split("-")
    return datetime.date(int(y), int(m), int(d)).toordinal() - EPOCH


def seconds(text):
    h, m, s = text.split(":")
    return (int(h) * 3600 + int(m) * 60 + int(s)) / 86400


def serial(kind, text):
    if kind == "d":
        return days(text)
    if kind == "t":
        day, time = text.split(" ")
        return days(day) + seconds(time)
    return seconds(text)


def column(i):
    return chr(ord("A") + i)


def main(src, dest):
    strings, index = [], {}

    def shared(text):
        if text not in index:
            index[text] = len(strings)
            strings.append(text)
        return index[text]

    with open(src, newline="", encoding="utf-8") as f, \
            zipfile.ZipFile(dest, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        rows = csv.reader(f)
        header = next(rows)
        with z.open("xl/worksheets/sheet1.xml", "w") as out:
            out.write(('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                       '<worksheet xmlns="%s"><sheetData>' % MAIN).encode())
            cells = "".join('<c r="%s1" t="s"><v>%d</v></c>' % (column(i), shared(h)) for i, h in enumerate(header))
            out.write(('<row r="1">%s</row>' % cells).encode())
            for r, row in enumerate(rows, start=2):
                parts = ['<row r="%d">' % r]
                for i, (kind, text) in enumerate(zip(KINDS, row)):
                    ref = "%s%d" % (column(i), r)
                    if kind == "s":
                        parts.append('<c r="%s" t="s"><v>%d</v></c>' % (ref, shared(text)))
                    elif kind == "n":
                        parts.append('<c r="%s"><v>%s</v></c>' % (ref, text))
                    else:
                        parts.append('<c r="%s" s="%d"><v>%r</v></c>' % (ref, STYLE[kind], serial(kind, text)))
                parts.append("</row>")
                out.write("".join(parts).encode())
            out.write(b"</sheetData></worksheet>")
        with z.open("xl/sharedStrings.xml", "w") as out:
            out.write(('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="%s" count="%d" '
                       'uniqueCount="%d">' % (MAIN, len(strings), len(strings))).encode())
            for s in strings:
                out.write(("<si><t>%s</t></si>" % escape(s)).encode())
            out.write(b"</sst>")
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
                   'content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
                   'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName='
                   '"/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.'
                   'main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.'
                   'openxmlformats-officedocument.spreadsheetml.worksheet+xml"/><Override PartName="/xl/sharedStrings'
                   '.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"'
                   '/><Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.'
                   'spreadsheetml.styles+xml"/></Types>')
        z.writestr("_rels/.rels", '<?xml version="1.0"?><Relationships xmlns="%s"><Relationship Id="r1" Type="%s/'
                   'officeDocument" Target="xl/workbook.xml"/></Relationships>' % (PKG, REL))
        z.writestr("xl/workbook.xml", '<?xml version="1.0"?><workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name='
                   '"bench" sheetId="1" r:id="r1"/></sheets></workbook>' % (MAIN, REL))
        z.writestr("xl/_rels/workbook.xml.rels",
                   '<?xml version="1.0"?><Relationships xmlns="%s"><Relationship Id="r1" Type="%s/worksheet" '
                   'Target="worksheets/sheet1.xml"/><Relationship Id="r2" Type="%s/sharedStrings" Target='
                   '"sharedStrings.xml"/><Relationship Id="r3" Type="%s/styles" Target="styles.xml"/>'
                   '</Relationships>' % (PKG, REL, REL, REL))
        z.writestr("xl/styles.xml", '<?xml version="1.0"?><styleSheet xmlns="%s"><cellXfs count="4"><xf numFmtId="0"/>'
                   '<xf numFmtId="14"/><xf numFmtId="22"/><xf numFmtId="21"/></cellXfs></styleSheet>' % MAIN)


main(sys.argv[1], sys.argv[2])
