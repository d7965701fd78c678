#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/<target>/, and the inputs
of faults the targets have found into tests/fuzz/regressions/<target>/.

The targets read their input with libFuzzer's FuzzedDataProvider, which takes byte blocks and
strings from the front of the input and numbers from its end. Input below assembles inputs the
same way, so that every seed is a meaningful case of its target: the documented examples and
edge cases of each parser. Run it again after changing how a target reads its input:

    tests/fuzz/make_seeds.py
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


class Input:
    """Builds an input in the order a target consumes it."""

    def __init__(self):
        self.front = bytearray()
        self.back = []  # blocks in consumption order; each is consumed from the end

    # Numbers, taken from the end of the input.
    def integral(self, value, low, high):
        span = high - low
        offset = value - low
        assert 0 <= offset <= span
        size = 0
        while size < 8 and (span >> (8 * size)) > 0:
            size += 1
        # Read from the end, most significant byte first: stored least significant first.
        self.back.append(bytes((offset >> (8 * i)) & 0xFF for i in range(size)))
        return self

    def boolean(self, value):
        return self.integral(1 if value else 0, 0, 255)

    def u8(self, value):
        return self.integral(value, 0, 255)

    def u32(self, value):
        return self.integral(value, 0, 2**32 - 1)

    def i64(self, value):
        return self.integral(value, -2**63, 2**63 - 1)

    def u64(self, value, low=0, high=2**64 - 1):
        return self.integral(value, low, high)

    def pick(self, index, count):
        return self.integral(index, 0, count - 1)

    # Texts and blocks, taken from the front.
    def raw(self, data):
        self.front += data if isinstance(data, (bytes, bytearray)) else data.encode("latin-1")
        return self

    def string(self, text):
        data = text.encode("latin-1") if isinstance(text, str) else bytes(text)
        self.front += data.replace(b"\\", b"\\\\") + b"\\;"
        return self

    def build(self):
        tail = bytearray()
        for block in reversed(self.back):
            tail += block
        return bytes(self.front) + bytes(tail)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def stats_request():
    requests = {
        0: ["", "U_", "M_", "ModelName", "DrawerGoodOpenCount,HoursPoweredCount", "Nope",
            "Nope,ModelName", "U_,", ",", " UnifiedPOSVersion , Interface ", "a=b"],
        1: ["", "DrawerGoodOpenCount=10", "DrawerGoodOpenCount=+0012", "DrawerGoodOpenCount=-7",
            "DrawerGoodOpenCount=" + "9" * 20, "DrawerGoodOpenCount=-" + "9" * 20,
            "DrawerGoodOpenCount=12a", "DrawerGoodOpenCount=+", "DrawerGoodOpenCount=1,"
            "DrawerGoodOpenCount=2", "A=1=2", "NoEquals", "HoursPoweredCount=1",
            "DrawerGoodOpenCount=3,HoursPoweredCount=1", "InstallationDate=2024-02-30",
            "InstallationDate=2024-02-29", "ManufactureDate=", "ModelName=",
            "ModelName=" + "x" * 140, "SerialNumber=<&'\">", "U_=5", "=7", "-0=1",
            "DrawerGoodOpenCount=-0", "DrawerGoodOpenCount=000"],
        2: ["", "U_", "InstallationDate", "ModelName=x", "drawergoodopencount", "U_,",
            "Interface,ModelName"],
    }
    n = 0
    for mode, texts in requests.items():
        for text in texts:
            for lead in (False, True):
                data = (Input().raw(text).i64(0).i64(5).i64(-1).i64(2**63 - 1)
                        .boolean(False).boolean(False).boolean(False).boolean(False)
                        .boolean(False).boolean(False).boolean(False)
                        .boolean(lead).integral(mode, 0, 2))
                write("stats_request", "seed%03d" % n, data.build())
                n += 1
    # Texts already in the block, escaped in the document.
    data = Input().i64(0).i64(0).i64(0).i64(0)
    for row, text in zip(range(3, 10), ["M<1>", "S&N", "2024-05-06", "r\"1", "f'2", "USB",
                                        "2023-01-01"]):
        data.boolean(True).string(text)
    data.boolean(True).integral(0, 0, 2).raw("")
    write("stats_request", "seed%03d" % n, data.build())


