# Writes a dBASE III table with memos (.DBT without entry heads, each text
# ended by 0x1A) through python3-dbf.
import sys
import dbf

t = dbf.Table(sys.argv[1], "NAME C(10); NOTE M", dbf_type="db3", codepage="cp1252")
t.open(dbf.READ_WRITE)
t.append(("short", "first memo\r\nline two"))
t.append(("none", ""))
t.append(("long", "".join(chr(32 + i % 90) for i in range(1500))))
t.append(("gone", "deleted memo"))
t.append(("last", "at the end"))
with t[3] as r:
    dbf.delete(r)
t.close()
