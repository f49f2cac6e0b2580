# Cleans line ends as the workstation's conversion does, written apart from
# it: drop all before the first "%", one CR LF for each run of CR and LF,
# keep bytes 32 to 127 only. Reads standard input, writes standard output.
import re
import sys

data = sys.stdin.buffer.read()
start = data.find(b"%")
if start < 0:
    sys.exit(3)
out = bytearray()
for run in re.finditer(rb"[\r\n]+|[^\r\n]+", data[start:]):
    text = run.group(0)
    if text[0] in b"\r\n":
        out += b"\r\n"
    else:
        out += bytes(b for b in text if 32 <= b <= 127)
sys.stdout.buffer.write(bytes(out))