def stats_request_regressions():
    # UpdateStatistics with a value whose 128th byte begins a double-byte character (Shift-JIS
    # lead bytes): the stored text must end before that character.
    data = (Input().raw("ModelName=" + "A" * 127 + "\x82\xa0B").i64(0).i64(0).i64(0).i64(0)
            .boolean(False).boolean(False).boolean(False).boolean(False).boolean(False)
            .boolean(False).boolean(False).boolean(True).integral(1, 0, 2))
    folder = os.path.join(HERE, "regressions", "stats_request")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "dbcs-cut-at-128"), "wb") as f:
        f.write(data.build())


def stats_block():
    names = ["UnifiedPOSVersion", "DeviceCategory", "ManufacturerName", "ModelName",
             "SerialNumber", "ManufactureDate", "MechanicalRevision", "FirmwareRevision",
             "Interface", "InstallationDate", "HoursPoweredCount", "CommunicationErrorCount",
             "DrawerGoodOpenCount", "DrawerFailedOpenCount"]
    values = {
        "load-defaults": {},
        "load-values": {"ModelName": "  CD-4 ", "DrawerGoodOpenCount": " 12 ",
                        "CommunicationErrorCount": "abc", "DrawerFailedOpenCount": "-3x",
                        "HoursPoweredCount": "99999999999999999999", "SerialNumber": "y" * 150},
        "load-extremes": {"DrawerGoodOpenCount": "-9223372036854775808",
                          "DrawerFailedOpenCount": "9223372036854775808",
                          "CommunicationErrorCount": "+\t7", "ModelName": ""},
    }
    for label, table in values.items():
        data = Input().boolean(True)
        for name in names:
            present = name in table
            data.boolean(present)
            if present:
                data.string(table[name])
        write("stats_block", label, data.build())
    # Blocks written by someone else: all zero, all 0xFF, offsets pointing anywhere.
    for label, fill in (("block-zero", 0), ("block-ff", 0xFF), ("block-7f", 0x7F)):
        data = Input().boolean(False).raw(bytes([fill]) * 2572)
        for op in range(5):
            data.integral(1, -1, 3).integral(op, -1, 15).integral(op, 0, 4)
            if op == 1:
                data.i64(5)
            if op == 2:
                data.string("text")
            if op == 3:
                data.integral(20, -1, 137)
        write("stats_block", label, data.build())


def counter_text():
    name = "DrawerOpenCount             "
    texts = {
        "five": name + " " * 9 + "5\r\n",
        "lower": name.lower() + " " * 9 + "5\r\n",
        "max": name + "4294967295\r\n",
        "over": name + "9999999999\r\n",
        "trailing-blank": name + " " * 8 + "5 \r\n",
        "no-digit": name + " " * 10 + "\r\n",
        "short": name + " " * 8 + "5\r\n",
        "long": name + " " * 10 + "5\r\n",
        "lf-only": name + " " * 9 + "55\n",
        "two-lines": (name + " " * 9 + "1\r\n") + (name + " " * 9 + "2\r\n"),
        "empty": "",
        "other-name": "X" * 28 + " " * 9 + "5\r\n",
    }
    for label, text in texts.items():
        data = Input().integral(0, 0, 3).u32(7).boolean(False).raw(text)
        write("counter_text", label, data.build())
    # Several counters, named in turn and out of turn.
    a, b = "A" * 28, "b" * 28
    text = (b.upper() + " " * 9 + "2\r\n") + (name + " " * 9 + "1\r\n") + (a + " " * 9 + "3\r\n")
    data = Input().integral(2, 0, 3).raw(a).raw(b).u32(0).u32(0).u32(0).boolean(False).raw(text)
    write("counter_text", "three-counters", data.build())


