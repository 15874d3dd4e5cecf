#!/usr/bin/env python3
"""Hostile clients against quillon-serve, on loopback only, each for a bounded time: prints
the server's memory (peak and current RSS), descriptors, CPU time and a normal client's
latency under each (p50 and p99 of a client asking the default picture every 20 ms, and how
many of its requests went unanswered). A measuring tool for people
(tests/hosts/HostileClientsTest.cpp is the test); needs python3.

    bench/hostile_clients.py [BUILD_DIR/bin/quillon-serve [SCENARIO...]]

The targets it checks: a normal client's p99 under 100 ms during the slowloris floods, and
under 50 ms while 16 clients ask for 16-Mpixel pictures back to back, and while four clients
ask for symbols of Macro PDF417 sets cut from 15,000 characters (macro-flood, whose last line
bench/summary.sh reads), every one of those answered 200, at least 40 of them.
"""
import os, re, resource, signal, socket, ssl, subprocess, sys, threading, time

SERVE = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/quillon-serve"
BIG = b"GET /barcode.png?Width=2000&Height=1000&Data=hostile HTTP/1.1\r\nHost: x\r\n\r\n"
# 4096 x 4096 (the default pixel limit) in four colours: a 4.2 MB PNG.
HUGE = (b"GET /barcode.png?Width=4096&Height=4096&BarColor=255&BackColor=65280&BorderStyle=2"
        b"&Data=hostile HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
NORMAL = b"GET /barcode.png?Data=normal HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"

# Enough descriptors for thousands of clients, in this process and the servers it starts.
resource.setrlimit(resource.RLIMIT_NOFILE, (resource.getrlimit(resource.RLIMIT_NOFILE)[1],) * 2)


def start(extra=(), nofile=None, quiet=True, threads=2, **popen):
    def limit():
        if nofile:
            resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))
    args = [SERVE, "--port", "0", *(["--threads", str(threads)] if threads else []),
            *(["--quiet"] if quiet else []), *extra]
    proc = subprocess.Popen(args, stdout=subprocess.PIPE, preexec_fn=limit, **popen)
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


def normal_request(port, timeout=60, request=NORMAL):
    start = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.sendall(request)
            data = b""
            while chunk := s.recv(65536):
                data += chunk
        ok = data.startswith(b"HTTP/1.1 200")
    except OSError as e:
        ok = f"failed: {e}"
    return ok, round(time.monotonic() - start, 6)


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


def trickle(clients, seconds):
    """Slowloris: a byte of a request head a second from each client, for `seconds`."""
    head = b"GET / HTTP/1.1\r\nX-Slow: " + b"a" * 100
    for i in range(seconds):
        for s in clients:
            try:
                s.send(head[i:i + 1])
            except OSError:
                pass
        time.sleep(1)


def slowloris(count=300, seconds=14):
    proc, port = start()
    before = status(proc)
    clients = connect(port, count)
    open_at_end = 0
    trickle(clients, seconds)
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
        burst = b"GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n" * count
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


class NormalClient(threading.Thread):
    """Asks for the default picture every `period` seconds on a new connection until told to
    stop (or, `distinct`, a small picture different each time, which no cache holds): the
    latencies of its answered requests, and how many went unanswered."""

    def __init__(self, port, period=0.02, timeout=10, distinct=False):
        super().__init__(daemon=True)
        self.port, self.period, self.timeout, self.distinct = port, period, timeout, distinct
        self.latencies, self.unanswered = [], 0
        self.stopping = threading.Event()
        self.start()

    def run(self):
        for count in range(1 << 30):
            if self.stopping.is_set():
                break
            request = NORMAL.replace(b"normal", b"normal-%d" % count) if self.distinct else NORMAL
            ok, seconds = normal_request(self.port, self.timeout, request)
            if ok is True:
                self.latencies.append(seconds)
            else:
                self.unanswered += 1
            time.sleep(self.period)

    def finish(self):
        self.stopping.set()
        self.join()
        return self.summary()

    def percentile(self, q):
        """In milliseconds, of the answered requests."""
        if not self.latencies:
            return float("inf")
        ordered = sorted(self.latencies)
        return ordered[min(len(ordered) - 1, int(q * len(ordered)))] * 1000

    def summary(self):
        if not self.latencies:
            return f"normal client: none answered, {self.unanswered} not"
        return (f"normal client: {len(self.latencies)} answered, {self.unanswered} not; p50 "
                f"{self.percentile(0.5):.1f} ms, p99 {self.percentile(0.99):.1f} ms, max "
                f"{max(self.latencies) * 1000:.0f} ms")


