#!/usr/bin/env python3
"""Closes top-level windows on an X display as a window manager's close box does.

Usage: x11_close.py DISPLAY STEP...   where a STEP is
    seen:TITLE    wait until a mapped top-level window whose name starts with TITLE exists
    still:TITLE   wait for it as seen: does, then until its picture stays the same for half a
                  second (the program has drawn what it had to and waits for input, as it would
                  before a person could reach its close box)
    close:TITLE   wait for it as seen: does, then send it WM_DELETE_WINDOW
    gone:TITLE    wait until no mapped top-level window's name starts with TITLE

It speaks the X protocol over the display's local socket itself, so it needs no X library or
tool. Each wait gives up after two minutes (exit status 1, with the reason)."""
import socket
import struct
import sys
import time

WM_NAME = 39
LIMIT = 120.0


def pad(n):
    return (4 - n % 4) % 4


class Display:
    def __init__(self, name):
        number = name.split(':', 1)[1].split('.')[0]
        self.s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.s.connect(f'/tmp/.X11-unix/X{number}')
        self.s.sendall(struct.pack('<BxHHHHxx', 0x6C, 11, 0, 0, 0))
        head = self.read(8)
        if head[0] != 1:
            raise SystemExit(f'x11_close: the display refused the connection ({head[0]})')
        body = self.read(struct.unpack_from('<H', head, 6)[0] * 4)
        vendor, = struct.unpack_from('<H', body, 16)
        formats = body[21]
        self.root, = struct.unpack_from('<I', body, 32 + vendor + pad(vendor) + 8 * formats)
        self.protocols = self.atom(b'WM_PROTOCOLS')
        self.delete = self.atom(b'WM_DELETE_WINDOW')

    def read(self, n):
        data = b''
        while len(data) < n:
            chunk = self.s.recv(n - len(data))
            if not chunk:
                raise SystemExit('x11_close: the display closed the connection')
            data += chunk
        return data

    def request(self, data):
        """Sends one request with a reply; the reply, or None after an error."""
        self.s.sendall(data)
        while True:
            head = self.read(32)
            if head[0] == 0:
                return None
            if head[0] == 1:
                return head + self.read(struct.unpack_from('<I', head, 4)[0] * 4)
            # an event: none is selected, but skip any

    def atom(self, name):
        reply = self.request(struct.pack('<BBHHxx', 16, 0, 2 + (len(name) + pad(len(name))) // 4,
                                         len(name)) + name + b'\0' * pad(len(name)))
        return struct.unpack_from('<I', reply, 8)[0]

    def windows(self):
        """(window, name) of the mapped children of the root."""
        reply = self.request(struct.pack('<BxHI', 15, 2, self.root))
        count, = struct.unpack_from('<H', reply, 16)
        found = []
        for w in struct.unpack_from(f'<{count}I', reply, 32):
            attributes = self.request(struct.pack('<BxHI', 3, 2, w))
            if attributes is None or attributes[26] != 2:  # not viewable
                continue
            name = self.request(struct.pack('<BBHIIIII', 20, 0, 6, w, WM_NAME, 0, 0, 256))
            if name is None:
                continue
            length, = struct.unpack_from('<I', name, 16)
            found.append((w, name[32:32 + length].decode('latin-1')))
        return found

    def picture(self, window):
        """The window's pixels, or None when they cannot be read."""
        geometry = self.request(struct.pack('<BxHI', 14, 2, window))
        if geometry is None:
            return None
        width, height = struct.unpack_from('<HH', geometry, 16)
        image = self.request(struct.pack('<BBHIhhHHI', 73, 2, 5, window, 0, 0, width, height,
                                         0xFFFFFFFF))
        return image[32:] if image is not None else None

    def close(self, window):
        event = struct.pack('<BBHIII', 33, 32, 0, window, self.protocols, self.delete) + b'\0' * 16
        self.s.sendall(struct.pack('<BBHII', 25, 0, 11, window, 0) + event)
        # A request with a reply makes sure the event went out before the next step.
        self.request(struct.pack('<BxHI', 15, 2, self.root))


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    d = Display(sys.argv[1])
    for step in sys.argv[2:]:
        verb, title = step.split(':', 1)
        deadline = time.monotonic() + LIMIT
        last, same = None, 0
        while True:
            matching = [w for w, name in d.windows() if name.startswith(title)]
            if verb in ('seen', 'close') and matching:
                if verb == 'close':
                    d.close(matching[0])
                break
            if verb == 'still' and matching:
                picture = d.picture(matching[0])
                if picture is not None and picture == last:
                    same += 1
                    if same >= 5:
                        break
                else:
                    last, same = picture, 0
                time.sleep(0.1)
                continue
            if verb == 'gone' and not matching:
                break
            if time.monotonic() > deadline:
                print(f'x11_close: {step}: not reached within {LIMIT:.0f} s', file=sys.stderr)
                return 1
            time.sleep(0.05)
    return 0


if __name__ == '__main__':
    sys.exit(main())