def receive_buffer():
    frame = [0x1B, 0x02, 0x03, 0x0D]
    cases = {
        "one-frame": [frame],
        "two-frames": [[0x1B, 0x02, 0x01, 0x0D, 0x1B, 0x01, 0x02, 0x0D]],
        "held-1": [[0, 0, 0, 0x1B], [0x02, 0x03, 0x0D]],
        "held-2": [[0x55, 0x55, 0x1B, 0x01], [0x01, 0x0D]],
        "held-3": [[0x55, 0x1B, 0x01, 0x00], [0x0D]],
        "bytewise": [[b] for b in frame],
        "esc-esc": [[0x1B, 0x1B, 0x02], [0x01, 0x0D]],
        "unknown-type": [[0x1B, 0x03, 0x01, 0x0D]],
        "full": [[0x55] * 127 + [0x1B], [0x02, 0x01, 0x0D]],
    }
    for label, reads in cases.items():
        data = Input()
        for chunk in reads:
            data.u8(200).integral(len(chunk), 0, 128).raw(bytes(chunk))
        write("receive_buffer", label, data.build())
    data = Input().u8(200).integral(2, 0, 128).raw(bytes([0, 0x1B])).u8(10).u8(0)
    data.u8(200).integral(4, 0, 128).raw(bytes(frame))
    write("receive_buffer", "discard-and-restart", data.build())


def opostr():
    # Own mode, mode asked for, text, bytes, then UTF-16 units.
    modes = [0, 1, 2, -1, 3, 7, -2, -2**31]
    cases = [("41:?", 1), ("4", 1), ("41G2", 1), ("065 66", 2), ("256", 2), ("0656", 2),
             ("999", 2), ("A\x00B", 0), ("", 0), ("0123456789:;<=>?", 1)]
    n = 0
    for text, mode in cases:
        for own in (0, 1):
            data = (Input().pick(own, 6).pick(modes.index(mode), len(modes)).string(text)
                    .integral(3, 0, 600).raw(bytes([0x00, 0xFF, 0x41])))
            for unit in (0x41, 0x1234, 0x30):
                data.integral(unit, 0, 0xFFFF)
            write("opostr", "seed%02d" % n, data.build())
            n += 1


def config():
    # All values absent; then each value present as the words of the target's list.
    write("config", "empty", Input().build())
    for k in range(8):
        data = Input()
        for value in range(24):
            data.u8(100 + k * 7)  # present, from the word list
            data.pick((value + k) % 8, 8)  # registry type
            data.pick((value * 3 + k) % 41, 41)
            data.boolean(k % 2 == 0)
        write("config", "words%d" % k, data.build())


def sim_command():
    commands = [
        ["SIM1", "show"], ["sim1", "close", "2"], ["SIM1", "reply-delay", "3600000"],
        ["SIM1", "reply-delay", "3600001"], ["SIM1", "autoclose", "off"],
        ["SIM1", "inject", "1b", "0x02", "d", "1b02010d"], ["SIM1", "inject", "1b0"],
        ["SIMX!", "show"], ["SIM1"], ["SIM1", "open", "3"], ["SIM1", "cts", "ON"],
        ["SIM1", "--help"], ["sim_front-2", "notify", "off"], ["SIM1", "break", "now"],
    ]
    for n, args in enumerate(commands):
        data = Input()
        for a in args:
            data.boolean(False).string(a)
        write("sim_command", "seed%02d" % n, data.build())


def sim_controller():
    def step(data, op, advance=1000):
        data.integral(op, 0, 13).integral(1, 0, 15).u64(advance, 0, 200000)
        return data

    # A status command answered; an open command answered; noise before a command.
    data = Input().u64(10**9, 0, 2**40).boolean(False)
    step(data, 0).integral(19200, 0, 4000000)
    step(data, 4).pick(0, 3).integral(3, 1, 4)
    step(data, 5, 200000)
    step(data, 4).pick(1, 3).integral(4, 1, 4)
    step(data, 5, 200000)
    step(data, 2).integral(5, 0, 200).raw(bytes([0x00, 0x1B, 0x1B, 0x02, 0x01]))
    step(data, 5, 200000)
    write("sim_controller", "commands", data.build())
    # A state file of the right kind but odd contents.
    data = Input().u64(5 * 10**6, 0, 2**40).boolean(True).raw(bytes([0x42]) * 2664).boolean(True)
    step(data, 5, 100)
    step(data, 13)
    write("sim_controller", "odd-state", data.build())


def main():
    for make in (stats_request, stats_request_regressions, stats_block, counter_text, receive_buffer, opostr, config,
                 sim_command, sim_controller):
        make()
    return 0


if __name__ == "__main__":
    sys.exit(main())
