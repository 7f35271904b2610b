#!/usr/bin/env python3
"""End-to-end checks of z7sim from the master's side of the line: mbpoll (libmodbus) and raw bytes.

Usage: z7sim_test.py PATH_TO_Z7SIM PATH_TO_MBPOLL [unittest args]
"""

import os
import re
import select
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import time
import tty
import unittest
from datetime import datetime

Z7SIM = None
MBPOLL = None

# The panel's master ends a chunk after more than 100 ms of silence.
CHUNK_GAP = 0.1
FAULTS = ["crc", "split", "noreply", "exception", "otheraddr", "garbage", "delay", "flood"]


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(*body):
    data = bytes(body)
    c = crc16(data)
    return data + bytes([c & 0xFF, c >> 8])


def crc_ok(data):
    return len(data) >= 4 and crc16(data) == 0


def expected_length(data):
    """Length of the reply that `data` begins, from its function code."""
    if len(data) < 2:
        return 5
    if data[1] & 0x80:
        return 5
    if data[1] == 3:
        return 5 + data[2] if len(data) >= 3 else 5
    return 8


def read_request(address, start, count):
    return frame(address, 3, start >> 8, start & 0xFF, count >> 8, count & 0xFF)


def write_request(address, reg, value):
    return frame(address, 6, reg >> 8, reg & 0xFF, value >> 8, value & 0xFF)


def registers(reply):
    n = reply[2] // 2
    return [reply[3 + 2 * i] << 8 | reply[4 + 2 * i] for i in range(n)]


class Sim:
    """One z7sim process on a private link, with the master's end of the line opened raw; with tcp,
    on a free loopback port, with the master's end a connection to it."""

    def __init__(self, *args, tcp=False):
        self.dir = tempfile.TemporaryDirectory(prefix="z7sim-test-")
        self.link = os.path.join(self.dir.name, "ttyZ7")
        self.sock = None
        line = ["--tcp", "127.0.0.1:0"] if tcp else ["--link", self.link]
        self.proc = subprocess.Popen([Z7SIM, *line, *args], stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.proc.stdout], [], [], 20)
        if not ready:
            self.proc.kill()
            raise AssertionError("z7sim did not start")
        self.banner = self.proc.stdout.readline()
        if not self.banner.startswith("z7sim: address"):
            self.proc.kill()
            raise AssertionError("z7sim failed: " + self.banner + self.proc.stderr.read())
        if tcp:
            self.address = ("127.0.0.1", int(re.search(r"tcp://127\.0\.0\.1:(\d+),", self.banner).group(1)))
            self.sock = self.connect()
            self.fd = self.sock.fileno()
        else:
            self.fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            tty.setraw(self.fd)

    def connect(self):
        sock = socket.create_connection(self.address, timeout=5)
        sock.setblocking(False)
        return sock

    def flush_input(self):
        if self.sock is None:
            termios.tcflush(self.fd, termios.TCIFLUSH)
            return
        try:
            while self.sock.recv(65536):
                pass
        except BlockingIOError:
            pass

    def transact(self, request, first_byte_timeout=2.0):
        """Sends one request; returns the chunks of the answer as the master sees them, each a
        (seconds from the send to its first byte, bytes) pair, split at silences over 100 ms."""
        self.flush_input()
        sent = time.monotonic()
        os.write(self.fd, request)
        chunks = []
        deadline = sent + first_byte_timeout
        while True:
            wait = deadline - time.monotonic()
            if wait <= 0 or not select.select([self.fd], [], [], wait)[0]:
                break
            now = time.monotonic()
            data = os.read(self.fd, 65536)
            if not data:
                break  # the connection was closed
            if chunks and now - chunks[-1][2] <= CHUNK_GAP:
                chunks[-1][1].extend(data)
            else:
                chunks.append([now - sent, bytearray(data), now])
            chunks[-1][2] = time.monotonic()
            # A valid frame ends the answer; a cut one may go on after a pause; anything else ends
            # with the master's chunk gap.
            whole = b"".join(c[1] for c in chunks)
            if crc_ok(whole) and len(whole) >= expected_length(whole):
                break
            deadline = time.monotonic() + (1.0 if len(whole) < expected_length(whole) else 2 * CHUNK_GAP)
        return [(c[0], bytes(c[1])) for c in chunks]

    def stop(self, sig=signal.SIGTERM):
        """Stops the simulator as a user would and returns its counts."""
        if self.sock is not None:
            self.sock.close()
        else:
            os.close(self.fd)
        self.proc.send_signal(sig)
        out, err = self.proc.communicate(timeout=20)
        self.link_left = os.path.lexists(self.link)
        self.dir.cleanup()
        if self.proc.returncode != 0:
            raise AssertionError(f"z7sim exited {self.proc.returncode}: {err}")
        line = [l for l in out.splitlines() if l.startswith("z7sim: requests=")]
        if len(line) != 1:
            raise AssertionError("no counts line in: " + out)
        counts = dict((k, int(v)) for k, v in re.findall(r"(\w+)=(\d+)", line[0]))
        # With several addresses, each one's counts follow the totals.
        self.per_address = {int(a): dict((k, int(v)) for k, v in re.findall(r"(\w+)=(\d+)", rest))
                            for a, rest in re.findall(r"^z7sim: address (\d+): (.*)$", out, re.M)}
        return counts

    def answer(self, request, silence_expected=False):
        """All the bytes of the answer to one request (b"" for none)."""
        chunks = self.transact(request, first_byte_timeout=0.3 if silence_expected else 2.0)
        return b"".join(c[1] for c in chunks)

    def timed_reply(self, request, length, timeout=2.0):
        """Sends one request and reads up to `length` bytes; returns the time of the send and each read
        as a (time, bytes) pair, timed once the read returned."""
        self.flush_input()
        sent = time.monotonic()
        os.write(self.fd, request)
        reads = []
        deadline = sent + timeout
        while sum(len(d) for _, d in reads) < length:
            wait = deadline - time.monotonic()
            if wait <= 0 or not select.select([self.fd], [], [], wait)[0]:
                break
            data = os.read(self.fd, 65536)
            if not data:
                break
            reads.append((time.monotonic(), data))
        return sent, reads

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()
        self.dir.cleanup()


