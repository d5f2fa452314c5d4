"""Bounded waits and free ports for the scripts that drive Lumo from outside
(the browser tests, the campus tour): nothing waits on a bare sleep, and a
wait that runs out fails with what it waited for."""
import socket
import time


def wait_for(what, check, timeout=30.0, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("timed out waiting for " + what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
