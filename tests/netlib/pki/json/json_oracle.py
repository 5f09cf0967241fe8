# Reads one hex-encoded JSON document per line and prints, per document, the
# nodes in document order as depth:type:hex(name):hex(value), or ERR when
# Python's json module refuses the text. Types: 0 object, 1 array, 2 string,
# 3 number, 4 boolean, 5 null; the root of a container is named "json".
import json
import sys


class Obj(list):
    pass


class Num(str):
    pass


def load(text):
    return json.loads(text, object_pairs_hook=Obj, parse_int=Num, parse_float=Num,
                      parse_constant=lambda s: (_ for _ in ()).throw(ValueError(s)))


def walk(value, name, depth, out):
    if isinstance(value, Obj):
        out.append((depth, 0, name, ''))
        for k, v in value:
            walk(v, k, depth + 1, out)
    elif isinstance(value, list):
        out.append((depth, 1, name, ''))
        for v in value:
            walk(v, '', depth + 1, out)
    elif isinstance(value, Num):
        out.append((depth, 3, name, str(value)))
    elif isinstance(value, str):
        out.append((depth, 2, name, value))
    elif value is True or value is False:
        out.append((depth, 4, name, 'true' if value else 'false'))
    else:
        out.append((depth, 5, name, 'null'))


def hexof(text):
    return text.encode('utf-8', 'surrogatepass').hex() or '-'


for line in sys.stdin:
    try:
        value = load(bytes.fromhex(line.strip()).decode('utf-8'))
    except (ValueError, UnicodeDecodeError):
        print('ERR')
        continue
    nodes = []
    root = 'json' if isinstance(value, list) else ''
    walk(value, root, 0, nodes)
    print(' '.join('%d:%d:%s:%s' % (d, t, hexof(n), hexof(v)) for d, t, n, v in nodes))
