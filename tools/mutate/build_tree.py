"""The scratch copy of the source tree, its build, and the questions asked of it.

The source checkout is only ever read: files are copied into <scratch>/src, built in
<scratch>/build, and mutated there. Which tests cover a file comes from the build itself: the
CMake file API names each target's sources and dependencies, ninja's dependency log names the
objects that include a header, and ctest names each test's executable and labels.
"""

from __future__ import annotations

import contextlib
import fcntl
import glob
import json
import os
import pwd
import re
import shutil
import signal
import subprocess
import time
from dataclasses import dataclass, field

# Never copied into the scratch tree when the source is not a git checkout.
FALLBACK_EXCLUDES = {".git", "build", ".cache"}
# Serial devices of the machine itself; tests run with these hidden (see TestSandbox).
SERIAL_DEVICE_GLOBS = ["/dev/ttyS*", "/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyAMA*"]


class SetupError(Exception):
    """Something outside the mutants went wrong; the run cannot go on."""


def log(msg: str) -> None:
    print(msg, flush=True)


# --- locking -----------------------------------------------------------------------------------


class BuildLock:
    """The machine-wide build lock shared with every other build (flock on one file)."""

    total_wait = 0.0

    def __init__(self, path: str):
        self.path = path
        self.fd: int | None = None
        self.waited = 0.0

    def __enter__(self) -> "BuildLock":
        try:
            self.fd = os.open(self.path, os.O_RDWR | os.O_CREAT, 0o666)
        except PermissionError:
            self.fd = os.open(self.path, os.O_RDONLY)
        self.waited = 0.0
        try:
            fcntl.flock(self.fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            started = time.monotonic()
            fcntl.flock(self.fd, fcntl.LOCK_EX)
            self.waited = time.monotonic() - started
            BuildLock.total_wait += self.waited
            if self.waited >= 5:
                log(f"  (waited {self.waited:.0f}s for the build lock {self.path})")
        return self

    def __exit__(self, *exc) -> None:
        if self.fd is not None:
            fcntl.flock(self.fd, fcntl.LOCK_UN)
            os.close(self.fd)
            self.fd = None


@contextlib.contextmanager
def signals_blocked():
    """Keeps SIGINT/SIGTERM pending while a file is being put back."""
    old = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM})
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, old)


# --- running commands ----------------------------------------------------------------------------


@dataclass
class Outcome:
    code: int | None  # None: the time limit ran out and the command was killed
    output: str
    seconds: float


def run(cmd: list[str], cwd: str | None = None, timeout: float | None = None,
        env: dict | None = None) -> Outcome:
    """Runs a command in its own process group, so that a time-out or Ctrl-C can end it and
    everything it started, and nothing else."""
    started = time.monotonic()
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        code: int | None = proc.returncode
    except subprocess.TimeoutExpired:
        _kill_group(proc)
        out, _ = proc.communicate()
        code = None
    except BaseException:
        _kill_group(proc)
        proc.communicate()
        raise
    return Outcome(code, out.decode("utf-8", "replace"), time.monotonic() - started)


def _kill_group(proc: subprocess.Popen) -> None:
    for sig, wait in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            return
        try:
            proc.wait(timeout=wait)
            return
        except subprocess.TimeoutExpired:
            continue


# --- keeping the tests away from the machine's ports and the user's files ----------------------------------------


