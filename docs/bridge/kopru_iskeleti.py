#!/usr/bin/env python3
"""The smallest bridge: speaks Miravel's terminal protocol (terminal/PROTOCOL.md)
on a TCP port of 127.0.0.1 and answers from a fixed terminal held in memory.
A real bridge replaces the Terminal class with calls to its terminal's own
interface. Standard library only.   Usage: kopru_iskeleti.py [PORT]  (0: a free port)"""
import socket, struct, sys, time, zlib

VERSION, MAX_PAYLOAD, LOG_PER_CHUNK = 2, 1 << 20, 4096


class Terminal:
    """A fixed terminal; replace these with what your terminal reports."""
    machine = 1
    users = {1: ("Ayşe Yılmaz", "", 0, 1), 2: ("Mehmet Öztürk", "1234", 1, 1)}  # name, password, privilege, enabled
    templates = {(1, 0): "QUJDREVGR0g=", (2, 3): "SUpLTE1OT1A="}  # (enroll, finger): text
    log = [(1, 0, 2026, 12, 7, 8, 55), (2, 0, 2026, 12, 7, 9, 1), (1, 1, 2026, 12, 7, 17, 30)]

    def status(self, index):
        users = self.users.values()
        return {1: sum(u[2] > 0 for u in users), 2: len(self.users), 3: len(self.templates),
                4: sum(u[1] != "" for u in users), 6: len(self.log)}.get(index)


def text(s):
    data = s.encode("utf-8")
    return struct.pack("<I", len(data)) + data


def frame(kind, payload):
    body = kind + struct.pack("<I", len(payload)) + payload
    return b"MV" + body + struct.pack("<I", zlib.crc32(body))  # zlib's CRC-32 is the protocol's


def reply(op, outputs=None):  # outputs None: refused
    return frame(b"R", bytes([op, outputs is not None]) + (outputs or b""))


def bulk(op, items, per_chunk):  # chunks of packed items, then the total
    chunks = b"".join(frame(b"C", bytes([op]) + struct.pack("<I", len(items[i:i + per_chunk]))
                            + b"".join(items[i:i + per_chunk])) for i in range(0, len(items), per_chunk))
    return chunks + reply(op, struct.pack("<I", len(items)))


def answer(t, op, args):
    """The bytes that answer one request; None for one it cannot read (the link is then closed)."""
    if op == 1 and len(args) == 1:  # Hello: another version is refused
        return reply(op, struct.pack("<Bi", VERSION, t.machine) if args[0] == VERSION else None)
    if op == 2 and len(args) == 4:  # RegisterEvents
        return reply(op, b"")
    if op in (3, 7) and len(args) == 4:
        number = struct.unpack("<i", args)[0]
        if op == 3:  # GetDeviceStatus
            value = t.status(number)
            return reply(op, None if value is None else struct.pack("<i", value))
        user = t.users.get(number)  # GetUserInfo
        return reply(op, None if user is None else text(user[0]) + text(user[1]) + struct.pack("<iB", *user[2:]))
    if op == 4 and not args:  # ReadAttendanceLog, front first
        return bulk(op, [struct.pack("<iBHBBBB", *r) for r in t.log], LOG_PER_CHUNK)
    if op == 6 and not args:  # ReadAllUsers
        return bulk(op, [struct.pack("<iiB", e, u[2], u[3]) for e, u in sorted(t.users.items())], 8192)
    if op == 10 and not args:  # ReadAllTemplates
        return bulk(op, [struct.pack("<iB", e, f) + text(x) for (e, f), x in sorted(t.templates.items())], 64)
    if op == 13 and not args:  # GetDeviceTime, the terminal's local time
        return reply(op, struct.pack("<6i", *time.localtime()[:6]))
    if 5 <= op <= 16:  # the writes: this skeleton refuses them
        return reply(op, None)
    return None


def serve(conn, t):
    buffer = b""
    while data := conn.recv(65536):
        buffer += data
        while len(buffer) >= 7:
            length = struct.unpack_from("<I", buffer, 3)[0]
            if buffer[:3] != b"MVQ" or length > MAX_PAYLOAD or length < 5:
                return  # not a request we can read: close the link
            if len(buffer) < 11 + length:
                break
            body, crc = buffer[2:7 + length], struct.unpack_from("<I", buffer, 7 + length)[0]
            buffer = buffer[11 + length:]
            out = answer(t, body[5], body[10:]) if zlib.crc32(body) == crc else None
            if out is None:
                return
            conn.sendall(out)


def main():
    server = socket.create_server(("127.0.0.1", int(sys.argv[1]) if len(sys.argv) > 1 else 4370))
    print("listening on 127.0.0.1:%d" % server.getsockname()[1], flush=True)
    terminal = Terminal()
    while True:  # one connection at a time, as a terminal serves them
        conn, _ = server.accept()
        with conn:
            serve(conn, terminal)


if __name__ == "__main__":
    main()
