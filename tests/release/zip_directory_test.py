#!/usr/bin/env python3
# The zip central-directory reader (install/zip_directory.cpp, which the release tool and
# the launcher use), run through fuzz/zip_directory_list, against Python's zipfile: the
# seed corpus and seeded mutations of it (bytes flipped, end records hit, files cut short)
# give the same entries, or a refusal. Then its entry-name check on near misses.
#
# Where the two differ on purpose, zipfile is made to agree or the rule is applied here:
# - zipfile's own refusals of a version needed above 6.3 and of names flagged UTF-8 that
#   are not are turned off: the reader only lists entries and keeps names as raw bytes.
# - The reader takes the end record nearest the end whose comment ends with the file;
#   zipfile takes the last signature, even one inside a comment, and ignores the comment
#   length. zipfile is shown the archive with that comment blanked.
# - The reader refuses what zipfile passes: bytes before the archive (zipfile shifts every
#   offset; a range read would fetch the wrong bytes), several disks, an entry count or
#   directory size that disagrees with the records, a zip64 locator without its record
#   right before it, a size or offset of 0xFFFFFFFF with no zip64 value, and an entry whose
#   local header and data would reach into the directory. A damaged package is refused
#   rather than guessed at, since the launcher will fetch ranges by these numbers.
import io
import pathlib
import random
import struct
import subprocess
import sys
import zipfile

LISTER, CORPUS, WORK = sys.argv[1:4]
zipfile.MAX_EXTRACT_VERSION, zipfile._MASK_UTF_FILENAME = 0xFFFF, 0  # names decode as code page 437: raw bytes
# A name, and what its refusal names ("" when it passes).
NAMES = [("Sarnhold-Elderline.exe", ""), ("savedata/OptionInfo.lua", ""), ("..evil.dll", ""), ("data/evil..", ""),
         ("./x", ""), ("../evil.dll", '".."'), ("data/../../evil.dll", '".."'), ("data\\..\\..\\evil.dll", '".."'),
         ("data/..", '".."'), ("data/.. /x", '".. "'), (".../x", '"..."'), ("/evil.dll", "root"),
         ("\\evil.dll", "root"), ("C:/x", "colon"), ("C:x", "colon"), ("data/x.txt:stream", "colon"),
         ("aux.txt", "AUX"), ("data/Aux", "AUX"), ("aux .txt", "AUX"), ("com1.log", "COM1"), ("Com0", "COM0"),
         ("LPT9", "LPT9"), ("nul.tar.gz", "NUL"), ("conout$", "CONOUT$"), ("com²", "COM²"), ("auxx.txt", ""),
         ("aux1.txt", ""), ("xaux", ""), ("com10", ""), ("lpt", ""), ("console.log", ""), ("data/nul_/x", ""),
         ("com¹x", "")]


def fitting_end(data):
    for at in range(len(data) - 22, max(len(data) - 65557, 0) - 1, -1):
        if data[at:at + 4] == b"PK\5\6" and struct.unpack_from("<H", data, at + 20)[0] == len(data) - at - 22:
            return at
    return None


def expected(data):
    """The reader's listing of data as zipfile reads it, or "refused"."""
    at = fitting_end(data)
    if at is None:
        return "refused"
    data = data[:at + 22] + bytes(len(data) - at - 22)
    try:
        infos, end = zipfile.ZipFile(io.BytesIO(data)).infolist(), zipfile._EndRecData(io.BytesIO(data))
    except Exception:
        return "refused"
    start, count = end[zipfile._ECD_LOCATION] - end[zipfile._ECD_SIZE], end[zipfile._ECD_ENTRIES_TOTAL]
    if end[zipfile._ECD_SIGNATURE] == zipfile.stringEndArchive64:
        start -= 76
    walk = start
    for info in infos if start == end[zipfile._ECD_OFFSET] else []:  # records laid end to end
        walk += 46 + sum(struct.unpack_from("<3H", data, walk + 28))
    locator = at >= 20 and data[at - 20:at - 16] == b"PK\6\7"
    if (start != end[zipfile._ECD_OFFSET] or walk != start + end[zipfile._ECD_SIZE] or len(infos) != count
            or end[zipfile._ECD_DISK_NUMBER] or end[zipfile._ECD_DISK_START]
            or end[zipfile._ECD_ENTRIES_THIS_DISK] != count
            or locator and (end[zipfile._ECD_SIGNATURE] != zipfile.stringEndArchive64
                            or data[at - 12:at - 4] != struct.pack("<Q", at - 76)
                            or data[at - 72:at - 64] != struct.pack("<Q", 44))
            or any(0xFFFFFFFF in (i.file_size, i.compress_size, i.header_offset)
                   or i.header_offset + 30 + len(i.orig_filename) + i.compress_size > start for i in infos)):
        return "refused"
    return ["%s- %d %d %d %d %d %d %d %d %d %d" % (
        i.orig_filename.encode("cp437").hex(), i.CRC, i.compress_size, i.file_size, i.header_offset, i.compress_type,
        i.flag_bits, i._raw_time, (i.date_time[0] - 1980) << 9 | i.date_time[1] << 5 | i.date_time[2], len(i.extra),
        len(i.comment)) for i in infos]


def mutated(data, rng):
    kind = rng.randrange(4)
    if kind == 0 or not data:
        return data[:rng.randrange(len(data) + 1)]
    data = bytearray(data)
    for _ in range(rng.randint(1, 3)):  # a bit anywhere, or a byte among the end records
        at = rng.randrange(len(data)) if kind < 3 else len(data) - 1 - rng.randrange(min(len(data), 120))
        data[at] ^= 1 << rng.randrange(8) if kind < 3 else rng.randrange(1, 256)
    return bytes(data)


seeds = [path.read_bytes() for path in sorted(pathlib.Path(CORPUS).iterdir())]
rng = random.Random(20240501)
inputs = seeds + [mutated(rng.choice(seeds), rng) for _ in range(500)]
folder = pathlib.Path(WORK)
folder.mkdir(parents=True, exist_ok=True)
for number, data in enumerate(inputs):
    (folder / str(number)).write_bytes(data)
lines = subprocess.run([LISTER] + [str(folder / str(n)) for n in range(len(inputs))], capture_output=True, text=True,
                       check=True).stdout.splitlines()
faults, outcomes = [], {"refused": 0, "listed": 0}
for number, data in enumerate(inputs):
    head = lines.pop(0)
    listed = "refused" if head.startswith("refused ") else [lines.pop(0) for _ in range(int(head.split()[1]))]
    outcomes["refused" if listed == "refused" else "listed"] += 1
    if listed != expected(data):
        faults.append("input %d (%s): the reader says %s, zipfile %s" % (number, data.hex(), head, expected(data)))
names = subprocess.run([LISTER, "--names"] + [name for name, _ in NAMES], capture_output=True, text=True,
                       check=True).stdout.splitlines()
for (name, named), said in zip(NAMES, names):
    if (said == "ok") != (named == "") or named not in said:
        faults.append("name %r: %s" % (name, said))
print("\n".join("FAULT in " + fault for fault in faults) or "%d inputs (%d listed, %d refused) and %d names agree" % (
    len(inputs), outcomes["listed"], outcomes["refused"], len(NAMES)))
sys.exit(1 if faults else 0)
