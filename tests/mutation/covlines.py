#!/usr/bin/env python3
"""covlines.py BUILD OUT.json : every ctest test run alone; the src/ and tools/ lines it executes."""
import concurrent.futures as cf, json, os, shutil, sys
from coverage_run import ctest_tests, run_with_coverage
build = os.path.abspath(sys.argv[1]); out_path = sys.argv[2]
root_src = os.path.abspath(".")
tests = ctest_tests(build)
root = os.path.join(build, "covlines-runs")
shutil.rmtree(root, ignore_errors=True)
def one(ix):
    hit = set()
    for p, f in run_with_coverage(tests[ix], build, f"{root}/{ix}"):
        rel = os.path.relpath(p, root_src)
        if rel.startswith("src/") or rel.startswith("tools/"):
            hit.update(f"{rel}:{l['line_number']}" for l in f.get("lines", []) if l["count"] > 0)
    return tests[ix]["name"], sorted(hit)


res = {}
with cf.ThreadPoolExecutor(2) as ex:
    for name, hit in ex.map(one, range(len(tests))):
        res[name] = hit
json.dump(res, open(out_path, "w"))
