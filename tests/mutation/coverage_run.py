"""Runs one ctest test alone in a coverage build and reads what it executed."""
import glob, json, os, shutil, subprocess


def ctest_tests(build):
    """The tests of a build tree, as `ctest --show-only=json-v1` lists them."""
    out = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                         capture_output=True, check=True).stdout
    return json.loads(out)["tests"]


def run_with_coverage(test, build, scratch):
    """Runs `test` (an entry of ctest_tests) with its counters written below `scratch`;
    yields (absolute source path, gcov's record of that file) for every file it ran."""
    cmd = test.get("command")
    if not cmd:
        return
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    env = dict(os.environ, GCOV_PREFIX=scratch, GCOV_PREFIX_STRIP="0")
    for e in props.get("ENVIRONMENT", []) or []:
        k, _, v = e.partition("=")
        env[k] = v
    rc = subprocess.run(cmd, cwd=props.get("WORKING_DIRECTORY", build), env=env,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600).returncode
    if rc:
        print("FAILED", test["name"], rc, flush=True)
    gcdas = glob.glob(scratch + "/**/*.gcda", recursive=True)
    for g in gcdas:  # gcov wants the notes file beside the counters
        notes = g[len(scratch):][:-5] + ".gcno"
        if os.path.exists(notes):
            os.symlink(notes, g[:-5] + ".gcno")
    try:
        if not gcdas:
            return
        out = subprocess.run(["gcov", "--json-format", "--stdout"] + gcdas, capture_output=True,
                             cwd=scratch).stdout.decode(errors="replace")
        for line in out.splitlines():
            if line.strip().startswith("{"):
                doc = json.loads(line)
                for f in doc.get("files", []):
                    yield os.path.abspath(os.path.join(doc.get("current_working_directory", ""), f["file"])), f
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
