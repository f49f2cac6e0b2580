# Prints the rows of a CSV file written by LibreOffice, after its first line
# (the field names): "L", then each value hex-encoded as UTF-8, tab-separated.
import csv
import sys

with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f))
for r in rows[1:]:
    print("\t".join(["L"] + [v.encode("utf-8").hex() for v in r]))
