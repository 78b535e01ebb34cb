#!/usr/bin/env python3
"""cutplan.py COVLINES.json KM1 KM2 KM3 [--keep regex]: tests whose removal keeps every sampled
kill (another remaining test fails too) and every executed src/tools line (another remaining test
runs it); greedy, largest body first."""
import json, re, glob, sys, collections
args = [a for a in sys.argv[1:] if not a.startswith("--")]
cov = json.load(open(args[0]))
spans = {}
for f in glob.glob("tests/**/*.cpp", recursive=True):
    lines = open(f, errors="replace").read().split("\n")
    for i, l in enumerate(lines):
        m = re.match(r"(?:TEST|TEST_F|TEST_P|TYPED_TEST)\((\w+),\s*(\w+)\)", l)
        if m:
            j = i
            while j < len(lines) and lines[j] != "}":
                j += 1
            spans[f"{m.group(1)}.{m.group(2)}"] = (f, i + 1, j + 1, j - i + 1)
def base(name):
    return re.sub(r"/\w+$", "", re.sub(r"^\w+/", "", name))
linecov = collections.defaultdict(set)
for name, hit in cov.items():
    linecov[base(name)] |= set(hit)
kills = collections.defaultdict(set); faults = {}
for path in args[1:]:
    for k, r in json.load(open(path)).items():
        if r["verdict"] == "killed":
            fid = f"{path}:{k}"
            faults[fid] = {base(t) for t in r["failed"]}
            for t in faults[fid]:
                kills[t].add(fid)
holders = collections.Counter()
for t, s in linecov.items():
    for l in s:
        holders[l] += 1
alive = set(linecov)
removed = []
for t in sorted(spans, key=lambda t: -spans[t][3]):
    if t not in alive:
        continue
    if any(len(faults[f] & alive) <= 1 for f in kills.get(t, ())):
        continue
    if any(holders[l] <= 1 for l in linecov[t]):
        continue
    alive.discard(t); removed.append(t)
    for l in linecov[t]:
        holders[l] -= 1
tot = 0
for t in removed:
    f, a, b, n = spans[t]; tot += n
    print(f"{n:4} {f}:{a} {t} kills={len(kills.get(t, ()))} lines={len(linecov[t])}")
print("removable body lines", tot, "tests", len(removed), "of", len(spans))
