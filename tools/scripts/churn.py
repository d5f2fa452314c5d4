#!/usr/bin/env python3
"""Loads the machine's loopback as a busy desktop does: opens and closes a few
hundred TCP connections a second to a listener of its own, each from a fresh
ephemeral port, until it is stopped (Ctrl-C or SIGTERM).

    tools/scripts/churn.py [connections per second, default 300]

Run the suite beside it to find tests that choose a port which another
program may take, or that wait too tightly."""
import signal
import socket
import sys
import threading
import time


def serve(listener):
    while True:
        try:
            peer, _ = listener.accept()
        except OSError:
            return
        peer.close()


def main():
    rate = int(sys.argv[1]) if len(sys.argv) > 1 else 300
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(128)
    address = listener.getsockname()
    threading.Thread(target=serve, args=(listener,), daemon=True).start()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print(f"churn: {rate} connections a second to port {address[1]}", flush=True)
    made = failed = 0
    started = time.monotonic()
    try:
        while True:
            for _ in range(max(1, rate // 10)):
                try:
                    with socket.create_connection(address, timeout=1):
                        made += 1
                except OSError:
                    failed += 1
            # Paced in tenths of a second, so that the rate holds.
            due = started + (made + failed) / rate
            time.sleep(max(0.0, due - time.monotonic()))
    except KeyboardInterrupt:
        pass
    finally:
        print(f"churn: {made} connections made, {failed} failed", flush=True)


if __name__ == "__main__":
    main()
