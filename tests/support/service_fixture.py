#!/usr/bin/env python3
"""Starts the stand-in service in the background and stops it again (CTest fixtures).

  service_fixture.py start --state-dir DIR --host H --port P [--https] -- [service arguments...]
  service_fixture.py stop  --state-dir DIR --host H --port P [--https]

start returns once the service answers, leaving it running with its output in
DIR/service.log and its process id in DIR/service.pid; stop asks it to end and
waits, ending it by its process id only if it does not. --https is for a service
started with --tls-dir.
"""

import argparse
import os
import signal
import ssl
import subprocess
import sys
import time
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SERVICE = os.path.join(HERE, "..", "..", "tools", "service", "hollowmere_service.py")


def unchecked_tls():
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    return context


def control(origin, command, method="GET", timeout=1.0):
    request = urllib.request.Request(origin + "/_control/" + command, method=method,
                                     data=b"" if method == "POST" else None)
    # Straight to loopback: a proxy from the environment must not see the request. The
    # certificate is not checked here: tests may have told the service to show a bad one.
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}),
                                         urllib.request.HTTPSHandler(context=unchecked_tls()))
    try:
        with opener.open(request, timeout=timeout) as reply:
            return reply.status == 200
    except (urllib.error.URLError, OSError):
        return False


def our_service_pid(pid_file):
    """The recorded process id when that process is still our service, else None."""
    try:
        with open(pid_file) as f:
            pid = int(f.read().strip())
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            running = f.read()
    except (OSError, ValueError):
        return None
    return pid if b"hollowmere_service.py" in running else None


def is_gone(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            # An ended process whose parent has not reaped it yet is gone for us.
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except (OSError, IndexError):
        return True


def wait_gone(pid, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if is_gone(pid):
            return True
        time.sleep(0.05)
    return False


def stop(origin, state_dir):
    pid_file = os.path.join(state_dir, "service.pid")
    pid = our_service_pid(pid_file)
    control(origin, "shutdown", "POST")
    if pid is not None and not wait_gone(pid, 5):
        os.kill(pid, signal.SIGTERM)
        wait_gone(pid, 5)
    try:
        os.remove(pid_file)
    except OSError:
        pass
    print("stand-in service on %s stopped" % origin)
    return 0


def start(origin, state_dir, host, port, service_args):
    os.makedirs(state_dir, exist_ok=True)
    if our_service_pid(os.path.join(state_dir, "service.pid")) is not None or control(origin, "ping"):
        stop(origin, state_dir)  # a service left over from an interrupted run
    log_path = os.path.join(state_dir, "service.log")
    with open(log_path, "wb") as log:
        process = subprocess.Popen(
            [sys.executable, SERVICE, "--host", host, "--port", str(port),
             "--data-dir", os.path.join(state_dir, "data")] + service_args,
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    with open(os.path.join(state_dir, "service.pid"), "w") as f:
        f.write("%d\n" % process.pid)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        if process.poll() is not None:
            break
        if control(origin, "ping"):
            with open(log_path, encoding="utf-8", errors="replace") as f:
                print(f.readline().rstrip())
            return 0
        time.sleep(0.1)
    if process.poll() is None:
        process.terminate()
        process.wait(5)
    with open(log_path, encoding="utf-8", errors="replace") as f:
        sys.stderr.write("the stand-in service did not start:\n" + f.read())
    return 1


def main():
    parser = argparse.ArgumentParser(description="start or stop the stand-in Hollowmere service")
    parser.add_argument("action", choices=("start", "stop"))
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--https", action="store_true", help="the service serves HTTPS (--tls-dir)")
    argv = sys.argv[1:]
    service_args = argv[argv.index("--") + 1:] if "--" in argv else []
    args = parser.parse_args(argv[:argv.index("--")] if "--" in argv else argv)
    origin = "%s://%s:%d" % ("https" if args.https else "http", args.host, args.port)
    if args.action == "start":
        return start(origin, args.state_dir, args.host, args.port, service_args)
    return stop(origin, args.state_dir)


if __name__ == "__main__":
    sys.exit(main())