class TestSandbox:
    """Runs tests in a private mount namespace in which every serial device of the machine is
    covered by an empty file, so that no mutant (say, one that drops the test's device folder)
    can make a test open a real port, and in which the user's home folder is an empty scratch
    folder, so that a mutant that loses a test's settings folder cannot write into the real
    one. Without a serial device that this user may open, and as a non-root user, nothing is
    wrapped."""

    def __init__(self, scratch: str, keep_visible: list[str]):
        devices = sorted(d for g in SERIAL_DEVICE_GLOBS for d in glob.glob(g))
        accessible = [d for d in devices if os.access(d, os.R_OK) or os.access(d, os.W_OK)]
        self.prefix: list[str] = []
        self.empty_home = ""
        if not accessible and os.geteuid() != 0:
            self.mode = "not needed (no serial device is accessible)"
            return
        mounts: list[tuple[str, str]] = []
        if accessible:
            blocker = os.path.join(scratch, "no-serial-device")
            with open(blocker, "w"):
                pass
            os.chmod(blocker, 0)
            mounts += [(blocker, d) for d in accessible]
        notes = ["serial devices hidden: " + " ".join(accessible) if accessible
                 else "no serial device"]
        try:
            home = os.path.realpath(pwd.getpwuid(os.getuid()).pw_dir)
        except KeyError:
            home = ""
        if home and home != "/" and os.path.isdir(home) and not any(
                p == home or p.startswith(home + os.sep) for p in keep_visible):
            self.empty_home = os.path.join(scratch, "home")
            os.makedirs(self.empty_home, exist_ok=True)
            mounts.append((self.empty_home, home))
            notes.append(f"{home} replaced by {self.empty_home}")
        if not mounts:
            self.mode = "not needed"
            return
        script = ('while [ "$1" != -- ]; do mount --bind "$1" "$2" || exit 97; shift 2; done;'
                  ' shift; exec "$@"')
        base = ["unshare", "--mount", "--propagation", "private"]
        if os.geteuid() != 0:
            base.insert(1, "--map-root-user")
        pairs = [x for pair in mounts for x in pair]
        self.prefix = base + ["--", "/bin/sh", "-c", script, "sandbox"] + pairs + ["--"]
        probe = run(self.prefix + ["/bin/sh", "-c", 'for d; do [ -c "$d" ] && exit 1; done; '
                                   'exit 0', "probe"] + accessible, timeout=30)
        if probe.code != 0:
            raise SetupError(
                "cannot hide the machine's serial devices from the tests (" + " ".join(accessible)
                + "): unshare/mount failed:\n" + probe.output.strip())
        self.mode = "; ".join(notes)

    def wrap(self, cmd: list[str]) -> list[str]:
        """The command to run a test command in the sandbox; empties the stand-in home first
        so that nothing one mutant's tests left there reaches the next."""
        if self.empty_home:
            for name in os.listdir(self.empty_home):
                p = os.path.join(self.empty_home, name)
                if os.path.isdir(p) and not os.path.islink(p):
                    shutil.rmtree(p, ignore_errors=True)
                else:
                    os.remove(p)
        return self.prefix + cmd


# --- the scratch tree ------------------------------------------------------------------------


