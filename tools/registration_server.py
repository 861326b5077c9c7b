#!/usr/bin/env python3
"""A local registration web server for tests, demos and staging.

It answers the assistant's registration request,

    GET /storeregistrants.php3?firstname=...&lastname=...&...&sendmailings=... HTTP/1.0

decodes the query the way the assistant encodes it ("+" is a space, "%XX" a byte, every other
byte stands for itself, and the bytes are Windows-1252 text), appends the registration as one
JSON line to the output file, and replies with a page that contains "Success". A request for
another path, or one that lacks any of the 17 keys, gets a page without that word, which the
assistant takes as a failed registration.

With --tls-cert and --tls-key it serves HTTPS (TLS 1.2 or later) instead of plain HTTP; the
handshake runs on the connection's own thread, so a client that stalls in it holds up no other.

The first line on standard output is the port the server listens on (useful with --port 0);
the log of requests goes to standard error. Python's standard library only.
"""

import argparse
import codecs
import datetime
import http.server
import json
import signal
import ssl
import sys
import threading

REGISTRATION_PATH = b"/storeregistrants.php3"

# The keys the assistant sends, in its order; the JSON line keeps that order.
QUERY_KEYS = (
    "firstname", "lastname", "street", "city", "state", "zip", "phone", "country", "email",
    "serialnumber", "purchasedfrom", "reasonpurchased", "datepurchased", "version", "os",
    "productname", "sendmailings",
)


def _undefined_as_control(error):
    # Windows-1252 leaves five bytes undefined; Windows decodes them to the control
    # characters of the same value, and so do we, so that no registration is refused.
    undefined = error.object[error.start:error.end]
    return "".join(chr(byte) for byte in undefined), error.end


codecs.register_error("windows-1252-controls", _undefined_as_control)


def decode_component(raw):
    """Decodes one query key or value: "+" is a space, "%XX" a byte (a "%" without two hex
    digits stands for itself), and the bytes are Windows-1252."""
    decoded = bytearray()
    i = 0
    while i < len(raw):
        byte = raw[i]
        if byte == ord("+"):
            decoded.append(ord(" "))
        elif byte == ord("%") and _is_hex(raw[i + 1:i + 3]):
            decoded.append(int(raw[i + 1:i + 3], 16))
            i += 2
        else:
            decoded.append(byte)
        i += 1
    return decoded.decode("cp1252", errors="windows-1252-controls")


def _is_hex(pair):
    return len(pair) == 2 and all(chr(c) in "0123456789abcdefABCDEF" for c in pair)


def parse_registration(raw_target):
    """The registration of a request target (bytes), as a dict in key order; or a text that
    says why it is refused."""
    path, question, query = raw_target.partition(b"?")
    if path != REGISTRATION_PATH:
        return "unknown path"
    if not question:
        return "no query"
    received = {}
    for pair in query.split(b"&"):
        key, _, value = pair.partition(b"=")
        key = decode_component(key)
        # The first of a key that appears twice counts, as the assistant never repeats one.
        received.setdefault(key, decode_component(value))
    missing = [key for key in QUERY_KEYS if key not in received]
    if missing:
        return "missing " + ", ".join(missing)
    return {key: received[key] for key in QUERY_KEYS}


class RegistrationHandler(http.server.BaseHTTPRequestHandler):
    server_version = "RegistrationServer/1.0"

    def setup(self):
        if isinstance(self.request, ssl.SSLSocket):
            self.request.do_handshake()
        super().setup()

    def do_GET(self):
        # http.server decodes the request line as Latin-1, which maps byte to character one to
        # one; encoding it back gives the bytes the assistant sent.
        registration = parse_registration(self.path.encode("latin-1"))
        if isinstance(registration, str):
            self._reply(400, "<html><body><p>Registration refused: %s.</p></body></html>\n"
                        % registration)
            return
        record = {
            "received": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
            "client": self.client_address[0],
            "userAgent": self.headers.get("User-Agent", ""),
            "host": self.headers.get("Host", ""),
        }
        record.update(registration)
        self.server.store(record)
        self._reply(200, "<html><body><p>Success: the registration of %s %s is stored.</p>"
                    "</body></html>\n" % (_html(registration["firstname"]),
                                          _html(registration["lastname"])))

    def _reply(self, status, page):
        body = page.encode("cp1252", errors="replace")
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=windows-1252")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def _html(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class RegistrationServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, output, tls=None):
        super().__init__(address, RegistrationHandler)
        self._output = output
        self._lock = threading.Lock()
        self._tls = tls

    def get_request(self):
        connection, client = super().get_request()
        if self._tls:
            connection = self._tls.wrap_socket(connection, server_side=True,
                                               do_handshake_on_connect=False)
        return connection, client

    def handle_error(self, request, client_address):
        # A refused handshake is one line in the log, not a traceback.
        print("%s: %s" % (client_address[0], sys.exc_info()[1]), file=sys.stderr)

    def store(self, record):
        line = json.dumps(record, ensure_ascii=False) + "\n"
        with self._lock, open(self._output, "a", encoding="utf-8") as output:
            output.write(line)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on")
    parser.add_argument("--port", type=int, default=0,
                        help="port to listen on; 0 picks a free one (default)")
    parser.add_argument("--output", required=True, metavar="FILE",
                        help="file to which each registration is appended as one JSON line")
    parser.add_argument("--tls-cert", metavar="FILE",
                        help="serve HTTPS with this certificate (PEM, chain included)")
    parser.add_argument("--tls-key", metavar="FILE", help="the certificate's private key (PEM)")
    options = parser.parse_args(argv)

    tls = None
    if options.tls_cert or options.tls_key:
        if not (options.tls_cert and options.tls_key):
            parser.error("--tls-cert and --tls-key go together")
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.minimum_version = ssl.TLSVersion.TLSv1_2
        tls.load_cert_chain(options.tls_cert, options.tls_key)
    server = RegistrationServer((options.host, options.port), options.output, tls)
    print(server.server_address[1], flush=True)
    # A plain kill ends the server as cleanly as Ctrl-C does.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
