#!/usr/bin/python3
"""A TCP proxy on 127.0.0.1 that puts a distance between an SMTP client and a loopback server,
and counts the round trips the client waited for.

  latency_proxy.py --upstream PORT --port-file FILE --timeline-dir DIR [--delay-ms 25]
                   [--connect-one-ways 3] [--connection-seconds 60] [--lifetime-seconds 3600]
  latency_proxy.py --self-check

Every chunk read from one side is written to the other DELAY ms later, whatever came before
it: each direction has a queue of (due time, chunk), so a flight of many chunks costs one
delay, not one per chunk, and order is kept. A real link costs three one-way trips (SYN,
SYN-ACK, ACK) before the server's first byte can leave, so the upstream connection is made
that long after the client's connect returns; with the greeting's own trip back, the client
has it two round trips after it started to connect, as on the real link. Whatever the client
sends before then (a TLS ClientHello) waits for the upstream connection.

Per connection N it writes DIR/connection-N.jsonl: one line per event, {"t": seconds since the
accept, "dir": "c2s" | "s2c" | "c-eof", "bytes": n}, every time as seen at the
client's end of the link (c2s when read from the client, s2c when written to it), and last a
line {"round_trips": R, ...}. The same summary goes to DIR/summary as one line of text:
"connection N round_trips R client_bytes B server_bytes B seconds S".

Round trips: 1 for the connection, plus 1 for each server flight the client waited for. A
server flight is a run of s2c events with no c2s event between them, in the client-side
order above; flights that begin after the client's end of data are not counted (nobody
waited for them). Because the order is the client's, one write of the client that reaches us
as several reads, or a group of writes made without waiting, cannot split a flight: every
answer to it reaches the client at least 2 × DELAY after its first byte left, so the pieces
all come before it. Only a client that pauses longer than a round trip between its pieces
could be counted as waiting, and then it did wait. (A client that writes its pieces without
TCP_NODELAY has Nagle hold each until our kernel acknowledges the one before, which Linux
may delay by 40 ms or more; a hold longer than a round trip would be counted as a wait, and
the count would then vary from run to run, which roundtrip_compare.sh flags.)
Expected counts for an ideal client:

  plain, PIPELINING, QUIT sent with the final ".":      5  connect, greeting, EHLO,
                                                           MAIL+RCPT...+DATA, data+"."+QUIT
  plain, one command at a time, 20 recipients:         27  connect, greeting, EHLO, MAIL,
                                                           20 × RCPT, DATA, data+".", QUIT
  STARTTLS + AUTH, PIPELINING:                          9  connect, greeting, EHLO, STARTTLS,
                                                           TLS 1.3 handshake, EHLO (sent with
                                                           the client's Finished), AUTH PLAIN
                                                           with initial response, envelope
                                                           group, data+QUIT
  implicit TLS + AUTH, PIPELINING:                      7  connect, TLS 1.3 handshake,
                                                           greeting (after the Finished),
                                                           EHLO, AUTH, envelope group,
                                                           data+QUIT

--self-check plays the first two through the proxy, each client command written in pieces
and each server reply in several writes, and checks that 5 and 27 come out.
"""

import argparse
import asyncio
import itertools
import json
import os
import sys
import time

HOST = "127.0.0.1"


class Timeline:
    """The events of one connection, and the round trips they show."""

    def __init__(self):
        self.start = time.monotonic()
        self.events = []

    def add(self, direction, size=0):
        self.events.append({"t": round(time.monotonic() - self.start, 6), "dir": direction,
                            "bytes": size})

    def round_trips(self):
        trips, in_flight, client_done = 1, False, False
        for event in self.events:
            if event["dir"] == "c2s":
                in_flight = False
            elif event["dir"] == "c-eof":
                client_done = True
            elif event["dir"] == "s2c" and not in_flight:
                in_flight = True
                trips += 0 if client_done else 1
        return trips

    def summary(self):
        sent = lambda d: sum(e["bytes"] for e in self.events if e["dir"] == d)
        return {"round_trips": self.round_trips(), "client_bytes": sent("c2s"),
                "server_bytes": sent("s2c"), "seconds": round(time.monotonic() - self.start, 4)}


