# Holds a lock on a table as another station does, says "held" on standard
# output, and keeps it until a line can be read from the release fifo.
# Without an offset it is the whole-file lock (1000000001 bytes from
# 1000000000); an editor's lock of record n is 1 byte at 1999999999 - n.
import fcntl
import sys

offset = int(sys.argv[3]) if len(sys.argv) > 3 else 1000000000
length = int(sys.argv[4]) if len(sys.argv) > 4 else 1000000001
with open(sys.argv[1], "r+b") as table:
    fcntl.lockf(table, fcntl.LOCK_EX | fcntl.LOCK_NB, length, offset, 0)
    print("held", flush=True)
    with open(sys.argv[2]) as release:
        release.read()
