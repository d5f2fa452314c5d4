#!/usr/bin/env python3
"""Attacks on `lumo serve` from outside, each against a fresh service, with
what they cost it (./bench/attacks.py build/lumo [ATTACK…]):

  pipeline   16 connections send requests and never read an answer, 27 s:
             the service's resident memory before and after
  csv        12,000 records, then one session asks /history.csv?limit=10000 75
             times without reading
  logins     200 addresses (127.0.0.0/8) make wrong logins as fast as they
             are answered; a real user's login meanwhile, timed
  addresses  256 addresses hold a kept-alive connection each; a 257th logs in
  headers    a room's name with CR LF in a URL: the log keeps it on one line
  history    a token's holder sends unknown words for 10 s, 8 at a time: the
             records the history gained, and a real command's still there
"""
import os, re, socket, subprocess, sys, tempfile, threading, time, urllib.parse

LUMO = sys.argv[1] if len(sys.argv) > 1 else "build/lumo"


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


class Service:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="lumo-attack-")
        self.port = free_port()
        h = lambda s: subprocess.run([LUMO, "serve", "--hash-password"], input=s + "\n",
                                     capture_output=True, text=True, check=True).stdout.strip()
        conf = os.path.join(self.dir, "serve.conf")
        with open(conf, "w") as f:
            f.write(f"[web]\nlisten=127.0.0.1:{self.port}\n[rooms]\nr1\\name=R1\n"
                    f"r1\\device=rfc2217://127.0.0.1:9\n[users]\nalice={h('correct horse')}\n"
                    f"[tokens]\nrun={h('s3cret')}\n")
        os.chmod(conf, 0o600)
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(self.dir, "state"))
        self.log = open(os.path.join(self.dir, "serve.log"), "w+")
        self.proc = subprocess.Popen([LUMO, "serve", "--config", conf], stdout=self.log,
                                     stderr=subprocess.STDOUT, env=env)
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                break
            except OSError:
                time.sleep(0.05)
        time.sleep(0.5)

    def rss(self):
        return rss_mib(self.proc.pid)

    def ask(self, method, path, headers="", body=b"", source="127.0.0.1", timeout=30):
        s = socket.socket()
        s.bind((source, 0))
        s.settimeout(timeout)
        s.connect(("127.0.0.1", self.port))
        req = (f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1:{self.port}\r\n{headers}"
               f"Content-Length: {len(body)}\r\nConnection: close\r\n\r\n").encode() + body
        s.sendall(req)
        data = b""
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        except OSError:
            pass
        s.close()
        m = re.match(rb"HTTP/1\.[01] (\d+)", data)
        return (int(m.group(1)) if m else 0), data

    def login(self, password="correct horse", source="127.0.0.1"):
        body = urllib.parse.urlencode({"user": "alice", "password": password}).encode()
        return self.ask("POST", "/login", "Content-Type: application/x-www-form-urlencoded\r\n",
                        body, source)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        self.log.seek(0)
        return self.log.read()


def flood_unread(svc, count, request, seconds):
    socks = []
    for _ in range(count):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", svc.port))
        s.setblocking(False)
        socks.append(s)
    batch = request * 64
    end = time.time() + seconds
    while time.time() < end:
        for s in socks:
            try:
                s.send(batch)
            except OSError:
                pass
        time.sleep(0.001)
    return socks


def pipeline():
    svc = Service()
    before = svc.rss()
    req = f"GET /login HTTP/1.1\r\nHost: 127.0.0.1:{svc.port}\r\n\r\n".encode()
    socks = flood_unread(svc, 16, req, 27)
    after = svc.rss()
    t = time.time(); status, _ = svc.login(); took = time.time() - t
    print(f"pipeline: 16 connections, 27 s: {before:.0f} → {after:.0f} MiB "
          f"(+{after - before:.0f}); a login meanwhile {status} in {took:.2f} s")
    for s in socks: s.close()
    svc.stop()


