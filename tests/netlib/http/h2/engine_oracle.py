"""Reference reading of the bytes a client engine wrote, on python3-hyperframe
and python3-hpack.

  describe       reads the bytes as hex on stdin; one line a frame: "type flags stream" then, for a header
                 block (HEADERS and its CONTINUATIONs, once complete), the
                 decoded fields as name=value joined by '|'; for DATA its
                 length; for WINDOW_UPDATE the increment; for RST_STREAM the
                 error code; for SETTINGS id=value pairs; for PING the bytes.
A leading client preface is reported as the line "preface".
"""
import sys

from hpack import Decoder
from hyperframe import frame as hf

PREFACE = b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n"


def describe(data):
    out = []
    if data.startswith(PREFACE):
        out.append("preface")
        data = data[len(PREFACE):]
    decoder = Decoder()
    block = b""
    while data:
        f, length = hf.Frame.parse_frame_header(memoryview(data[:9]))
        f.parse_body(memoryview(data[9:9 + length]))
        data = data[9 + length:]
        flags = 0
        for name in f.flags:
            flags |= {"END_STREAM": 1, "ACK": 1, "END_HEADERS": 4, "PADDED": 8, "PRIORITY": 0x20}[name]
        words = [str(f.type), str(flags), str(f.stream_id)]
        if isinstance(f, (hf.HeadersFrame, hf.ContinuationFrame)):
            block += f.data
            if "END_HEADERS" in f.flags:
                fields = decoder.decode(block, raw=True)
                words.append("|".join(n.decode() + "=" + v.decode() for n, v in fields))
                block = b""
        elif isinstance(f, hf.DataFrame):
            words.append(str(len(f.data)))
        elif isinstance(f, hf.WindowUpdateFrame):
            words.append(str(f.window_increment))
        elif isinstance(f, hf.RstStreamFrame):
            words.append(str(f.error_code))
        elif isinstance(f, hf.SettingsFrame):
            words += [f"{k}={v}" for k, v in sorted(f.settings.items())]
        elif isinstance(f, hf.PingFrame):
            words.append(f.opaque_data.hex())
        out.append(" ".join(words))
    return out


if __name__ == "__main__":
    if sys.argv[1] == "describe":
        print("\n".join(describe(bytes.fromhex(sys.stdin.read().strip()))))
