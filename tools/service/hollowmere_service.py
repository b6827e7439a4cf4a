#!/usr/bin/env python3
"""Stand-in Hollowmere service for tests, benchmarks and local runs.

Serves the update manifest, the client package and the launcher file (with byte
ranges), the three sign-in endpoints and a sign-in approval page, all on loopback
only, over plain HTTP or over TLS with test certificates. Tests steer it through its
own control paths under /_control/ (see README.md beside this file). Python 3
standard library only.
"""

import argparse
import hashlib
import http.server
import io
import ipaddress
import json
import os
import random
import re
import secrets
import shutil
import signal
import socket
import ssl
import sys
import tempfile
import threading
import time
import urllib.parse
import zipfile

MANIFEST_PATH = "/download/sarnhold/manifest.json"
PACKAGE_PATH = "/download/sarnhold/client.zip"
LAUNCHER_PATH = "/download/sarnhold/HollowmereLauncher.exe"
DEVICE_TICKET_PATH = "/api/launcher/device-ticket"
START_PATH = "/api/launcher/start"
REDEEM_PATH = "/api/launcher/redeem"
AUTHORIZE_PATH = "/signin/authorize"
CONTROL_PREFIX = "/_control/"

CLIENT_EXE_NAME = "Sarnhold-Elderline.exe"
PACKAGE_OPTIONS_MARK = b"-- Options shipped in the Hollowmere demo package\r\n"
PACKAGE_FONT_TEXT = (
    b"; Font settings shipped in the Hollowmere demo package\r\n"
    b"[Font]\r\nEnabled=0\r\nFontName=Package Serif\r\nReplaceAllFontNames=0\r\n"
    b"ScalePercent=110\r\nWeightOffset=0\r\nMinOriginalAbsHeight=1\r\n"
    b"MaxOriginalAbsHeight=14\r\nMaxResultAbsHeight=16\r\n"
    b"[Browser]\r\nBlockExternalUrls=1\r\n"
)
FALLBACK_OPTIONS_TEXT = (
    b'CmdOnOffList["/bgm"] = 1\r\nCmdOnOffList["/sound"] = 1\r\n\r\n'
    b'OptionInfoList["Bgm_Volume"] = 17\r\nOptionInfoList["Effect_Volume"] = 17\r\n'
    b'OptionInfoList["ISFULLSCREENMODE"] = 0\r\n'
    b'OptionInfoList["WIDTH"] = 1920\r\nOptionInfoList["HEIGHT"] = 1080\r\n'
)
LAUNCHER_PLACEHOLDER = b"Hollowmere launcher placeholder: no newer launcher is offered.\n"
# Zip entries get one fixed time so the same inputs always give the same package.
ENTRY_TIME = (2026, 1, 1, 0, 0, 0)


def loopback_address(host):
    """The IPv4 loopback address to bind for host, or None when host is not loopback."""
    if host == "localhost":
        return "127.0.0.1"
    try:
        address = ipaddress.ip_address(host)
    except ValueError:
        return None
    return host if address.version == 4 and address.is_loopback else None


def compact_json(value):
    # Sign-in replies must hold their strings right after the colon, and only the
    # escapes \" \\ \/ : so no spaces and no \u escapes.
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False).encode("utf-8")