def classify(chunks, delay_threshold):
    """What the master saw for one read of ten registers from address 1."""
    if not chunks:
        return "noreply"
    if len(chunks) > 1:
        joined = b"".join(c[1] for c in chunks)
        return "split" if crc_ok(joined) else "other"
    latency, data = chunks[0]
    if len(data) == 25 and data[:3] == b"\x01\x03\x14":
        if crc_ok(data):
            return "delay" if latency >= delay_threshold else "good"
        return "crc"
    if len(data) == 25 and data[0] == 2 and crc_ok(data):
        return "otheraddr"
    if data == frame(1, 0x83, 4):
        return "exception"
    if 26 <= len(data) <= 41 and crc_ok(data[-25:]) and data[-25:-22] == b"\x01\x03\x14":
        return "garbage"
    if len(data) >= 100:
        return "flood"
    return "other"


def mbpoll(link, *args, values=()):
    cmd = [MBPOLL, "-m", "rtu", "-b", "19200", "-P", "none", "-s", "2", "-0", "-1", "-o", "2", *args, link,
           *[str(v) for v in values]]
    return subprocess.run(cmd, capture_output=True, text=True, timeout=30)


def mbpoll_read(link, start, count, address=1):
    r = mbpoll(link, "-a", str(address), "-r", str(start), "-c", str(count))
    values = dict((int(k), int(v)) for k, v in re.findall(r"^\[(\d+)\]:\s+(-?\d+)", r.stdout, re.M))
    return r, values