def read_answer(sock, timeout=15, body=True):
    """One answer on `sock`, its body read too unless told not to: its status line (or how
    the connection ended without one) and its head."""
    sock.setblocking(True)
    sock.settimeout(timeout)
    data = b""
    try:
        while b"\r\n\r\n" not in data:
            chunk = sock.recv(4096)
            if not chunk:
                return ("closed" if not data else data.decode(errors="replace")), data
            data += chunk
        head, received = data.split(b"\r\n\r\n", 1)
        length = re.search(rb"\r\nContent-Length: (\d+)", head)
        while body and length and len(received) < int(length.group(1)):
            chunk = sock.recv(4096)
            if not chunk:
                break
            received += chunk
    except ConnectionResetError:
        return "reset", data
    except OSError as e:
        return f"error {e}", data
    return head.split(b"\r\n")[0].decode(errors="replace"), head


def first_line(sock, timeout=15):
    """The status line the server sent on `sock`, without reading the body."""
    return read_answer(sock, timeout, body=False)[0]


def counted(lines):
    out = {}
    for line in lines:
        key = line[:12] if line.startswith("HTTP/") else line
        out[key] = out.get(key, 0) + 1
    return out


def slow_readers(count=300, seconds=30):
    """Clients that each ask once for a 4096 x 4096 four-colour PNG and read nothing."""
    proc, port = start()
    before = status(proc)
    normal = NormalClient(port)
    clients = []
    for _ in range(count):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", port))
        s.sendall(HUGE)
        clients.append(s)
    time.sleep(seconds)
    answers = counted(first_line(s, 5) for s in clients)
    report(f"slow readers ({count} x one 4096 x 4096 picture, unread for {seconds} s)", proc, port,
           before, f"; {normal.finish()}; their answers {answers}")
    for s in clients:
        s.close()
    proc.terminate(); proc.wait(20)


def slowloris_flood(count=300, cap=None, nofile=None, seconds=14):
    """`count` connections sending a header byte a second, and a normal client meanwhile."""
    extra = ["--max-connections", str(cap)] if cap else []
    proc, port = start(extra, nofile=nofile)
    before = status(proc)
    clients = connect(port, count)
    normal = NormalClient(port)
    trickle(clients, seconds)
    limits = ", ".join(f"{k} {v}" for k, v in (("cap", cap), ("descriptors", nofile)) if v)
    report(f"slowloris flood ({count} connections{', ' + limits if limits else ''})", proc, port,
           before, f"; {normal.finish()}")
    for s in clients:
        s.close()
    proc.terminate(); proc.wait(20)


def stop_at_cap(slow=20, waiting=50):
    """SIGTERM while `slow` slowloris connections hold the cap and `waiting` clients have sent
    whole requests that wait in the backlog."""
    proc, port = start(["--max-connections", str(slow)])
    hold = connect(port, slow)
    for s in hold:
        s.send(b"GET / HTTP/1.1\r\n")
    time.sleep(0.5)
    backlog = []
    for _ in range(waiting):
        s = socket.create_connection(("127.0.0.1", port), timeout=2)
        s.sendall(NORMAL)
        backlog.append(s)
    time.sleep(0.5)
    proc.send_signal(signal.SIGTERM)
    answers = counted(first_line(s) for s in backlog)
    proc.wait(30)
    print(f"SIGTERM at the cap ({slow} slowloris, {waiting} whole requests in the backlog): "
          f"their answers {answers}", flush=True)


def stop_under_load(total=45000, clients=8):
    """Requests sent around a normal SIGTERM, rounds of it until `total` were sent: how many
    were sent (the bytes went out) and got no answer, on new or on reused connections."""
    sent = answered = 0
    lost = {}
    rounds = 0
    while sent < total:
        rounds += 1
        proc, port = start()
        lock = threading.Lock()
        tally = {"sent": 0, "answered": 0}

        def client(keep_alive):
            s, reused = None, False
            while True:
                if s is None:
                    try:
                        s = socket.create_connection(("127.0.0.1", port), timeout=10)
                        reused = False
                    except OSError:
                        return  # refused: the server has stopped listening
                request = b"GET /healthz HTTP/1.1\r\nHost: x\r\n" + \
                    (b"" if keep_alive else b"Connection: close\r\n") + b"\r\n"
                try:
                    s.sendall(request)
                except OSError:
                    s.close(); s = None
                    continue  # not sent
                with lock:
                    tally["sent"] += 1
                line, head = read_answer(s)
                if line.startswith("HTTP/1.1"):
                    with lock:
                        tally["answered"] += 1
                    if not keep_alive or b"Connection: close" in head:
                        s.close(); s = None
                    else:
                        reused = True
                else:
                    kind = f"{'reused' if reused else 'new'} connection: {line}"
                    with lock:
                        lost[kind] = lost.get(kind, 0) + 1
                    s.close(); s = None

        threads = [threading.Thread(target=client, args=(i % 2 == 0,)) for i in range(clients)]
        for t in threads:
            t.start()
        time.sleep(0.4)
        proc.send_signal(signal.SIGTERM)
        for t in threads:
            t.join(60)
        proc.wait(30)
        sent += tally["sent"]
        answered += tally["answered"]
    print(f"around a SIGTERM, {rounds} rounds: {sent} requests sent, {answered} answered, "
          f"{sent - answered} not: {lost}", flush=True)


