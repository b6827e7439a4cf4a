#!/usr/bin/env python3
"""Checks of the stand-in service itself: it must misbehave exactly as told."""

import hashlib
import http.client
import io
import json
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import hollowmere_service as service  # noqa: E402

MANIFEST = service.MANIFEST_PATH
PACKAGE = service.PACKAGE_PATH


class StandInService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.client = os.path.join(cls.folder.name, "client.exe")
        with open(cls.client, "wb") as f:
            f.write(b"MZ stand-in client bytes " * 40)
        cls.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "hollowmere_service.py"), "--port", "0", "--client-exe",
             cls.client, "--data-dir", os.path.join(cls.folder.name, "data")],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        line = cls.process.stdout.readline()
        cls.origin = line.split("listening on ")[1].split()[0]
        cls.port = int(cls.origin.rsplit(":", 1)[1])

    @classmethod
    def tearDownClass(cls):
        cls.request("POST", "/_control/shutdown")
        cls.process.wait(10)
        cls.process.stdout.close()
        cls.folder.cleanup()

    def setUp(self):
        self.assertEqual(self.request("POST", "/_control/reset")[0], 200)

    @classmethod
    def request(cls, method, path, body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", cls.port, timeout=10)
        connection.request(method, path, body=body, headers=headers or {})
        reply = connection.getresponse()
        data = reply.read()
        connection.close()
        return reply.status, data, reply

    def scenario(self, query, body=b""):
        self.assertEqual(self.request("POST", "/_control/scenario?" + query, body)[0], 200)

    def test_refuses_anything_but_loopback(self):
        for host in ("0.0.0.0", "192.168.1.20", "example.org", "::1"):
            self.assertEqual(service.main(["--host", host, "--client-exe", self.client]), 2, host)
        self.assertEqual(service.loopback_address("localhost"), "127.0.0.1")
        self.assertEqual(service.loopback_address("127.0.0.2"), "127.0.0.2")

    def test_manifest_names_the_package_it_serves(self):
        status, manifest, _ = self.request("GET", MANIFEST)
        self.assertEqual(status, 200)
        fields = json.loads(manifest)
        status, package, _ = self.request("GET", PACKAGE)
        self.assertEqual(status, 200)
        self.assertEqual(fields["client_size"], str(len(package)))
        self.assertEqual(fields["client_sha256"], hashlib.sha256(package).hexdigest())
        self.assertEqual(fields["client_url"], self.origin + PACKAGE)
        status, launcher, _ = self.request("GET", "/download/sarnhold/HollowmereLauncher.exe")
        self.assertEqual(fields["launcher_sha256"], hashlib.sha256(launcher).hexdigest())
        with open(os.path.join(self.folder.name, "data", "client.zip"), "rb") as f:
            self.assertEqual(f.read(), package)

        with zipfile.ZipFile(io.BytesIO(package)) as archive:
            self.assertEqual(sorted(archive.namelist()),
                             ["SarnFont.ini", "Sarnhold-Elderline.exe", "savedata/", "savedata/OptionInfo.lua"])
            with open(self.client, "rb") as f:
                self.assertEqual(archive.read("Sarnhold-Elderline.exe"), f.read())
            options = archive.read("savedata/OptionInfo.lua")
            self.assertTrue(options.startswith(service.PACKAGE_OPTIONS_MARK))
            self.assertIn(b'OptionInfoList["WIDTH"] = 1280', options)
            self.assertNotIn(b'OptionInfoList["WIDTH"] = 1920', options)
            self.assertIn(b"Package Serif", archive.read("SarnFont.ini"))

    def test_padding_makes_the_demo_package_larger(self):
        plain = service.build_demo_package(self.client, None)
        padded = service.build_demo_package(self.client, None, 300000)
        self.assertGreater(len(padded), len(plain) + 300000)
        with zipfile.ZipFile(io.BytesIO(padded)) as archive:
            self.assertEqual(len(archive.read("data/terrain.pak")), 300000)
            self.assertEqual(archive.getinfo("data/terrain.pak").compress_type, zipfile.ZIP_STORED)
            with open(self.client, "rb") as f:
                self.assertEqual(archive.read("Sarnhold-Elderline.exe"), f.read())

    def test_byte_ranges(self):
        whole = self.request("GET", PACKAGE)[1]
        status, part, reply = self.request("GET", PACKAGE, headers={"Range": "bytes=4-"})
        self.assertEqual((status, part), (206, whole[4:]))
        self.assertEqual(reply.getheader("Content-Range"), "bytes 4-%d/%d" % (len(whole) - 1, len(whole)))
        status, part, _ = self.request("GET", PACKAGE, headers={"Range": "bytes=%d-" % (len(whole) - 1)})
        self.assertEqual((status, part), (206, whole[-1:]))
        self.assertEqual(self.request("GET", PACKAGE, headers={"Range": "bytes=%d-" % len(whole)})[0], 416)
        self.scenario("path=%s&ignore_range=1&times=1" % PACKAGE)
        self.assertEqual(self.request("GET", PACKAGE, headers={"Range": "bytes=4-"})[:2], (200, whole))
        self.assertEqual(self.request("GET", PACKAGE, headers={"Range": "bytes=4-"})[0], 206)

    def test_scenarios_change_status_body_and_use_up(self):
        self.scenario("path=/download/sarnhold/manifest.json&status=404&use_body=1&times=2", b'{"error":"gone"}')
        for _ in range(2):
            self.assertEqual(self.request("GET", MANIFEST)[:2], (404, b'{"error":"gone"}'))
        self.assertEqual(self.request("GET", MANIFEST)[0], 200)
        self.scenario("path=/big&body_size=262145")
        status, body, _ = self.request("GET", "/big")
        self.assertEqual((status, len(body)), (404, 262145))
        self.scenario("path=/slow&status=204&delay_ms=300&times=1")
        started = time.monotonic()
        self.assertEqual(self.request("GET", "/slow")[0], 204)
        self.assertGreaterEqual(time.monotonic() - started, 0.3)
        self.assertEqual(self.request("POST", "/_control/scenario?path=no-slash")[0], 400)

    def test_cut_connection_and_rate(self):
        self.request("POST", "/_control/file?path=/ten", b"0123456789")
        self.scenario("path=/ten&cut_after=7&times=1")
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as raw:
            raw.sendall(b"GET /ten HTTP/1.1\r\nHost: x\r\n\r\n")
            received = b""
            while True:
                chunk = raw.recv(4096)
                if not chunk:
                    break
                received += chunk
        head, _, body = received.partition(b"\r\n\r\n")
        self.assertIn(b"Content-Length: 10", head)
        self.assertEqual(body, b"0123456")

        # Slow serving, for the whole service and for one path.
        self.request("POST", "/_control/file?path=/blob", b"x" * 2000)
        self.request("POST", "/_control/rate?bytes_per_second=5000")
        started = time.monotonic()
        self.assertEqual(len(self.request("GET", "/blob")[1]), 2000)
        self.assertGreaterEqual(time.monotonic() - started, 0.35)
        self.request("POST", "/_control/rate?bytes_per_second=0")
        self.scenario("path=/blob&rate=5000&times=1")
        started = time.monotonic()
        self.assertEqual(len(self.request("GET", "/blob")[1]), 2000)
        self.assertGreaterEqual(time.monotonic() - started, 0.35)

    def test_files_replace_and_reset(self):
        self.request("POST", "/_control/file?path=" + MANIFEST, b'{"client_version":"9"}')
        self.assertEqual(self.request("GET", MANIFEST)[1], b'{"client_version":"9"}')
        self.assertEqual(self.request("GET", "/_control/file?path=" + MANIFEST)[1], b'{"client_version":"9"}')
        self.request("DELETE", "/_control/file?path=" + PACKAGE)
        self.assertEqual(self.request("GET", PACKAGE)[0], 404)
        self.request("POST", "/_control/reset")
        self.assertEqual(self.request("GET", PACKAGE)[0], 200)
        self.assertIn(b'"client_size"', self.request("GET", MANIFEST)[1])

    def test_request_record(self):
        self.request("POST", "/api/launcher/start?x=1", b'{"verifier":"v\nw"}',
                     {"Content-Type": "application/json", "User-Agent": "Test/1"})
        self.request("GET", "/_control/ping")  # control traffic is not recorded
        status, record, _ = self.request("GET", "/_control/requests")
        lines = record.split(b"\n")
        self.assertEqual(lines[0], b"1")
        method, target, header_count, body_length = lines[1].split(b" ")
        self.assertEqual((method, target), (b"POST", b"/api/launcher/start?x=1"))
        self.assertIn(b"User-Agent: Test/1", lines[2:2 + int(header_count)])
        self.assertEqual(int(body_length), len(b'{"verifier":"v\nw"}'))
        self.request("POST", "/_control/requests/clear")
        self.assertEqual(self.request("GET", "/_control/requests")[1], b"0\n")

    def test_sign_in_statuses_and_compact_replies(self):
        status, reply, _ = self.request("POST", "/api/launcher/device-ticket", b'{"device_token":"nope"}')
        self.assertEqual((status, json.loads(reply)["error"] != ""), (403, True))
        status, reply, _ = self.request("POST", "/api/launcher/start", b'{"verifier":"abc"}')
        self.assertEqual(status, 200)
        self.assertNotIn(b": ", reply)
        started = json.loads(reply)
        redeem = json.dumps({"handle": started["handle"], "verifier": "abc"}).encode()
        self.assertEqual(self.request("POST", "/api/launcher/redeem", redeem)[0], 202)
        wrong = json.dumps({"handle": started["handle"], "verifier": "zzz"}).encode()
        status, reply, _ = self.request("POST", "/api/launcher/redeem", wrong)
        self.assertEqual(status, 400)
        self.assertIn("error", json.loads(reply))
        page = started["authorize_url"][len(self.origin):]
        self.assertEqual(self.request("GET", page)[0], 200)
        self.request("POST", "/_control/signin/username", "Ærin".encode())
        status, reply, _ = self.request("POST", "/api/launcher/redeem", redeem)
        self.assertEqual(status, 200)
        self.assertIn("Ærin".encode(), reply)  # UTF-8 as it is, never a \u escape
        granted = json.loads(reply)
        self.assertTrue(granted["token"] and granted["device_token"])
        self.assertEqual(self.request("POST", "/api/launcher/redeem", redeem)[0], 400)

        ticket = json.dumps({"device_token": granted["device_token"]}).encode()
        status, reply, _ = self.request("POST", "/api/launcher/device-ticket", ticket)
        self.assertEqual(status, 200)
        self.assertNotEqual(json.loads(reply)["device_token"], granted["device_token"])
        self.assertEqual(self.request("POST", "/api/launcher/device-ticket", ticket)[0], 403)
        self.request("POST", "/_control/signin/device-token?token=saved-1")
        self.assertEqual(self.request("POST", "/api/launcher/device-ticket", b'{"device_token":"saved-1"}')[0], 200)
        self.assertEqual(self.request("POST", "/api/launcher/start", b"not json")[0], 400)


    def test_pending_replies_authorize_url_and_dropped_requests(self):
        self.request("POST", "/_control/signin/pending?count=2")
        started = json.loads(self.request("POST", "/api/launcher/start", b'{"verifier":"v"}')[1])
        redeem = json.dumps({"handle": started["handle"], "verifier": "v"}).encode()
        self.assertEqual(self.request("GET", started["authorize_url"][len(self.origin):])[0], 200)
        # Approved at once, yet the first two polls still wait.
        statuses = [self.request("POST", "/api/launcher/redeem", redeem)[0] for _ in range(3)]
        self.assertEqual(statuses, [202, 202, 200])
        # Not approved: pending for as long as the launcher asks.
        started = json.loads(self.request("POST", "/api/launcher/start", b'{"verifier":"v"}')[1])
        redeem = json.dumps({"handle": started["handle"], "verifier": "v"}).encode()
        self.assertEqual({self.request("POST", "/api/launcher/redeem", redeem)[0] for _ in range(4)}, {202})

        self.request("POST", "/_control/signin/authorize-url", b"C:\\windows\\notepad.exe")
        status, reply, _ = self.request("POST", "/api/launcher/start", b'{"verifier":"v"}')
        self.assertEqual(status, 200)
        self.assertEqual(json.loads(reply)["authorize_url"], "C:\\windows\\notepad.exe")

        self.scenario("path=/api/launcher/device-ticket&drop=1&times=1")
        with self.assertRaises((ConnectionError, http.client.HTTPException)):
            self.request("POST", "/api/launcher/device-ticket", b'{"device_token":"x"}')
        self.assertEqual(self.request("POST", "/api/launcher/device-ticket", b'{"device_token":"x"}')[0], 403)
        self.assertTrue(self.request("GET", "/_control/requests")[1].startswith(b"13\n"))  # the dropped one too
        self.request("POST", "/_control/reset")
        started = json.loads(self.request("POST", "/api/launcher/start", b'{"verifier":"v"}')[1])
        self.assertTrue(started["authorize_url"].startswith(self.origin + "/signin/authorize?handle="))


class HttpsStandInService(unittest.TestCase):
    """The HTTPS mode with the certificates made for the tests."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.certificates = os.path.join(cls.folder.name, "certificates")
        subprocess.run([os.path.join(HERE, "make_test_certificates.sh"), cls.certificates], check=True,
                       stdout=subprocess.DEVNULL)
        cls.client = os.path.join(cls.folder.name, "client.exe")
        with open(cls.client, "wb") as f:
            f.write(b"MZ stand-in client bytes")
        cls.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "hollowmere_service.py"), "--host", "localhost", "--port", "0",
             "--client-exe", cls.client, "--tls-dir", cls.certificates],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        cls.origin = cls.process.stdout.readline().split("listening on ")[1].split()[0]
        cls.port = int(cls.origin.rsplit(":", 1)[1])
        cls.trusting = ssl.create_default_context(cafile=os.path.join(cls.certificates, "authority.pem"))
        cls.unchecked = ssl.create_default_context()
        cls.unchecked.check_hostname = False
        cls.unchecked.verify_mode = ssl.CERT_NONE

    @classmethod
    def tearDownClass(cls):
        cls.request("POST", "/_control/shutdown", context=cls.unchecked)
        cls.process.wait(10)
        cls.process.stdout.close()
        cls.folder.cleanup()

    @classmethod
    def request(cls, method, path, context=None):
        connection = http.client.HTTPSConnection("localhost", cls.port, timeout=10,
                                                 context=context or cls.trusting)
        connection.request(method, path)
        reply = connection.getresponse()
        data = reply.read()
        connection.close()
        return reply.status, data

    def test_serves_https_and_switches_certificates(self):
        self.assertTrue(self.origin.startswith("https://localhost:"))
        status, manifest = self.request("GET", MANIFEST)
        self.assertEqual(status, 200)
        self.assertEqual(json.loads(manifest)["client_url"], self.origin + PACKAGE)

        for name in ("expired", "other-host", "unknown-authority"):
            self.assertEqual(self.request("POST", "/_control/tls?certificate=" + name, self.unchecked)[0], 200)
            with self.assertRaises(ssl.SSLCertVerificationError, msg=name):
                self.request("GET", MANIFEST)
            self.assertEqual(self.request("GET", MANIFEST, self.unchecked)[0], 200)
        for name in ("missing", "../good", ""):
            self.assertEqual(self.request("POST", "/_control/tls?certificate=" + name, self.unchecked)[0], 404)
        self.assertEqual(self.request("POST", "/_control/reset", self.unchecked)[0], 200)
        self.assertEqual(self.request("GET", MANIFEST)[0], 200)

    def test_refuses_to_start_without_certificates(self):
        self.assertEqual(service.main(["--port", "0", "--client-exe", self.client, "--tls-dir", self.folder.name]),
                         2)


if __name__ == "__main__":
    unittest.main()