class RegisterMap(unittest.TestCase):
    def test_mbpoll_reads_the_map(self):
        with Sim("--alarm", "0x105") as sim:
            r, reg = mbpoll_read(sim.link, 0, 30)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            self.assertEqual(sorted(reg), list(range(30)))
            expected = {0: 500, 3: 0, 4: 1000, 5: 0, 10: 500, 11: 0, 12: 25, 13: 0x105, 15: 3800,
                        20: 0, 21: 0, 22: 0}
            for n, v in expected.items():
                self.assertEqual(reg[n], v, f"register {n}")
            self.assertTrue(3700 <= reg[23] <= 3900, reg[23])
            for n in [1, 2, 6, 7, 8, 9, 14, 16, 17, 18, 19, 24, 25, 26, 27, 28, 29]:
                self.assertEqual(reg[n], 0, f"register {n}")
            # Reads beyond the map and writes outside the settings are refused with exception 02.
            r, _ = mbpoll_read(sim.link, 30, 1)
            self.assertIn("Illegal data address", r.stdout + r.stderr)
            r = mbpoll(sim.link, "-a", "1", "-r", "12", values=[77])
            self.assertIn("Illegal data address", r.stdout + r.stderr)
            counts = sim.stop(signal.SIGINT)
            self.assertFalse(sim.link_left, "link left behind")
            self.assertEqual(counts["requests"], 3)

    def test_run_starts_the_ramp(self):
        with Sim() as sim:
            # Limit 60.0 % below the setting, then the run command: 0 to register 3.
            for reg, value in [(0, 800), (4, 600), (3, 0)]:
                r = mbpoll(sim.link, "-a", "1", "-r", str(reg), values=[value])
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            seen = []
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                _, reg = mbpoll_read(sim.link, 0, 30)
                seen.append(reg)
                if reg[11] >= 50 and len(seen) >= 2:
                    break
                time.sleep(0.2)
            out = [s[11] for s in seen]
            self.assertEqual(seen[-1][3], 1, "register 3 reads 1 while running")
            self.assertGreaterEqual(out[-1], 50, out)
            self.assertEqual(out, sorted(out), "output must rise while running")
            self.assertEqual(seen[-1][10], 800)
            for phase in (20, 21, 22):  # the phase currents follow the output
                self.assertLess(abs(seen[-1][phase] - seen[-1][11]), 0.05 * seen[-1][11] + 10, seen[-1])
            # A maximum below the output pulls it down to the limit; stopping takes it towards 0.
            mbpoll(sim.link, "-a", "1", "-r", "4", values=[30])
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                _, reg = mbpoll_read(sim.link, 11, 1)
                if reg.get(11) == 30:
                    break
                time.sleep(0.2)
            self.assertEqual(reg.get(11), 30)
            mbpoll(sim.link, "-a", "1", "-r", "3", values=[1])  # the stop command
            _, reg = mbpoll_read(sim.link, 3, 1)
            self.assertEqual(reg.get(3), 0, "register 3 reads 0 once stopped")
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                _, reg = mbpoll_read(sim.link, 11, 12)
                if reg.get(11) == 0:
                    break
                time.sleep(0.2)
            self.assertEqual((reg.get(11), reg.get(20), reg.get(21), reg.get(22)), (0, 0, 0, 0))
            sim.stop()

    def test_raw_requests(self):
        # Requests and the exact bytes of the device's answer (b"" for silence).
        cases = [
            (read_request(2, 0, 10), b""),  # another slave's request must not upset the next one
            (write_request(1, 0, 1000), write_request(1, 0, 1000)),
            (write_request(1, 5, 0x0190), write_request(1, 5, 0x0190)),
            (write_request(1, 7, 5), frame(1, 0x86, 2)),
            (write_request(1, 11, 5), frame(1, 0x86, 2)),
            (read_request(1, 30, 1), frame(1, 0x83, 2)),
            (read_request(1, 20, 11), frame(1, 0x83, 2)),
            (frame(1, 0x10, 0, 3, 0, 1, 2, 0, 1), frame(1, 0x90, 1)),
            (read_request(1, 0, 10)[:-1] + b"\x00", b""),     # bad CRC
            (write_request(0, 3, 0), b""),                    # broadcast run: carried out, never answered
        ]
        with Sim() as sim:
            for request, expected in cases:
                with self.subTest(request=request.hex()):
                    chunks = sim.transact(request, first_byte_timeout=2.0 if expected else 0.3)
                    self.assertEqual(b"".join(c[1] for c in chunks), expected)
            chunks = sim.transact(read_request(1, 0, 10))
            self.assertEqual(len(chunks), 1)
            reply = chunks[0][1]
            self.assertTrue(crc_ok(reply))
            reg = registers(reply)
            self.assertEqual((reg[0], reg[3], reg[5]), (1000, 1, 0x0190))  # register 3: running
            counts = sim.stop()
        self.assertEqual(sim.per_address, {}, "one address prints the totals only")
        answered = sum(1 for _, e in cases if e) + 1
        self.assertEqual(counts["requests"], answered + 1)  # the broadcast counts, the others do not
        self.assertEqual(counts["replies"], answered)
        self.assertEqual(counts["good"], answered)
        self.assertEqual(counts["writes"], 3)  # registers 0 and 5, and the broadcast to register 3


