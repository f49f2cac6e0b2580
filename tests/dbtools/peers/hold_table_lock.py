# Holds the whole-file lock of a table as another station does (the bytes
# from 1000000000, 1000000001 long), says "held" on standard output, and
# keeps it until a line can be read from the release fifo.
import fcntl
import sys

with open(sys.argv[1], "r+b") as table:
    fcntl.lockf(table, fcntl.LOCK_EX | fcntl.LOCK_NB, 1000000001, 1000000000, 0)
    print("held", flush=True)
    with open(sys.argv[2]) as release:
        release.read()
