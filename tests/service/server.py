# A small HTTP server on 127.0.0.1 for the checks of the real program: "/<status>/<name>" answers with that
# status, any other path with 200; the body is the path. Writes its port to the file named first.
import http.server, os, sys

class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        first, body = self.path.split("/")[1], (self.path + "\n").encode()
        self.send_response(int(first) if first.isdigit() else 200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    log_message = lambda *args: None

server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(sys.argv[1] + ".new", "w") as f:
    f.write(str(server.server_port))
os.rename(sys.argv[1] + ".new", sys.argv[1])
server.serve_forever()
