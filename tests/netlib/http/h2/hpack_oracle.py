"""Reference side of the HPACK tests, on python3-hpack. Header lists travel as
lines of "name:value" hex pairs separated by spaces.

  flatten DIR   the corpus stories of DIR: "story FILE", then one line per
                case: "case TABLESIZE|- WIREHEX PAIRS..."
  decode        stdin: "table" starts a new decoder, other lines are blocks
                in hex; one line of pairs per block ("error" on failure)
  encode        stdin: "table SIZE" starts a new encoder with that peer
                table size; other lines are "h|r PAIRS" lists, coded with
                Huffman (h) or not (r); one hex block per list
"""
import json
import os
import sys

import hpack


def pairs_text(headers):
    return " ".join(f"{bytes(n).hex()}:{bytes(v).hex()}" for n, v in headers)


def pairs(fields):
    out = []
    for item in fields:
        name, value = item.split(":")
        out.append((bytes.fromhex(name), bytes.fromhex(value)))
    return out


def flatten(folder):
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".json"):
            continue
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            story = json.load(f)
        print("story", name)
        for case in story["cases"]:
            headers = [(k.encode(), v.encode()) for h in case["headers"] for k, v in h.items()]
            size = case.get("header_table_size", "-")
            print("case", size, case.get("wire", "-") or "-", pairs_text(headers))


def decode():
    decoder = None
    for line in sys.stdin:
        line = line.strip()
        if line == "table":
            decoder = hpack.Decoder()
            decoder.max_header_list_size = 1 << 30
            continue
        try:
            print(pairs_text(decoder.decode(bytes.fromhex(line), raw=True)))
        except hpack.HPACKError as error:
            print("error", type(error).__name__)


def encode():
    encoder = None
    for line in sys.stdin:
        fields = line.split()
        if fields[0] == "table":
            encoder = hpack.Encoder()
            encoder.header_table_size = int(fields[1])
            continue
        headers = pairs(fields[1:])
        # Every third field goes as never-indexed, the representation our
        # encoder never writes.
        headers = [hpack.NeverIndexedHeaderTuple(n, v) if i % 3 == 2 else (n, v)
                   for i, (n, v) in enumerate(headers)]
        print(encoder.encode(headers, huffman=fields[0] == "h").hex())


if __name__ == "__main__":
    {"flatten": lambda: flatten(sys.argv[2]), "decode": decode, "encode": encode}[sys.argv[1]]()
