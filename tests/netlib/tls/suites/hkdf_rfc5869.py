# Prints the RFC 5869 Appendix A cases, one a line:
# hash ikm salt info length prk okm (hex, '-' for no bytes).
import re
import sys

text = open(sys.argv[1]).read()
text = text[text.index('Appendix A.  Test Vectors'):]
for case in re.split(r'\nA\.\d\.  Test Case \d+\n', text)[1:]:
    fields = {}
    key = None
    for line in case.splitlines():
        m = re.match(r'\s+(Hash|IKM|salt|info|L|PRK|OKM)\s+=\s+(.*)', line)
        if m:
            key = m.group(1)
            fields[key] = m.group(2)
        elif key and re.match(r'\s+[0-9a-f]+( \(\d+ octets\))?$', line):
            fields[key] += line.strip()
        else:
            key = None if not line.strip() else key
    def hexof(v):
        v = re.sub(r'\(.*?\)', '', v).strip()
        return v[2:] if v.startswith('0x') and len(v) > 2 else '-'
    print(fields['Hash'].replace('SHA-', 'sha'), hexof(fields['IKM']), hexof(fields['salt']),
          hexof(fields['info']), fields['L'].strip(), hexof(fields['PRK']), hexof(fields['OKM']))
