#!/usr/bin/env python3
"""Which ctest tests execute each sampled mutation site (function-level, conservative).

covmap.py BUILD OUT.json --seeds 1 2 3 [--n 60]   (run from the project root)
Each test runs alone with GCOV_PREFIX set to a directory of its own; gcov then tells which
functions of the sampled files it executed.  A site is covered by a test when the test ran
the function that holds the site (or any line of it outside every function)."""
import argparse, concurrent.futures as cf, importlib.util, json, os, random, shutil, subprocess, sys, glob

ap = argparse.ArgumentParser()
ap.add_argument("build"); ap.add_argument("out")
ap.add_argument("--seeds", type=int, nargs="+", default=[1, 2, 3])
ap.add_argument("--n", type=int, default=60)
ap.add_argument("--jobs", type=int, default=2)
ap.add_argument("--mutants", default="../shared/tools/mutants.py", help="the mutation tool (its sample)")
a = ap.parse_args()
spec = importlib.util.spec_from_file_location("mutants", a.mutants)
M = importlib.util.module_from_spec(spec); spec.loader.exec_module(M)
files = sorted(glob.glob("src/**/*.cpp", recursive=True))
sites = M.candidates(files)
want = {}  # (abs path, line1) -> list of "seed:idx"
for seed in a.seeds:
    rng = random.Random(seed)
    sample = sorted(rng.sample(sites, min(a.n, len(sites))))
    for i, (path, no, *_rest) in enumerate(sample):
        want.setdefault((os.path.abspath(path), no + 1), []).append(f"{seed}:{i}")
srcs = {p for p, _ in want}
tests = json.loads(subprocess.run(["ctest", "--test-dir", a.build, "--show-only=json-v1"], capture_output=True, check=True).stdout)["tests"]
build = os.path.abspath(a.build)
gcnos = {}
for g in glob.glob(build + "/**/*.gcno", recursive=True):
    gcnos[g] = True
root = os.path.join(build, "covmap-runs")
shutil.rmtree(root, ignore_errors=True)

def one(ix):
    t = tests[ix]
    cmd = t.get("command")
    if not cmd:
        return t["name"], None
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    wd = props.get("WORKING_DIRECTORY", build)
    pre = f"{root}/{ix}"
    env = dict(os.environ, GCOV_PREFIX=pre, GCOV_PREFIX_STRIP="0")
    for e in props.get("ENVIRONMENT", []) or []:
        k, _, v = e.partition("="); env[k] = v
    rc = subprocess.run(cmd, cwd=wd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600).returncode
    if rc: print("FAILED", t["name"], rc, flush=True)
    gcdas = glob.glob(pre + "/**/*.gcda", recursive=True)
    for g in gcdas:
        gn = g[len(pre):][:-5] + ".gcno"
        if os.path.exists(gn):
            os.symlink(gn, g[:-5] + ".gcno")
    cov = set()
    if gcdas:
        out = subprocess.run(["gcov", "--json-format", "--stdout"] + gcdas, capture_output=True, cwd=pre).stdout.decode(errors="replace")
        for line in out.splitlines():
            line = line.strip()
            if not line.startswith("{"):
                continue
            doc = json.loads(line)
            for f in doc.get("files", []):
                path = os.path.abspath(os.path.join(doc.get("current_working_directory", ""), f["file"]))
                if path not in srcs:
                    continue
                fns = f.get("functions", [])
                lines = {l["line_number"]: l["count"] for l in f.get("lines", [])}
                for (p, ln), ids in want.items():
                    if p != path:
                        continue
                    hit = lines.get(ln, 0) > 0
                    inside = [fn for fn in fns if fn["start_line"] <= ln <= fn["end_line"]]
                    if inside:
                        hit = hit or any(fn["execution_count"] > 0 for fn in inside)
                    else:
                        hit = True  # outside every function: initialisers, tables
                    if hit:
                        cov.add(f"{p}:{ln}")
    shutil.rmtree(pre, ignore_errors=True)
    return t["name"], sorted(cov)

res = {}
with cf.ThreadPoolExecutor(a.jobs) as ex:
    for k, (name, cov) in enumerate(ex.map(one, range(len(tests))), 1):
        res[name] = cov
        if k % 25 == 0:
            print(k, "of", len(tests), flush=True)
json.dump({"tests": res, "sites": {f"{p}:{ln}": ids for (p, ln), ids in want.items()}}, open(a.out, "w"), indent=0)