def stalled_log(requests=30000):
    """The access log on a pipe nobody reads: is /healthz still answered?"""
    reader, writer = os.pipe()
    proc, port = start(quiet=False, stderr=writer)
    os.close(writer)
    answered, slowest = 0, 0.0
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        for i in range(requests):
            started = time.monotonic()
            s.sendall(b"GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            try:
                while not data.endswith(b"\nok\n"):
                    chunk = s.recv(4096)
                    if not chunk:
                        break
                    data += chunk
            except OSError:
                break
            if not data.endswith(b"\nok\n"):
                break
            answered += 1
            slowest = max(slowest, time.monotonic() - started)
    metrics = b""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            while chunk := s.recv(65536):
                metrics += chunk
    except OSError:
        pass
    dropped = re.search(rb"\nquillon_access_log_lines_dropped_total (\d+)", metrics)
    print(f"access log on a pipe nobody reads: {answered} of {requests} /healthz answered, "
          f"slowest {slowest * 1000:.0f} ms; lines dropped "
          f"{dropped.group(1).decode() if dropped else 'not counted'}", flush=True)
    proc.kill(); proc.wait(20)
    os.close(reader)


def ask_back_to_back(port, request, clients, stop, done):
    """In a process of its own, so that the normal client's timing does not wait for this
    one's interpreter lock: `clients` threads asking `request` back to back."""
    def asker():
        with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
            while not stop.is_set():
                s.sendall(request)
                data = b""
                while b"\r\n\r\n" not in data:
                    data += s.recv(65536)
                head, body = data.split(b"\r\n\r\n", 1)
                length = int(re.search(rb"Content-Length: (\d+)", head).group(1))
                received = len(body)
                while received < length:
                    received += len(s.recv(1 << 20))
                with done.get_lock():
                    done.value += head.startswith(b"HTTP/1.1 200 ")

    threads = [threading.Thread(target=asker, daemon=True) for _ in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def large_pictures(clients=16, seconds=20, svg=False):
    """`clients` clients asking for 16-Mpixel pictures back to back, and a normal client."""
    import multiprocessing
    proc, port = start()
    before = status(proc)
    path = (b"/barcode.svg?Columns=30&ErrorCorrectionLevel=5&NarrowBarWidth=0.12&Y2XRatio=2"
            if svg else b"/barcode.png?")
    request = (b"GET " + path + b"&Width=4096&Height=4096&Data=" + b"large" * (200 if svg else 1)
               + b" HTTP/1.1\r\nHost: x\r\n\r\n")
    stop, done = multiprocessing.Event(), multiprocessing.Value("i", 0)
    askers = multiprocessing.Process(target=ask_back_to_back,
                                     args=(port, request, clients, stop, done))
    askers.start()
    time.sleep(1)
    normal = NormalClient(port)
    time.sleep(seconds)
    summary = normal.finish()
    stop.set()
    askers.join(60)
    kind = "dense 4096 x 4096 SVG" if svg else "16-Mpixel PNG"
    report(f"{clients} clients asking for {kind}s back to back", proc, port, before,
           f"; {summary}; large pictures served (200) {done.value}")
    proc.terminate(); proc.wait(20)


# The Macro-set requests of macro_flood, in turn: what the data is drawn from, and the rest
# of the query.
MACRO_KINDS = (("0123456789", "optimize=1&segments=auto&segment=0"),
               ("abcdefghijklmnopqrstuvwxyz", "segments=auto&segment=3"),
               ("abcdefghijklmnopqrstuvwxyz", "optimize=1&segments=auto&segment=0"))


def ask_macro_sets(port, clients, stop, answers, length=15000):
    """In a process of its own: `clients` threads each asking back to back, on a kept-alive
    connection, for a symbol of a Macro PDF417 set cut from `length` characters, different
    every time, of the kinds of MACRO_KINDS in turn. answers[0] counts the 200s, answers[1]
    the others."""
    import random

    def asker(first):
        generator = random.Random(first)
        with socket.create_connection(("127.0.0.1", port), timeout=120) as s:
            for turn in range(first, 1 << 30):
                if stop.is_set():
                    break
                alphabet, options = MACRO_KINDS[turn % len(MACRO_KINDS)]
                data = "".join(generator.choices(alphabet, k=length))
                s.sendall(f"GET /barcode.png?Data={data}&{options} HTTP/1.1\r\nHost: x\r\n"
                          "\r\n".encode())
                line, _ = read_answer(s, timeout=120)
                with answers.get_lock():
                    answers[0 if line.startswith("HTTP/1.1 200 ") else 1] += 1

    threads = [threading.Thread(target=asker, args=(i,), daemon=True) for i in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def macro_flood(clients=4, seconds=8):
    """`clients` clients asking for symbols of Macro PDF417 sets cut from 15,000 characters,
    each different, back to back, and a normal client asking every 20 ms for a small picture
    different each time, for `seconds`, at the server's default threads."""
    import multiprocessing
    proc, port = start(threads=None)
    before = status(proc)
    stop, answers = multiprocessing.Event(), multiprocessing.Array("i", 2)
    heavy = multiprocessing.Process(target=ask_macro_sets, args=(port, clients, stop, answers))
    heavy.start()
    normal = NormalClient(port, distinct=True)
    time.sleep(seconds)
    summary = normal.finish()
    stop.set()
    heavy.join(300)
    report(f"{clients} clients asking for Macro-set symbols of 15,000 characters for {seconds} s",
           proc, port, before,
           f"; {summary}; their answers: {answers[0]} 200, {answers[1]} other")
    print(f"macro-flood: normal p50 {normal.percentile(0.5):.1f} ms, p99 "
          f"{normal.percentile(0.99):.1f} ms, {normal.unanswered} unanswered; Macro sets "
          f"{answers[0]} 200 of {answers[0] + answers[1]}", flush=True)
    proc.terminate(); proc.wait(20)


def conformance():
    """What a few malformed or unusual requests get, and how soon."""
    proc, port = start()
    outgoing = ssl.MemoryBIO()
    tls = ssl.create_default_context().wrap_bio(ssl.MemoryBIO(), outgoing, server_hostname="x")
    try:
        tls.do_handshake()
    except ssl.SSLWantReadError:
        pass
    client_hello = outgoing.read()
    cases = [
        ("HTTP/1.1 without Host", b"GET /healthz HTTP/1.1\r\n\r\n"),
        ("two Host fields", b"GET /healthz HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n"),
        ("an invalid Host", b"GET /healthz HTTP/1.1\r\nHost: a b/c\r\n\r\n"),
        ("absolute-form", b"GET http://127.0.0.1/healthz HTTP/1.1\r\nHost: x\r\n\r\n"),
        ("Expect: 100-continue", b"GET /healthz HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n"
                                 b"Expect: 100-continue\r\n\r\n"),
        ("HTTP/0.9", b"GET /healthz\r\n"),
        ("TLS ClientHello", client_hello),
    ]
    for name, request in cases:
        with socket.create_connection(("127.0.0.1", port), timeout=15) as s:
            started = time.monotonic()
            s.sendall(request)
            line = first_line(s, 15)
            print(f"  {name}: {line!r} after {(time.monotonic() - started) * 1000:.0f} ms",
                  flush=True)
    proc.terminate(); proc.wait(20)


SCENARIOS = (never_reading, slowloris, huge_head, half_closed, out_of_descriptors,
             pipelined_burst, slow_readers,
             lambda: slowloris_flood(300, cap=100),
             lambda: slowloris_flood(4500),
             lambda: slowloris_flood(300, nofile=256),
             stop_at_cap, stop_under_load, stalled_log, large_pictures,
             lambda: large_pictures(svg=True), macro_flood, conformance)
NAMES = ("never_reading", "slowloris", "huge_head", "half_closed", "out_of_descriptors",
         "pipelined_burst", "slow_readers", "slowloris_cap", "slowloris_4500",
         "slowloris_256_descriptors", "stop_at_cap", "stop_under_load", "stalled_log",
         "large_pictures", "large_svgs", "macro-flood", "conformance")


if __name__ == "__main__":
    only = sys.argv[2:]
    for name, scenario in zip(NAMES, SCENARIOS):
        if only and name not in only:
            continue
        try:
            scenario()
        except Exception as e:  # keep measuring the others
            print(f"{name}: {e!r}", flush=True)