class Faults(unittest.TestCase):
    def test_each_fault_from_the_master_side(self):
        self.each_fault(tcp=False)

    def test_each_fault_over_tcp(self):
        self.each_fault(tcp=True)

    def each_fault(self, tcp):
        for kind in [None] + FAULTS:
            with self.subTest(fault=kind):
                args = ["--split-ms", "400", "--delay-ms", "500", "--flood-bytes", "3000"]
                if kind:
                    args += [f"--fault-{kind}", "1"]
                with Sim(*args, tcp=tcp) as sim:
                    chunks = sim.transact(read_request(1, 10, 10),
                                          first_byte_timeout=0.6 if kind == "noreply" else 3.0)
                    self.check(kind, chunks, b"".join(c[1] for c in chunks))
                    counts = sim.stop()
                self.assertEqual(counts["requests"], 1)
                self.assertEqual(counts["replies"], 1)
                self.assertEqual(counts[kind or "good"], 1, counts)

    def check(self, kind, chunks, data):
        if kind == "noreply":
            self.assertEqual(chunks, [])
            return
        if kind == "split":
            self.assertEqual(len(chunks), 2, "a split reply is two chunks")
            self.assertTrue(crc_ok(data) and len(data) == 25)
            return
        self.assertEqual(len(chunks), 1, f"one chunk without gaps over 100 ms: {chunks}")
        if kind is None:
            self.assertTrue(crc_ok(data) and data[:3] == b"\x01\x03\x14")
            self.assertEqual(registers(data)[5], 3800)
        elif kind == "crc":
            self.assertEqual(len(data), 25)
            self.assertFalse(crc_ok(data))
            self.assertTrue(crc_ok(data[:24] + bytes([data[24] ^ 0xFF])))
        elif kind == "exception":
            self.assertEqual(data, frame(1, 0x83, 4))
        elif kind == "otheraddr":
            self.assertEqual(data[:3], b"\x02\x03\x14")
            self.assertTrue(crc_ok(data))
        elif kind == "garbage":
            self.assertTrue(26 <= len(data) <= 41, len(data))
            self.assertTrue(crc_ok(data[-25:]) and data[-25:-22] == b"\x01\x03\x14")
        elif kind == "delay":
            self.assertGreaterEqual(chunks[0][0], 0.45, "the reply came too early")
            self.assertTrue(crc_ok(data) and len(data) == 25)
        elif kind == "flood":
            self.assertEqual(len(data), 3000)

    def run_mixed(self, seed, n):
        with Sim(*self.mixed_args(seed)) as sim:
            seen = [classify(sim.transact(read_request(1, 0, 10), first_byte_timeout=1.5), 0.3)
                    for _ in range(n)]
            return seen, sim.stop()

    @staticmethod
    def mixed_args(seed):
        args = ["--seed", str(seed), "--delay-ms", "600", "--flood-bytes", "500", "--split-ms", "400"]
        for kind in FAULTS:
            args += [f"--fault-{kind}", "0.1"]
        return args

    def test_line_log_holds_what_the_master_received(self):
        with tempfile.TemporaryDirectory() as d:
            log = os.path.join(d, "line.log")
            requests = [read_request(1, 10 * (i % 3), 10) for i in range(16)]
            # A broadcast is carried out but never answered: it has no reply number.
            requests[8:8] = [write_request(0, 4, 500), write_request(1, 5, 40)]
            with Sim(*self.mixed_args(8), "--line-log", log) as sim:
                seen = []
                for request in requests:
                    start = time.time()
                    chunks = sim.transact(request, first_byte_timeout=0.3 if request[0] == 0 else 1.5)
                    seen.append((request, start, time.time(), chunks))
                counts = sim.stop()
            replies = {}
            with open(log) as f:
                for line in f:
                    stamp, n, kind, *rest = line.split()
                    t = datetime.fromisoformat(stamp.replace("Z", "+00:00")).timestamp()
                    r = replies.setdefault(int(n), {"lines": []})
                    if kind == "request":
                        r["request"] = bytes.fromhex("".join(rest))
                    elif kind == "reply":
                        r["fault"], r["answer"] = rest[0], bytes.fromhex("".join(rest[1:]))
                    else:
                        self.assertEqual(kind, "line")
                        r["lines"].append((t, bytes.fromhex("".join(rest))))
        answered = [s for s in seen if s[0][0] != 0]
        self.assertEqual(sorted(replies), list(range(1, len(answered) + 1)))
        self.assertEqual(counts["replies"], len(answered))
        for n, (request, start, end, chunks) in enumerate(answered, 1):
            r = replies[n]
            with self.subTest(reply=n, fault=r["fault"]):
                self.assertEqual(r["request"], request)
                self.assertTrue(crc_ok(r["answer"]) and r["answer"][:2] == request[:2])
                if request[1] == 3:
                    self.assertEqual(r["fault"], classify(chunks, 0.3))
                # Burst for burst what the master read, in its time.
                self.assertEqual([b for _, b in r["lines"]], [c[1] for c in chunks])
                for t, _ in r["lines"]:
                    self.assertTrue(start - 0.01 <= t <= end + 0.01, (start, t, end))
                if r["fault"] == "split":
                    self.assertGreaterEqual(r["lines"][1][0] - r["lines"][0][0], 0.39)
        self.assertEqual({r["fault"] for r in replies.values()}, set(["good"] + FAULTS))

    def test_counts_match_the_master_and_repeat_with_the_seed(self):
        seen, counts = self.run_mixed(seed=8, n=16)
        self.assertEqual(set(seen), set(["good"] + FAULTS), seen)  # this seed meets every kind
        self.assertEqual(counts["requests"], 16)
        self.assertEqual(counts["replies"], 16)
        for kind in ["good"] + FAULTS:
            self.assertEqual(counts[kind], seen.count(kind), f"{kind}: {seen}")
        again, _ = self.run_mixed(seed=8, n=8)
        self.assertEqual(again, seen[:8], "the same seed gives the same faults")