def build_demo_package(client_exe, options_template, padding=0):
    """A zip with the stand-in client and the package's own options and font files.

    padding > 0 adds a stored entry "data/terrain.pak" of that many bytes that do not
    compress, so that a download of the package lasts long enough to watch."""
    with open(client_exe, "rb") as f:
        exe = f.read()
    options = FALLBACK_OPTIONS_TEXT
    if options_template:
        with open(options_template, "rb") as f:
            options = f.read()
    # The package's options differ from any player's, so a test can tell them apart.
    options = PACKAGE_OPTIONS_MARK + options.replace(b'["WIDTH"] = 1920', b'["WIDTH"] = 1280').replace(
        b'["HEIGHT"] = 1080', b'["HEIGHT"] = 720')
    compression = zipfile.ZIP_DEFLATED
    try:
        import zlib  # noqa: F401  (deflate needs it; stored entries do not)
    except ImportError:
        compression = zipfile.ZIP_STORED
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as package:
        folder = zipfile.ZipInfo("savedata/", ENTRY_TIME)
        folder.external_attr = 0o40755 << 16 | 0x10
        package.writestr(folder, b"")
        for name, data in ((CLIENT_EXE_NAME, exe), ("savedata/OptionInfo.lua", options),
                           ("SarnFont.ini", PACKAGE_FONT_TEXT)):
            entry = zipfile.ZipInfo(name, ENTRY_TIME)
            entry.compress_type = compression
            entry.external_attr = 0o644 << 16
            package.writestr(entry, data)
        if padding > 0:
            entry = zipfile.ZipInfo("data/terrain.pak", ENTRY_TIME)
            entry.compress_type = zipfile.ZIP_STORED
            entry.external_attr = 0o644 << 16
            package.writestr(entry, random.Random(padding).randbytes(padding))
    return buffer.getvalue()


def build_manifest(origin, package, launcher, client_version, launcher_version):
    fields = {
        "client_version": client_version,
        "client_url": origin + PACKAGE_PATH,
        "client_size": str(len(package)),
        "client_sha256": hashlib.sha256(package).hexdigest(),
        "launcher_version": launcher_version,
        "launcher_url": origin + LAUNCHER_PATH,
        "launcher_sha256": hashlib.sha256(launcher).hexdigest(),
    }
    return (json.dumps(fields, indent=2, ensure_ascii=False) + "\n").encode("utf-8")  # UTF-8 as it is, no \u escapes


class Scenario:
    """How to answer the next requests for one path instead of the usual way."""

    def __init__(self, query, control_body):
        def number(name):
            values = query.get(name)
            return int(values[0]) if values and values[0] != "" else None

        self.path = query.get("path", [""])[0]
        if not self.path.startswith("/"):
            raise ValueError("path must start with /")
        self.status = number("status")
        self.body = control_body if query.get("use_body", ["0"])[0] == "1" else None
        self.body_size = number("body_size")
        self.cut_after = number("cut_after")
        self.ignore_range = query.get("ignore_range", ["0"])[0] == "1"
        self.drop = query.get("drop", ["0"])[0] == "1"  # close without any answer
        self.delay_ms = number("delay_ms") or 0
        self.rate = number("rate")
        self.times = number("times")  # None (or 0): every request from now on
        if self.times is not None and self.times <= 0:
            self.times = None
        self.headers = []
        for line in query.get("header", []):
            name, _, value = line.partition(":")
            self.headers.append((name.strip(), value.strip()))


class SignIn:
    """Device tokens, pending browser sign-ins and the account they sign in to."""

    def __init__(self):
        self.username = "Wanderer"
        self.device_tokens = set()
        self.pending = {}  # handle -> {"verifier": text, "approved": bool, "polls": count}
        # Each browser sign-in answers its first this many redeems with 202 even when
        # approved, so a test knows how many pending replies the launcher sees.
        self.pending_replies = 0

    def issue(self, with_device_token=True):
        reply = {"token": "ticket-" + secrets.token_urlsafe(18), "username": self.username}
        if with_device_token:
            device = "device-" + secrets.token_urlsafe(24)
            self.device_tokens.add(device)
            reply["device_token"] = device
        return reply

    def device_ticket(self, request):
        token = request.get("device_token")
        if not isinstance(token, str) or token not in self.device_tokens:
            return 403, {"error": "This device is no longer signed in."}
        self.device_tokens.discard(token)  # each device token is good for one sign-in
        return 200, self.issue()

    def start(self, request, origin):
        verifier = request.get("verifier")
        if not isinstance(verifier, str) or not verifier:
            return 400, {"error": "The sign-in request is incomplete."}
        handle = secrets.token_urlsafe(18)
        self.pending[handle] = {"verifier": verifier, "approved": False, "polls": 0}
        query = urllib.parse.urlencode({"handle": handle})
        return 200, {"handle": handle, "authorize_url": origin + AUTHORIZE_PATH + "?" + query}

    def redeem(self, request):
        sign_in = self.pending.get(request.get("handle"))
        if sign_in is None:
            return 400, {"error": "This sign-in request is unknown or has expired."}
        if request.get("verifier") != sign_in["verifier"]:
            return 400, {"error": "This sign-in request does not belong to this launcher."}
        sign_in["polls"] += 1
        if not sign_in["approved"] or sign_in["polls"] <= self.pending_replies:
            return 202, {"status": "pending"}
        del self.pending[request["handle"]]
        return 200, self.issue()

    def approve(self, handle):
        """Approves the pending sign-in of handle; False when there is none."""
        if handle not in self.pending:
            return False
        self.pending[handle]["approved"] = True
        return True


