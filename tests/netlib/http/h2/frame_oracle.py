"""Reference side of the HTTP/2 frame tests, on python3-hyperframe.

  build   prints "HEX DESCRIPTION" for frames of every type built here
  parse   stdin: one frame in hex a line; prints its description
A description is "type flags stream" then the type's fields, as the C++ test
writes it.
"""
import sys

from hyperframe import frame as hf

FLAG_BITS = {"END_STREAM": 0x1, "ACK": 0x1, "END_HEADERS": 0x4, "PADDED": 0x8, "PRIORITY": 0x20}


def describe(f):
    flags = sum(FLAG_BITS[name] for name in f.flags)
    words = [str(f.type), str(flags), str(f.stream_id)]
    if isinstance(f, hf.DataFrame):
        words += [str(f.pad_length), f.data.hex() or "-"]
    elif isinstance(f, hf.HeadersFrame):
        priority = "PRIORITY" in f.flags
        words += [str(f.pad_length)]
        words += [str(f.depends_on), str(int(f.exclusive)), str(f.stream_weight)] if priority else []
        words += [f.data.hex() or "-"]
    elif isinstance(f, hf.PriorityFrame):
        words += [str(f.depends_on), str(int(f.exclusive)), str(f.stream_weight)]
    elif isinstance(f, hf.RstStreamFrame):
        words += [str(f.error_code)]
    elif isinstance(f, hf.SettingsFrame):
        # Settings other than 1 to 6 are read and ignored.
        words += [f"{k}={v}" for k, v in sorted(f.settings.items()) if 1 <= k <= 6]
    elif isinstance(f, hf.PushPromiseFrame):
        words += [str(f.pad_length), str(f.promised_stream_id), f.data.hex() or "-"]
    elif isinstance(f, hf.PingFrame):
        words += [f.opaque_data.hex()]
    elif isinstance(f, hf.GoAwayFrame):
        words += [str(f.last_stream_id), str(f.error_code), f.additional_data.hex() or "-"]
    elif isinstance(f, hf.WindowUpdateFrame):
        words += [str(f.window_increment)]
    elif isinstance(f, hf.ContinuationFrame):
        words += [f.data.hex() or "-"]
    return " ".join(words)


def built():
    block = bytes.fromhex("828684418cf1e3c2e5f23a6ba0ab90f4ff")
    frames = [
        hf.DataFrame(1, b"hello", flags=["END_STREAM"]),
        hf.DataFrame(3, b"ab", flags=["PADDED"], pad_length=2),
        hf.DataFrame(5, b"", flags=["PADDED", "END_STREAM"], pad_length=7),
        hf.HeadersFrame(1, block, flags=["END_HEADERS"]),
        hf.HeadersFrame(3, block, flags=["END_HEADERS", "END_STREAM", "PADDED", "PRIORITY"],
                        pad_length=4, depends_on=1, stream_weight=200, exclusive=True),
        hf.HeadersFrame(5, block[:5], flags=["PRIORITY"], depends_on=0x7FFFFFFF, stream_weight=0),
        hf.PriorityFrame(7, depends_on=3, stream_weight=15, exclusive=False),
        hf.PriorityFrame(9, depends_on=5, stream_weight=255, exclusive=True),
        hf.RstStreamFrame(1, error_code=8),
        hf.SettingsFrame(0, settings={1: 256, 2: 0, 3: 100, 4: 65535, 5: 16384, 6: 32768}),
        hf.SettingsFrame(0, settings={4: 0x7FFFFFFF, 9: 1}),
        hf.SettingsFrame(0, flags=["ACK"]),
        hf.PushPromiseFrame(1, promised_stream_id=2, data=block, flags=["END_HEADERS"]),
        hf.PushPromiseFrame(3, promised_stream_id=4, data=block[:3], flags=["PADDED"], pad_length=9),
        hf.PingFrame(0, opaque_data=b"\x00\x01\x02\x03\xfc\xfd\xfe\xff"),
        hf.PingFrame(0, opaque_data=b"pingpong", flags=["ACK"]),
        hf.GoAwayFrame(0, last_stream_id=7, error_code=9, additional_data=b"bad block"),
        hf.GoAwayFrame(0, last_stream_id=0x7FFFFFFF, error_code=0),
        hf.WindowUpdateFrame(0, window_increment=65535),
        hf.WindowUpdateFrame(3, window_increment=0x7FFFFFFF),
        hf.ContinuationFrame(1, block[5:], flags=["END_HEADERS"]),
        hf.ContinuationFrame(1, b""),
    ]
    for f in frames:
        print(f.serialize().hex(), describe(f))


def parse():
    for line in sys.stdin:
        data = memoryview(bytes.fromhex(line.strip()))
        f, length = hf.Frame.parse_frame_header(data[:9])
        f.parse_body(data[9:9 + length])
        print(describe(f))


if __name__ == "__main__":
    {"build": built, "parse": parse}[sys.argv[1]]()