class Fleet(unittest.TestCase):
    def test_addresses_answer_independently(self):
        with Sim("--address", "1-3,7") as sim:
            self.assertTrue(sim.banner.startswith("z7sim: addresses 1-3,7 on "), sim.banner)
            # One device's settings and run command leave the others alone: 2 gets a setting of 10.00, 3
            # is started; a broadcast limit of 70.0 % reaches them all and none answers it.
            for request in [write_request(2, 0, 1000), write_request(3, 3, 0)]:
                self.assertEqual(sim.answer(request), request)
            self.assertEqual(sim.answer(write_request(0, 4, 700), silence_expected=True), b"")
            for address in (4, 8, 247):  # no device has these
                with self.subTest(address=address):
                    self.assertEqual(sim.answer(read_request(address, 0, 10), silence_expected=True), b"")
            state = {}
            for address in (1, 2, 3, 7):
                reply = sim.answer(read_request(address, 0, 10))
                self.assertTrue(crc_ok(reply) and reply[:3] == bytes([address, 3, 20]), reply.hex())
                reg = registers(reply)
                state[address] = (reg[0], reg[3], reg[4])
            self.assertEqual(state, {1: (500, 0, 700), 2: (1000, 0, 700), 3: (500, 1, 700), 7: (500, 0, 700)})
            # Each has its own noise: the line voltages of two idle devices, read in turn, do not go
            # together.
            volts = {1: [], 7: []}
            for _ in range(6):
                for address in volts:
                    volts[address].append(registers(sim.answer(read_request(address, 23, 1)))[0])
                time.sleep(0.1)
            self.assertNotEqual(volts[1], volts[7])
            counts = sim.stop()
        per = sim.per_address
        self.assertEqual(sorted(per), [1, 2, 3, 7])
        # Each took the broadcast and its own requests, and answered its own.
        self.assertEqual({a: (c["requests"], c["writes"], c["replies"], c["good"]) for a, c in per.items()},
                         {1: (8, 1, 7, 7), 2: (3, 2, 2, 2), 3: (3, 2, 2, 2), 7: (8, 1, 7, 7)})
        for key, total in counts.items():
            self.assertEqual(total, sum(c[key] for c in per.values()), key)

    def test_silent_addresses(self):
        with Sim("--address", "1-3", "--silent", "2,3", tcp=True) as sim:
            self.assertIn("addresses 1-3 (silent 2,3) on ", sim.banner)
            # A silent device takes requests and carries out writes, but never answers.
            self.assertEqual(sim.answer(write_request(2, 0, 1000), silence_expected=True), b"")
            self.assertEqual(sim.answer(read_request(2, 0, 10), silence_expected=True), b"")
            self.assertEqual(registers(sim.answer(read_request(1, 0, 1))), [500])
            counts = sim.stop()
        self.assertEqual({a: (c["requests"], c["writes"], c["replies"]) for a, c in sim.per_address.items()},
                         {1: (1, 0, 1), 2: (2, 1, 0), 3: (0, 0, 0)})
        self.assertEqual((counts["requests"], counts["replies"], counts["good"]), (3, 1, 1))


