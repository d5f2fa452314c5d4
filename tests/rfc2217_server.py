#!/usr/bin/python3
"""pyserial's RFC 2217 server (serial.rfc2217.PortManager, Debian's
python3-serial) on 127.0.0.1, bridging the serial device given as the only
argument, one client at a time, the way pyserial's own example redirector
does it.

Prints the TCP port it listens on (chosen by the system), then, after each
client has gone, the line state that client left behind:

    closed dtr=1 rts=1 xonxoff=0 rtscts=0 break=0

and puts the line back as it found it for the next client. Ends on SIGTERM
or when its standard input closes.
"""

import errno
import os
import signal
import socket
import sys
import threading

import serial
import serial.rfc2217

NO_LINES = (errno.EINVAL, errno.ENOTTY)


class Line(serial.Serial):
    """A serial port that may have no modem lines: a pseudo-terminal refuses
    the ioctls for them, which the server would otherwise take for a broken
    connection. The state asked for is still kept and reported."""

    def _update_dtr_state(self):
        self._tolerant(super()._update_dtr_state)

    def _update_rts_state(self):
        self._tolerant(super()._update_rts_state)

    def _update_break_state(self):
        self._tolerant(super()._update_break_state)

    def _tolerant(self, action, default=None):
        try:
            return action()
        except OSError as e:
            if e.errno not in NO_LINES:
                raise
            return default

    @property
    def cts(self):
        return self._tolerant(lambda: serial.Serial.cts.fget(self), False)

    @property
    def dsr(self):
        return self._tolerant(lambda: serial.Serial.dsr.fget(self), False)

    @property
    def ri(self):
        return self._tolerant(lambda: serial.Serial.ri.fget(self), False)

    @property
    def cd(self):
        return self._tolerant(lambda: serial.Serial.cd.fget(self), False)


class Client:
    """The connection as PortManager writes to it, from two threads."""

    def __init__(self, sock):
        self.sock = sock
        self.lock = threading.Lock()

    def write(self, data):
        with self.lock:
            self.sock.sendall(data)


def serve(line, sock):
    client = Client(sock)
    manager = serial.rfc2217.PortManager(line, client)
    alive = threading.Event()
    alive.set()

    def line_to_client():
        try:
            while alive.is_set():
                data = line.read(line.in_waiting or 1)
                if data:
                    client.write(b"".join(manager.escape(data)))
        except OSError:
            pass

    reader = threading.Thread(target=line_to_client, daemon=True)
    reader.start()
    try:
        while True:
            data = sock.recv(1024)
            if not data:
                break
            line.write(b"".join(manager.filter(data)))
    except OSError:
        pass
    finally:
        alive.clear()
        reader.join()
        sock.close()


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: rfc2217_server.py DEVICE")
    line = Line()  # opened below, once the port is named
    line.port = sys.argv[1]
    line.timeout = 0.1  # so that the reader sees the end of a connection
    line.open()
    settings = line.get_settings()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    print(listener.getsockname()[1], flush=True)

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()

    while True:
        sock, _ = listener.accept()
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        line.dtr = True
        line.rts = True
        serve(line, sock)
        print("closed dtr={:d} rts={:d} xonxoff={:d} rtscts={:d} break={:d}".format(
            line.dtr, line.rts, line.xonxoff, line.rtscts, line.break_condition), flush=True)
        line.dtr = False
        line.rts = False
        line.break_condition = False
        line.apply_settings(settings)


if __name__ == "__main__":
    main()
