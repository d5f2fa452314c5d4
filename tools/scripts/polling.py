"""Bounded waits and free ports for the scripts that drive Lumo from outside
(the browser tests, the campus tour): nothing waits on a bare sleep, and a
wait that runs out fails with what it waited for."""
import os
import signal
import socket
import subprocess
import time


def wait_for(what, check, timeout=30.0, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("timed out waiting for " + what)


_held = []


def free_port():
    """A TCP port on 127.0.0.1 that this script holds until it ends: bound
    with SO_REUSEADDR but not listening, so that connections to it are
    refused and no other program takes it, while a server started here
    (which binds with SO_REUSEADDR too) can still listen on it."""
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    _held.append(s)
    return s.getsockname()[1]


def stop_all(processes, timeout=10):
    """Ends the processes, the last started first: one stopped (SIGSTOP) is
    continued first, and one that has not ended after `timeout` s is killed."""
    for process in reversed(processes):
        try:
            os.kill(process.pid, signal.SIGCONT)
        except OSError:
            pass
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
