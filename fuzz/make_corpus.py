#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (fuzz/corpus/<target>/): a few tiny inputs per
target that reach its main paths. Run again after a format change; the files are committed."""
import os
import struct
import sys
import zlib

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")


def put(target, name, data):
    d = os.path.join(out, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def raw_deflate(data, level=9):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


CRCTAB = [0] * 256
for i in range(256):
    c = i
    for _ in range(8):
        c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
    CRCTAB[i] = c


class Keys:
    def __init__(self, password):
        self.k = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)

    def update(self, b):
        k = self.k
        k[0] = CRCTAB[(k[0] ^ b) & 0xFF] ^ (k[0] >> 8)
        k[1] = (k[1] + (k[0] & 0xFF)) & 0xFFFFFFFF
        k[1] = (k[1] * 134775813 + 1) & 0xFFFFFFFF
        k[2] = CRCTAB[(k[2] ^ (k[1] >> 24)) & 0xFF] ^ (k[2] >> 8)

    def encrypt(self, data):
        r = bytearray()
        for b in data:
            t = (self.k[2] | 2) & 0xFFFF
            r.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(b)
        return bytes(r)


def zip_archive(entries, comment=b""):
    """entries: (name, plain, method, packed, encrypted, flags)"""
    body, central = b"", b""
    for name, plain, method, packed, encrypted, flags in entries:
        crc = zlib.crc32(plain) & 0xFFFFFFFF
        dostime, dosdate = 0x6000, 0x3021
        if encrypted:
            flags |= 1
            keys = Keys(b"secret")
            header = bytes(range(11)) + bytes([crc >> 24])
            packed = keys.encrypt(header + packed)
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, dostime, dosdate,
                            crc, len(packed), len(plain), len(name), 0) + name
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, method, dostime,
                               dosdate, crc, len(packed), len(plain), len(name), 0, 0, 0, 0,
                               0x20, len(body)) + name
        body += local + packed
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(body), len(comment)) + comment
    return body + central + end


text = b"TaskSign QMVT04 2004\r\n" * 4
put("archive", "stored.zip", zip_archive([(b"A.TXT", text, 0, text, False, 0)]))
put("archive", "deflate.zip", zip_archive([(b"DIR/B.TXT", text, 8, raw_deflate(text), False, 0),
                                           (b"DIR/", b"", 0, b"", False, 0)]))
put("archive", "encrypted.zip", zip_archive([(b"C.TXT", text, 8, raw_deflate(text), True, 0),
                                             (b"D.TXT", b"abc", 0, b"abc", True, 0)]))
# Shrink/reduce/implode entries with tiny hand-made data: they reach the legacy decoders.
put("archive", "legacy.zip", zip_archive([(b"S.TXT", b"aaaa", 1, b"\x61\x80\x03\x00", False, 0),
                                          (b"R.TXT", b"ab", 2, b"\x00\x61\x62", False, 0),
                                          (b"E.TXT", b"ab", 6, b"\x00\x02\x12\x34\x56", False, 6)]))
put("archive", "escape.zip", zip_archive([(b"../up.txt", b"x", 0, b"x", False, 0),
                                          (b"C:/abs.txt", b"y", 0, b"y", False, 0)]))
put("archive", "sfx.zip", b"MZ" + b"\0" * 62 + zip_archive([(b"E.TXT", b"e", 0, b"e", False, 0)],
                                                            b"comment"))

for i, (name, data) in enumerate([("fixed", raw_deflate(b"hello hello hello", 9)),
                                  ("dynamic", raw_deflate(text * 3, 9)),
                                  ("stored", raw_deflate(text, 0)),
                                  ("empty", raw_deflate(b"", 9))]):
    put("inflate_zlib", name, bytes([i]) + data)

put("legacy", "unshrink", bytes([0x08, 1, 0]) + b"\x61\x80\x03\x00\x42")
put("legacy", "unreduce1", bytes([0x00, 1, 0]) + b"\x00" * 3 + b"abcabc\x90\x01")
put("legacy", "explode", bytes([0x04, 1, 0]) + b"\x00\x02\x12\x34\x56\x78")
put("legacy", "explode-lit", bytes([0x06, 1, 0]) + b"\x00\x02\x12\x34\x56\x78\x9a")


def dbf(fields, records):
    reclen = 1 + sum(f[2] for f in fields)
    header_len = 32 + 32 * len(fields) + 1
    h = struct.pack("<BBBBIHH20x", 3, 104, 12, 10, len(records), header_len, reclen)
    for name, typ, length in fields:
        h += name.ljust(11, b"\0") + typ + b"\0\0\0\0" + bytes([length, 0]) + b"\0" * 14
    h += b"\r"
    for r in records:
        h += b" " + b"".join(v.ljust(f[2])[:f[2]] for v, f in zip(r, fields))
    return h + b"\x1a"


catalog = [(b"NAME", b"C", 40), (b"FLAG", b"C", 15), (b"FILEFLAG", b"C", 15), (b"DIR", b"C", 60),
           (b"YEAR", b"C", 4), (b"PERIOD", b"C", 1), (b"TIME", b"N", 10), (b"GROUP", b"C", 10)]
put("dbf", "catalog", dbf(catalog, [[b"Task", b"QMVT04", b"QMVT", b"C:\\T", b"2004", b"N",
                                      b"1", b"G"]]))
put("dbf", "empty", dbf(catalog, []))
put("dbf", "types", dbf([(b"D", b"D", 8), (b"L", b"L", 1), (b"F", b"F", 12), (b"M", b"M", 10)],
                        [[b"20041231", b"T", b"1.5", b"0"]]))

put("profile", "sign", b"[TaskSign]\r\nName=Task\r\nFlag=QMVT04\r\nYear = \"2004\"\r\nPeriod=N\r\n")
put("profile", "odd", b"; comment\n[ tasksign ]\nFLAG\n=x\n[TaskSign\nFlag=a=b\n\x00[x]\n")

put("hive", "system", b"WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
    b"#arch=win64\n\n[Software\\\\Wine\\\\Drives] 1700000000\n#time=1d9\n\"c:\"=\"hd\"\n"
    b"@=\"default\"\n\"n\"=dword:00000010\n\"b\"=hex:01,02,\\\n  03\n\"e\"=str(2):\"%PATH%\"\n"
    b"\"m\"=hex(7):41,00,00,00,00,00\n\"q\"=\"a\\\"b\\\\c\\x4e2d\"\n")

# A minimal PE32 with a version resource.
def pe_with_version():
    vs_key = "VS_VERSION_INFO\0".encode("utf-16-le")
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x00040000, 0x00010002, 0x00040000,
                        0x00010002, 0x3F, 0, 4, 1, 0, 0, 0)
    body = struct.pack("<HHH", 0, 52, 0) + vs_key
    body += b"\0" * ((-len(body)) % 4) + fixed
    body = struct.pack("<H", len(body)) + body[2:]
    rsrc_rva = 0x1000
    # Root -> type 16 -> name 1 -> language 0x804 -> data entry.
    def directory(entry_id, offset, leaf=False):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, 0, 1) + struct.pack(
            "<II", entry_id, offset | (0 if leaf else 0x80000000))
    d0 = directory(16, 0x18)
    d1 = directory(1, 0x30)
    d2 = directory(0x804, 0x48, leaf=True)
    entry = struct.pack("<IIII", rsrc_rva + 0x58, len(body), 0, 0)
    rsrc = d0 + d1 + d2 + entry
    rsrc += b"\0" * (0x58 - len(rsrc)) + body
    dos = b"MZ" + b"\0" * 58 + struct.pack("<I", 0x40)
    coff = struct.pack("<IHHIIIHH", 0x4550, 0x14C, 1, 0, 0, 0, 0xE0, 0x102)
    opt = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 0, 0, 0, 0, 0, 0, 0, 0,
                      0x400000, 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x2000, 0x200, 0, 2, 0,
                      0, 0, 0, 0, 0, 16)
    dirs = [(0, 0)] * 16
    dirs[2] = (rsrc_rva, len(rsrc))
    opt += b"".join(struct.pack("<II", *d) for d in dirs)
    sect = struct.pack("<8sIIIIIIHHI", b".rsrc", len(rsrc), rsrc_rva, 0x200, 0x200, 0, 0, 0, 0,
                       0x40000040)
    head = dos + coff + opt + sect
    head += b"\0" * (0x200 - len(head))
    return head + rsrc + b"\0" * ((-len(rsrc)) % 0x200)


put("pe_version", "version", pe_with_version())
put("pe_version", "mz-only", b"MZ" + b"\0" * 62)

put("wildcard", "star", b"*.*\0SETUP.EXE")
put("wildcard", "mixed", b"a*b?c*\0aXXbYcZZ")
put("wildcard", "paths", b"dir\\*.t?t\0DIR\\file.txt")
put("wildcard", "stars", b"*" * 40 + b"\0" + b"a" * 60)
