#!/usr/bin/env python3
"""The release tool against the stand-in services: a release made by its own "manifest"
command passes "check", and each mistake a publisher can make fails exactly its own
verdict."""
import json
import os
import re
import ssl
import subprocess
import sys
import urllib.request

TOOL, HTTP, HTTPS, AUTHORITY, LAUNCHER, NEXT_LAUNCHER, WORK = sys.argv[1:8]
PACKAGE = "/download/sarnhold/client.zip"
LAUNCHER_PATH = "/download/sarnhold/HollowmereLauncher.exe"
MANIFEST = "/download/sarnhold/manifest.json"
VERSION = '1.0.0 "Zoë"'  # the quotes must come back through the launcher's lookup
NO_RANGES = "scenario?path=%s&ignore_range=1" % PACKAGE
TRUSTED = ["--ca-file", AUTHORITY]

# origin, check arguments, manifest fields changed, control request, the verdicts that fail
CASES = [
    (HTTP, [], {}, None, []),
    (HTTP, ["--quick"], {}, None, []),
    (HTTP, [], {"client_size": "999"}, None, ["length"]),
    (HTTP, ["--quick"], {"client_size": "999"}, None, ["length"]),
    (HTTP, [], {"client_sha256": "0" * 64}, None, ["client digest"]),
    (HTTP, [], {}, NO_RANGES, ["resume"]),
    (HTTP, ["--quick"], {}, NO_RANGES, ["resume"]),
    (HTTP, [], {"client_size": 999}, None, ["fields"]),
    (HTTP, [], {"launcher_version": "2.0.5"}, None, ["launcher file"]),
    (HTTPS, TRUSTED, {}, None, []),
    (HTTPS, TRUSTED, {}, "tls?certificate=expired", ["certificate"]),
    (HTTPS, TRUSTED, {}, "tls?certificate=other-host", ["certificate"]),
    (HTTPS, [], {}, None, ["certificate"]),
]
# The https release carries the newer launcher, so its version is read, not assumed.
LAUNCHERS = {HTTP: LAUNCHER, HTTPS: NEXT_LAUNCHER}


def control(origin, request, body=None, method="POST"):
    # Only the tool checks certificates; the test's own requests accept any.
    reply = urllib.request.urlopen(urllib.request.Request(origin + "/_control/" + request, body, method=method),
                                   timeout=30, context=ssl._create_unverified_context())
    return reply.read()


def make_release(origin):
    folder = os.path.join(WORK, "Zoë Ωmega 游戏", origin.split(":")[0])
    os.makedirs(folder, exist_ok=True)
    package, manifest = os.path.join(folder, "client.zip"), os.path.join(folder, "manifest.json")
    with open(package, "wb") as f:
        f.write(control(origin, "file?path=" + PACKAGE, method="GET"))
    subprocess.run([TOOL, "manifest", "--client", package, "--client-version", VERSION, "--client-url",
                    origin + PACKAGE, "--launcher", LAUNCHERS[origin], "--launcher-url", origin + LAUNCHER_PATH,
                    "--output", manifest], check=True, stdout=subprocess.DEVNULL)
    with open(manifest, "rb") as f:
        return f.read()


releases = {}
faults = 0
for origin, arguments, changes, request, expected in CASES:
    if origin not in releases:
        releases[origin] = make_release(origin)
    document = releases[origin]
    if changes:
        document = json.dumps(dict(json.loads(document), **changes), separators=(",", ":")).encode()
    control(origin, "reset")
    with open(LAUNCHERS[origin], "rb") as f:
        control(origin, "file?path=" + LAUNCHER_PATH, f.read())
    control(origin, "file?path=" + MANIFEST, document)
    if request:
        control(origin, request)
    run = subprocess.run([TOOL, "check", origin] + arguments, capture_output=True, text=True)
    failed = re.findall(r"^FAIL  ([a-z ]+):", run.stdout, re.M)
    row = "%s %s %s %s" % (origin, " ".join(arguments), changes, request or "")
    if json.loads(releases[origin])["client_version"] != VERSION or failed != expected or \
            run.returncode != (1 if expected else 0):
        faults += 1
        print("FAULT in %s: exit %d, failed %s, expected %s\n%s%s" % (row, run.returncode, failed, expected,
                                                                     run.stdout, run.stderr))
    else:
        print("ok: %s -> %s" % (row, expected or "all pass"))

# A launcher file that is no Windows executable is refused, and the manifest already there stays.
folder = os.path.join(WORK, "Zoë Ωmega 游戏", "http")
refused = subprocess.run([TOOL, "manifest", "--client", os.path.join(folder, "client.zip"), "--client-version", "1",
                          "--client-url", HTTP + PACKAGE, "--launcher", os.path.join(folder, "client.zip"),
                          "--launcher-url", HTTP + LAUNCHER_PATH, "--output", os.path.join(folder, "manifest.json")],
                         capture_output=True, text=True)
with open(os.path.join(folder, "manifest.json"), "rb") as f:
    if refused.returncode != 1 or "is not a Windows executable" not in refused.stderr or f.read() != releases[HTTP]:
        faults += 1
        print("FAULT: a package given as the launcher was not refused cleanly\n" + refused.stderr)
for origin in releases:
    control(origin, "reset")
sys.exit(1 if faults else 0)
