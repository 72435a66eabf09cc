"""Runs every ```sh and ```python block of README.md and docs/*.md as it stands
(blocks after a "<!-- tested" line belong to the install test), each file's
blocks in turn in one scratch directory holding copies of the bundled
examples/grain_faces.txt and examples/input.txt, with build/bin first on PATH
and PYTHONPATH=build/python. A block must exit 0, and an ```output block right
after it holds lines its output (standard output and error) must contain.
Also: each program's --version text is the version its man page names.
    run_blocks.py SOURCE_DIR BUILD_DIR
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

source, build = (os.path.abspath(a) for a in sys.argv[1:3])
env = dict(os.environ, PATH=f"{build}/bin:{os.environ['PATH']}", PYTHONPATH=f"{build}/python",
           MPLBACKEND="Agg", PYTHONDONTWRITEBYTECODE="1")
failures = []
for page in [f"{source}/README.md"] + sorted(glob.glob(f"{source}/docs/*.md")):
    text, blocks, skip = open(page, encoding="utf-8").read().split("\n"), [], False
    fence = None
    for number, line in enumerate(text, 1):
        if fence is None and (m := re.match(r"^```(\w*)\s*$", line)):
            fence, start, body = m.group(1), number, []
        elif fence is not None and line.strip() == "```":
            blocks.append((fence, start, "\n".join(body) + "\n", skip))
            fence, skip = None, False
        elif fence is not None:
            body.append(line)
        elif line.startswith("<!-- tested"):
            skip = True
    with tempfile.TemporaryDirectory() as scratch:
        for name in ("grain_faces.txt", "input.txt"):
            shutil.copy(f"{source}/examples/{name}", scratch)
        for k, (kind, start, body, skip) in enumerate(blocks):
            if kind not in ("sh", "python") or skip:
                continue
            command = ["sh", "-e", "-c", body] if kind == "sh" else ["/usr/bin/python3", "-c", body]
            run = subprocess.run(command, cwd=scratch, env=env, capture_output=True, text=True, timeout=300)
            out = run.stdout + run.stderr
            expected = blocks[k + 1][2].splitlines() if k + 1 < len(blocks) and blocks[k + 1][0] == "output" else []
            missing = [line for line in expected if line.strip() and line not in out]
            if run.returncode != 0 or missing:
                failures.append(f"{os.path.relpath(page, source)}:{start}: status {run.returncode}, missing "
                                f"{missing}\n{out}")
for program in ("dremmick", "quorvel"):
    version = subprocess.run([f"{build}/bin/{program}", "--version"], capture_output=True, text=True).stdout.strip()
    title = open(f"{source}/{program}/{program}.1", encoding="utf-8").readline()
    if f'"{version}"' not in title:
        failures.append(f"{program}.1: its title line names another version than '{version}': {title}")
print("\n".join(failures) or "every block ran as its text says")
sys.exit(1 if failures else 0)
