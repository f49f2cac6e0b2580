# Prints every record of a dBASE table as python3-dbfread reads it: "L" for
# live and "D" for deleted records (live ones first), then each value
# hex-encoded, tab-separated: texts as Latin-1 bytes, dates as CCYYMMDD,
# logicals as T or F, numbers as repr, "-" for none.
import sys
import dbfread


def enc(v):
    if v is None:
        return "-"
    if isinstance(v, bool):
        return ("T" if v else "F").encode().hex()
    if isinstance(v, str):
        return v.encode("latin-1").hex()
    if isinstance(v, bytes):
        return v.hex()
    if hasattr(v, "strftime"):
        return v.strftime("%Y%m%d").encode().hex()
    return repr(v).encode().hex()


t = dbfread.DBF(sys.argv[1], encoding="latin-1", char_decode_errors="strict")
for kind, records in (("L", t.records), ("D", t.deleted)):
    for r in records:
        print("\t".join([kind] + [enc(v) for v in r.values()]))
