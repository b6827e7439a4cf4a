#!/usr/bin/env python3
"""Writes the zip archives that the Expand-Archive stand-in is tested with."""
import os
import sys
import zipfile


def main(out):
    os.makedirs(out, exist_ok=True)
    with zipfile.ZipFile(os.path.join(out, "good.zip"), "w") as z:
        z.writestr(zipfile.ZipInfo("stored.txt"), b"stored bytes\r\n")
        info = zipfile.ZipInfo("sub/deflated.txt")
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, b"deflated " * 1000)
        z.writestr(zipfile.ZipInfo("empty-folder/"), b"")
        z.writestr(zipfile.ZipInfo("caf\u00e9 \u2019quote\u2019.txt"), "unicode name".encode())
    with zipfile.ZipFile(os.path.join(out, "escape.zip"), "w") as z:
        z.writestr("inside.txt", b"fine")
        z.writestr("../outside.txt", b"must not land outside")
    with zipfile.ZipFile(os.path.join(out, "absolute.zip"), "w") as z:
        z.writestr("C:/absolute.txt", b"must not land anywhere")
    with open(os.path.join(out, "corrupt.zip"), "wb") as f:
        f.write(b"PK\x03\x04 this is not really an archive")
    # A good archive whose deflated data is damaged: the CRC check must catch it.
    with zipfile.ZipFile(os.path.join(out, "badcrc.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("data.bin", bytes(range(256)) * 64)
    data = bytearray(open(os.path.join(out, "badcrc.zip"), "rb").read())
    data[60] ^= 0xFF
    open(os.path.join(out, "badcrc.zip"), "wb").write(bytes(data))


if __name__ == "__main__":
    main(sys.argv[1])
