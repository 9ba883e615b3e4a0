# Applies each fault to the worktree's product, rebuilds the unit and window test binaries and the
# dump, runs both binaries, and restores the line: the two binaries are the only ones whose tests changed.
import json, subprocess, sys, time, os
os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
def sh(c): return subprocess.run(c, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env).returncode
def suite(): return sh("nice -n 10 build/tests/unit/corvane_unit_tests") or sh("nice -n 10 build/tests/app/corvane_app_tests")
build = "nice -n 10 cmake --build build --target corvane_unit_tests corvane_app_tests corvane-dump"
assert sh(build) == 0 and suite() == 0, "unmutated suite"
for entry in map(json.loads, open(sys.argv[1])):
    t0 = time.time(); path = entry["file"]
    lines = open(path).read().split("\n"); original = "\n".join(lines)
    idx = [k for k, l in enumerate(lines) if l == entry["old"]]
    if len(idx) > 1: idx = [min(idx, key=lambda k: abs(k + 1 - entry["line"]))]
    if not idx: result = "skipped"
    else:
        lines[idx[0]] = entry["new"]; open(path, "w").write("\n".join(lines))
        try:
            if sh(build): result = "skipped"
            elif suite() and suite(): result = "killed"
            else: result = "survived"
        finally:
            open(path, "w").write(original)
    print(json.dumps(dict(entry, result=result, seconds=round(time.time() - t0))), flush=True)
sh(build)
