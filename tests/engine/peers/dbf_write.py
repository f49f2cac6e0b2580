# Writes a small dBASE III table through python3-dbf.
import datetime
import sys
import dbf

t = dbf.Table(sys.argv[1], "NAME C(20); QTY N(8,2); BORN D; OK L", dbf_type="db3", codepage="cp437")
t.open(dbf.READ_WRITE)
t.append(("alpha", 1.5, datetime.date(1999, 12, 31), True))
t.append(("beta", -2, None, False))
t.append(("gamma", 12345.67, datetime.date(2000, 2, 29), True))
with t[1] as r:
    dbf.delete(r)
t.close()
