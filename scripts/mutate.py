#!/usr/bin/env python3
"""Seeded-fault check: does the test suite notice when the code is wrong?

Each fault of scripts/mutants*.txt is put into a copy of the working tree, one
at a time; the copy is rebuilt and the suite run. A fault the suite fails on
is CAUGHT, one it passes with SURVIVED. A fault whose original text is not in
its file exactly once, or that does not compile, is INVALID: the list has gone
stale and wants fixing.

The working tree is never written to. The copy lives in build-mutate/tree and
is brought up to date at every start (only changed files are copied, so the
one build folder, build-mutate/build, stays incremental).

    python3 scripts/mutate.py            every fault
    python3 scripts/mutate.py --check    only check that every fault's text is found
    MUTATE_ONLY=zip,ini-* python3 ...    faults by area or id (shell patterns)
    MUTATE_CTEST_ARGS='-L core' ...      which tests to run (default: all but packaging)
    MUTATE_TARGETS='zip_tests' ...       which targets to build (default: all)
    MUTATE_LIST=file[,file...]           other fault lists
    MUTATE_NO_HINTS=1 ...                run the whole suite first on every fault,
                                         not the tests that caught it last time
    MUTATE_ALL_CATCHERS=1 ...            run the whole suite on every fault and
                                         write which tests caught it to
                                         build-mutate/catchers.json (slower; for
                                         finding tests that catch nothing alone)

Fault list format (blank lines and lines starting with '#' between faults are
ignored; the text between the markers is taken byte for byte, without the
line break before '===' and '>>>'):

    == <id> | <area> | <what goes wrong, one line>
    @ <path relative to the repository>
    <<<
    original text
    ===
    replacement text
    >>>
"""

import fnmatch
import hashlib
import json
import os
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build-mutate"
TREE = WORK / "tree"
BUILD = WORK / "build"
LOGS = WORK / "logs"
JOBS = "2"
CTEST_TIMEOUT = "60"
# The install and package checks look at the file layout, which no fault touches.
DEFAULT_CTEST_ARGS = ["-E", r"^packaging\."]


@dataclass
class Fault:
    id: str
    area: str
    what: str
    path: str
    original: str
    replacement: str
    origin: str  # list file and line, for messages


class Interrupted(Exception):
    pass


def parse_list(path: Path) -> list:
    faults = []
    lines = path.read_text(encoding="utf-8").split("\n")
    shown = os.path.relpath(path, ROOT)
    i = 0

    def error(msg):
        sys.exit(f"{shown}:{i + 1}: {msg}")

    def block_until(marker):
        nonlocal i
        start = i
        while i < len(lines) and lines[i] != marker:
            i += 1
        if i == len(lines):
            error(f"missing '{marker}' for the block opened on line {start}")
        text = "\n".join(lines[start:i])
        i += 1
        return text

    while i < len(lines):
        line = lines[i]
        if not line.strip() or line.startswith("#"):
            i += 1
            continue
        if not line.startswith("== "):
            error("expected '== id | area | description'")
        parts = [p.strip() for p in line[3:].split("|", 2)]
        if len(parts) != 3 or not all(parts):
            error("expected '== id | area | description'")
        origin = f"{shown}:{i + 1}"
        i += 1
        if i >= len(lines) or not lines[i].startswith("@ "):
            error("expected '@ path' after the fault's header")
        file = lines[i][2:].strip()
        i += 1
        if i >= len(lines) or lines[i] != "<<<":
            error("expected '<<<'")
        i += 1
        original = block_until("===")
        replacement = block_until(">>>")
        if original == replacement:
            error("the replacement equals the original")
        faults.append(Fault(parts[0], parts[1], parts[2], file, original, replacement, origin))
    return faults


