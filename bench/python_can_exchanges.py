#!/usr/bin/python3
"""The firmware exchanges of bench_firmware_exchange done by python-can's slcan interface at its
defaults, against the same simulated converter. python-can keeps the port open across requests
and does not pace them; the utility opens, paces and closes the port for every exchange."""
import sys
import time

import can

path, count = sys.argv[1], int(sys.argv[2])
start = time.monotonic()
bus = can.interface.Bus(interface="slcan", channel=path)
opened = time.monotonic()
answered = 0
request = can.Message(arbitration_id=0x001, data=bytes(8), is_extended_id=False)
for _ in range(count):
    bus.send(request)
    deadline = time.monotonic() + 1.3
    while time.monotonic() < deadline:
        reply = bus.recv(timeout=deadline - time.monotonic())
        if reply is not None and reply.arbitration_id == 0x401:
            answered += 1
            break
bus.shutdown()
done = time.monotonic()
print(f"{done - start:.3f} {done - opened:.3f} {answered}")
