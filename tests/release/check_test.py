#!/usr/bin/env python3
# The release tool against the stand-in services: a release made by its own "manifest"
# command passes "check", and each mistake a publisher can make fails exactly its own
# verdict.
import json
import os
import re
import ssl
import subprocess
import sys
import urllib.request

TOOL, HTTP, HTTPS, AUTHORITY, LAUNCHER, NEXT_LAUNCHER, WORK = sys.argv[1:8]
PACKAGE, LAUNCHER_PATH = "/download/sarnhold/client.zip", "/download/sarnhold/HollowmereLauncher.exe"
VERSION = '1.0.0 "Zoë"'  # the quotes must come back through the launcher's lookup
QUICK, TRUSTED = ["--quick"], ["--ca-file", AUTHORITY, "--quick"]
# origin, check arguments, manifest fields changed, control request, the verdicts that fail.
# A quick check reads no package, so only the cases about its bytes read it whole.
CASES = [
    (HTTP, [], {}, None, []),
    (HTTP, QUICK, {"client_size": "999"}, None, ["length"]),
    (HTTP, [], {"client_sha256": "0" * 64}, None, ["client digest"]),
    (HTTP, QUICK, {}, "scenario?path=%s&ignore_range=1" % PACKAGE, ["resume"]),
    (HTTP, QUICK, {"client_size": 999}, None, ["fields"]),
    (HTTP, QUICK, {"launcher_version": "2.0.5"}, None, ["launcher file"]),
    (HTTPS, TRUSTED, {}, None, []),
    (HTTPS, TRUSTED, {}, "tls?certificate=expired", ["certificate"]),
    (HTTPS, TRUSTED, {}, "tls?certificate=other-host", ["certificate"]),
    (HTTPS, QUICK, {}, None, ["certificate"]),
]
# The https release carries the newer launcher, so its version is read, not assumed.
LAUNCHERS = {HTTP: LAUNCHER, HTTPS: NEXT_LAUNCHER}


def control(origin, request, body=None, method="POST"):
    # Only the tool checks certificates; the test's own requests accept any.
    return urllib.request.urlopen(urllib.request.Request(origin + "/_control/" + request, body, method=method),
                                  timeout=30, context=ssl._create_unverified_context()).read()


def make_manifest(origin, launcher):
    folder = os.path.join(WORK, "Zoë Ωmega 游戏", origin.split(":")[0])
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "client.zip"), "wb") as f:
        f.write(control(origin, "file?path=" + PACKAGE, method="GET"))
    run = subprocess.run([TOOL, "manifest", "--client", os.path.join(folder, "client.zip"), "--client-version", VERSION,
                          "--client-url", origin + PACKAGE, "--launcher", launcher, "--launcher-url", origin +
                          LAUNCHER_PATH, "--output", os.path.join(folder, "manifest.json")], capture_output=True, text=True)
    return run, open(os.path.join(folder, "manifest.json"), "rb").read()


# Each good release is made afresh (a fault names its origin), and its version comes back whole.
made = {origin: make_manifest(origin, LAUNCHERS[origin]) for origin in LAUNCHERS}
releases = {origin: made[origin][1] for origin in made}
faults = [o for o in made if made[o][0].returncode or json.loads(made[o][1])["client_version"] != VERSION]
for origin, arguments, changes, request, expected in CASES:
    document = releases[origin]
    if changes:
        document = json.dumps(dict(json.loads(document), **changes), separators=(",", ":")).encode()
    control(origin, "reset")
    control(origin, "file?path=" + LAUNCHER_PATH, open(LAUNCHERS[origin], "rb").read())
    control(origin, "file?path=/download/sarnhold/manifest.json", document)
    if request:
        control(origin, request)
    run = subprocess.run([TOOL, "check", origin] + arguments, capture_output=True, text=True)
    failed = re.findall(r"^FAIL  ([a-z ]+):", run.stdout, re.M)
    if failed != expected or run.returncode != (1 if expected else 0):
        faults.append("%s %s %s %s: exit %d, failed %s\n%s" % (origin, arguments, changes, request, run.returncode,
                                                               failed, run.stdout + run.stderr))
# A package given as the launcher is no Windows executable: refused, and the manifest stays.
refused, kept = make_manifest(HTTP, os.path.join(WORK, "Zoë Ωmega 游戏", "http", "client.zip"))
if refused.returncode != 1 or "is not a Windows executable" not in refused.stderr or kept != releases[HTTP]:
    faults.append("a package given as the launcher was not refused cleanly\n" + refused.stderr)
for origin in LAUNCHERS:
    control(origin, "reset")
print("\n".join("FAULT in " + fault for fault in faults) or "all %d release checks passed" % (len(CASES) + 1))
sys.exit(1 if faults else 0)
