#!/usr/bin/env python3
"""Attack clients for bench/records_server_load.sh: loopback only, every loop bounded.

  silent PORT       a normal client's latency while silent and byte-a-second clients are held
  body PORT         a GET with a huge body to an unknown path
  headers PORT      a GET with a huge block of header lines
  kill PORT PID DB  publishers with unique names, SIGKILL the server, count acknowledged rows stored
"""
import argparse
import os
import resource
import signal
import socket
import sqlite3
import threading
import time

HOST = "127.0.0.1"


def connect(port, timeout):
    s = socket.create_connection((HOST, port), timeout=timeout)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def read_answer(s, deadline):
    """The status of one answer and whether it came whole, reading until its body ends."""
    data = b""
    while b"\r\n\r\n" not in data:
        s.settimeout(max(0.001, deadline - time.monotonic()))
        chunk = s.recv(65536)
        if not chunk:
            raise ConnectionError("closed before an answer")
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(body) < length:
        s.settimeout(max(0.001, deadline - time.monotonic()))
        chunk = s.recv(65536)
        if not chunk:
            raise ConnectionError("closed inside the body")
        body += chunk
    return status


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p / 100))]


def open_many(port, count):
    opened = []
    for _ in range(count):
        try:
            opened.append(connect(port, 2))
        except OSError:
            break
    return opened


def silent(args):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    held = open_many(args.port, args.silent)
    slow = open_many(args.port, args.slow)
    stop = threading.Event()
    request = b"GET /view.php?v=results HTTP/1.1\r\nHost: x\r\nX-Padding: " + b"a" * 64 + b"\r\n\r\n"

    def drip():
        sent = 0
        while not stop.is_set() and sent < len(request) - 1:
            for s in slow:
                try:
                    s.send(request[sent:sent + 1])
                except OSError:
                    pass
            sent += 1
            stop.wait(1.0)

    dripper = threading.Thread(target=drip)
    dripper.start()
    time.sleep(0.5)
    times, answered = [], 0
    end = time.monotonic() + args.seconds
    for _ in range(args.requests):
        if time.monotonic() >= end:
            break
        started = time.monotonic()
        try:
            with connect(args.port, args.timeout) as s:
                s.sendall(b"GET /view.php?v=results HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                if read_answer(s, started + args.timeout) == 200:
                    answered += 1
            times.append((time.monotonic() - started) * 1000)
        except (OSError, ConnectionError, ValueError):
            times.append(args.timeout * 1000)
    stop.set()
    dripper.join()
    for s in held + slow:
        s.close()
    print(f"held {len(held)} silent + {len(slow)} slow; answered {answered}/{len(times)}; "
          f"p50 {percentile(times, 50):.1f} ms p99 {percentile(times, 99):.1f} ms "
          f"(a request unanswered in {args.timeout} s counts as {args.timeout * 1000:.0f} ms)")


def flood(port, head, chunk, total, seconds):
    """Sends head then total bytes of chunk, stopping when the server closes or after seconds."""
    end = time.monotonic() + seconds
    sent = 0
    status = "none"
    with connect(port, 5) as s:
        s.sendall(head)
        try:
            while sent < total and time.monotonic() < end:
                s.settimeout(max(0.001, end - time.monotonic()))
                s.sendall(chunk)
                sent += len(chunk)
        except OSError:
            pass
        try:
            s.shutdown(socket.SHUT_WR)
        except OSError:
            pass
        try:
            status = str(read_answer(s, time.monotonic() + 10))
        except (OSError, ConnectionError, ValueError):
            status = "none (closed)"
    return sent, status


def body(args):
    total = args.mb << 20
    head = (f"GET /nowhere HTTP/1.1\r\nHost: x\r\nContent-Length: {total}\r\n\r\n").encode()
    sent, status = flood(args.port, head, b"b" * (1 << 20), total, args.seconds)
    print(f"sent {sent >> 20} of {args.mb} MB of body; answer {status}")


def headers(args):
    line = b"X-Filler: " + b"h" * 1012 + b"\r\n"
    total = args.mb << 20
    sent, status = flood(args.port, b"GET / HTTP/1.1\r\nHost: x\r\n", line * 1024, total, args.seconds)
    print(f"sent {sent >> 20} of {args.mb} MB of header lines; answer {status}")


def kill(args):
    acknowledged = []
    lock = threading.Lock()
    stop = threading.Event()

    def publisher(index):
        n = 0
        s = None
        while not stop.is_set():
            n += 1
            name = f"k{index}n{n}"
            try:
                if s is None:
                    s = connect(args.port, 2)
                s.sendall(f"GET /datas/html/add.php?name={name}&self={n}&autopilot=- HTTP/1.1\r\n"
                          f"Host: x\r\n\r\n".encode())
                if read_answer(s, time.monotonic() + 2) == 200:
                    with lock:
                        acknowledged.append(name)
            except (OSError, ConnectionError, ValueError):
                if s is not None:
                    s.close()
                s = None
                if stop.wait(0.01):
                    break
        if s is not None:
            s.close()

    workers = [threading.Thread(target=publisher, args=(i,)) for i in range(args.threads)]
    for w in workers:
        w.start()
    time.sleep(args.seconds)
    os.kill(args.pid, signal.SIGKILL)
    time.sleep(0.2)
    stop.set()
    for w in workers:
        w.join()
    with lock:
        names = list(acknowledged)
    db = sqlite3.connect(args.db)
    stored = {row[0] for row in db.execute("SELECT name FROM human_results")}
    db.close()
    lost = [name for name in names if name not in stored]
    print(f"acknowledged {len(names)}, stored {len(stored)}, acknowledged but lost {len(lost)}")


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("silent")
    p.add_argument("port", type=int)
    p.add_argument("--silent", type=int, default=1000)
    p.add_argument("--slow", type=int, default=32)
    p.add_argument("--requests", type=int, default=300)
    p.add_argument("--seconds", type=float, default=8)
    p.add_argument("--timeout", type=float, default=1.0)
    p.set_defaults(run=silent)
    for name, run, mb in (("body", body, 500), ("headers", headers, 200)):
        p = commands.add_parser(name)
        p.add_argument("port", type=int)
        p.add_argument("--mb", type=int, default=mb)
        p.add_argument("--seconds", type=float, default=30)
        p.set_defaults(run=run)
    p = commands.add_parser("kill")
    p.add_argument("port", type=int)
    p.add_argument("pid", type=int)
    p.add_argument("db")
    p.add_argument("--threads", type=int, default=8)
    p.add_argument("--seconds", type=float, default=3)
    p.set_defaults(run=kill)
    args = parser.parse_args()
    args.run(args)


if __name__ == "__main__":
    main()