class LineTiming(unittest.TestCase):
    def test_reply_timing(self):
        # z7sim's arguments, the turnaround and the time of one character on the wire (0: one write),
        # and whether over TCP. Only lower bounds: a busy machine may always be later.
        cases = [
            (["--pace"], 0.002, 11 / 19200, False),
            (["--pace", "--baud", "9600", "--format", "8_E_1"], 0.002, 11 / 9600, False),
            (["--pace", "--turnaround-ms", "0", "--format", "7_N_1"], 0.0, 9 / 19200, False),
            (["--pace", "--turnaround-ms", "10", "--address", "1,2"], 0.010, 11 / 19200, False),
            (["--pace"], 0.002, 11 / 19200, True),
            (["--turnaround-ms", "40"], 0.040, 0, False),
        ]
        for args, turnaround, char, tcp in cases:
            with self.subTest(args=args, tcp=tcp), Sim(*args, tcp=tcp) as sim:
                self.assertIn(f"turnaround {round(turnaround * 1000)} ms", sim.banner)
                for _ in range(3):
                    sent, reads = sim.timed_reply(read_request(1, 0, 10), 25)
                    data = b"".join(d for _, d in reads)
                    self.assertTrue(len(data) == 25 and crc_ok(data), data.hex())
                    # The first character is through one character time after the turnaround, the last
                    # 25 character times after it.
                    self.assertGreaterEqual(reads[0][0] - sent, turnaround + char - 1e-6)
                    self.assertGreaterEqual(reads[-1][0] - sent, turnaround + 25 * char - 1e-6)
                    if not char:
                        self.assertEqual(len(reads), 1, "an unpaced reply comes in one write")
                counts = sim.stop()
                self.assertEqual((counts["replies"], counts["good"]), (3, 3))


