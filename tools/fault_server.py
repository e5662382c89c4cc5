#!/usr/bin/env python3
"""A small scriptable HTTP(S) server for download tests.

The first path segments may choose how a request is answered, e.g.
    /404/Flashdeck/config/lista_updater.xml
    /mode=drop/size=20000/Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip
so a test picks a fault by its base URL. An option segment only=SUFFIX limits the mode to
paths ending in SUFFIX (others are answered "ok"). Routes given with --route PREFIX=MODE (or in a
--config JSON file {"routes": {"PREFIX": "MODE"}, "default_mode": MODE}) apply to paths
that start with PREFIX. Option segments: a mode name or mode=NAME, size=BYTES, delay=MS, only=SUFFIX.

Modes:
  ok          200 with a Content-Length
  404, 500    that status with a short HTML page
  badlength   announces more bytes than it sends, then closes the connection
  junklength  a Content-Length that is not a number
  hugelength  a Content-Length above 2147483647; the body ends when the connection closes
  nolength    no Content-Length; the body ends when the connection closes
  endless     no Content-Length; the body, then filler bytes for as long as the client reads
  drop        a correct Content-Length, half the body, then the connection is dropped
  slow        the body in 1024-byte pieces with a pause (delay, default 50 ms) after each
  notags      a version file without the version tags
  big         a body of 20000 bytes unless size says otherwise
  dropwhole   answers for the whole file stop after 60 % of the body; ranges are served whole
  dropfirst   the first answer for a path stops after 60 %; the file's ETag changes after it,
              so a resume with If-Range gets the whole file again (200)
  stall       headers and 10 % of the body, then nothing for 10 minutes
  silent      reads the request and never answers
  chunkcut    a chunked body whose terminating chunk never comes: the connection is dropped

"ok", "dropwhole" and "dropfirst" answer "Range: bytes=N-" with 206 and the rest of the body,
unless an If-Range header names another ETag than the file's. Every answer carries an ETag.

Bodies: a file under --root when it exists; otherwise the version file holds
"<version>" + --version + "</version>", and any other file holds `size` bytes (default
10000) of the lines "%08d\\n" % n for n = 0, 1, 2 ... cut to that size.

On start the port is printed on one line of stdout. --log FILE appends each request's path,
followed by " range=" and the Range header when the request had one.
"""
import argparse
import json
import os
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MODES = {"ok", "404", "500", "badlength", "junklength", "hugelength", "nolength", "drop", "slow",
         "notags", "big", "dropwhole", "dropfirst", "stall", "silent", "chunkcut", "endless"}
RANGED = {"ok", "dropwhole", "dropfirst"}
VERSION_FILE = "lista_updater.xml"


def generated_body(size):
    lines = bytearray()
    n = 0
    while len(lines) < size:
        lines += b"%08d\n" % n
        n += 1
    return bytes(lines[:size])


