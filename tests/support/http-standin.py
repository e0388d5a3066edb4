#!/usr/bin/env python3
"""A small HTTP server that stands in for the maker's web server in tests.

Usage: http-standin.py ROUTES LOG [LIFETIME_SECONDS]

Binds an ephemeral port on 127.0.0.1 only and prints "PORT <n>" on its first
line. It also serves as an HTTP proxy, so a client whose http_proxy points here
reaches it under any host name.

ROUTES is a JSON object read anew for every request: keys are a path with its
query ("/a?id=30") or without it ("/a"); values are objects with
  action  "answer" (default) | "silent" (accept, never answer) |
          "stall" (send the headers and `body`, promise more, then wait) |
          "close" (close at once) | "drip" (send `body` one byte per `interval` s)
  status  HTTP status (default 200); headers  extra response headers
  body    the body; each character is one byte (code points 0-255)
  probe   a file path whose size (-1 when missing) is logged when the request arrives
An unknown path answers 404.

LOG gets one line per request as it arrives: "<path?query> <probe size or ->".

The server ends by itself when its stdin closes (the test went away) or after
LIFETIME_SECONDS (default 120), whichever comes first.
"""
import json
import os
import select
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

ROUTES, LOG = sys.argv[1], sys.argv[2]
LIFETIME = float(sys.argv[3]) if len(sys.argv) > 3 else 120.0
WAIT_CAP = 30.0  # a silent or stalled answer waits for the client at most this long
log_lock = threading.Lock()


def load_routes():
    try:
        with open(ROUTES, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def wait_for_client_to_leave(self):
        deadline = time.monotonic() + WAIT_CAP
        while time.monotonic() < deadline:
            readable, _, _ = select.select([self.connection], [], [], 0.1)
            if readable:
                try:
                    if not self.connection.recv(4096):
                        return
                except OSError:
                    return

    def do_GET(self):
        parts = urlsplit(self.path)
        target = parts.path + ("?" + parts.query if parts.query else "")
        routes = load_routes()
        route = routes.get(target, routes.get(parts.path))
        probe = "-"
        if route and "probe" in route:
            try:
                probe = str(os.stat(route["probe"]).st_size)
            except OSError:
                probe = "-1"
        with log_lock, open(LOG, "a", encoding="utf-8") as log:
            log.write(f"{target} {probe}\n")
        self.close_connection = True
        if route is None:
            self.answer(404, {}, b"not here\n", len(b"not here\n"))
            return
        action = route.get("action", "answer")
        body = route.get("body", "").encode("latin-1")
        if action == "silent":
            self.wait_for_client_to_leave()
        elif action == "close":
            return
        elif action == "stall":
            self.answer(route.get("status", 200), route.get("headers", {}), body, len(body) + 100)
            self.wait_for_client_to_leave()
        elif action == "drip":
            self.answer(route.get("status", 200), route.get("headers", {}), b"", len(body))
            for i in range(len(body)):
                time.sleep(float(route.get("interval", 0.2)))
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
        else:
            self.answer(route.get("status", 200), route.get("headers", {}), body, len(body))

    def answer(self, status, headers, body, length):
        self.send_response(status)
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()


def end_when_stdin_closes():
    try:
        while os.read(0, 4096):
            pass
    except OSError:
        pass
    os._exit(0)


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=end_when_stdin_closes, daemon=True).start()
    threading.Timer(LIFETIME, lambda: os._exit(0)).start()
    print(f"PORT {server.server_address[1]}", flush=True)
    server.serve_forever(poll_interval=0.1)


if __name__ == "__main__":
    main()
