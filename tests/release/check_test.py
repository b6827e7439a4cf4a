#!/usr/bin/env python3
# The release tool against the stand-in services: a release made by its own "manifest"
# command passes "check", and each mistake a publisher can make fails exactly its own
# verdict.
import hashlib
import io
import json
import pathlib
import re
import ssl
import subprocess
import sys
import tarfile
import urllib.request
import zipfile

TOOL, HTTP, HTTPS, AUTHORITY, LAUNCHER, NEXT_LAUNCHER, WORK = sys.argv[1:8]
PACKAGE, LAUNCHER_PATH = "/download/sarnhold/client.zip", "/download/sarnhold/HollowmereLauncher.exe"
VERSION = '1.0.1 – Frostfall "Zoë"'  # the quotes must come back through the launcher's lookup
QUICK, TRUSTED = ["--quick"], ["--ca-file", AUTHORITY, "--quick"]
NONE = {"launcher_version": "", "launcher_url": "", "launcher_sha256": ""}  # no launcher offered
EXE = "Sarnhold-Elderline.exe"


def packed(*names):
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w") as package:
        for name in names:
            package.writestr(name, b"MZ")
    return archive.getvalue()


def tar_gz():
    archive = io.BytesIO()
    with tarfile.open(fileobj=archive, mode="w:gz") as package:
        package.addfile(tarfile.TarInfo(EXE))
    return archive.getvalue()


# A package of the publisher's own instead of the demo package, the check arguments, the
# verdict that fails (None: none), and what the check and the manifest command both say.
PACKAGES = [
    (packed(), QUICK, "entries", "no entries"),  # the empty 22-byte zip
    (packed("game/" + EXE, EXE[:-1]), [], "client executable", 'no "%s" at the top of the archive' % EXE),
    (tar_gz(), QUICK, "archive", "not a zip archive"),
    (packed(EXE, "../evil.dll"), QUICK, "entry names", '"../evil.dll"'),
    (packed(EXE, "C:/x"), QUICK, "entry names", '"C:/x"'),
    (packed(EXE, "data/aux.txt"), QUICK, "entry names", '"data/aux.txt"'),
    # Written, so last: a directory longer than the tail read, fetched with a range of its own.
    (packed(EXE, *["data/%04d.pak" % n for n in range(1500)]), QUICK, None, "holds 1501 files, 3002 bytes unpacked"),
]
# origin, check arguments, manifest fields changed, control request (or a package and
# what its failure says), the verdicts that fail.
# Only the cases about the package's bytes read it whole (a quick check does not), and
# only those about the launcher offer one.
CASES = [
    (HTTP, [], {}, None, []),
    (HTTP, QUICK, dict(NONE, client_size="999"), None, ["length"]),
    # The digest one digit off fails; the right one in capitals passes, as the launcher takes it.
    (HTTP, [], lambda m: dict(NONE, client_sha256=m["client_sha256"][:-1] + "01"[m["client_sha256"][-1] == "0"]),
     None, ["client digest"]),
    (HTTP, [], lambda m: dict(NONE, client_sha256=m["client_sha256"].upper()), None, []),
    (HTTP, QUICK, NONE, "scenario?path=%s&ignore_range=1" % PACKAGE, ["resume"]),
    (HTTP, QUICK, dict(NONE, client_size=999), None, ["fields"]),
    (HTTP, QUICK, {"launcher_version": "2.0.5"}, None, ["launcher file"]),
    (HTTPS, TRUSTED, {}, None, []),
    (HTTPS, TRUSTED, NONE, "tls?certificate=expired", ["certificate"]),
    (HTTPS, TRUSTED, NONE, "tls?certificate=other-host", ["certificate"]),
    (HTTPS, QUICK, NONE, None, ["certificate"]),
]
CASES += [(HTTP, arguments, dict(NONE, client_size=str(len(p)), client_sha256=hashlib.sha256(p).hexdigest()), (p, said),
           [verdict] if verdict else []) for p, arguments, verdict, said in PACKAGES]
# The https release carries the newer launcher, so its version is read, not assumed.
LAUNCHERS = {HTTP: LAUNCHER, HTTPS: NEXT_LAUNCHER}


