#!/usr/bin/python3
# The program list file of one machine as an independent peer writes it:
# the program index read by dbfread, the machine's live rows sorted by
# DESC, one line each in the list's layout.
#   list_peer.py <KELVFILE.DBF> <machine id> <out> <six labels in line order>
import sys

import dbfread

index, machine, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
desc, mach, char3, draw, part, path = sys.argv[4:10]
rows = [r for r in dbfread.DBF(index, encoding='latin-1', load=False) if r['MID'] == machine]
rows.sort(key=lambda r: r['DESC'])
with open(out, 'w', encoding='latin-1', newline='') as f:
    f.writelines(f"{desc} : {r['DESC']:<40}, {mach} : {r['MACHINE']:<20}, {char3} : {r['CHAR3']:<50}, "
                 f"{draw} : {r['DRAW']:<25}, {part} : {r['PART']:<25}, {path} : {r['DIR']}{r['NAME']}.{r['EXT']}\r\n"
                 for r in rows)
