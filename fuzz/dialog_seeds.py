#!/usr/bin/env python3
"""dialog_seeds.py OUT_DIR FILE.res...

Writes every dialog template (resource type 5) of compiled resource files into OUT_DIR,
one file each: the seed corpus of dialogtemplate_fuzz."""
import os
import struct
import sys


def name_or_ordinal(data, at):
    if struct.unpack_from('<H', data, at)[0] == 0xFFFF:
        return str(struct.unpack_from('<H', data, at + 2)[0]), at + 4
    end = at
    while struct.unpack_from('<H', data, end)[0] != 0:
        end += 2
    return data[at:end].decode('utf-16-le'), end + 2


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for path in sys.argv[2:]:
        data = open(path, 'rb').read()
        at = 0
        while at + 8 <= len(data):
            size, header = struct.unpack_from('<II', data, at)
            kind, next_at = name_or_ordinal(data, at + 8)
            name, _ = name_or_ordinal(data, next_at)
            if kind == '5':
                seed = os.path.join(out, '%s-%s' % (os.path.basename(path), name))
                with open(seed, 'wb') as f:
                    f.write(data[at + header:at + header + size])
            at = (at + header + size + 3) & ~3


if __name__ == '__main__':
    main()
