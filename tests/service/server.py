# A small HTTP server on 127.0.0.1 for the checks of the real program: "/<status>/<name>" answers with that
# status, "/big/<MiB>/<name>" answers with that many MiB of text, "/https/<port>/<name>" sends the client on to https://127.0.0.1:<port>/<name>, any other path answers 200;
# the body is the path. Each request adds "<path> <Authorization header>" to PORTFILE.log, so a check can see what
# credentials arrived.
#   server.py PORTFILE                   plain HTTP; its port in PORTFILE
#   server.py PORTFILE CERTDIR NAME...   one HTTPS server per NAME (CERTDIR/NAME.pem, NAME.key); PORTFILE lists
#                                        "NAME PORT" lines
import http.server, os, ssl, sys, threading

class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(sys.argv[1] + ".log", "a") as log:  # one write each, appended whole
            log.write(f"{self.path} {self.headers.get('Authorization', '-')}\n")
        first, body = self.path.split("/")[1], (self.path + "\n").encode()
        if first == "big":
            lines = b"".join(b"%08d a line of a long report that packs a little\n" % i for i in range(1 << 14))
            body = (lines * ((int(self.path.split("/")[2]) << 20) // len(lines) + 1))[: int(self.path.split("/")[2]) << 20]
        self.send_response(302 if first == "https" else int(first) if first.isdigit() else 200)
        if first == "https":
            self.send_header("Location", "https://127.0.0.1:" + self.path[len("/https/"):])
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    log_message = lambda *args: None

# A client that refuses the certificate ends the handshake: nothing to report.
http.server.ThreadingHTTPServer.handle_error = lambda *args: None

def serve(cert=None):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert + ".pem", cert + ".key")
        # The handshake happens in the request's own thread, so a refused one holds up no other.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_port

names = sys.argv[3:]
text = "".join(f"{n} {serve(os.path.join(sys.argv[2], n))}\n" for n in names) if names else str(serve())
with open(sys.argv[1] + ".new", "w") as f:
    f.write(text)
os.rename(sys.argv[1] + ".new", sys.argv[1])
threading.Event().wait()
