#!/usr/bin/env python3
"""Reads readings from Velmora's control interface and records a while, with the standard
library only.

    velmora_client.py SOCKET [COUNT] [RECORDING]
    velmora_client.py --tcp PORT --token-file FILE [COUNT] [RECORDING]

SOCKET is the meter's socket, e.g. $XDG_RUNTIME_DIR/velmora/ttyUSB0.sock; with --tcp the
token is read from FILE (beside the socket, NAME.token) and sent with AUTH first. COUNT
readings (default 100) are read with READ? while the recording RECORDING (default
"script-run.csv", in Velmora's recording folder) runs; the values go to standard output.
"""

import socket
import sys


class Velmora:
    def __init__(self, sock):
        self.sock = sock
        self.sock.settimeout(15)
        self.pending = b""

    def send(self, line):
        self.sock.sendall(line.encode("ascii") + b"\n")

    def reply(self):
        while b"\n" not in self.pending:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("Velmora closed the connection")
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode("ascii", "replace")

    def ask(self, line):
        self.send(line)
        return self.reply()

    def check(self):
        # Every error the interface queued since the last look.
        errors = []
        while True:
            entry = self.ask("SYST:ERR?")
            if entry.startswith("+0,") or entry.startswith("0,"):
                return errors
            errors.append(entry)


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


def main(argv):
    args = argv[1:]
    if args[:1] == ["--tcp"]:
        port = int(args[1])
        with open(args[3], encoding="ascii") as f:
            token = f.read().strip()
        sock = socket.create_connection(("127.0.0.1", port))
        args = args[4:]
    else:
        token = None
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(args[0])
        args = args[1:]
    count = int(args[0]) if args else 100
    recording = args[1] if len(args) > 1 else "script-run.csv"

    meter = Velmora(sock)
    if token is not None:
        meter.send("AUTH " + quoted(token))
    print("#", meter.ask("*IDN?"), file=sys.stderr)
    meter.send("REC:FILE " + quoted(recording) + ";REC:STAT ON")
    if meter.ask("REC:STAT?") != "1":
        print("recording did not start:", meter.check(), file=sys.stderr)
        return 1
    unit = meter.ask("UNIT?")
    stale = 0
    for _ in range(count):
        value = meter.ask("READ?")
        if value == "9.91E37":
            stale += 1  # no reading came in time
        print(value, unit)
    meter.send("REC:STAT OFF")
    errors = meter.check()
    sock.close()
    if errors or stale:
        print("errors:", errors, "stale readings:", stale, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