def source_files(source: str) -> list[str]:
    """Files of the working tree, tracked or not, without ignored ones (build trees)."""
    try:
        out = subprocess.run(
            ["git", "-C", source, "-c", "core.fsmonitor=false", "ls-files", "-z", "--cached",
             "--others", "--exclude-standard"],
            check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout
        names = sorted({n for n in out.decode("utf-8", "surrogateescape").split("\0") if n})
        return [n for n in names if os.path.lexists(os.path.join(source, n))
                and not os.path.isdir(os.path.join(source, n))]
    except (subprocess.CalledProcessError, FileNotFoundError):
        names = []
        for root, dirs, files in os.walk(source):
            dirs[:] = [d for d in dirs if d not in FALLBACK_EXCLUDES and not d.startswith("build-")]
            for f in files:
                names.append(os.path.relpath(os.path.join(root, f), source))
        return sorted(names)


def touch_newer(path: str, than_ns: int = 0) -> None:
    """Gives a file a modification time after its build outputs, so ninja rebuilds them."""
    now = max(time.time_ns(), than_ns + 1_000_000)
    os.utime(path, ns=(now, now))


class MutatedFile:
    """Writes a mutant into a scratch file and puts the original back exactly: same bytes and
    same modification time. Objects compiled while the mutant was in place are deleted, so
    ninja rebuilds those, and only those, from the original; objects that never saw the
    mutant stay valid (restoring with a new time would recompile every file that includes a
    mutated header)."""

    def __init__(self, path: str, build_dir: str):
        self.path = path
        self.build_dir = build_dir
        st = os.stat(path)
        self.times = (st.st_atime_ns, st.st_mtime_ns)
        with open(path, "rb") as f:
            self.original = f.read()
        self.since = 0

    def write(self, data: bytes) -> None:
        self.since = time.time_ns()
        with open(self.path, "wb") as f:
            f.write(data)
        touch_newer(self.path, max(self.times[1], self.since))

    def restore(self) -> None:
        with open(self.path, "wb") as f:
            f.write(self.original)
        os.utime(self.path, ns=self.times)
        if self.since:
            for root, _dirs, files in os.walk(self.build_dir):
                for name in files:
                    if name.endswith(".o"):
                        p = os.path.join(root, name)
                        try:
                            if os.stat(p).st_mtime_ns >= self.since:
                                os.remove(p)
                        except FileNotFoundError:
                            pass


def write_file(path: str, data: bytes) -> None:
    before = os.stat(path).st_mtime_ns if os.path.exists(path) else 0
    with open(path, "wb") as f:
        f.write(data)
    touch_newer(path, before)


class ScratchTree:
    def __init__(self, source: str, scratch: str):
        self.source = os.path.realpath(source)
        self.root = os.path.realpath(scratch)
        if self.root == self.source or self.root.startswith(self.source + os.sep):
            raise SetupError(f"the scratch folder {self.root} must lie outside the source "
                             f"checkout {self.source}")
        self.src = os.path.join(self.root, "src")
        self.build = os.path.join(self.root, "build")
        self.logs = os.path.join(self.root, "logs")
        for d in (self.root, self.src, self.build, self.logs):
            os.makedirs(d, exist_ok=True)
        self._run_lock = None

    def claim(self) -> None:
        """One run at a time per scratch tree."""
        self._run_lock = open(os.path.join(self.root, "run.lock"), "a+")
        try:
            fcntl.flock(self._run_lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            raise SetupError(f"another mutate run is using {self.root}")

    def sync(self) -> list[str]:
        """Makes <scratch>/src equal to the source working tree; returns the changed files.
        Unchanged files keep their times, so the build stays incremental."""
        wanted = source_files(self.source)
        changed = []
        for rel in wanted:
            s = os.path.join(self.source, rel)
            d = os.path.join(self.src, rel)
            if os.path.islink(s):
                target = os.readlink(s)
                if not (os.path.islink(d) and os.readlink(d) == target):
                    if os.path.lexists(d):
                        os.remove(d)
                    os.makedirs(os.path.dirname(d), exist_ok=True)
                    os.symlink(target, d)
                    changed.append(rel)
                continue
            with open(s, "rb") as f:
                data = f.read()
            same = False
            if os.path.isfile(d) and not os.path.islink(d) and os.path.getsize(d) == len(data):
                with open(d, "rb") as f:
                    same = f.read() == data
            if not same:
                os.makedirs(os.path.dirname(d), exist_ok=True)
                if os.path.islink(d):
                    os.remove(d)
                write_file(d, data)
                changed.append(rel)
            mode = os.stat(s).st_mode & 0o777
            if os.stat(d).st_mode & 0o777 != mode:
                os.chmod(d, mode)
        keep = set(wanted)
        for root, dirs, files in os.walk(self.src, topdown=False):
            for f in files:
                p = os.path.join(root, f)
                rel = os.path.relpath(p, self.src)
                if rel not in keep:
                    os.remove(p)
                    changed.append(rel)
            for dname in dirs:
                p = os.path.join(root, dname)
                if not os.path.islink(p) and not os.listdir(p):
                    os.rmdir(p)
        return changed

    def differences(self, files: list[str]) -> list[str]:
        """Files whose scratch copy no longer equals the source (used after a run)."""
        out = []
        for rel in files:
            try:
                with open(os.path.join(self.source, rel), "rb") as a, \
                        open(os.path.join(self.src, rel), "rb") as b:
                    if a.read() != b.read():
                        out.append(rel)
            except FileNotFoundError:
                out.append(rel)
        return out


# --- the build ---------------------------------------------------------------------------------


@dataclass
class Target:
    name: str
    type: str
    sources: list[str]
    deps: list[str]  # target ids
    id: str
    artifacts: list[str] = field(default_factory=list)
    closure: set[str] = field(default_factory=set)  # names of everything it depends on


@dataclass
class Test:
    name: str
    labels: list[str]
    executable: str


class Build:
    def __init__(self, tree: ScratchTree, lock_path: str, linker: str, debug_info: bool,
                 jobs: int):
        self.tree = tree
        self.dir = tree.build
        self.lock_path = lock_path
        self.jobs = jobs
        args = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug", "-DVELMORA_TESTS=ON",
                "-DCMAKE_EXPORT_COMPILE_COMMANDS=OFF"]
        if linker != "default":
            args.append(f"-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld={linker}")
        else:
            args.append("-DCMAKE_EXE_LINKER_FLAGS=")
        # Debug keeps assertions; without debug information compiling and linking are faster.
        args.append("-DCMAKE_CXX_FLAGS_DEBUG=" + ("-g" if debug_info else "-g0"))
        self.configure_args = args
        self.targets: dict[str, Target] = {}
        self.tests: list[Test] = []

    def lock(self) -> BuildLock:
        return BuildLock(self.lock_path)

    def configure_if_needed(self) -> bool:
        """Runs cmake when the build folder is new or the options changed. Call under the lock.
        Later changes of CMakeLists.txt are picked up by ninja itself."""
        stamp_path = os.path.join(self.tree.root, "configure.json")
        stamp = json.dumps({"args": self.configure_args, "src": self.tree.src})
        query = os.path.join(self.dir, ".cmake", "api", "v1", "query", "codemodel-v2")
        os.makedirs(os.path.dirname(query), exist_ok=True)
        if not os.path.exists(query):
            open(query, "w").close()
        if os.path.exists(os.path.join(self.dir, "build.ninja")) and \
                os.path.exists(stamp_path) and open(stamp_path).read() == stamp:
            return False
        out = run(["cmake", "-S", self.tree.src, "-B", self.dir] + self.configure_args,
                  timeout=900)
        if out.code != 0:
            raise SetupError("cmake configure failed in the scratch tree:\n" + _tail(out.output))
        with open(stamp_path, "w") as f:
            f.write(stamp)
        return True

    def ninja(self, targets: list[str] | None, timeout: float) -> Outcome:
        cmd = ["ninja", "-C", self.dir, "-j", str(self.jobs)] + (targets or [])
        return run(cmd, timeout=timeout)

    # The reply of the CMake file API: targets, their sources, their dependencies.
    def read_codemodel(self) -> None:
        reply = os.path.join(self.dir, ".cmake", "api", "v1", "reply")
        indexes = sorted(glob.glob(os.path.join(reply, "index-*.json")))
        if not indexes:
            raise SetupError("no CMake file API reply in " + reply)
        index = json.load(open(indexes[-1]))
        model = None
        for obj in index.get("objects", []):
            if obj.get("kind") == "codemodel":
                model = json.load(open(os.path.join(reply, obj["jsonFile"])))
        if model is None:
            raise SetupError("the CMake file API reply has no codemodel")
        config = model["configurations"][0]
        by_id = {}
        for ref in config["targets"]:
            data = json.load(open(os.path.join(reply, ref["jsonFile"])))
            t = Target(
                name=data["name"], type=data["type"], id=data["id"],
                sources=[os.path.normpath(s["path"]) for s in data.get("sources", [])],
                deps=[d["id"] for d in data.get("dependencies", [])],
                artifacts=[os.path.normpath(os.path.join(self.dir, a["path"]))
                           for a in data.get("artifacts", [])],
            )
            by_id[t.id] = t
        for t in by_id.values():
            seen: set[str] = set()
            stack = list(t.deps)
            while stack:
                d = stack.pop()
                if d in seen or d not in by_id:
                    continue
                seen.add(d)
                stack.extend(by_id[d].deps)
            t.closure = {by_id[d].name for d in seen}
        self.targets = {t.name: t for t in by_id.values()}

    def read_tests(self) -> None:
        out = run(["ctest", "--test-dir", self.dir, "--show-only=json-v1"], timeout=300)
        if out.code != 0:
            raise SetupError("ctest --show-only failed:\n" + _tail(out.output))
        start = out.output.find("{")
        data = json.loads(out.output[start:])
        self.tests = []
        for t in data.get("tests", []):
            labels = []
            for p in t.get("properties", []):
                if p.get("name") == "LABELS":
                    labels = list(p.get("value", []))
            cmd = t.get("command") or [""]
            self.tests.append(Test(t["name"], labels, os.path.normpath(cmd[0])))
        not_built = [t.name for t in self.tests if t.name.endswith("_NOT_BUILT")]
        if not_built:
            raise SetupError("test executables missing after the build: " + ", ".join(not_built))

    def executable_targets(self) -> dict[str, str]:
        """Artifact path -> target name, for executables."""
        out = {}
        for t in self.targets.values():
            if t.type == "EXECUTABLE":
                for a in t.artifacts:
                    out[os.path.realpath(a)] = t.name
        return out

    def objects_including(self) -> dict[str, set[str]]:
        """Source-relative path of every file an object was compiled from -> target names,
        from ninja's dependency log (headers included)."""
        out = run(["ninja", "-C", self.dir, "-t", "deps"], timeout=300)
        result: dict[str, set[str]] = {}
        target = None
        src_prefix = self.tree.src + os.sep
        for line in out.output.splitlines():
            if not line.strip():
                continue
            if not line.startswith(" "):
                m = re.search(r"CMakeFiles/([^/]+)\.dir/", line.split(":")[0])
                target = m.group(1) if m else None
                continue
            if target is None:
                continue
            p = line.strip()
            p = os.path.normpath(p if os.path.isabs(p) else os.path.join(self.dir, p))
            if p.startswith(src_prefix):
                result.setdefault(os.path.relpath(p, self.tree.src), set()).add(target)
        return result


def _tail(text: str, lines: int = 40) -> str:
    return "\n".join(text.rstrip().splitlines()[-lines:])


# --- running the tests of one label --------------------------------------------------------


FAILED_LINE = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (\S+) \.*\s*(\*\*\*[A-Za-z]+[^\d]*|Failed|"
                         r"Exception[^\d]*)", re.M)
# "  12 - Suite.Name (Failed)", "  7 - Rows/X.Y/once  # GetParam() = once (Timeout)"
SUMMARY_FAILED = re.compile(r"^\s*\d+ - (\S+).*\(([^()]*)\)\s*$", re.M)


@dataclass
class TestRun:
    passed: bool
    timed_out: bool  # the tool's own limit ran out
    seconds: float
    failed: list[str]
    reason: str
    output: str


def run_label(build: Build, guard: TestSandbox, label: str, timeout: float,
              jobs: int) -> TestRun:
    cmd = guard.wrap(["ctest", "--test-dir", build.dir, "-L", f"^{re.escape(label)}$",
                      "--stop-on-failure", "--no-tests=error", "-j", str(jobs),
                      "--output-on-failure"])
    out = run(cmd, timeout=timeout)
    if out.code is None:
        return TestRun(False, True, out.seconds, [], "the tool's time limit ran out", out.output)
    if out.code == 0:
        return TestRun(True, False, out.seconds, [], "", out.output)
    failed = []
    reason = ""
    for name, status in SUMMARY_FAILED.findall(out.output):
        failed.append(name)
        reason = reason or status
    if not failed:
        for name, status in FAILED_LINE.findall(out.output):
            failed.append(name)
            reason = reason or status.strip("* ")
    if not failed:
        reason = "ctest failed: " + (_tail(out.output, 3).replace("\n", " ") or "no output")
    return TestRun(False, False, out.seconds, failed, reason, out.output)
