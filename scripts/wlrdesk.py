"""A wlroots compositor as the tests see it from outside, through the window
list its compositors share (zwlr_foreign_toplevel_manager_v1), spoken on the
Wayland socket directly: every window's app id, title and states, and the
requests a panel sends. As swaydesk.py is for sway's IPC."""
import os
import select
import socket
import struct
import time

MANAGER = "zwlr_foreign_toplevel_manager_v1"
# The handle's requests and its states, by the protocol's numbers.
REQUESTS = dict(maximize=0, unmaximize=1, minimize=2, unminimize=3, activate=4, close=5)
STATES = ("maximized", "minimized", "activated", "fullscreen")


def text(data):
    """A string argument, and what follows it."""
    size = struct.unpack_from("<I", data)[0]
    return data[4:4 + size - 1].decode("utf-8", "replace"), data[4 + (size + 3) // 4 * 4:]


def packed(s):
    raw = s.encode() + b"\0"
    return struct.pack("<I", len(raw)) + raw + b"\0" * (-len(raw) % 4)


class WlrDesk:
    """One connection; handles are keyed by the id the compositor gave them
    on it, which no other window gets while the connection lasts."""

    def __init__(self, display=None, runtime=None):
        path = os.path.join(runtime or os.environ["XDG_RUNTIME_DIR"],
                            display or os.environ["WAYLAND_DISPLAY"])
        self.s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.s.connect(path)
        self.next, self.buffer, self.globals, self.handles = 2, b"", {}, {}
        self.synced, self.gone, self.manager, self.seat = set(), set(), None, None
        self.told = []  # every handle announced, in order
        self.registry = self.send(1, 1, new=True)
        self.roundtrip()
        if MANAGER in self.globals:
            self.manager = self.bind(MANAGER, 3)
            self.seat = self.bind("wl_seat", 1) if "wl_seat" in self.globals else None
            self.roundtrip()

    def close(self):
        self.s.close()

    def offered(self):
        """The window list's version, or 0."""
        return self.globals.get(MANAGER, (0, 0))[1]

    def send(self, target, opcode, args=b"", new=False):
        """A request; the new object's id when it makes one (last)."""
        if new:
            args += struct.pack("<I", self.next)
            self.next += 1
        self.s.sendall(struct.pack("<II", target, (8 + len(args)) << 16 | opcode) + args)
        return self.next - 1

    def bind(self, interface, version):
        name, offered = self.globals[interface]
        return self.send(self.registry, 0, struct.pack("<I", name) + packed(interface) +
                         struct.pack("<I", min(version, offered)), new=True)

    def roundtrip(self, timeout=20):
        """Everything the compositor said before it answers a sync."""
        callback = self.send(1, 0, new=True)
        self.read(lambda: callback in self.synced, timeout)

    def read(self, until, timeout=20):
        """Reads what the compositor says until until() holds."""
        deadline = time.monotonic() + timeout
        while not until():
            if not select.select([self.s], [], [], max(0, deadline - time.monotonic()))[0]:
                raise TimeoutError("the compositor did not answer")
            chunk = self.s.recv(65536)
            if not chunk:
                raise ConnectionError("the compositor closed its socket")
            self.buffer += chunk
            while len(self.buffer) >= 8:
                target, word = struct.unpack_from("<II", self.buffer)
                if len(self.buffer) < word >> 16:
                    break
                self.event(target, word & 0xffff, self.buffer[8:word >> 16])
                self.buffer = self.buffer[word >> 16:]

    def event(self, target, opcode, data):
        if target == 1 and opcode == 0:
            raise ConnectionError("protocol error: %s" % text(data[8:])[0])
        if target == self.registry and opcode == 0:
            name = struct.unpack_from("<I", data)[0]
            interface, rest = text(data[4:])
            self.globals[interface] = (name, struct.unpack_from("<I", rest)[0])
        elif target == self.manager and opcode == 0:
            self.told.append(struct.unpack_from("<I", data)[0])
            self.handles[self.told[-1]] = dict(cls="", name="", states=())
        elif target in self.handles:
            h = self.handles[target]
            if opcode in (0, 1):
                h["name" if opcode == 0 else "cls"] = text(data)[0]
            elif opcode == 4:
                size = struct.unpack_from("<I", data)[0]
                h["states"] = tuple(STATES[n] for n in struct.unpack_from(
                    "<%dI" % (size // 4), data, 4) if n < len(STATES))
            elif opcode == 6:  # closed; kept, so that no later window gets its id
                del self.handles[target]
                self.gone.add(target)
        elif opcode == 0 and target not in self.gone:  # a callback's done
            self.synced.add(target)

    def windows(self):
        """{handle: window} for every window the compositor lists: cls (the
        app id, or an XWayland window's class), name, minimized, maximized,
        activated."""
        self.roundtrip()
        return {i: dict(cls=h["cls"], name=h["name"], **{s: s in h["states"] for s in STATES})
                for i, h in self.handles.items()}

    def request(self, handle, what):
        """minimize, unminimize, maximize, unmaximize, activate or close."""
        self.send(handle, REQUESTS[what], struct.pack("<I", self.seat) if what == "activate"
                  else b"")
        self.roundtrip()