def control(origin, request, body=None, method="POST"):
    # Only the tool checks certificates; the test's own requests accept any.
    return urllib.request.urlopen(urllib.request.Request(origin + "/_control/" + request, body, method=method),
                                  timeout=30, context=ssl._create_unverified_context()).read()


def make_manifest(origin, launcher, package=None):
    folder = pathlib.Path(WORK, "Zoë Ωmega 游戏", origin.split(":")[0])
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "client.zip").write_bytes(package or control(origin, "file?path=" + PACKAGE, method="GET"))
    run = subprocess.run([TOOL, "manifest", "--client", folder / "client.zip", "--client-version", VERSION,
                          "--client-url", origin + PACKAGE, "--launcher", launcher, "--launcher-url",
                          origin + LAUNCHER_PATH, "--output", folder / "manifest.json"], capture_output=True, text=True)
    return run, (folder / "manifest.json").read_bytes()


def holds(package):  # what both commands say of the demo package, from Python's zipfile
    files = [entry for entry in zipfile.ZipFile(io.BytesIO(package)).infolist() if not entry.is_dir()]
    return "holds %d files, %d bytes unpacked" % (len(files), sum(entry.file_size for entry in files))


# Each good release is made afresh (a fault names its origin), and its version comes back whole.
made = {origin: make_manifest(origin, LAUNCHERS[origin]) for origin in LAUNCHERS}
HOLDS = {origin: holds(control(origin, "file?path=" + PACKAGE, method="GET")) for origin in LAUNCHERS}
faults = [o for o in made if made[o][0].returncode or json.loads(made[o][1])["client_version"] != VERSION
          or HOLDS[o] not in made[o][0].stdout]
for origin, arguments, changes, request, expected in CASES:
    document = made[origin][1]
    if callable(changes):
        changes = changes(json.loads(document))
    if changes:
        document = json.dumps(dict(json.loads(document), **changes), separators=(",", ":")).encode()
    control(origin, "reset")
    if json.loads(document)["launcher_url"]:  # only then is a launcher served
        control(origin, "file?path=" + LAUNCHER_PATH, pathlib.Path(LAUNCHERS[origin]).read_bytes())
    control(origin, "file?path=/download/sarnhold/manifest.json", document)
    if isinstance(request, tuple):
        control(origin, "file?path=" + PACKAGE, request[0])
    elif request:
        control(origin, request)
    run = subprocess.run([TOOL, "check", origin] + arguments, capture_output=True, text=True)
    failed = re.findall(r"^FAIL  ([a-z ]+):", run.stdout, re.M)
    said = request[1] if isinstance(request, tuple) else HOLDS[origin] if not expected else ""
    if failed != expected or run.returncode != (1 if expected else 0) or said not in run.stdout:
        faults.append("%s %s %s %s: exit %d, failed %s\n%s" % (origin, arguments, changes, request, run.returncode,
                                                               failed, run.stdout + run.stderr))
# A package given as the launcher is no Windows executable: refused, and the manifest stays.
control(HTTP, "reset")  # the demo package again
refused, kept = make_manifest(HTTP, pathlib.Path(WORK, "Zoë Ωmega 游戏", "http", "client.zip"))
if refused.returncode != 1 or "is not a Windows executable" not in refused.stderr or kept != made[HTTP][1]:
    faults.append("a package given as the launcher was not refused cleanly\n" + refused.stderr)
# Each mistaken package is refused with its own line, and the manifest there stays as it was.
for package, _, verdict, said in PACKAGES:
    run, written = make_manifest(HTTP, LAUNCHER, package)
    if (run.returncode != (1 if verdict else 0) or said not in run.stdout + run.stderr
            or (written == made[HTTP][1]) != bool(verdict)):
        faults.append("the manifest command with a package whose %s fails\n%s" % (verdict, run.stdout + run.stderr))
for origin in LAUNCHERS:
    control(origin, "reset")
print("\n".join("FAULT in " + fault for fault in faults)
      or "all %d release checks passed" % (len(CASES) + 1 + len(PACKAGES)))
sys.exit(1 if faults else 0)
