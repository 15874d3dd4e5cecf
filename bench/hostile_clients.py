#!/usr/bin/env python3
"""Hostile clients against quillon-serve, on loopback only, each for a bounded time: prints
the server's memory (peak and current RSS), descriptors, CPU time and a normal client's
latency under each. A measuring tool for people (tests/hosts/HostileClientsTest.cpp is the
test); needs python3.

    bench/hostile_clients.py [BUILD_DIR/bin/quillon-serve [SCENARIO...]]
"""
import os, re, resource, socket, subprocess, sys, time

SERVE = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/quillon-serve"
BIG = b"GET /barcode.png?Width=2000&Height=1000&Data=hostile HTTP/1.1\r\nHost: x\r\n\r\n"


def start(extra=(), nofile=None):
    def limit():
        if nofile:
            resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))
    proc = subprocess.Popen([SERVE, "--port", "0", "--threads", "2", "--quiet", *extra],
                            stdout=subprocess.PIPE, preexec_fn=limit)
    line = proc.stdout.readline().decode()
    port = int(re.search(r":(\d+)/", line).group(1))
    normal_request(port)  # loads the component before anything is measured
    return proc, port


def status(proc):
    text = open(f"/proc/{proc.pid}/status").read()
    kb = lambda key: int(re.search(key + r":\s+(\d+)", text).group(1))
    fds = len(os.listdir(f"/proc/{proc.pid}/fd"))
    stat = open(f"/proc/{proc.pid}/stat").read().rsplit(")", 1)[1].split()
    cpu = (int(stat[11]) + int(stat[12])) / os.sysconf("SC_CLK_TCK")
    return {"peak_mb": kb("VmHWM") // 1024, "rss_mb": kb("VmRSS") // 1024, "fds": fds, "cpu_s": cpu}


def normal_request(port, timeout=60):
    start = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.sendall(b"GET /barcode.png?Data=normal HTTP/1.1\r\nConnection: close\r\n\r\n")
            data = b""
            while chunk := s.recv(65536):
                data += chunk
        ok = data.startswith(b"HTTP/1.1 200")
    except OSError as e:
        ok = f"failed: {e}"
    return ok, round(time.monotonic() - start, 3)


def connect(port, n):
    out = []
    for _ in range(n):
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=2)
            s.setblocking(False)
            out.append(s)
        except OSError:
            break
    return out


def report(name, proc, port, before, extra=""):
    after = status(proc)
    ok, seconds = normal_request(port)
    print(f"{name}: peak RSS {after['peak_mb']} MB, RSS {after['rss_mb']} MB, descriptors "
          f"{before['fds']} -> {after['fds']}, CPU {after['cpu_s'] - before['cpu_s']:.1f} s; "
          f"normal request {ok} in {seconds} s{extra}", flush=True)


def never_reading(seconds=15):
    proc, port = start()
    before = status(proc)
    clients = connect(port, 4)
    sent = 0
    deadline = time.monotonic() + seconds
    for s in clients:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    while time.monotonic() < deadline and sent < 4 * 29 * 1024:
        for s in clients:
            try:
                sent += s.send(BIG)
            except BlockingIOError:
                pass
        time.sleep(0.01)
    time.sleep(max(0, deadline - time.monotonic()))
    report("never-reading pipeliners (4 x 29 KB of requests)", proc, port, before, f", sent {sent} B")
    for s in clients:
        s.close()
    time.sleep(2)
    print(f"  after they left: {status(proc)}")
    proc.terminate(); proc.wait(20)


def slowloris(count=300, seconds=14):
    proc, port = start()
    before = status(proc)
    clients = connect(port, count)
    head = b"GET / HTTP/1.1\r\nX-Slow: " + b"a" * 100
    open_at_end = 0
    for i in range(seconds):
        for s in clients:
            try:
                s.send(head[i:i + 1])
            except OSError:
                pass
        time.sleep(1)
    mid = status(proc)
    for s in clients:
        try:
            if s.recv(1) == b"":
                continue
        except BlockingIOError:
            open_at_end += 1
        except OSError:
            pass
    report(f"slowloris ({count} connections, a byte a second for {seconds} s)", proc, port, before,
           f", still open {open_at_end}, server descriptors during {mid['fds']}")
    for s in clients:
        s.close()
    proc.terminate(); proc.wait(20)


def huge_head():
    proc, port = start()
    before = status(proc)
    results = []
    for head in (b"X-Big: " + b"a" * (1 << 20) + b"\r\n", b"X: y\r\n" * 20000):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
                s.sendall(b"GET /barcode.png HTTP/1.1\r\n" + head + b"\r\n")
                results.append(s.recv(64).split(b"\r\n")[0].decode())
        except OSError as e:
            results.append(f"error {e.errno}")
    report("1 MiB header and 20,000 headers", proc, port, before, f", answers {results}")
    proc.terminate(); proc.wait(20)


def half_closed(seconds=5):
    proc, port = start()
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.sendall(BIG * 40)  # 10 MB of answers, more than the socket buffers hold
    s.shutdown(socket.SHUT_WR)
    time.sleep(1)
    before = status(proc)
    time.sleep(seconds)
    report(f"half-closed client with answers pending ({seconds} s)", proc, port, before)
    s.close()
    proc.terminate(); proc.wait(20)


def out_of_descriptors(seconds=10):
    proc, port = start(nofile=128)
    before = status(proc)
    clients = connect(port, 200)
    time.sleep(seconds)
    report(f"200 idle connections with a 128-descriptor limit ({seconds} s)", proc, port, before,
           f", connected {len(clients)}")
    for s in clients:
        s.close()
    time.sleep(1)
    ok, seconds = normal_request(port)
    print(f"  after they left: normal request {ok} in {seconds} s", flush=True)
    proc.terminate(); proc.wait(20)


def pipelined_burst():
    """Server CPU time for bursts of pipelined requests: linear means twice the requests
    cost twice the time."""
    import threading
    for count in (60000, 120000):
        proc, port = start()
        before = status(proc)
        s = socket.create_connection(("127.0.0.1", port))
        burst = b"GET /nothing HTTP/1.1\r\n\r\n" * count
        sender = threading.Thread(target=s.sendall, args=(burst,))
        started = time.monotonic()
        sender.start()
        answers, tail = 0, b""
        while answers < count and time.monotonic() - started < 120:
            chunk = s.recv(1 << 20)
            if not chunk:
                break
            answers += (tail + chunk).count(b"HTTP/1.1 404")
            tail = chunk[-11:]
        sender.join()
        after = status(proc)
        print(f"pipelined burst of {count}: {answers} answers, server CPU "
              f"{after['cpu_s'] - before['cpu_s']:.2f} s, wall {time.monotonic() - started:.2f} s",
              flush=True)
        s.close()
        proc.terminate(); proc.wait(20)


if __name__ == "__main__":
    only = sys.argv[2:]
    for scenario in (never_reading, slowloris, huge_head, half_closed, out_of_descriptors,
                     pipelined_burst):
        if only and scenario.__name__ not in only:
            continue
        try:
            scenario()
        except Exception as e:  # keep measuring the others
            print(f"{scenario.__name__}: {e!r}", flush=True)
