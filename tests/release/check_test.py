#!/usr/bin/env python3
# The release tool against the stand-in services: a release made by its own "manifest"
# command passes "check", and each mistake a publisher can make fails exactly its own
# verdict.
import json
import pathlib
import re
import ssl
import subprocess
import sys
import urllib.request

TOOL, HTTP, HTTPS, AUTHORITY, LAUNCHER, NEXT_LAUNCHER, WORK = sys.argv[1:8]
PACKAGE, LAUNCHER_PATH = "/download/sarnhold/client.zip", "/download/sarnhold/HollowmereLauncher.exe"
VERSION = '1.0.0 "Zoë"'  # the quotes must come back through the launcher's lookup
QUICK, TRUSTED = ["--quick"], ["--ca-file", AUTHORITY, "--quick"]
NONE = {"launcher_version": "", "launcher_url": "", "launcher_sha256": ""}  # no launcher offered
# origin, check arguments, manifest fields changed, control request, the verdicts that fail.
# Only the cases about the package's bytes read it whole (a quick check does not), and
# only those about the launcher offer one.
CASES = [
    (HTTP, [], {}, None, []),
    (HTTP, QUICK, dict(NONE, client_size="999"), None, ["length"]),
    (HTTP, [], dict(NONE, client_sha256="0" * 64), None, ["client digest"]),
    (HTTP, QUICK, NONE, "scenario?path=%s&ignore_range=1" % PACKAGE, ["resume"]),
    (HTTP, QUICK, dict(NONE, client_size=999), None, ["fields"]),
    (HTTP, QUICK, {"launcher_version": "2.0.5"}, None, ["launcher file"]),
    (HTTPS, TRUSTED, {}, None, []),
    (HTTPS, TRUSTED, NONE, "tls?certificate=expired", ["certificate"]),
    (HTTPS, TRUSTED, NONE, "tls?certificate=other-host", ["certificate"]),
    (HTTPS, QUICK, NONE, None, ["certificate"]),
]
# The https release carries the newer launcher, so its version is read, not assumed.
LAUNCHERS = {HTTP: LAUNCHER, HTTPS: NEXT_LAUNCHER}


def control(origin, request, body=None, method="POST"):
    # Only the tool checks certificates; the test's own requests accept any.
    return urllib.request.urlopen(urllib.request.Request(origin + "/_control/" + request, body, method=method),
                                  timeout=30, context=ssl._create_unverified_context()).read()


def make_manifest(origin, launcher):
    folder = pathlib.Path(WORK, "Zoë Ωmega 游戏", origin.split(":")[0])
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "client.zip").write_bytes(control(origin, "file?path=" + PACKAGE, method="GET"))
    run = subprocess.run([TOOL, "manifest", "--client", folder / "client.zip", "--client-version", VERSION,
                          "--client-url", origin + PACKAGE, "--launcher", launcher, "--launcher-url",
                          origin + LAUNCHER_PATH, "--output", folder / "manifest.json"], capture_output=True, text=True)
    return run, (folder / "manifest.json").read_bytes()


# Each good release is made afresh (a fault names its origin), and its version comes back whole.
made = {origin: make_manifest(origin, LAUNCHERS[origin]) for origin in LAUNCHERS}
faults = [o for o in made if made[o][0].returncode or json.loads(made[o][1])["client_version"] != VERSION]
for origin, arguments, changes, request, expected in CASES:
    document = made[origin][1]
    if changes:
        document = json.dumps(dict(json.loads(document), **changes), separators=(",", ":")).encode()
    control(origin, "reset")
    if json.loads(document)["launcher_url"]:  # only then is a launcher served
        control(origin, "file?path=" + LAUNCHER_PATH, pathlib.Path(LAUNCHERS[origin]).read_bytes())
    control(origin, "file?path=/download/sarnhold/manifest.json", document)
    if request:
        control(origin, request)
    run = subprocess.run([TOOL, "check", origin] + arguments, capture_output=True, text=True)
    failed = re.findall(r"^FAIL  ([a-z ]+):", run.stdout, re.M)
    if failed != expected or run.returncode != (1 if expected else 0):
        faults.append("%s %s %s %s: exit %d, failed %s\n%s" % (origin, arguments, changes, request, run.returncode,
                                                               failed, run.stdout + run.stderr))
# A package given as the launcher is no Windows executable: refused, and the manifest stays.
refused, kept = make_manifest(HTTP, pathlib.Path(WORK, "Zoë Ωmega 游戏", "http", "client.zip"))
if refused.returncode != 1 or "is not a Windows executable" not in refused.stderr or kept != made[HTTP][1]:
    faults.append("a package given as the launcher was not refused cleanly\n" + refused.stderr)
for origin in LAUNCHERS:
    control(origin, "reset")
print("\n".join("FAULT in " + fault for fault in faults) or "all %d release checks passed" % (len(CASES) + 1))
sys.exit(1 if faults else 0)
