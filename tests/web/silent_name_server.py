# Binds a UDP socket to 127.53.0.1:53 that reads nothing and answers nothing,
# then becomes the program on its command line with the socket still open
# (bound for as long as the program runs) and ZOQ_SILENT_NAME_SERVER set.
# When the address is taken, the program runs without it.
import os
import socket
import sys

try:
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.53.0.1", 53))
    s.set_inheritable(True)
    os.environ["ZOQ_SILENT_NAME_SERVER"] = "127.53.0.1"
except OSError:
    pass
os.execvp(sys.argv[1], sys.argv[1:])
