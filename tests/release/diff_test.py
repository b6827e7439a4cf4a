#!/usr/bin/env python3
# "hollowmere-release diff" against what Python's zipfile says of the same two packages:
# an entry whose record says the same and whose bytes take the same room is reused, its
# local header and all; anything else, and the directory, is fetched. A near miss (one
# second of time, one byte of content, four bytes of header) is fetched, and a package
# packed again with other settings reuses nothing.
import io, pathlib, random, re, subprocess, sys, zipfile

TOOL, WORK = sys.argv[1], pathlib.Path(sys.argv[2])
WORK.mkdir(parents=True, exist_ok=True)
rng = random.Random(7)
TEXT = {"data/%02d.txt" % i: " ".join(str(rng.randint(0, 99)) for _ in range(4000)).encode() for i in range(12)}
WHEN = (2026, 12, 1, 10, 0, 0)


def pack(files, level=6, when=None, extra=None):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in files.items():
            info = zipfile.ZipInfo(name, (when or {}).get(name, WHEN))
            info.extra = (extra or {}).get(name, b"")
            archive.writestr(info, data, zipfile.ZIP_DEFLATED, compresslevel=level)
    return buffer.getvalue()


def spans(data):
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        infos = sorted(archive.infolist(), key=lambda i: i.header_offset)
        ends = [i.header_offset for i in infos[1:]] + [archive.start_dir]
        return {i.filename: (i, end - i.header_offset) for i, end in zip(infos, ends)}, archive.start_dir


def expected(old, new):
    kept, _ = spans(old)
    fresh, directory = spans(new)
    key = lambda i: (i.CRC, i.compress_size, i.file_size, i.compress_type, i.flag_bits, i.date_time)
    fetched = [name for name, (info, length) in fresh.items()
               if name not in kept or key(kept[name][0]) != key(info) or kept[name][1] != length]
    return sum(fresh[n][1] for n in fetched) + len(new) - directory, len(fetched)


old = pack(TEXT)
cases = {
    "the same package": old,
    "one entry changed": pack(dict(TEXT, **{"data/05.txt": TEXT["data/05.txt"][:-1] + b"!"})),
    "one entry a second newer": pack(TEXT, when={"data/05.txt": WHEN[:5] + (2,)}),
    # The same record, but a local header four bytes longer: the old bytes no longer fit.
    "one entry's header longer": pack(TEXT, extra={"data/05.txt": b"\xfe\xca\x00\x00"}),
    "one entry added, one gone": pack({**{k: v for k, v in TEXT.items() if k != "data/00.txt"}, "data/new.txt": b"x" * 9000}),
    "packed again faster": pack(TEXT, level=1),
}
faults = []
(WORK / "old.zip").write_bytes(old)
for name, new in cases.items():
    (WORK / "new.zip").write_bytes(new)
    run = subprocess.run([TOOL, "diff", WORK / "old.zip", WORK / "new.zip"], capture_output=True, text=True)
    figures = re.search(r"fetched: ([\d,]+) bytes in ([\d,]+) range requests? \(([\d,]+) changed.*\nreused:  ([\d,]+)",
                        run.stdout)
    got = tuple(int(f.replace(",", "")) for f in figures.groups()) if figures else None
    fetched, entries = expected(old, new)
    want = (fetched, None, entries, len(new) - fetched)
    nothing_reused = "Nothing is reused" in run.stdout
    if run.returncode or not got or (got[0], got[2], got[3]) != (want[0], want[2], want[3]) or \
            nothing_reused != (name == "packed again faster") or got[1] > entries + 1:
        faults.append("%s: want fetched %d of %d entries, got %s\n%s" % (name, fetched, entries, got, run.stdout + run.stderr))
print("\n".join("FAULT in " + f for f in faults) or "all %d diff cases passed" % len(cases))
sys.exit(1 if faults else 0)
