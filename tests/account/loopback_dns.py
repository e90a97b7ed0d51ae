#!/usr/bin/python3
"""A DNS server on a loopback address and port 53, for the lookup tests.

    loopback_dns.py ZONE_FILE [SILENT_NAME...]

Answers UDP queries from the records of ZONE_FILE (zone file lines, read by Debian's
python3-dnslib): the records of the asked name and type; an empty answer for a name it holds
with other types only; NXDOMAIN for a name it does not hold. A query for a SILENT_NAME is
never answered, so the client's deadline has to end it.

Qt 6.4's QDnsLookup asks its name server on port 53 only, so the server binds port 53 on the
first free address from 127.0.0.77 to 127.0.0.126 (tests running side by side each get one)
and writes "listening ADDRESS" on its standard error. When it may not bind port 53 (not root,
no CAP_NET_BIND_SERVICE) it writes "cannot bind: REASON" there and exits with status 3.
It exits by itself once the process that started it has ended.
"""

import errno
import os
import select
import socket
import sys

from dnslib import DNSRecord, RCODE, RR


def bind_loopback_port_53():
    for last in range(77, 127):
        address = f"127.0.0.{last}"
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            sock.bind((address, 53))
            return sock, address
        except OSError as error:
            sock.close()
            if error.errno != errno.EADDRINUSE:
                raise
    raise OSError(errno.EADDRINUSE, "every address from 127.0.0.77 to 127.0.0.126 is taken")


def answer(query, records):
    name = query.q.qname
    reply = query.reply()
    held = [rr for rr in records if rr.rname == name]
    if not held:
        reply.header.rcode = RCODE.NXDOMAIN
    for rr in held:
        if rr.rtype == query.q.qtype:
            reply.add_answer(rr)
    return reply.pack()


def main():
    with open(sys.argv[1], encoding="utf-8") as zone:
        records = RR.fromZone(zone.read())
    silent = {name.lower().rstrip(".") for name in sys.argv[2:]}
    try:
        sock, address = bind_loopback_port_53()
    except OSError as error:
        print(f"cannot bind: {error.strerror or error}", file=sys.stderr, flush=True)
        sys.exit(3)
    print(f"listening {address}", file=sys.stderr, flush=True)
    parent = os.getppid()
    while os.getppid() == parent:
        if not select.select([sock], [], [], 1.0)[0]:
            continue
        data, client = sock.recvfrom(4096)
        try:
            query = DNSRecord.parse(data)
        except Exception:  # not DNS: nothing to answer
            continue
        if str(query.q.qname).lower().rstrip(".") in silent:
            continue
        sock.sendto(answer(query, records), client)


if __name__ == "__main__":
    main()
