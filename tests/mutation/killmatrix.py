#!/usr/bin/env python3
"""Kill matrix: the mutants.py sample (same seed, same faults), each fault run against every
test that executes its function (from covmap.py), all of them (no stop on first failure).
A fault no test executes survives without a run.  Verdicts match mutants.py's whole-suite
run, since a test that never runs the mutated function cannot see the fault.

killmatrix.py COV.json OUT.json --seed S [--build build/mutants] [--only i,j,...]"""
import argparse, importlib.util, json, os, random, re, subprocess, sys, time, glob, signal
ap = argparse.ArgumentParser()
ap.add_argument("cov"); ap.add_argument("out")
ap.add_argument("--seed", type=int, default=1)
ap.add_argument("--n", type=int, default=60)
ap.add_argument("--build", default="build/mutants")
ap.add_argument("--jobs", default="2")
ap.add_argument("--only", default="")
ap.add_argument("--timeout", type=int, default=120)
ap.add_argument("--mutants", default="../shared/tools/mutants.py", help="the mutation tool (its sample)")
a = ap.parse_args()
spec = importlib.util.spec_from_file_location("mutants", a.mutants)
M = importlib.util.module_from_spec(spec); spec.loader.exec_module(M)
signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
files = sorted(glob.glob("src/**/*.cpp", recursive=True))
sites = M.candidates(files)
sample = sorted(random.Random(a.seed).sample(sites, min(a.n, len(sites))))
cov = json.load(open(a.cov))
bytest = {}
for t, s in cov["tests"].items():
    for site in s or []:
        bytest.setdefault(site, []).append(t)
tests = json.loads(subprocess.run(["ctest", "--test-dir", a.build, "--show-only=json-v1"], capture_output=True, check=True).stdout)["tests"]
build = os.path.abspath(a.build)
target_of = {}
number = {t["name"]: k for k, t in enumerate(tests, 1)}
for t in tests:
    cmd = t.get("command") or []
    if cmd and cmd[0].startswith(build + "/"):
        target_of[t["name"]] = os.path.relpath(cmd[0], build)
only = {int(x) for x in a.only.split(",") if x}
results = json.load(open(a.out)) if os.path.exists(a.out) else {}
for i, (path, no, s, e, name, rep) in enumerate(sample):
    key = str(i)
    if only and i not in only:
        continue
    if key in results and not only:
        continue
    site = f"{os.path.abspath(path)}:{no + 1}"
    covering = sorted(bytest.get(site, []))
    original = open(path, encoding="utf-8", errors="replace").read()
    lines = original.split("\n"); before = lines[no]
    lines[no] = before[:s] + rep + before[e:]
    t0 = time.time(); failed = []
    if not covering:
        verdict = "survived"
    else:
        try:
            open(path, "w", encoding="utf-8").write("\n".join(lines))
            targets = sorted({target_of[t] for t in covering if t in target_of} | {"tools/lumetra/lumetra"})
            rc, out = M.run(["ninja", "-C", a.build, "-j", a.jobs] + targets)
            if rc:
                verdict = "no-build"
            else:
                ids = ",".join(str(number[t]) for t in covering if t in number)
                rc, out = M.run(["ctest", "--test-dir", a.build, "-j", a.jobs, "--timeout", str(a.timeout), "-I", "0,0,0," + ids], timeout=a.timeout * 6)
                if rc == 124:  # the run timed out: stop what it left running
                    subprocess.run(["pkill", "-f", build + "/"])
                failed = re.findall(r"^\s*\d+ - (\S+) \(", out, re.M) if rc else []
                if rc and not failed:
                    failed = ["<ctest:" + out[-300:] + ">"]
                verdict = "killed" if rc else "survived"
        finally:
            open(path, "w", encoding="utf-8").write(original)
    results[key] = {"where": f"{path}:{no + 1}", "operator": name, "line": before.strip(),
                    "mutant": lines[no].strip(), "verdict": verdict, "covering": len(covering), "failed": failed}
    print(f"[{i}] {verdict:8} {path}:{no + 1} {name} covering={len(covering)} failed={len(failed)} ({time.time() - t0:.0f} s)", flush=True)
    json.dump(results, open(a.out, "w"), indent=0)
M.run(["ninja", "-C", a.build, "-j", a.jobs])
c = {"killed": 0, "survived": 0, "no-build": 0}
for r in results.values():
    c[r["verdict"]] += 1
live = c["killed"] + c["survived"]
print(f"seed {a.seed}: score {c['killed'] / max(live, 1):.2f}: {c}")
