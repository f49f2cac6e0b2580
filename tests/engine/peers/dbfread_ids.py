# Prints what python3-dbfread reads of a table with a numeric ID field: the
# count of live records, of deleted ones, and the sum of all their IDs
# (each memo is read too, so a memo file it cannot follow fails the run).
import sys
import dbfread

t = dbfread.DBF(sys.argv[1], encoding="latin-1", char_decode_errors="strict")
live = [r["ID"] for r in t.records]
dead = [r["ID"] for r in t.deleted]
print(len(live), len(dead), sum(live) + sum(dead))