class TcpLine(unittest.TestCase):
    def test_one_client_at_a_time(self):
        with Sim(tcp=True) as sim:
            self.assertEqual(classify(sim.transact(read_request(1, 0, 10)), 0.3), "good")
            # A second client is let in and reset at once; the first one goes on undisturbed.
            try:
                with socket.create_connection(sim.address, timeout=2) as second:
                    self.assertEqual(second.recv(1), b"", "the second client was kept")
            except (ConnectionResetError, ConnectionRefusedError):
                pass
            self.assertEqual(classify(sim.transact(read_request(1, 10, 10)), 0.3), "good")
            # Once it leaves, the next client takes its place.
            sim.sock.close()
            sim.sock = sim.connect()
            sim.fd = sim.sock.fileno()
            self.assertEqual(classify(sim.transact(read_request(1, 20, 10)), 0.3), "good")
            counts = sim.stop()
        self.assertEqual((counts["requests"], counts["replies"], counts["good"]), (3, 3, 3))

    def test_replies_to_a_client_that_left_are_dropped(self):
        with Sim("--fault-delay", "1", "--delay-ms", "400", tcp=True) as sim:
            sim.sock.sendall(read_request(1, 0, 10))
            time.sleep(0.1)  # the device has answered; the reply is held back
            sim.sock.close()
            sim.sock = sim.connect()
            sim.fd = sim.sock.fileno()
            time.sleep(0.6)
            try:
                left = sim.sock.recv(65536)
            except BlockingIOError:
                left = b""
            self.assertEqual(left, b"", "a reply reached the next client")
            counts = sim.stop()
        self.assertEqual((counts["requests"], counts["replies"]), (1, 0))


class CommandLine(unittest.TestCase):
    def test_help_names_every_option(self):
        out = subprocess.run([Z7SIM, "--help"], capture_output=True, text=True, timeout=10)
        self.assertEqual(out.returncode, 0)
        for opt in ["--link", "--tcp", "--address", "--baud", "--format", "--seed", "--alarm", "--split-ms",
                    "--delay-ms", "--flood-bytes", "--line-log", "--version", "--silent", "--pace",
                    "--turnaround-ms"] + [f"--fault-{k}" for k in FAULTS]:
            self.assertIn(opt, out.stdout)
        self.assertIn("1 stops, 0 runs", out.stdout)  # the run/stop register's commands

    def test_refused_settings(self):
        with tempfile.TemporaryDirectory() as d:
            precious = os.path.join(d, "file")
            with open(precious, "w") as f:
                f.write("keep")
            busy = socket.socket()
            busy.bind(("127.0.0.1", 0))
            busy.listen()
            cases = [
                ["--fault-crc", "1.5"],
                ["--fault-crc", "0.6", "--fault-noreply", "0.6"],
                ["--split-ms", "100"],  # would not split the reply for the master
                ["--address", "0"],
                ["--address", "248"],
                ["--format", "8N2"],
                ["--alarm", "0x200"],
                ["--link", precious],
                ["--tcp", "::1:502"],  # an IPv6 address needs its brackets
                ["--tcp", "[::1]"],
                ["--tcp", "70000"],
                ["--tcp", "0", "--link", os.path.join(d, "ttyZ7")],
                ["--tcp", f"127.0.0.1:{busy.getsockname()[1]}"],
                ["--line-log", os.path.join(d, "missing", "line.log")],
            ]
            for args in cases:
                with self.subTest(args=args):
                    r = subprocess.run([Z7SIM, *args], capture_output=True, text=True, timeout=10)
                    self.assertNotEqual(r.returncode, 0)
                    self.assertIn("z7sim:", r.stderr)
            busy.close()
            with open(precious) as f:
                self.assertEqual(f.read(), "keep")

    def test_refused_line_options(self):
        # Each refused with exit status 2 and a message that says what is wrong.
        cases = [
            (["--address", "1-300"], "300 is not an address from 1 to 247"),
            (["--address", "4-1"], "the range 4-1 runs backwards"),
            (["--address", "1,,3"], "an empty item"),
            (["--address", "1-4,3"], "address 3 is given twice"),
            (["--address", "1;2"], "'1;2' is neither an address nor a range"),
            (["--address", "1-3", "--silent", "4"], "address 4 is not one of --address 1-3"),
            (["--silent", "0"], "invalid value '0' for --silent"),
            (["--turnaround-ms", "-1"], "invalid value '-1' for --turnaround-ms"),
            (["--turnaround-ms", "60001"], "invalid value '60001' for --turnaround-ms"),
            (["--pace=yes"], "doesn't allow an argument"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                r = subprocess.run([Z7SIM, *args], capture_output=True, text=True, timeout=10)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertIn(message, r.stderr)


if __name__ == "__main__":
    Z7SIM, MBPOLL = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
