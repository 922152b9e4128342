#!/usr/bin/env python3
"""Rewrites zips so that their bytes depend only on what they hold: members in
name order, each with the time EPOCH (written in UTC), mode 644 (755 for
folders and executables) and no owner, access or change time.

usage: reproducible_zip.py EPOCH ZIP...
"""
import stat
import sys
import time
import zipfile

EARLIEST_ZIP_TIME = 315532800  # 1980-01-01 00:00 UTC


def rewrite(path: str, epoch: int) -> None:
    with zipfile.ZipFile(path) as old:
        members = sorted(((info, old.read(info)) for info in old.infolist()), key=lambda m: m[0].filename)
    date_time = time.gmtime(max(epoch, EARLIEST_ZIP_TIME))[:6]
    with zipfile.ZipFile(path, "w") as new:
        for info, data in members:
            fixed = zipfile.ZipInfo(info.filename, date_time=date_time)
            fixed.create_system = 3  # Unix modes
            if info.is_dir():
                fixed.external_attr = (stat.S_IFDIR | 0o755) << 16
            else:
                executable = (info.external_attr >> 16) & stat.S_IXUSR
                fixed.external_attr = (stat.S_IFREG | (0o755 if executable else 0o644)) << 16
                fixed.compress_type = zipfile.ZIP_DEFLATED
            new.writestr(fixed, data)


if __name__ == "__main__":
    for name in sys.argv[2:]:
        rewrite(name, int(sys.argv[1]))
