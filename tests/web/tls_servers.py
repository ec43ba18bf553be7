# Starts an HTTPS server on 127.0.0.1 for each name of the comma-separated
# list given second, with the certificate <name>.crt and the key <name>.key
# of the folder given first, then becomes the program on the rest of the
# command line with ZOQ_TLS_<NAME>_PORT set for each. A server answers every
# request with its name; the servers end when the program has ended.
import os
import socket
import ssl
import sys
import threading
import time

folder, names = sys.argv[1], sys.argv[2].split(",")


def listener(name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, name + ".crt"), os.path.join(folder, name + ".key"))
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    s.listen(16)
    return s, context


def answer(client, context, body):
    try:
        with context.wrap_socket(client, server_side=True) as tls:
            tls.settimeout(10)
            request = b""
            while b"\r\n\r\n" not in request:
                more = tls.recv(4096)
                if not more:
                    return
                request += more
            tls.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s" % (len(body), body))
    except (OSError, ssl.SSLError):
        pass  # a client that refuses the certificate goes away


def serve(s, context, body):
    while True:
        client, _ = s.accept()
        threading.Thread(target=answer, args=(client, context, body), daemon=True).start()


servers = {name: listener(name) for name in names}
program = os.getpid()
if os.fork() == 0:
    for name, (s, context) in servers.items():
        threading.Thread(target=serve, args=(s, context, name.encode()), daemon=True).start()
    while os.getppid() == program:
        time.sleep(0.2)
    os._exit(0)
for name, (s, _) in servers.items():
    os.environ["ZOQ_TLS_%s_PORT" % name.upper()] = str(s.getsockname()[1])
os.execvp(sys.argv[3], sys.argv[3:])
