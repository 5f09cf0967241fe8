#!/usr/bin/python3
"""Flattens a Wycheproof RSA or DSA file into one line per case: tab-separated
name=value pairs (group key values and settings, then the case's fields)."""
import json
import sys

KEY_FIELDS = {
    "modulus": "n", "publicExponent": "e", "privateExponent": "d", "prime1": "p", "prime2": "q",
    "exponent1": "dp", "exponent2": "dq", "coefficient": "qi",
}
DSA_FIELDS = {"p": "dsa_p", "q": "dsa_q", "g": "dsa_g", "y": "dsa_y"}


def group_fields(group):
    out = {}
    for k in ("sha", "mgfSha", "sLen"):
        if k in group:
            out[k] = str(group[k])
    for name in ("publicKey", "privateKey"):
        key = group.get(name)
        if not isinstance(key, dict):
            continue
        table = DSA_FIELDS if "g" in key else KEY_FIELDS
        for k, v in key.items():
            if k in table:
                out[table[k]] = v
    return out


def main():
    with open(sys.argv[1]) as f:
        data = json.load(f)
    for group in data["testGroups"]:
        fields = group_fields(group)
        for case in group["tests"]:
            row = dict(fields)
            row["tcId"] = str(case["tcId"])
            row["result"] = case["result"]
            row["flags"] = ",".join(case.get("flags", []))
            for k in ("msg", "sig", "ct", "label"):
                if k in case:
                    row[k] = case[k]
            print("\t".join(f"{k}={v}" for k, v in row.items()))


if __name__ == "__main__":
    main()