class Certificates:
    """The HTTPS mode's server certificates: NAME.pem files in one folder, all made for
    its server-key.pem (tests/tls/make_test_certificates.sh). One is in use at a
    time; tests switch to a bad one to see the client refuse it."""

    FIRST = "good"

    def __init__(self, folder):
        self.folder = folder
        self.context = None
        self.name = None
        self.use(self.FIRST)

    def use(self, name):
        """Serves new connections with NAME.pem; False when there is no such certificate."""
        if not re.fullmatch(r"[a-z0-9-]+", name or ""):
            return False
        path = os.path.join(self.folder, name + ".pem")
        if not os.path.isfile(path):
            return False
        # A new context each time: a client cannot resume a session made under another
        # certificate, so every connection after a switch sees the new one.
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        try:
            context.load_cert_chain(path, os.path.join(self.folder, "server-key.pem"))
        except (OSError, ssl.SSLError):
            return False
        self.context, self.name = context, name
        return True


class ServiceState:
    def __init__(self, files, rate, certificates=None):
        self.lock = threading.Lock()
        self.initial_files = dict(files)
        self.initial_rate = rate
        self.certificates = certificates
        self.reset()

    def reset(self):
        self.files = dict(self.initial_files)
        self.rate = self.initial_rate
        if self.certificates is not None:
            self.certificates.use(Certificates.FIRST)
        self.scenarios = []
        self.requests = []
        self.sign_in = SignIn()

    def take_scenario(self, path):
        """The first scenario for path that still applies, counting this use."""
        for scenario in self.scenarios:
            if scenario.path == path:
                if scenario.times is not None:
                    scenario.times -= 1
                    if scenario.times <= 0:
                        self.scenarios.remove(scenario)
                return scenario
        return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "HollowmereStandIn/1.0"

    def do_GET(self):
        self.handle_any()

    do_POST = do_PUT = do_DELETE = do_HEAD = do_GET

    def log_message(self, format, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.address_string(), format % args))

    @property
    def state(self):
        return self.server.state

    def setup(self):
        if isinstance(self.request, ssl.SSLSocket):
            # The handshake runs here, on the connection's own thread, so a client that
            # stalls or refuses the certificate holds up nobody else.
            self.request.settimeout(10)
            self.request.do_handshake()
            self.request.settimeout(None)
        super().setup()

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        parsed = urllib.parse.urlsplit(self.path)
        try:
            if parsed.path.startswith(CONTROL_PREFIX):
                self.answer(*self.control(parsed.path, urllib.parse.parse_qs(parsed.query, True), body))
                if getattr(self, "stop_after_reply", False):
                    self.wfile.flush()
                    threading.Thread(target=self.server.shutdown, daemon=True).start()
                return
            with self.state.lock:
                self.state.requests.append((self.command, self.path, list(self.headers.items()), body))
                scenario = self.state.take_scenario(parsed.path)
                rate = self.state.rate
            if scenario and scenario.delay_ms:
                time.sleep(scenario.delay_ms / 1000.0)
            if scenario and scenario.drop:
                # A network failure as the client sees it: the connection ends unanswered.
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
                return
            status, headers, reply = self.usual_answer(parsed, body, scenario)
            cut_after = None
            if scenario:
                if scenario.status is not None:
                    status = scenario.status
                if scenario.body is not None:
                    reply = scenario.body
                if scenario.body_size is not None:
                    reply = (b"0123456789abcdef" * (scenario.body_size // 16 + 1))[:scenario.body_size]
                if scenario.rate is not None:
                    rate = scenario.rate
                headers = headers + scenario.headers
                cut_after = scenario.cut_after
            self.answer(status, headers, reply, rate, cut_after)
        except (ConnectionError, socket.timeout):
            self.close_connection = True  # the client went away; nothing to tell it

    # --- the service as the launcher sees it -------------------------------------------

    def usual_answer(self, parsed, body, scenario):
        path = parsed.path
        with self.state.lock:
            served = self.state.files.get(path)
        if served is not None and self.command in ("GET", "HEAD"):
            ignore_range = scenario is not None and scenario.ignore_range
            return self.file_answer(path, served, ignore_range)
        if self.command == "POST" and path in (DEVICE_TICKET_PATH, START_PATH, REDEEM_PATH):
            return self.sign_in_answer(path, body)
        if self.command == "GET" and path == AUTHORIZE_PATH:
            handle = urllib.parse.parse_qs(parsed.query).get("handle", [""])[0]
            with self.state.lock:
                approved = self.state.sign_in.approve(handle) if handle else 0
            if approved:
                page = b"<html><body><p>Signed in to Hollowmere. You can return to the launcher.</p></body></html>"
                return 200, [("Content-Type", "text/html; charset=utf-8")], page
            return 404, [("Content-Type", "text/html; charset=utf-8")], b"<html><body><p>Unknown sign-in.</p></body></html>"
        return 404, [("Content-Type", "application/json")], compact_json({"error": "Not found"})

    def file_answer(self, path, data, ignore_range):
        kind = "application/json" if path.endswith(".json") else (
            "application/zip" if path.endswith(".zip") else "application/octet-stream")
        headers = [("Content-Type", kind), ("Accept-Ranges", "bytes")]
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        if not match or ignore_range:
            return 200, headers, data
        first = int(match.group(1))
        if first >= len(data):
            return 416, headers + [("Content-Range", "bytes */%d" % len(data))], b""
        last = min(int(match.group(2)), len(data) - 1) if match.group(2) else len(data) - 1
        if last < first:
            return 416, headers + [("Content-Range", "bytes */%d" % len(data))], b""
        headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, len(data))))
        return 206, headers, data[first:last + 1]

    def sign_in_answer(self, path, body):
        try:
            request = json.loads(body.decode("utf-8")) if body else {}
            if not isinstance(request, dict):
                raise ValueError("not an object")
        except ValueError:
            status, reply = 400, {"error": "The request is not valid JSON."}
        else:
            with self.state.lock:
                sign_in = self.state.sign_in
                if path == DEVICE_TICKET_PATH:
                    status, reply = sign_in.device_ticket(request)
                elif path == START_PATH:
                    status, reply = sign_in.start(request, self.server.origin)
                else:
                    status, reply = sign_in.redeem(request)
        return status, [("Content-Type", "application/json")], compact_json(reply)

    # --- the control interface ------------------------------------------------------------

    def control(self, path, query, body):
        def text(status, message):
            return status, [("Content-Type", "text/plain; charset=utf-8")], (message + "\n").encode("utf-8")

        command = path[len(CONTROL_PREFIX):]
        state = self.state
        target = query.get("path", [""])[0]
        with state.lock:
            if command == "ping":
                return text(200, "ok")
            if command == "reset" and self.command == "POST":
                state.reset()
                return text(200, "reset")
            if command == "scenario" and self.command == "POST":
                try:
                    state.scenarios.append(Scenario(query, body))
                except ValueError as problem:
                    return text(400, "bad scenario: %s" % problem)
                return text(200, "scenario added")
            if command == "file" and target.startswith("/"):
                if self.command == "POST":
                    state.files[target] = body
                    # The digest comes from here, not from the code under test.
                    return text(200, "serving %d bytes at %s sha256 %s"
                                % (len(body), target, hashlib.sha256(body).hexdigest()))
                if self.command == "GET" and target in state.files:
                    return 200, [("Content-Type", "application/octet-stream")], state.files[target]
                return text(404, "nothing served at " + target)
            if command == "package" and self.command == "POST":
                version = query.get("client_version", [""])[0]
                if not version:
                    return text(400, "client_version missing")
                state.files[PACKAGE_PATH] = body
                state.files[MANIFEST_PATH] = build_manifest(
                    self.server.origin, body, state.files.get(LAUNCHER_PATH, b""), version,
                    query.get("launcher_version", [self.server.launcher_version])[0])
                return text(200, "serving a %d-byte package as client %s" % (len(body), version))
            if command == "tls" and self.command == "POST":
                name = query.get("certificate", [""])[0]
                if state.certificates is None:
                    return text(404, "not serving HTTPS")
                if not state.certificates.use(name):
                    return text(404, "no certificate named %r" % name)
                return text(200, "serving certificate " + name)
            if command == "requests" and self.command == "GET" and "show" in query:
                return 200, [("Content-Type", "text/plain; charset=utf-8")], self.requests_shown(
                    target, query["show"][0])
            if command == "signin/device-token" and self.command == "POST":
                token = query.get("token", [""])[0]
                if not token:
                    return text(400, "token missing")
                state.sign_in.device_tokens.add(token)
                return text(200, "device token accepted")
            if command == "signin/username" and self.command == "POST":
                state.sign_in.username = body.decode("utf-8")
                return text(200, "username set")
            if command == "signin/pending" and self.command == "POST":
                try:
                    state.sign_in.pending_replies = int(query.get("count", [""])[0])
                except ValueError:
                    return text(400, "count missing")
                return text(200, "%d pending replies before approval" % state.sign_in.pending_replies)
            if command == "shutdown" and self.command == "POST":
                # Stop only after this reply is out, or the caller sees a dropped connection.
                self.stop_after_reply = True
                return text(200, "stopping")
        return text(404, "unknown control request %s %s" % (self.command, path))

    def requests_shown(self, path, show):
        """One line per request to path (every path when empty), oldest first: its method,
        target (path and query), body, or the value of the header named show ("(none)"
        when it has none); line ends and backslashes in a value are escaped."""
        lines = []
        for method, target, headers, body in self.state.requests:
            if path and urllib.parse.urlsplit(target).path != path:
                continue
            if show in ("method", "target", "body"):
                value = {"method": method, "target": target, "body": body.decode("utf-8", "replace")}[show]
            else:
                value = next((v for n, v in headers if n.lower() == show.lower()), "(none)")
            lines.append(value.replace("\\", "\\\\").replace("\n", "\\n") + "\n")
        return "".join(lines).encode("utf-8")

    # --- writing an answer ------------------------------------------------------------------

    def answer(self, status, headers, body, rate=0, cut_after=None):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        if self.command == "HEAD":
            return
        limit = len(body) if cut_after is None else min(cut_after, len(body))
        chunk = 65536 if not rate else max(1, min(65536, rate // 20))
        started = time.monotonic()
        sent = 0
        while sent < limit:
            count = min(chunk, limit - sent)
            self.wfile.write(body[sent:sent + count])
            sent += count
            if rate:
                wait = sent / rate - (time.monotonic() - started)
                if wait > 0:
                    time.sleep(wait)
        if cut_after is not None and cut_after < len(body):
            # End the stream early but cleanly, as a dropped download looks to a client.
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)


def stop_on_terminate(signum, frame):
    # A plain kill ends the service as cleanly as Ctrl+C: temporary files go too.
    raise KeyboardInterrupt


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    state = None
    verbose = False

    def get_request(self):
        connection, address = super().get_request()
        certificates = self.state.certificates if self.state else None
        if certificates is not None:
            with self.state.lock:
                context = certificates.context
            connection = context.wrap_socket(connection, server_side=True, do_handshake_on_connect=False)
        return connection, address

    def handle_error(self, request, client_address):
        # A client that refuses the certificate or goes away is what some tests want.
        problem = sys.exc_info()[1]
        if isinstance(problem, (ssl.SSLError, ConnectionError, socket.timeout)):
            if self.verbose:
                sys.stderr.write("%s: %s\n" % (client_address[0], problem))
            return
        super().handle_error(request, client_address)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=18470, help="port to listen on (0 picks a free one)")
    parser.add_argument("--host", default="127.0.0.1", help="loopback address or localhost (nothing else)")
    parser.add_argument("--client-exe", required=True, help="the stand-in game client to put into the package")
    parser.add_argument("--options-template", help="options text that the package's OptionInfo.lua starts from")
    parser.add_argument("--launcher-exe", help="the file served as the newest launcher")
    parser.add_argument("--client-version", default="1.0.0")
    parser.add_argument("--launcher-version", default="2.0.4")
    parser.add_argument("--tls-dir", help="serve HTTPS with the certificates in this folder "
                        "(made by make_test_certificates.sh); good.pem first")
    parser.add_argument("--rate", type=int, default=0, help="serve bodies at most this many bytes per second")
    parser.add_argument("--package-padding", type=int, default=0,
                        help="add an entry of this many bytes to the demo package, for a download worth watching")
    parser.add_argument("--data-dir", "--state-dir", dest="data_dir", help="where the package and manifest are written (default: a temporary folder)")
    parser.add_argument("--verbose", action="store_true", help="print each request on standard error")
    args = parser.parse_args(argv)

    address = loopback_address(args.host)
    if address is None:
        print("hollowmere_service: refusing to listen on %r: only loopback (127.x.x.x or localhost) is allowed"
              % args.host, file=sys.stderr)
        return 2

    certificates = Certificates(args.tls_dir) if args.tls_dir else None
    if certificates is not None and certificates.context is None:
        print("hollowmere_service: %s holds no good.pem and server-key.pem to serve HTTPS with" % args.tls_dir,
              file=sys.stderr)
        return 2
    server = Server((address, args.port), Handler)
    port = server.server_address[1]
    origin = "%s://%s:%d" % ("https" if certificates else "http", args.host, port)

    package = build_demo_package(args.client_exe, args.options_template, args.package_padding)
    launcher = LAUNCHER_PLACEHOLDER
    if args.launcher_exe:
        with open(args.launcher_exe, "rb") as f:
            launcher = f.read()
    manifest = build_manifest(origin, package, launcher, args.client_version, args.launcher_version)

    data_dir = args.data_dir or tempfile.mkdtemp(prefix="hollowmere-service-")
    os.makedirs(data_dir, exist_ok=True)
    for name, data in (("client.zip", package), ("manifest.json", manifest)):
        with open(os.path.join(data_dir, name), "wb") as f:
            f.write(data)

    server.origin = origin
    server.launcher_version = args.launcher_version
    server.verbose = args.verbose
    server.state = ServiceState({MANIFEST_PATH: manifest, PACKAGE_PATH: package, LAUNCHER_PATH: launcher},
                                args.rate, certificates)
    print("Hollowmere stand-in service listening on %s (manifest %s%s, package %d bytes in %s)"
          % (origin, origin, MANIFEST_PATH, len(package), data_dir), flush=True)
    signal.signal(signal.SIGTERM, stop_on_terminate)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
        if not args.data_dir:
            shutil.rmtree(data_dir, ignore_errors=True)
    print("Hollowmere stand-in service stopped", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
