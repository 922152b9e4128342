#!/usr/bin/env python3
"""Checks a Windows DLL's version resource: FILEVERSION and PRODUCTVERSION
1.0.0.1 and the same in the FileVersion and ProductVersion strings.

    version_resource.py DLL
"""
import struct
import sys

data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
assert at >= 0, "no VS_FIXEDFILEINFO"
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
version = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
assert version(file_ms, file_ls) == "1.0.0.1" and version(product_ms, product_ls) == "1.0.0.1"
for key in ("FileVersion", "ProductVersion"):
    entry = (key + "\0").encode("utf-16-le")
    value = data[data.find(entry) + len(entry):][:64]
    assert "1.0.0.1".encode("utf-16-le") in value, key
print("version resource: FILEVERSION and PRODUCTVERSION 1.0.0.1, strings 1.0.0.1")
