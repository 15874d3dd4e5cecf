#!/usr/bin/env python3
"""deploy/nginx/quillon.conf in front of three quillon-serve instances, under faults.

    nginx_fault_test.py BUILD_DIR NGINX_CONF

All on loopback, every wait bounded. 32 clients send 20,000 GETs through a real nginx, over
200 distinct picture queries, half of them with "Pragma: no-cache" so that the instances carry
load throughout; a third of the way through one instance is killed with SIGKILL, half way
another is stopped with SIGTERM, and both are started again later on their ports. Every answer
must be 200 with the bytes this build's quillon writes for its query. Also: ETags agree across
instances, a client's If-None-Match gets 304 from the cache, and a gzip answer is never served
to a client that did not ask for one (Vary). Prints the cache hits and each instance's share
from nginx's log.
"""
import gzip
import http.client
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

CLIENTS, REQUESTS, QUERIES = 32, 20_000, 200
WORK = None  # this run's folder, for nginx's error log on failure


def fail(message):
    if WORK and os.path.exists(os.path.join(WORK, "error.log")):
        sys.stderr.write(open(os.path.join(WORK, "error.log")).read()[-2000:])
    sys.exit(f"FAIL: nginx: {message}")


def wait_for(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > deadline:
            fail(f"{what} within {seconds} s")
        time.sleep(0.05)


class Instance:
    """One quillon-serve, on a port of its own that it keeps across restarts."""

    def __init__(self, program, work, number):
        self.program, self.log, self.port = program, os.path.join(work, f"serve{number}.log"), 0
        self.process = None

    def start(self):
        with open(self.log, "w") as log:
            self.process = subprocess.Popen([self.program, "--bind", "127.0.0.1", "--port",
                                             str(self.port), "--quiet"], stdout=log, stderr=log)

        def listening():
            match = re.search(r"listening on http://127\.0\.0\.1:(\d+)/", open(self.log).read())
            if match:
                self.port = int(match.group(1))
            return match or self.process.poll() is not None
        wait_for(listening, 10, f"{self.program} did not listen")
        if self.process.poll() is not None:
            fail(f"an instance did not start: {open(self.log).read()}")

    def stop(self, signal_number):
        self.process.send_signal(signal_number)
        try:
            return self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            fail("an instance did not stop within 15 s of SIGTERM")


def get(port, target, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.request("GET", target, headers=headers or {})
    response = connection.getresponse()
    answer = (response.status, dict(response.getheaders()), response.read())
    connection.close()
    return answer


def main():
    build, conf = sys.argv[1], sys.argv[2]
    global WORK
    work = WORK = tempfile.mkdtemp(prefix="quillon-nginx-test-")
    instances = [Instance(os.path.join(build, "bin", "quillon-serve"), work, n) for n in range(3)]
    nginx = None
    try:
        for instance in instances:
            instance.start()

        # The queries, and the bytes the command line writes for each (its own registry).
        queries, expected = [], {}
        for n in range(QUERIES):
            properties = {"Data": f"Quillon behind nginx {n}", "Width": str(480 + 8 * (n % 10)),
                          "Height": str(200 + 4 * (n % 7)), "ErrorCorrectionLevel": str(n % 4)}
            target = "/barcode.png?" + urllib.parse.urlencode(properties, quote_via=urllib.parse.quote)
            picture = os.path.join(work, "expected.png")
            subprocess.run([os.path.join(build, "bin", "quillon"), "-o", picture,
                            *(f"{k}={v}" for k, v in properties.items())], check=True,
                           env={**os.environ, "QUILLON_REGISTRY": os.path.join(work, "registry")})
            queries.append(target)
            expected[target] = open(picture, "rb").read()

        # nginx with the deployed file, its paths and ports moved into this test's folder.
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        text = open(conf).read()
        text = text.replace("/var/cache/nginx/quillon", os.path.join(work, "cache"))
        text = text.replace("/var/log/nginx/quillon.access.log", os.path.join(work, "access.log"))
        text = text.replace("listen 8080;", f"listen 127.0.0.1:{port};")
        servers = iter(instances)
        text = re.sub(r"server 127\.0\.0\.1:\d+", lambda m: f"server 127.0.0.1:{next(servers).port}", text)
        with open(os.path.join(work, "quillon.conf"), "w") as file:
            file.write(text)
        with open(os.path.join(work, "nginx.conf"), "w") as file:
            file.write(f"""daemon off;
worker_processes 2;
pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 1024; }}
http {{
    client_body_temp_path {work}/body; proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi; uwsgi_temp_path {work}/uwsgi; scgi_temp_path {work}/scgi;
    include {work}/quillon.conf;
}}
""")
        # nginx's workers run as nobody when it is started as root: their folders are theirs.
        os.chmod(work, 0o755)
        for folder in ("cache", "body", "proxy", "fastcgi", "uwsgi", "scgi"):
            os.mkdir(os.path.join(work, folder))
            os.chmod(os.path.join(work, folder), 0o777)
        nginx = subprocess.Popen(["nginx", "-p", work, "-c", os.path.join(work, "nginx.conf")])

        def accepting():
            with socket.socket() as client:
                return client.connect_ex(("127.0.0.1", port)) == 0
        wait_for(accepting, 10, "nginx did not listen")

        # ETags: equal on every instance for the same query, as are the bytes.
        for target in queries[:10]:
            answers = [get(instance.port, target) for instance in instances]
            if len({a[1].get("ETag") for a in answers}) != 1 or None in {a[1].get("ETag") for a in answers}:
                fail(f"the instances' ETags differ for {target}")
            if any(a[2] != expected[target] for a in answers):
                fail(f"an instance's bytes differ from the CLI's for {target}")

        # Through nginx: a cached picture answers a client's If-None-Match with 304; the page's
        # gzip copy never reaches a client that did not ask for gzip.
        status, headers, _ = get(port, queries[0])
        if status != 200 or "ETag" not in headers:
            fail(f"nginx answered {status} without an ETag: {headers}")
        status, _, _ = get(port, queries[0], {"If-None-Match": headers["ETag"]})
        if status != 304:
            fail(f"If-None-Match through nginx answered {status}, not 304")
        _, zipped_headers, zipped = get(port, "/", {"Accept-Encoding": "gzip"})
        _, plain_headers, plain = get(port, "/")
        if "Content-Encoding" in plain_headers or (zipped_headers.get("Content-Encoding") == "gzip"
                                                   and gzip.decompress(zipped) != plain):
            fail("the page's gzip and plain answers got mixed up in the cache")

        # The load, with the faults at fixed points of it.
        faults = {REQUESTS // 3: lambda: instances[0].process.kill(),
                  REQUESTS // 2: lambda: stopped.append(instances[1].stop(signal.SIGTERM)),
                  REQUESTS * 2 // 3: instances[0].start,
                  REQUESTS * 5 // 6: instances[1].start}
        stopped, lock = [], threading.Lock()
        counters = {"sent": 0, "errors": 0, "wrong": 0, "fault": 0}
        errors = []

        def client(seed):
            chooser = random.Random(seed)
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=20)
            while True:
                with lock:
                    if counters["sent"] == REQUESTS:
                        break
                    counters["sent"] += 1
                target = chooser.choice(queries)
                headers = {"Pragma": "no-cache"} if chooser.random() < 0.5 else {}
                try:
                    connection.request("GET", target, headers=headers)
                    response = connection.getresponse()
                    body = response.read()
                    if response.status != 200 or body != expected[target]:
                        with lock:
                            counters["wrong"] += 1
                            errors.append(f"{response.status} for {target}")
                except (OSError, http.client.HTTPException) as error:
                    with lock:
                        counters["errors"] += 1
                        errors.append(f"{error!r} for {target}")
                    connection.close()
                    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=20)
            connection.close()

        threads = [threading.Thread(target=client, args=(n,)) for n in range(CLIENTS)]
        started = time.monotonic()
        for thread in threads:
            thread.start()
        for point in sorted(faults):
            wait_for(lambda: counters["sent"] >= point or not any(t.is_alive() for t in threads),
                     120, f"the clients did not reach request {point}")
            faults[point]()
        for thread in threads:
            thread.join(timeout=120)
        elapsed = time.monotonic() - started
        if any(thread.is_alive() for thread in threads):
            fail("the clients did not finish within 120 s")
        if stopped != [0]:
            fail(f"the instance stopped with SIGTERM exited with {stopped}")

        # nginx's log: the cache's verdicts and each instance's share.
        lines = [line for line in open(os.path.join(work, "access.log")) if "/barcode.png" in line]
        hits = sum(" cache=HIT " in line for line in lines)
        # A retried request names every instance it tried: the first ones failed it.
        retried = {instance.port: 0 for instance in instances}
        for line in lines:
            for failed in re.findall(r"127\.0\.0\.1:(\d+), ", line):
                retried[int(failed)] += 1
        shares = {instance.port: 0 for instance in instances}
        for line in lines:
            for address in re.findall(r"127\.0\.0\.1:(\d+)", line.split(" upstream=")[1]):
                shares[int(address)] = shares.get(int(address), 0) + 1
        print(f"nginx: {REQUESTS} requests from {CLIENTS} clients in {elapsed:.1f} s, "
              f"{counters['errors']} errors, {counters['wrong']} wrong bodies; "
              f"cache hits {hits} of {len(lines)} logged pictures; "
              f"retried on another instance after a failure of (by port) {retried}, "
              f"the instance killed being {instances[0].port}, the one stopped {instances[1].port}; "
              f"tries per instance (by port): {shares}")
        if counters["errors"] or counters["wrong"]:
            fail(f"clients saw {counters['errors']} errors and {counters['wrong']} wrong answers: "
                 + "; ".join(errors[:5]))
        if hits < REQUESTS // 4:
            fail(f"the cache answered only {hits} requests")
        if any(count == 0 for count in shares.values()):
            fail("an instance served nothing")
        # What nginx met at the instance stopped with SIGTERM: once it stopped, connections
        # refused (nginx tried it again now and then, until it was started again); a request it
        # had been sent and dropped unanswered would show as a reset or an early close.
        lost = [line for line in open(os.path.join(work, "error.log"))
                if "[error]" in line and f'"http://127.0.0.1:{instances[1].port}' in line
                and "Connection refused" not in line]
        if lost:
            fail(f"the instance stopped with SIGTERM dropped {len(lost)} requests: {lost[0]}")
        print("nginx: the instance stopped with SIGTERM dropped no request it was sent")
    finally:
        if nginx:
            nginx.terminate()
            nginx.wait(timeout=15)
        for instance in instances:
            if instance.process and instance.process.poll() is None:
                instance.process.kill()
                instance.process.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
