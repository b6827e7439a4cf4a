#!/usr/bin/env python3
# Starts the stand-in service in the background and stops it again (CTest fixtures).
#
#   service_fixture.py start --state-dir DIR --host H --port P [--https] -- [service arguments...]
#   service_fixture.py stop  --state-dir DIR --host H --port P [--https]
#
# start returns once the service answers, leaving it running with its output in
# DIR/service.log and its process id in DIR/service.pid; stop asks it to end and
# waits, ending it by its process id only if it does not. --https is for a service
# started with --tls-dir.

import os
import pathlib
import signal
import ssl
import subprocess
import sys
import time
import urllib.request

SERVICE = pathlib.Path(__file__).resolve().parents[2] / "tools" / "service" / "hollowmere_service.py"
# Straight to loopback: a proxy from the environment must not see a request. Certificates
# are not checked here: tests may have told the service to show a bad one.
OPENER = urllib.request.build_opener(urllib.request.ProxyHandler({}),
                                     urllib.request.HTTPSHandler(context=ssl._create_unverified_context()))


def control(origin, command, method="GET"):
    try:
        with OPENER.open(urllib.request.Request(origin + "/_control/" + command, method=method), timeout=1) as reply:
            return reply.status == 200
    except OSError:  # URLError included
        return False


def our_service_pid(pid_file):
    # The recorded process id while that process is our service and has not ended.
    try:
        pid = int(pathlib.Path(pid_file).read_text())
        ours = b"hollowmere_service.py" in pathlib.Path("/proc/%d/cmdline" % pid).read_bytes()
        # An ended process whose parent has not reaped it yet ("Z") is gone for us.
        return pid if ours and pathlib.Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()[0] != "Z" else None
    except (OSError, ValueError, IndexError):
        return None


def stop(origin, pid_file):
    control(origin, "shutdown", "POST")
    for attempt in range(200):  # 10 seconds, the second half after a SIGTERM
        pid = our_service_pid(pid_file)
        if pid is None:
            break
        if attempt == 100:
            os.kill(pid, signal.SIGTERM)
        time.sleep(0.05)
    pathlib.Path(pid_file).unlink(missing_ok=True)
    print("stand-in service on %s stopped" % origin)
    return 0


def start(origin, state_dir, pid_file, service_args):
    os.makedirs(state_dir, exist_ok=True)
    if our_service_pid(pid_file) is not None or control(origin, "ping"):
        stop(origin, pid_file)  # a service left over from an interrupted run
    log_path = os.path.join(state_dir, "service.log")
    with open(log_path, "wb") as log:
        process = subprocess.Popen([sys.executable, SERVICE, "--data-dir", os.path.join(state_dir, "data")] + service_args,
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    pathlib.Path(pid_file).write_text("%d\n" % process.pid)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and process.poll() is None:
        if control(origin, "ping"):
            print((pathlib.Path(log_path).read_text(errors="replace").splitlines() or [""])[0])
            return 0
        time.sleep(0.1)
    process.kill()  # nothing when it has ended already
    sys.stderr.write("the stand-in service did not start:\n" + pathlib.Path(log_path).read_text(errors="replace"))
    return 1


def main():
    argv = sys.argv[1:] + ["--"]
    options, service_args = argv[:argv.index("--")], argv[argv.index("--") + 1:-1]

    def option(name, default=None):
        return options[options.index(name) + 1] if name in options else default

    host, port, state_dir = option("--host", "127.0.0.1"), int(option("--port")), option("--state-dir")
    origin = "%s://%s:%d" % ("https" if "--https" in options else "http", host, port)
    pid_file = os.path.join(state_dir, "service.pid")
    if "stop" in options:  # the action, among the options
        return stop(origin, pid_file)
    return start(origin, state_dir, pid_file, ["--host", host, "--port", str(port)] + service_args)


if __name__ == "__main__":
    sys.exit(main())
