#!/usr/bin/env python3
"""covlines.py BUILD OUT.json : every ctest test run alone; the src/ and tools/ lines it executes."""
import concurrent.futures as cf, json, os, shutil, subprocess, sys, glob
build = os.path.abspath(sys.argv[1]); out_path = sys.argv[2]
root_src = os.path.abspath(".")
tests = json.loads(subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"], capture_output=True, check=True).stdout)["tests"]
root = os.path.join(build, "covlines-runs")
shutil.rmtree(root, ignore_errors=True)
def one(ix):
    t = tests[ix]; cmd = t.get("command")
    if not cmd:
        return t["name"], []
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    pre = f"{root}/{ix}"
    env = dict(os.environ, GCOV_PREFIX=pre, GCOV_PREFIX_STRIP="0")
    subprocess.run(cmd, cwd=props.get("WORKING_DIRECTORY", build), env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    gcdas = glob.glob(pre + "/**/*.gcda", recursive=True)
    for g in gcdas:
        gn = g[len(pre):][:-5] + ".gcno"
        if os.path.exists(gn):
            os.symlink(gn, g[:-5] + ".gcno")
    hit = set()
    if gcdas:
        out = subprocess.run(["gcov", "--json-format", "--stdout"] + gcdas, capture_output=True, cwd=pre).stdout.decode(errors="replace")
        for line in out.splitlines():
            if not line.startswith("{"):
                continue
            doc = json.loads(line)
            for f in doc.get("files", []):
                p = os.path.abspath(os.path.join(doc.get("current_working_directory", ""), f["file"]))
                rel = os.path.relpath(p, root_src)
                if not (rel.startswith("src/") or rel.startswith("tools/")):
                    continue
                for l in f.get("lines", []):
                    if l["count"] > 0:
                        hit.add(f"{rel}:{l['line_number']}")
    shutil.rmtree(pre, ignore_errors=True)
    return t["name"], sorted(hit)
res = {}
with cf.ThreadPoolExecutor(2) as ex:
    for name, hit in ex.map(one, range(len(tests))):
        res[name] = hit
json.dump(res, open(out_path, "w"))
