# In a mount namespace of its own (silent_dns.sh): binds a UDP socket on
# port 53 of a loopback address that no other program holds (other test runs
# on the machine have theirs), which reads nothing and answers nothing; makes
# that address the one name server of /etc/resolv.conf, given up on after
# 5 s (kSilentNameServerGivesUpMs); then becomes the program on its command
# line with the socket still open (bound for as long as the program runs)
# and ZOQ_SILENT_NAME_SERVER set. Where no address or no mount can be had,
# the program runs without it, and says why.
import os
import socket
import subprocess
import sys
import tempfile


def silent_socket():
    for n in range(1, 4096):
        address = "127.53.%d.%d" % (n // 254, n % 254 + 1)
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            s.bind((address, 53))
            return s, address
        except OSError:
            s.close()
    return None, None


os.environ.pop("ZOQ_SILENT_NAME_SERVER", None)
s, address = silent_socket()
if address:
    with tempfile.NamedTemporaryFile("w", suffix=".conf", delete=False) as conf:
        conf.write("nameserver %s\noptions timeout:5 attempts:1\n" % address)
    mounted = subprocess.run(["mount", "--bind", conf.name, "/etc/resolv.conf"]).returncode == 0
    os.unlink(conf.name)  # the mount holds it
    if mounted:
        s.set_inheritable(True)
        os.environ["ZOQ_SILENT_NAME_SERVER"] = address
    else:
        print("silent_name_server.py: /etc/resolv.conf could not be replaced", file=sys.stderr)
else:
    print("silent_name_server.py: no loopback address has port 53 free", file=sys.stderr)
os.execvp(sys.argv[1], sys.argv[1:])
