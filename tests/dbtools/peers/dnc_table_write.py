# Writes another DNC system's program table through python3-dbf: a dBASE III
# table (memos in its .DBT) of the layout and rows a JSON file gives:
#   {"fields": "NAME C(50); ...", "rows": [[...], ...], "deleted": [3, 7]}
# Row numbers in "deleted" count from 1.
import json
import sys

import dbf

spec = json.load(open(sys.argv[2], encoding="utf-8"))
t = dbf.Table(sys.argv[1], spec["fields"], dbf_type="db3", codepage="cp1252")
t.open(dbf.READ_WRITE)
for row in spec["rows"]:
    t.append(tuple(row))
for n in spec.get("deleted", []):
    with t[n - 1] as r:
        dbf.delete(r)
t.close()
