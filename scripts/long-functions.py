#!/usr/bin/env python3
"""Functions longer than LIMIT lines (60 unless set), from the line where the
signature starts to the closing brace, in the C++ sources under the folders
given; by a brace scan with comments, strings and preprocessor lines blanked
out. A lambda counts with the function it is in.

    python3 scripts/long-functions.py app comm tools bench
"""
import os, re, sys
LIMIT = int(os.environ.get("LIMIT", "60"))
CONTROL = re.compile(r'^\s*(if|for|while|switch|catch|do|else|try)\b')
def strip(text):
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i); j = n if j < 0 else j
            out.append(' ' * (j - i)); i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2); j = n if j < 0 else j + 2
            out.append(re.sub(r'[^\n]', ' ', text[i:j])); i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(')' + m.group(1) + '"', i)
            j = end + len(m.group(1)) + 2
            out.append('""' + re.sub(r'[^\n]', ' ', text[i + 2:j])); i = j
        elif c == "'" and re.search(r"(?<![\w'])\d[\w']*$", text[max(0, i - 40):i]) and i + 1 < n and text[i + 1].isalnum():
            out.append(c); i += 1  # digit separator
        elif c in '"\'':
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == '\\' else 1
            out.append(c + ' ' * (j - i - 1) + c); i = j + 1
        else:
            out.append(c); i += 1
    s = ''.join(out)
    return re.sub(r'(?m)^[ \t]*#.*$', lambda m: ' ' * len(m.group(0)), s)
def scan(path):
    s = strip(open(path, encoding='utf-8', errors='replace').read())
    stack, start, found = [], 0, []  # stack of (kind, header_line)
    line = 1
    for i, c in enumerate(s):
        if c == '\n': line += 1
        if c in ';{}':
            if c == '{':
                header = s[start:i]
                in_func = any(e[0] == 'func' for e in stack)
                h = ' '.join(header.split())
                kind = 'other'
                if not in_func and re.search(r'\)', h) and not CONTROL.match(h) \
                        and not re.match(r'^(namespace|class|struct|enum|union|extern)\b', h) \
                        and not re.search(r'=\s*$', h) and not re.search(r'\b(class|struct|namespace)\b[^()]*$', h):
                    kind = 'func'
                # header start line: first non-blank char of header
                off = len(header) - len(header.lstrip())
                hl = s.count('\n', 0, start + off) + 1
                name = re.findall(r'([~\w:]+)\s*\(', h)
                stack.append((kind, hl, name[0] if name else h[:40]))
            elif c == '}' and stack:
                kind, hl, name = stack.pop()
                if kind == 'func':
                    found.append((line - hl + 1, hl, name))
            start = i + 1
    return found
res = []
for root in sys.argv[1:]:
    for dp, _, files in os.walk(root):
        for f in files:
            if f.endswith(('.cpp', '.h', '.cc', '.hpp')):
                p = os.path.join(dp, f)
                for n, l, name in scan(p):
                    if n > LIMIT: res.append((n, f"{p}:{l}", name))
for n, where, name in sorted(res, reverse=True):
    print(n, where, name)
