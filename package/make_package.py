#!/usr/bin/python3
"""Builds the installer's embedded task package (RCDATA "TASK_ZIP") from the files beside
this script, byte for byte the same on every run.

    /usr/bin/python3 package/make_package.py [output.zip]     (default: package/task.zip)

The archive is laid out the way the host's own packages were:
  - one top folder, the task folder, spelled with .TSK;
  - a directory entry for the top folder and for each of its standard subfolders (empty ones
    too: git keeps no empty folders, so the list is fixed here), the files after their folder;
  - entry names in GBK without the UTF-8 flag, '/' as separator;
  - each file deflated when that is smaller, otherwise stored; no encryption, no data
    descriptors, no extra fields, no archive comment;
  - every entry dated 2004-03-15 12:00:00 (DOS time), FAT attributes (0x10 folder, 0x20 file);
  - two zero bytes after the end-of-central-directory record, so that a reader that looks
    for the record at the very end does not find it there.
Deflate output is that of zlib at level 9 (stable across zlib 1.2.x releases).
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = '2004年度企业QMVT考核任务.TSK'
SUBFOLDERS = ['ANALDATA', 'ANALPARA', 'DATA', 'PARA', 'QUERY', 'TEMP']
DOS_TIME = (12 << 11) | (0 << 5) | (0 // 2)
DOS_DATE = ((2004 - 1980) << 9) | (3 << 5) | 15
ATTR_DIR = 0x10
ATTR_FILE = 0x20


def entries():
    """(name in the archive, bytes or None for a folder, attribute), in archive order."""
    root = os.path.join(HERE, TOP)
    yield TOP + '/', None, ATTR_DIR
    for sub in SUBFOLDERS:
        yield TOP + '/' + sub + '/', None, ATTR_DIR
        folder = os.path.join(root, sub)
        if os.path.isdir(folder):
            for name in sorted(os.listdir(folder), key=lambda n: n.upper()):
                path = os.path.join(folder, name)
                if os.path.isfile(path):
                    with open(path, 'rb') as f:
                        yield TOP + '/' + sub + '/' + name, f.read(), ATTR_FILE
    for name in sorted(os.listdir(root), key=lambda n: n.upper()):
        path = os.path.join(root, name)
        if os.path.isfile(path):
            with open(path, 'rb') as f:
                yield TOP + '/' + name, f.read(), ATTR_FILE


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15, 8, zlib.Z_DEFAULT_STRATEGY)
    return c.compress(data) + c.flush()


def build():
    out = bytearray()
    central = bytearray()
    count = 0
    for name, data, attr in entries():
        gbk_name = name.encode('gbk')
        if data is None:
            method, packed, crc, size = 0, b'', 0, 0
        else:
            crc, size = zlib.crc32(data) & 0xFFFFFFFF, len(data)
            packed = deflate(data)
            method = 8
            if len(packed) >= size:
                method, packed = 0, data
        version_needed = 20 if method == 8 or data is None else 10
        offset = len(out)
        # Local file header: signature, version needed, flags, method, time, date, CRC-32,
        # compressed size, uncompressed size, name length, extra length; name; data.
        out += struct.pack('<IHHHHHIIIHH', 0x04034B50, version_needed, 0, method, DOS_TIME,
                           DOS_DATE, crc, len(packed), size, len(gbk_name), 0)
        out += gbk_name + packed
        # Central directory header: as above plus version made by (2.0, FAT), comment length,
        # disk number, internal and external attributes, local header offset.
        central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, version_needed, 0,
                               method, DOS_TIME, DOS_DATE, crc, len(packed), size,
                               len(gbk_name), 0, 0, 0, 0, attr, offset)
        central += gbk_name
        count += 1
    central_offset = len(out)
    out += central
    out += struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, count, count, len(central),
                       central_offset, 0)
    out += b'\0\0'
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, 'task.zip')
    with open(target, 'wb') as f:
        f.write(build())


if __name__ == '__main__':
    main()