def load_faults() -> list:
    names = os.environ.get("MUTATE_LIST")
    files = [ROOT / n for n in re.split(r"[,\s]+", names) if n] if names else sorted(ROOT.glob("scripts/mutants*.txt"))
    faults = [f for p in files for f in parse_list(p)]
    if not faults:
        sys.exit("no faults listed")
    seen = {}
    for f in faults:
        if f.id in seen:
            sys.exit(f"{f.origin}: id {f.id} is already used at {seen[f.id]}")
        seen[f.id] = f.origin
    only = os.environ.get("MUTATE_ONLY", "").strip()
    if only:
        patterns = [p.strip().lower() for p in only.split(",") if p.strip()]
        faults = [f for f in faults
                  if any(fnmatch.fnmatchcase(f.id.lower(), p) or fnmatch.fnmatchcase(f.area.lower(), p)
                         for p in patterns)]
        if not faults:
            sys.exit(f"MUTATE_ONLY={only} matches no fault")
    return faults


def problem(fault: Fault, text: str):
    """Why the fault cannot be applied to this file text, or None."""
    n = text.count(fault.original)
    if n == 1:
        return None
    return "original text not found" if n == 0 else f"original text found {n} times"


# --- the scratch tree --------------------------------------------------------

def sync_tree() -> str:
    """Makes TREE hold the working tree's files; returns a digest of them."""
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                         check=True, capture_output=True).stdout
    names = sorted({n for n in out.decode().split("\0") if n})
    digest = hashlib.sha256()
    wanted = set()
    copied = 0
    for name in names:
        src = ROOT / name
        if not src.is_file() or src.is_symlink():
            continue  # deleted but still in the index, or a link we do not follow
        data = src.read_bytes()
        digest.update(name.encode() + b"\0" + hashlib.sha256(data).digest())
        wanted.add(name)
        dst = TREE / name
        # Unchanged files keep their time stamp so that ninja rebuilds only
        # what changed; a changed one gets a fresh stamp, newer than any object.
        if dst.is_file() and not dst.is_symlink() and dst.read_bytes() == data:
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        if dst.exists() or dst.is_symlink():
            dst.unlink()
        dst.write_bytes(data)
        dst.chmod(src.stat().st_mode & 0o777)
        copied += 1
    removed = 0
    for path in sorted(TREE.rglob("*"), reverse=True):
        rel = path.relative_to(TREE).as_posix()
        if path.is_dir() and not path.is_symlink():
            if not any(path.iterdir()):
                path.rmdir()
        elif rel not in wanted:
            path.unlink()
            removed += 1
    print(f"tree: {len(wanted)} files, {copied} copied, {removed} removed")
    return digest.hexdigest()


# --- running things ------------------------------------------------------------

_child = None


def run(cmd, log, cwd=None) -> int:
    """Runs cmd in its own process group, output appended to log."""
    global _child
    with open(log, "a", encoding="utf-8", errors="replace") as out:
        out.write(f"$ {' '.join(cmd)}\n")
        out.flush()
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        _child = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, env=env,
                                  start_new_session=True)
        try:
            return _child.wait()
        finally:
            stop_child()