async def pump(reader, writer_ready, delay, on_read=None, on_write=None):
    """Copies reader to the writer (awaited from writer_ready) with each chunk due DELAY
    seconds after it was read, and the end of data after the last chunk."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def deliver():
        writer = await writer_ready
        while True:
            due, chunk = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if not chunk:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(chunk)
            if on_write:
                on_write(len(chunk))
            await writer.drain()

    delivering = asyncio.create_task(deliver())
    try:
        while True:
            chunk = await reader.read(65536)
            if on_read:
                on_read(len(chunk))
            queue.put_nowait((loop.time() + delay, chunk))
            if not chunk:
                break
        await delivering
    finally:
        delivering.cancel()


class Proxy:
    def __init__(self, options):
        self.options = options
        self.delay = options.delay_ms / 1000
        self.numbers = itertools.count(1)

    async def handle(self, client_reader, client_writer):
        number = next(self.numbers)
        timeline = Timeline()
        loop = asyncio.get_running_loop()
        upstream = loop.create_future()
        record_read = lambda n: timeline.add("c2s" if n else "c-eof", n)
        record_write = lambda n: timeline.add("s2c", n)
        to_server = asyncio.create_task(pump(client_reader, upstream, self.delay, on_read=record_read))
        up_writer = None
        try:
            async with asyncio.timeout(self.options.connection_seconds):
                await asyncio.sleep(self.options.connect_one_ways * self.delay)
                up_reader, up_writer = await asyncio.open_connection(HOST, self.options.upstream)
                upstream.set_result(up_writer)
                client_ready = loop.create_future()
                client_ready.set_result(client_writer)
                await asyncio.gather(to_server, pump(up_reader, client_ready, self.delay,
                                                     on_write=record_write))
        except (OSError, TimeoutError) as error:
            print(f"connection {number}: {error!r}", file=sys.stderr)
        finally:
            to_server.cancel()
            for writer in (client_writer, up_writer):
                if writer:
                    writer.close()
            self.write_timeline(number, timeline)

    def write_timeline(self, number, timeline):
        summary = timeline.summary()
        folder = self.options.timeline_dir
        with open(os.path.join(folder, f"connection-{number}.jsonl"), "w") as out:
            out.writelines(json.dumps(event) + "\n" for event in timeline.events)
            out.write(json.dumps(summary) + "\n")
        with open(os.path.join(folder, "summary"), "a") as out:
            out.write(f"connection {number} " + " ".join(f"{k} {v}" for k, v in summary.items()) + "\n")

    async def serve(self):
        server = await asyncio.start_server(self.handle, HOST, 0)
        port = server.sockets[0].getsockname()[1]
        with open(self.options.port_file + ".partial", "w") as out:
            out.write(f"{port}\n")
        os.rename(self.options.port_file + ".partial", self.options.port_file)
        async with server:
            await asyncio.sleep(self.options.lifetime_seconds)


# ---- --self-check: a scripted server and two ideal clients through the proxy ----------------

async def scripted_server(reader, writer):
    """Answers the SMTP commands of the self-check, each reply split over two writes."""
    async def reply(text):
        for piece in (text[:2], text[2:] + "\r\n"):
            writer.write(piece.encode())
            await writer.drain()
            await asyncio.sleep(0.002)

    await reply("220 ready")
    in_data = False
    while line := (await reader.readline()).decode():
        if in_data:
            in_data = line != ".\r\n"
            if not in_data:
                await reply("250 stored")
        elif line.startswith("EHLO"):
            await reply("250-here\r\n250 PIPELINING")
        elif line.startswith("DATA"):
            in_data = True
            await reply("354 go on")
        elif line.startswith("QUIT"):
            await reply("221 bye")
            break
        else:
            await reply("250 ok")
    writer.close()


async def scripted_client(port, groups):
    """Sends each group of commands, each command in two writes a little apart, and waits
    for one reply per command (the data's end counts as one) before the next group."""
    reader, writer = await asyncio.open_connection(HOST, port)
    await reader.readline()
    for group in groups:
        for command in group:
            for piece in (command[:3], command[3:]):
                writer.write(piece.encode())
                await asyncio.sleep(0.002)
        for _ in group:
            while (await reader.readline())[3:4] == b"-":
                pass
    writer.close()


async def self_check():
    import tempfile
    to = [f"RCPT TO:<r{i}@example.org>\r\n" for i in range(20)]
    data = "Subject: x\r\n\r\nhello\r\n.\r\n"
    dialogues = {
        "pipelined": (5, [["EHLO a\r\n"], ["MAIL FROM:<a@example.org>\r\n", *to[:3], "DATA\r\n"],
                          [data, "QUIT\r\n"]]),
        "one at a time": (27, [["EHLO a\r\n"], ["MAIL FROM:<a@example.org>\r\n"], *[[r] for r in to],
                               ["DATA\r\n"], [data], ["QUIT\r\n"]]),
    }
    upstream = await asyncio.start_server(scripted_server, HOST, 0)
    failed = False
    with tempfile.TemporaryDirectory() as folder:
        options = argparse.Namespace(upstream=upstream.sockets[0].getsockname()[1], delay_ms=25,
                                     connect_one_ways=3, connection_seconds=30,
                                     port_file=os.path.join(folder, "port"), timeline_dir=folder)
        proxy = Proxy(options)
        server = await asyncio.start_server(proxy.handle, HOST, 0)
        for number, (name, (expected, groups)) in enumerate(dialogues.items(), 1):
            start = time.monotonic()
            await asyncio.wait_for(scripted_client(server.sockets[0].getsockname()[1], groups), 30)
            wall = time.monotonic() - start
            summary = os.path.join(folder, f"connection-{number}.jsonl")
            for _ in range(100):  # the proxy writes it once both sides have closed
                if os.path.exists(summary):
                    break
                await asyncio.sleep(0.05)
            counted = json.loads(open(summary).read().splitlines()[-1])["round_trips"]
            failed |= counted != expected
            print(f"{name}: {counted} round trips (expected {expected}), {wall * 1000:.0f} ms "
                  f"(round trips × 50 ms = {expected * 50} ms)")
        server.close()
    upstream.close()
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--upstream", type=int, help="the server's port on 127.0.0.1")
    parser.add_argument("--port-file", help="where to write the port the proxy listens on")
    parser.add_argument("--timeline-dir", help="where the timelines and the summary go")
    parser.add_argument("--delay-ms", type=float, default=25.0, help="one-way delay")
    parser.add_argument("--connect-one-ways", type=int, default=3,
                        help="one-way delays before the upstream connection is made")
    parser.add_argument("--connection-seconds", type=float, default=60.0,
                        help="a connection still open after this is cut")
    parser.add_argument("--lifetime-seconds", type=float, default=3600.0,
                        help="the proxy stops by itself after this")
    parser.add_argument("--self-check", action="store_true")
    options = parser.parse_args()
    if options.self_check:
        return asyncio.run(self_check())
    if not (options.upstream and options.port_file and options.timeline_dir):
        parser.error("--upstream, --port-file and --timeline-dir are needed")
    asyncio.run(Proxy(options).serve())
    return 0


if __name__ == "__main__":
    sys.exit(main())