def parse_options(path, routes, default_mode):
    """Splits the option segments off the path; returns (mode, size, delay_ms, file_path)."""
    mode, size, delay, only = None, None, 50, None
    segments = path.split("?", 1)[0].lstrip("/").split("/")
    while segments:
        head = segments[0]
        if head in MODES:
            mode = head
        elif head.startswith("mode=") and head[5:] in MODES:
            mode = head[5:]
        elif head.startswith("size=") and head[5:].isdigit():
            size = int(head[5:])
        elif head.startswith("delay=") and head[6:].isdigit():
            delay = int(head[6:])
        elif head.startswith("only=") and len(head) > 5:
            only = head[5:]
        else:
            break
        segments.pop(0)
    file_path = "/" + "/".join(segments)
    if mode is not None and only is not None and not file_path.endswith(only):
        mode = "ok"
    if mode is None:
        for prefix, routed in routes:
            if path.startswith(prefix):
                mode = routed
                break
    return mode or default_mode, size, delay, file_path


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def body_for(self, mode, size, file_path):
        name = file_path.rsplit("/", 1)[-1]
        root = self.server.options.root
        if root:
            local = os.path.realpath(os.path.join(root, file_path.lstrip("/")))
            if local.startswith(os.path.realpath(root) + os.sep) and os.path.isfile(local):
                with open(local, "rb") as f:
                    return f.read()
        if name == VERSION_FILE:
            if mode == "notags":
                return b"<?xml version=\"1.0\"?>\n<updater><release>3.0.3.0</release></updater>\n"
            version = self.server.options.version.encode()
            return b"<?xml version=\"1.0\"?>\n<updater><version>" + version + b"</version></updater>\n"
        if size is None:
            size = 20000 if mode == "big" else 10000
        return generated_body(size)

    def send_head(self, status, headers):
        self.send_response_only(status)
        for key, value in headers:
            self.send_header(key, value)
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.flush()

    def drop(self):
        # Ends the connection at once, without the rest of the announced body.
        self.wfile.flush()
        try:
            self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.close_connection = True

    def answer_range(self, body, kind, etag):
        """Answers "Range: bytes=N-" with 206 and the rest of the body; False when
        the request asks for no range, or for one of another version of the file."""
        asked = self.headers.get("Range", "")
        if_range = self.headers.get("If-Range")
        if not asked.startswith("bytes=") or not asked.endswith("-") or not asked[6:-1].isdigit():
            return False
        if if_range is not None and if_range != etag:
            return False
        first = int(asked[6:-1])
        if first >= len(body):
            self.send_head(416, kind + [("Content-Range", "bytes */%d" % len(body)), ("Content-Length", "0")])
            return True
        part = body[first:]
        self.send_head(206, kind + [("Content-Range", "bytes %d-%d/%d" % (first, len(body) - 1, len(body))),
                                    ("Content-Length", str(len(part)))])
        self.wfile.write(part)
        return True

    def do_GET(self):
        log = self.server.options.log
        if log:
            asked = self.headers.get("Range")
            with self.server.log_lock, open(log, "a") as f:
                f.write(self.path + (" range=" + asked if asked else "") + "\n")
        mode, size, delay, file_path = parse_options(self.path, self.server.routes, self.server.default_mode)
        self.close_connection = True
        if mode in ("404", "500"):
            page = b"<html><body>%s</body></html>" % mode.encode()
            self.send_head(int(mode), [("Content-Type", "text/html"), ("Content-Length", str(len(page)))])
            self.wfile.write(page)
            return
        body = self.body_for(mode, size, file_path)
        kind = [("Content-Type", "application/octet-stream")]
        with self.server.log_lock:
            # Counted per request path, options included: each test's URL starts afresh.
            answered = self.server.answered.get(self.path, 0)
            self.server.answered[self.path] = answered + 1
        # The ETag changes with every answer of a dropfirst file: the file "changed" after the cut.
        etag = '"%x-%d"' % (len(body), answered if mode == "dropfirst" else 0)
        kind.append(("ETag", etag))
        if mode in RANGED and self.answer_range(body, kind, etag):
            return
        if mode == "dropwhole" or (mode == "dropfirst" and answered == 0):
            self.send_head(200, kind + [("Content-Length", str(len(body)))])
            self.wfile.write(body[: len(body) * 6 // 10])
            self.drop()
            return
        if mode == "badlength":
            self.send_head(200, kind + [("Content-Length", str(len(body) + 1000))])
            self.wfile.write(body)
            self.drop()
        elif mode == "junklength":
            self.send_head(200, kind + [("Content-Length", "12abc")])
            self.wfile.write(body)
            self.drop()
        elif mode == "hugelength":
            self.send_head(200, kind + [("Content-Length", "99999999999")])
            self.wfile.write(body)
            self.drop()
        elif mode == "nolength":
            self.send_head(200, kind)
            self.wfile.write(body)
            self.drop()
        elif mode == "endless":
            self.send_head(200, kind)
            try:
                self.wfile.write(body)
                filler = b"\0" * 65536
                while True:
                    self.wfile.write(filler)
            except OSError:
                return
        elif mode == "drop":
            self.send_head(200, kind + [("Content-Length", str(len(body)))])
            self.wfile.write(body[: len(body) // 2])
            self.drop()
        elif mode == "stall":
            self.send_head(200, kind + [("Content-Length", str(len(body)))])
            self.wfile.write(body[: len(body) // 10])
            self.wfile.flush()
            time.sleep(600)
        elif mode == "silent":
            time.sleep(600)
        elif mode == "chunkcut":
            self.send_head(200, kind + [("Transfer-Encoding", "chunked")])
            half = body[: len(body) // 2]
            for i in range(0, len(half), 4096):
                piece = half[i:i + 4096]
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            self.drop()
        elif mode == "slow":
            self.send_head(200, kind + [("Content-Length", str(len(body)))])
            for i in range(0, len(body), 1024):
                try:
                    self.wfile.write(body[i:i + 1024])
                    self.wfile.flush()
                except OSError:
                    return
                time.sleep(delay / 1000.0)
        else:
            self.send_head(200, kind + [("Content-Length", str(len(body)))])
            self.wfile.write(body)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert", help="PEM certificate chain: serve HTTPS")
    parser.add_argument("--key", help="PEM private key of the certificate")
    parser.add_argument("--root", help="folder whose files are served as they are")
    parser.add_argument("--version", default="3.0.3.0", help="version named by the generated version file")
    parser.add_argument("--route", action="append", default=[], metavar="PREFIX=MODE")
    parser.add_argument("--default-mode", default="ok", choices=sorted(MODES))
    parser.add_argument("--config", help="JSON file with routes and default_mode")
    parser.add_argument("--log", help="file to which each request's path is appended")
    options = parser.parse_args()

    routes = []
    default_mode = options.default_mode
    if options.config:
        with open(options.config) as f:
            config = json.load(f)
        routes += list(config.get("routes", {}).items())
        default_mode = config.get("default_mode", default_mode)
    for route in options.route:
        prefix, _, mode = route.partition("=")
        routes.append((prefix, mode))
    for _, mode in routes:
        if mode not in MODES:
            parser.error("unknown mode: " + mode)
    if default_mode not in MODES:
        parser.error("unknown mode: " + default_mode)

    server = ThreadingHTTPServer((options.host, options.port), Handler)
    server.daemon_threads = True
    server.options = options
    server.routes = sorted(routes, key=lambda r: -len(r[0]))
    server.default_mode = default_mode
    server.log_lock = threading.Lock()
    server.answered = {}
    if options.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.cert, options.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