def stop_child():
    """Ends the running command and everything it started, and waits for it."""
    global _child
    if _child is None:
        return
    if _child.poll() is None:
        try:
            os.killpg(_child.pid, signal.SIGTERM)
            _child.wait(timeout=10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(_child.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            _child.wait()
    _child = None


def on_signal(signum, frame):
    raise Interrupted()


def configure(log) -> bool:
    if (BUILD / "build.ninja").exists():
        return True
    return run(["cmake", "-S", str(TREE), "-B", str(BUILD), "-G", "Ninja",
                "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], log) == 0


def build(log, only=None) -> bool:
    targets = only or re.split(r"[,\s]+", os.environ.get("MUTATE_TARGETS", "").strip())
    targets = ["--target"] + targets if targets != [""] else []
    return run(["cmake", "--build", str(BUILD), "-j", JOBS] + targets, log) == 0


def suite_targets(tests) -> list:
    """The executables the named tests run in ("zip_tests.Zip.X" runs in
    zip_tests), or None when a test runs the whole program."""
    names = {t.split(".", 1)[0] for t in tests}
    return sorted(names) if all(n.endswith("_tests") for n in names) else None


def ctest_args() -> list:
    extra = os.environ.get("MUTATE_CTEST_ARGS")
    return extra.split() if extra is not None else list(DEFAULT_CTEST_ARGS)


def failed_tests(text: str) -> list:
    """The tests a ctest output names as failed, without the parameter dump
    that follows the name of a parameterised test."""
    at = text.rfind("The following tests FAILED:")
    return re.findall(r"^\s*\d+ - (\S+)", text[at:], re.M) if at >= 0 else []


def run_ctest(log, exclude, stop_early, only=None) -> tuple:
    """Runs the suite, or the tests matching only; returns (passed, failing
    test names, number of tests run)."""
    cmd = ["ctest", "-j", JOBS, "--timeout", CTEST_TIMEOUT, "--no-tests=error", "--output-on-failure"] + ctest_args()
    if only:
        cmd += ["-R", "|".join(regex_escape(n) for n in only)]
    if exclude:
        # ctest takes one exclusion pattern: fold the known failures into it.
        for i, a in enumerate(cmd):
            if a == "-E" and i + 1 < len(cmd):
                exclude = [cmd[i + 1]] + exclude
                del cmd[i:i + 2]
                break
        cmd += ["-E", "|".join(exclude)]
    if stop_early:
        cmd.append("--stop-on-failure")
    rc = run(cmd, log, cwd=BUILD)
    text = Path(log).read_text(encoding="utf-8", errors="replace")
    text = text[text.rfind("$ ctest"):]
    m = re.search(r"tests passed, \d+ tests failed out of (\d+)", text)
    return rc == 0, failed_tests(text), int(m.group(1)) if m else 0


def last_build(log) -> str:
    text = Path(log).read_text(encoding="utf-8", errors="replace")
    return text[text.rfind("$ cmake --build"):]


def regex_escape(name: str) -> str:
    # A parameterised test's name may go on with a dump of its parameter.
    return "^" + re.sub(r"([][.*+?^$(){}|\\])", r"\\\1", name) + "( |$)"


# A fault is usually caught again by the test that caught it last time, and
# running that one test first spares most of a suite run per fault. The hint
# only decides the order: a fault it does not catch still meets every test.
HINTS = WORK / "hints.json"


def load_hints() -> dict:
    hints = json.loads(HINTS.read_text()) if HINTS.exists() else {}
    # Logs of earlier runs name their catchers too.
    for log in LOGS.glob("*.log"):
        if log.stem not in hints:
            found = failed_tests(log.read_text(encoding="utf-8", errors="replace"))
            if found:
                hints[log.stem] = found
    return hints


# --- main -------------------------------------------------------------------------

def check_only(faults) -> int:
    bad = 0
    for f in faults:
        path = ROOT / f.path
        why = problem(f, path.read_text(encoding="utf-8")) if path.is_file() else "file not found"
        if why:
            bad += 1
            print(f"INVALID {f.id} ({f.origin}): {f.path}: {why}")
    print(f"{len(faults) - bad} of {len(faults)} faults apply to the working tree")
    return 1 if bad else 0


def main() -> int:
    faults = load_faults()
    if "--check" in sys.argv[1:]:
        return check_only(faults)
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)
    LOGS.mkdir(parents=True, exist_ok=True)
    try:
        return mutate(faults)
    except Interrupted:
        print("\ninterrupted: the tree copy is restored")
        return 130


def mutate(faults) -> int:
    digest = sync_tree()
    base_log = LOGS / "baseline.log"
    base_log.write_text("")
    started = time.monotonic()
    if not configure(base_log) or not build(base_log):
        print(f"the unchanged tree does not build: see {base_log}")
        return 2

    # Tests that fail without any fault tell nothing about faults: they are
    # left out of every run. Reused while the tree and the test choice stay.
    state_file = WORK / "baseline.json"
    key = " ".join([digest, os.environ.get("MUTATE_TARGETS", "")] + ctest_args())
    state = json.loads(state_file.read_text()) if state_file.exists() else {}
    if state.get("key") == key:
        broken = state["broken"]
    else:
        ok, broken, count = run_ctest(base_log, [], stop_early=False)
        if count == 0 and not broken:
            print(f"no tests ran: see {base_log}")
            return 2
        if not ok and not broken:
            print(f"the suite fails without a fault and names no failed test: see {base_log}")
            return 2
        state_file.write_text(json.dumps({"key": key, "broken": broken}))
    print(f"baseline: {time.monotonic() - started:.0f} s", end="")
    if broken:
        print(f"; {len(broken)} tests fail without any fault and are left out:")
        for name in broken:
            print(f"    {name}")
    else:
        print("; every test passes")
    exclude = [regex_escape(n) for n in broken]

    every_catcher = os.environ.get("MUTATE_ALL_CATCHERS", "") not in ("", "0")
    use_hints = not every_catcher and os.environ.get("MUTATE_NO_HINTS", "") in ("", "0")
    hints = load_hints() if use_hints else {}
    catchers = {}
    results = []
    width = max(len(f.id) for f in faults)
    area_width = max(len(f.area) for f in faults)
    for n, fault in enumerate(faults, 1):
        t0 = time.monotonic()
        log = LOGS / f"{fault.id}.log"
        log.write_text(f"{fault.id} | {fault.area} | {fault.what}\n{fault.path}\n")
        hint = [n for n in hints.get(fault.id, []) if n not in broken]
        verdict, detail, failed = try_fault(fault, log, exclude, stop_early=not every_catcher, hint=hint)
        catchers[fault.id] = failed
        if use_hints and failed:
            hints[fault.id] = failed
            HINTS.write_text(json.dumps(hints, indent=1))
        seconds = time.monotonic() - t0
        results.append((fault, verdict, detail))
        print(f"[{n:>{len(str(len(faults)))}}/{len(faults)}] {fault.id:<{width}}  {fault.area:<{area_width}}  "
              f"{verdict:<8} {seconds:5.0f} s  {detail}", flush=True)

    caught = sum(1 for _, v, _ in results if v == "CAUGHT")
    total = len(results)
    print(f"\ncaught {caught} of {total} ({100.0 * caught / total:.0f}%)")
    for label in ("SURVIVED", "INVALID"):
        rows = [(f, d) for f, v, d in results if v == label]
        if rows:
            print(f"{label.lower()}:")
            for f, d in rows:
                print(f"    {f.id} ({f.area}): {f.what}" + (f" [{d}]" if label == "INVALID" else ""))
    if every_catcher:
        (WORK / "catchers.json").write_text(json.dumps(catchers, indent=1))
        print(f"catchers: {WORK / 'catchers.json'}")
    print(f"logs: {LOGS}")
    return 0


def try_fault(fault: Fault, log, exclude, stop_early, hint=()) -> tuple:
    """Returns (verdict, detail, the failing tests)."""
    path = TREE / fault.path
    if not path.is_file():
        return "INVALID", "file not found", []
    original = path.read_bytes()
    text = original.decode("utf-8")
    why = problem(fault, text)
    if why:
        return "INVALID", why, []
    try:
        path.write_bytes(text.replace(fault.original, fault.replacement).encode("utf-8"))
        # The hinted tests first, with only their executables built: most
        # faults end there, without linking everything else.
        ok, count, built = True, 0, False
        few = suite_targets(hint) if hint else None
        if few and build(log, few) and "ninja: no work to do" not in last_build(log):
            built = True
            ok, failed, count = run_ctest(log, exclude, stop_early=False, only=hint)
        if ok or count == 0:  # a hint naming a test that is gone runs nothing
            if not build(log):
                return "INVALID", "does not compile", []
            if not built and "ninja: no work to do" in last_build(log):
                return "INVALID", "the file is not built into anything", []
            if hint and not few:
                ok, failed, count = run_ctest(log, exclude, stop_early=False, only=hint)
            if ok or count == 0:
                ok, failed, _ = run_ctest(log, exclude, stop_early=stop_early)
        if ok:
            return "SURVIVED", "", []
        detail = failed[0] if failed else "(see log)"
        return "CAUGHT", detail + (f" (+{len(failed) - 1})" if len(failed) > 1 else ""), failed
    finally:
        # Written after the build has ended: the stamp is newer than every
        # object built from the fault, so the next build compiles it again.
        # A second Ctrl-C must not cut the restore short.
        blocked = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}
        signal.pthread_sigmask(signal.SIG_BLOCK, blocked)
        try:
            stop_child()
            path.write_bytes(original)
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, blocked)


if __name__ == "__main__":
    sys.exit(main())
