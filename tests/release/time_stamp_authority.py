#!/usr/bin/env python3
"""A local RFC 3161 time-stamp authority for tests: answers each POSTed query with
`openssl ts -reply`, signed by the throwaway certificates in FOLDER (tsa.pem, tsa.key, ca.pem
as tests/release/throwaway_cert.sh makes them). Listens on 127.0.0.1 on a free port and writes
the port, once it listens, to PORT_FILE.

    python3 time_stamp_authority.py FOLDER PORT_FILE
"""
import http.server
import os
import subprocess
import sys
import tempfile

folder, port_file = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp()
config = os.path.join(work, "ts.cnf")
with open(config, "w") as f:
    f.write(f"""[tsa]
default_tsa = throwaway
[throwaway]
serial = {work}/serial
default_policy = 1.3.6.1.4.1.55555.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
signer_digest = sha256
""")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(
            ["openssl", "ts", "-reply", "-config", config, "-queryfile", "/dev/stdin",
             "-signer", f"{folder}/tsa.pem", "-inkey", f"{folder}/tsa.key",
             "-chain", f"{folder}/ca.pem", "-out", "/dev/stdout"],
            input=query, capture_output=True)
        if reply.returncode != 0:
            self.send_error(500, reply.stderr.decode(errors="replace")[:200])
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout)))
        self.end_headers()
        self.wfile.write(reply.stdout)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".new", "w") as f:
    f.write(str(server.server_address[1]))
os.replace(port_file + ".new", port_file)
server.serve_forever()
