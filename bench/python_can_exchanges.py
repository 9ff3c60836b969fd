#!/usr/bin/python3
"""The exchanges of a list download done by python-can's slcan interface at its defaults, against
the same simulated converter: each request line of the file (as b6409-sim --trace prints them,
e.g. t1018...) is sent as its frame and answered before the next, as the utility does. python-can
keeps the port open across requests; the utility opens and closes it for every exchange."""
import sys
import time

import can


def frame_of(line):
    """The frame a request line holds: t (11-bit) or e (29-bit), ID digits, DLC digit, data."""
    digits = 3 if line[0] == "t" else 8
    dlc = int(line[digits + 1], 16)
    data = bytes.fromhex(line[digits + 2:digits + 2 + 2 * dlc])
    return can.Message(arbitration_id=int(line[1:digits + 1], 16), data=data,
                       is_extended_id=line[0] == "e")


path, requests_file = sys.argv[1], sys.argv[2]
with open(requests_file) as lines:
    requests = [frame_of(line.strip()) for line in lines if line.strip()]
start = time.monotonic()
bus = can.interface.Bus(interface="slcan", channel=path)
opened = time.monotonic()
answered = 0
for request in requests:
    bus.send(request)
    deadline = time.monotonic() + 1.3
    while time.monotonic() < deadline:
        reply = bus.recv(timeout=deadline - time.monotonic())
        if reply is not None and reply.arbitration_id == request.arbitration_id + 0x400:
            answered += 1
            break
bus.shutdown()
done = time.monotonic()
print(f"{done - start:.3f} {done - opened:.3f} {answered} {len(requests)}")
