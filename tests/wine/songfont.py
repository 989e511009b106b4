#!/usr/bin/env python3
"""songfont.py IN.ttc OUT.ttc FAMILY

Makes the Song face that Wine shows for "宋体": a copy of AR PL UMing whose line is one
em high, as the Windows Song face's is (ascent and descent add up to the em), so a
12-pixel font is 12 pixels high and dialog units come out as on Windows. The simplified-
Chinese face of the collection is renamed FAMILY (the same number of letters as its own
name) so that Wine can tell the copy from the installed original."""
import struct
import sys

ASCENT, DESCENT = 880, 144  # of an em of 1024 units


def tables(data, offset):
    count = struct.unpack_from('>H', data, offset + 4)[0]
    found = {}
    for i in range(count):
        tag, _, start, length = struct.unpack_from('>4sIII', data, offset + 12 + 16 * i)
        found[tag] = (start, length)
    return found


def main():
    source, target, family = sys.argv[1], sys.argv[2], sys.argv[3]
    data = bytearray(open(source, 'rb').read())
    if data[:4] != b'ttcf':
        sys.exit('songfont: %s is not a font collection' % source)
    faces = struct.unpack_from('>I', data, 8)[0]
    offsets = struct.unpack_from('>%dI' % faces, data, 12)
    renamed = False
    for offset in offsets:
        t = tables(data, offset)
        if struct.unpack_from('>H', data, t[b'head'][0] + 18)[0] != 1024:
            sys.exit('songfont: unexpected em size')
        os2, hhea = t[b'OS/2'][0], t[b'hhea'][0]
        struct.pack_into('>hhh', data, os2 + 68, ASCENT, -DESCENT, 0)
        struct.pack_into('>HH', data, os2 + 74, ASCENT, DESCENT)
        struct.pack_into('>hhh', data, hhea + 4, ASCENT, -DESCENT, 0)
        name = t[b'name'][0]
        count, strings = struct.unpack_from('>HH', data, name + 2)
        for i in range(count):
            platform, _, language, name_id, length, start = struct.unpack_from('>6H', data, name + 6 + 12 * i)
            if name_id not in (1, 4):
                continue
            at = name + strings + start
            encoding = 'utf-16-be' if platform in (0, 3) else 'latin-1'
            text = bytes(data[at:at + length]).decode(encoding, 'replace')
            if text != 'AR PL UMing CN' or len(family) != len(text):
                continue
            data[at:at + length] = family.encode(encoding)
            renamed = True
    if not renamed:
        sys.exit('songfont: no face named AR PL UMing CN of %d letters' % len(family))
    with open(target + '.tmp', 'wb') as out:
        out.write(data)
    import os
    os.replace(target + '.tmp', target)


if __name__ == '__main__':
    main()
