#!/usr/bin/env python3
"""A scanner worker that misbehaves on purpose, named to the program by VELORIX_SCAN_WORKER_EXE.

It passes every request to the real worker (VELORIX_REAL_WORKER) and its answers back, except
what VELORIX_BAD_WORKER names:
  longline    a scan is answered by an endless line
  manylines   a scan is answered by endless short lines that are no answer
  devices     a listing names 1,001 scanners
  shrink      a scan's page is handed over, then its block is shrunk to nothing
  geometry:W,H,BPL,FORMAT   a scan's page is announced with that geometry (BPL x H bytes sent)
"""
import os
import subprocess
import sys
import threading
import time
import urllib.parse

out_lock = threading.Lock()
out = sys.stdout.buffer


def send(fields):
    line = "\t".join(urllib.parse.quote(f, safe="") for f in fields) + "\n"
    with out_lock:
        out.write(line.encode())
        out.flush()


def decode(line):
    return [urllib.parse.unquote(f) for f in line.rstrip(b"\r\n").decode().split("\t")]


def block(size):
    name = "/velorix-scan-%d-0-%d" % (os.getpid(), time.monotonic_ns())
    fd = os.open("/dev/shm" + name, os.O_RDWR | os.O_CREAT | os.O_EXCL, 0o600)
    os.ftruncate(fd, size)
    return name, fd


def scan(number, how):
    if how == "longline":
        while True:
            send([number, "progress", "1" * (1 << 20)])  # each line 1 MiB and more
    if how == "manylines":
        while True:
            send([number + "0", "progress", "0", "0"])
    geometry = ["2", "2", "8", "13"]  # a tiny colour page
    if how.startswith("geometry:"):
        geometry = how[9:].split(",")

    def number_in(text):
        try:
            return int(text)
        except ValueError:
            return 0

    size = max(number_in(geometry[2]) * min(number_in(geometry[1]), 4), 1)
    name, fd = block(size)
    send([number, "block", name, str(size)])
    send([number, "picture"] + geometry + ["2953", "2953"])
    if how == "shrink":
        time.sleep(0.3)
        os.ftruncate(fd, 0)
    os.close(fd)


def main():
    how = os.environ.get("VELORIX_BAD_WORKER", "")
    real = subprocess.Popen([os.environ["VELORIX_REAL_WORKER"]] + sys.argv[1:],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def forward():
        for line in real.stdout:
            with out_lock:
                out.write(line)
                out.flush()
        os._exit(0)

    threading.Thread(target=forward, daemon=True).start()
    for line in sys.stdin.buffer:
        fields = decode(line)
        if len(fields) >= 2 and fields[1] == "scan" and how not in ("", "devices"):
            threading.Thread(target=scan, args=(fields[0], how), daemon=True).start()
        elif len(fields) >= 2 and fields[1] == "list" and how == "devices":
            for i in range(1001):
                send([fields[0], "device", "fake:%d" % i, "Velorix", "fake", "flatbed scanner"])
            send([fields[0], "ok"])
        else:
            real.stdin.write(line)
            real.stdin.flush()
    real.stdin.close()
    real.wait()


main()
