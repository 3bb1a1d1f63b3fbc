"""sway as the tests see it from outside, over its IPC socket ($SWAYSOCK):
the windows of its tree and commands, as xdesk.py is for X11."""
import json
import os
import socket
import struct

MAGIC = b"i3-ipc"
RUN_COMMAND, GET_TREE, SUBSCRIBE, GET_VERSION = 0, 4, 2, 7
SCRATCH = "__i3_scratch"  # the workspace holding hidden scratchpad windows


class SwayDesk:
    def __init__(self, path=None):
        self.s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.s.connect(path or os.environ["SWAYSOCK"])

    def close(self):
        self.s.close()

    def _exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.s.recv(n - len(data))
            if not chunk:
                raise ConnectionError("sway closed its socket")
            data += chunk
        return data

    def message(self, kind, payload=""):
        body = payload.encode()
        self.s.sendall(MAGIC + struct.pack("<II", len(body), kind) + body)
        return self.receive()

    def receive(self):
        length, _ = struct.unpack("<II", self._exact(len(MAGIC) + 8)[len(MAGIC):])
        return json.loads(self._exact(length))

    def command(self, text):
        """Runs sway commands; their results, each {"success": ...}."""
        return self.message(RUN_COMMAND, text)

    def windows(self):
        """{con_id: window} for every window, hidden ones included: name,
        cls (app_id, or the X11 class of an XWayland window), hidden (in
        the scratchpad, not shown), floating, marks, pid, focused."""
        found = {}

        def walk(node, workspace, floating):
            if node.get("type") == "workspace":
                workspace = node["name"]
            if "shell" in node:
                props = node.get("window_properties") or {}
                found[node["id"]] = dict(
                    name=node.get("name") or "", cls=node.get("app_id") or props.get("class", ""),
                    hidden=workspace == SCRATCH, floating=floating, marks=node.get("marks", []),
                    pid=node.get("pid"), shell=node["shell"], focused=node.get("focused", False))
            for child in node.get("nodes", []):
                walk(child, workspace, floating)
            for child in node.get("floating_nodes", []):
                walk(child, workspace, True)
        walk(self.message(GET_TREE), None, False)
        return found