def csv():
    svc = Service()
    auth = "Authorization: Bearer run.s3cret\r\n"

    def fill(n):
        for _ in range(n):  # each a record: the room's line cannot be opened
            svc.ask("POST", "/api/v1/rooms/r1/commands/projector-on", auth)
    threads = [threading.Thread(target=fill, args=(1500,)) for _ in range(8)]
    for t in threads: t.start()
    for t in threads: t.join()
    status, data = svc.login()
    cookie = re.search(rb"Set-Cookie: (lumo_session=[^;]+)", data).group(1).decode()
    before = svc.rss()
    req = (f"GET /history.csv?limit=10000 HTTP/1.1\r\nHost: 127.0.0.1:{svc.port}\r\n"
           f"Cookie: {cookie}\r\n\r\n").encode()
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.connect(("127.0.0.1", svc.port))
    s.sendall(req * 75)
    time.sleep(10)
    after = svc.rss()
    print(f"csv: 75 files asked on one connection, unread: {before:.0f} → {after:.0f} MiB "
          f"(+{after - before:.0f})")
    s.close()
    svc.stop()


def logins():
    svc = Service()
    stop = threading.Event()

    def attacker(i):
        src = f"127.0.{i // 250}.{i % 250 + 2}"
        while not stop.is_set():
            try:
                svc.login("wrong", src)
            except OSError:
                time.sleep(0.05)
    threads = [threading.Thread(target=attacker, args=(i,), daemon=True) for i in range(200)]
    for t in threads: t.start()
    time.sleep(5)
    times = []
    for n in range(5):
        t = time.time(); status, _ = svc.login(source="127.1.0.1"); times.append((status, time.time() - t))
        time.sleep(1)
    stop.set()
    print("logins: 200 addresses logging in wrongly; a real login: " +
          ", ".join(f"{s} in {d:.2f} s" for s, d in times))
    log = svc.stop()
    print(f"  the log: {len(log.splitlines())} lines")


def addresses():
    svc = Service()
    held = []
    for i in range(256):
        s = socket.socket()
        s.bind((f"127.0.2.{i % 250 + 1}" if i < 250 else f"127.0.3.{i}", 0))
        s.connect(("127.0.0.1", svc.port))
        s.sendall(f"GET /login HTTP/1.1\r\nHost: 127.0.0.1:{svc.port}\r\n\r\n".encode())
        held.append(s)
    time.sleep(1)
    ok = 0
    for i in range(18):
        try:
            status, _ = svc.login(source=f"127.0.9.{i + 1}")
            ok += status == 303
        except OSError:
            pass
    print(f"addresses: 256 held; {ok} of 18 logins from new addresses went through")
    svc.stop()


def headers():
    svc = Service()
    status, data = svc.login()
    cookie = re.search(rb"Set-Cookie: (lumo_session=[^;]+)", data).group(1).decode()
    svc.ask("POST", "/api/v1/rooms/x%0D%0AFORGED%20line/commands/projector-on", f"Cookie: {cookie}\r\n")
    log = svc.stop()
    forged = [l for l in log.splitlines() if l.startswith("FORGED")]
    print(f"headers: {len(forged)} forged lines in the log")


def history():
    svc = Service()
    auth = "Authorization: Bearer run.s3cret\r\n"
    stop = threading.Event()
    sent = [0]

    def flood():
        while not stop.is_set():
            svc.ask("POST", "/api/v1/rooms/r1/commands/nonsense", auth)
            sent[0] += 1
    svc.ask("POST", "/api/v1/rooms/r1/commands/projector-on", auth)
    threads = [threading.Thread(target=flood, daemon=True) for _ in range(8)]
    for t in threads: t.start()
    time.sleep(10)
    stop.set()
    for t in threads: t.join()
    status, data = svc.ask("GET", "/api/v1/history?limit=1000", auth)
    body = data.split(b"\r\n\r\n", 1)[-1].decode("utf-8", "replace")
    rows = body.count('"id":')
    print(f"history: {sent[0]} unknown words sent in 10 s; the history holds {rows} records "
          f"(projector-on among them: {'projector-on' in body})")
    svc.stop()


for name in sys.argv[2:] or ["pipeline", "csv", "logins", "addresses", "headers", "history"]:
    globals()[name]()
