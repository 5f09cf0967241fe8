#!/usr/bin/env python3
"""Fails when a header or source of a lower layer of the network library
includes one of a higher layer. The layers, lowest first: core, crypto, pki,
tls, net, http. Usage: check_layers.py <netlib folder>"""
import os
import re
import sys

LAYERS = ['core', 'crypto', 'pki', 'tls', 'net', 'http']
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/')


def main():
    root = sys.argv[1]
    faults = []
    checked = 0
    for folder, _, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        layer = rel.split(os.sep)[0]
        if layer not in LAYERS:
            continue
        for name in files:
            if not name.endswith(('.h', '.cpp', '.inc')):
                continue
            path = os.path.join(folder, name)
            checked += 1
            with open(path, encoding='utf-8', errors='replace') as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if m and m.group(1) in LAYERS and LAYERS.index(m.group(1)) > LAYERS.index(layer):
                        faults.append(f'{os.path.relpath(path, root)}:{number}: {layer} includes {line.strip()}')
    for fault in faults:
        print(fault)
    print(f'{checked} files checked, {len(faults)} upward includes')
    return 1 if faults or checked == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
