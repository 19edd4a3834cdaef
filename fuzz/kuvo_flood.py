#!/usr/bin/env python3
"""Floods a KUVO broker with strangers and reports the broker's memory.

    kuvo_flood.py SOCKET PID [CONNECTIONS] [MIB] [IDLE]

Opens CONNECTIONS (8) unregistered connections that each send one frame
announcing and carrying MIB (64) MiB, plus IDLE (0) connections that send
nothing, then prints the resident memory of process PID (VmRSS) before,
its peak (VmHWM) and its resident memory once the senders are done, and
whether the broker still answers a REGISTER.
"""
import socket
import struct
import sys
import threading
import time


def vm(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1]) // 1024
    return -1


def flood(path, mib, results, i):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        s.connect(path)
        size = mib * 1024 * 1024
        s.sendall(struct.pack(">Iii", size, 5, 1))
        chunk = b"x" * (1024 * 1024)
        sent = 0
        while sent < size - 8:
            sent += s.send(chunk[: min(len(chunk), size - 8 - sent)])
        results[i] = "sent"
        time.sleep(2)
    except OSError as e:
        results[i] = "dropped (%s)" % e.__class__.__name__
    finally:
        s.close()


def main():
    path, pid = sys.argv[1], int(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    mib = int(sys.argv[4]) if len(sys.argv) > 4 else 64
    idle = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    before = vm(pid, "VmRSS")
    idlers, accepted = [], 0
    for _ in range(idle):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            s.connect(path)
            idlers.append(s)
        except OSError:
            s.close()
    results = [None] * count
    threads = [threading.Thread(target=flood, args=(path, mib, results, i)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    time.sleep(0.5)
    for s in idlers:
        s.settimeout(0.05)
        try:
            if s.recv(1) != b"":
                accepted += 1
        except socket.timeout:
            accepted += 1  # still open
        except OSError:
            pass
        s.close()
    probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    probe.connect(path)
    probe.sendall(struct.pack(">Iii", 8 + 5, -1, 0) + b"probe")
    probe.settimeout(5)
    answered = len(probe.recv(64)) >= 12
    probe.close()
    print(f"VmRSS before {before} MB, peak {vm(pid, 'VmHWM')} MB, after {vm(pid, 'VmRSS')} MB")
    print("senders: " + ", ".join(sorted(set(r or "?" for r in results))))
    if idle:
        print(f"idle connections still open: {accepted} of {idle}")
    print("broker answers REGISTER afterwards: " + ("yes" if answered else "no"))


if __name__ == "__main__":
    main()
