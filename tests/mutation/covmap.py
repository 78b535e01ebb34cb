#!/usr/bin/env python3
"""Which ctest tests execute each sampled mutation site (function-level, conservative).

covmap.py BUILD OUT.json --seeds 1 2 3 [--n 60]   (run from the project root)
Each test runs alone with GCOV_PREFIX set to a directory of its own; gcov then tells which
functions of the sampled files it executed.  A site is covered by a test when the test ran
the function that holds the site (or any line of it outside every function)."""
import argparse, concurrent.futures as cf, importlib.util, json, os, random, shutil, sys, glob
from coverage_run import ctest_tests, run_with_coverage

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
tests = ctest_tests(a.build)
build = os.path.abspath(a.build)
root = os.path.join(build, "covmap-runs")
shutil.rmtree(root, ignore_errors=True)

def one(ix):
    t = tests[ix]
    cov = set()
    for path, f in run_with_coverage(t, build, f"{root}/{ix}"):
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
    return t["name"], sorted(cov)

res = {}
with cf.ThreadPoolExecutor(a.jobs) as ex:
    for k, (name, cov) in enumerate(ex.map(one, range(len(tests))), 1):
        res[name] = cov
        if k % 25 == 0:
            print(k, "of", len(tests), flush=True)
json.dump({"tests": res, "sites": {f"{p}:{ln}": ids for (p, ln), ids in want.items()}}, open(a.out, "w"), indent=0)
