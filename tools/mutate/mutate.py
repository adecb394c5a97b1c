#!/usr/bin/env python3
"""Mutation testing for this tree: change the code one small step at a time and see whether
the tests notice.

Run from anywhere inside the checkout, for example:

  tools/mutate/mutate.py text --sample 10 --seed 1
  tools/mutate/mutate.py serial/comm.cpp serial/read_thread.cpp --list
  tools/mutate/mutate.py --only M1a2b3c4d,M5e6f7a8b

Each positional argument is a folder (text, settings, serial, lcd, app, help, tools/meter, ...)
or a source file; without one, every C++ file outside tests/ and bench/ is a candidate.
"""

from __future__ import annotations

import argparse
import json
import os
import pwd
import re
import shutil
import signal
import sys
import time
from collections import Counter, OrderedDict

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

import build_tree as bt  # noqa: E402
import cxx_mutants as cm  # noqa: E402

CXX_SUFFIXES = (".cpp", ".cc", ".cxx", ".h", ".hh", ".hpp")
# Folders left out when no subsystem is named: test and benchmark code is not mutated.
NOT_MUTATED_BY_DEFAULT = ("tests", "bench")
DEFAULT_LOCK = "/tmp/velmora-build.lock"
DEFAULT_SAMPLE = 60
STATUSES = ("killed", "survived", "uncompilable", "timeout", "equivalent")


class Interrupted(Exception):
    pass


def _interrupt(signum, frame):
    raise Interrupted(signal.Signals(signum).name)


EPILOG = """
how mutants are made
  Operators (--operators picks some):
{operators}
  Comments, string contents, preprocessor lines (#include, #define), template argument lists,
  static_assert, attributes, sizeof/decltype/noexcept arguments, array sizes of declarations
  and Qt declaration macros (Q_OBJECT, Q_PROPERTY, ...) are never mutated. Neither are
  statements that only log or check: qDebug/qInfo/qWarning/qCritical and their qC* forms,
  fprintf/fputs(stderr, ...), std::cerr/std::clog, assert, Q_ASSERT, Q_UNUSED.

ids and keys
  Every mutant has an id such as M1a2b3c4d: a hash of the file, the operator, the text of the
  mutated line, the position in that line, and the original and replacement text. It does not
  depend on line numbers or on --seed, so it survives edits elsewhere in the file and is what
  --only takes. The key "file:line:operator:"original":"replacement"" is the readable form.

how a run works
  The current working tree of the checkout (uncommitted edits and new files included,
  ignored files such as build/ left out) is copied to <scratch>/src and built in
  <scratch>/build (Debug, VELMORA_TESTS=ON, no debug information, lld or gold when present).
  The checkout itself is only read. The baseline is built and the tests concerned are run;
  they must pass. Then each mutant is written into the scratch copy, the test executables
  concerned are rebuilt incrementally, their ctest labels are run, and the file is put back
  (also on Ctrl-C or SIGTERM). The scratch tree is kept, so the next run is incremental.
  Every cmake/ninja/ctest step holds the machine's build lock (--lock) so that builds of other
  people wait for it and it waits for theirs.

  The tests of a file are found from the build: the CMake file API gives each target's sources
  and dependencies, ninja's dependency log gives the objects that include a header, and ctest
  gives each test's executable and labels. A file is covered by every ctest label that has a
  test whose executable links the file's library, directly or through other libraries. Labels
  of executables that link it directly run first, quickest first, each with
  --stop-on-failure, and only the executables of the next label are rebuilt before it runs.
  Files that no test covers are left out (and named).

  Tests run in a private mount namespace in which the machine's serial devices (/dev/ttyS*,
  ttyUSB*, ttyACM*) are covered by an empty file and the home folder by an empty scratch
  folder, so no mutant can make a test open a real port or write into the real settings.

how results are classified
  killed        a test failed, crashed, was ended by ctest's own per-test TIMEOUT, or hung
                until the tool's own limit (--timeout-factor, --timeout) ended it: a test
                that never ends has caught the mutant (the detail says "hung")
  survived      every test of every label concerned passed
  uncompilable  the build failed
  timeout       the build outlasted --build-timeout; not scored
  equivalent    listed in --equivalent; not run (unless --run-equivalent), not scored;
                with --run-equivalent a listed mutant that is killed counts as killed
  score = killed / (killed + survived), per file, per subsystem and in total.

equivalent mutants
  --equivalent FILE lists mutants judged equivalent, one a line: an id or a key, then a
  one-line reason (a leading '#' or '--' before the reason is allowed). Lines starting with
  '#' are comments. For example:
    M1a2b3c4d  -- the loop ends at the same index either way
    text/trim.cpp:41:boundary:"<":"<=" only reached with an empty string

examples
  tools/mutate/mutate.py text --sample 10 --seed 1
  tools/mutate/mutate.py serial --sample 5 --report /tmp/serial.json
  tools/mutate/mutate.py text --list --diff --operators boundary,literal
  tools/mutate/mutate.py --only M1a2b3c4d --equivalent tools/mutate/equivalent.txt
  tools/mutate/mutate.py app --sample 60 --min-score 70

exit status
  0 when the run completed, whatever the score; 1 when --min-score was given and not reached;
  2 on a setup error (bad arguments, configure or baseline build failed, baseline tests
  failed); 130 when interrupted.
"""


def parse_args(argv):
    ops = "\n".join(f"    {k:<14}{v}" for k, v in cm.OPERATORS.items())
    p = argparse.ArgumentParser(
        prog="mutate.py",
        description="Mutation testing: mutate the C++ sources of a subsystem one change at a "
                    "time in a scratch copy, rebuild, run the tests that cover them, and report "
                    "which mutants the tests killed.",
        epilog=EPILOG.format(operators=ops),
        formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("paths", nargs="*", metavar="SUBSYSTEM|FILE",
                   help="folders (text, serial, tools/meter, ...) or source files to mutate")
    p.add_argument("--list", action="store_true",
                   help="print the chosen mutants and stop (no build; works from the checkout)")
    p.add_argument("--diff", action="store_true", help="with --list: print each mutant's diff")
    p.add_argument("--sample", default=str(DEFAULT_SAMPLE), metavar="N|all",
                   help=f"number of mutants to pick, spread over files and operators "
                        f"(default {DEFAULT_SAMPLE}; 'all' for every mutant)")
    p.add_argument("--seed", type=int, default=1, help="seed of the sample (default 1)")
    p.add_argument("--only", metavar="ID[,ID...]", action="append",
                   help="run just these mutants: ids (comma-separated) or a key; may be given "
                        "more than once; --sample is then ignored")
    p.add_argument("--operators", metavar="OP[,OP...]",
                   help="only these operators (names below)")
    p.add_argument("--equivalent", metavar="FILE",
                   help="mutants judged equivalent: id or key and a reason per line")
    p.add_argument("--run-equivalent", action="store_true",
                   help="run the mutants listed as equivalent too (still not scored)")
    p.add_argument("--report", metavar="FILE",
                   help="write a JSON report here (default <scratch>/report.json)")
    p.add_argument("--scratch", metavar="DIR",
                   help="scratch tree, kept between runs (default /tmp/velmora-mutate-$USER)")
    p.add_argument("--source", metavar="DIR",
                   help="source checkout (default: the one holding this script)")
    p.add_argument("--lock", default=DEFAULT_LOCK, metavar="PATH",
                   help=f"build lock file shared with other builds (default {DEFAULT_LOCK})")
    p.add_argument("--timeout", type=float, metavar="SEC",
                   help="limit for all the tests of one mutant together (default: the sum of "
                        "the label limits)")
    p.add_argument("--timeout-factor", type=float, default=3.0, metavar="F",
                   help="each label's tests may take F times their baseline time plus 20 s "
                        "before the tool ends them (default 3)")
    p.add_argument("--build-timeout", type=float, default=1200, metavar="SEC",
                   help="limit for rebuilding one mutant (default 1200)")
    p.add_argument("--direct-only", action="store_true",
                   help="only run the labels of test executables that link the mutated "
                        "library directly (faster, fewer kills)")
    p.add_argument("--labels", metavar="L[,L...]",
                   help="run exactly these ctest labels for every mutant")
    p.add_argument("--linker", default="auto", choices=["auto", "lld", "gold", "bfd", "default"],
                   help="linker for the scratch build (auto: lld, else gold, else the default)")
    p.add_argument("--debug-info", action="store_true",
                   help="build the scratch tree with -g (slower links)")
    p.add_argument("--jobs", type=int, default=os.cpu_count() or 2, metavar="N",
                   help="parallel jobs for ninja and ctest (default: number of cores)")
    p.add_argument("--min-score", type=float, metavar="P",
                   help="exit 1 when the total score is below P (percent, or a fraction <= 1)")
    p.add_argument("--verbose", action="store_true",
                   help="print the end of the build or test output of every mutant")
    return p.parse_args(argv)


# --- choosing files and mutants ------------------------------------------------------------


def default_source() -> str:
    here = os.path.dirname(os.path.realpath(__file__))
    return os.path.realpath(os.path.join(here, "..", ".."))


def select_files(source: str, paths: list[str]) -> "OrderedDict[str, list[str]]":
    """Subsystem name -> source-relative C++ files."""
    out: OrderedDict[str, list[str]] = OrderedDict()
    if not paths:
        files = [f for f in bt.source_files(source) if f.endswith(CXX_SUFFIXES)
                 and f.split("/")[0] not in NOT_MUTATED_BY_DEFAULT]
        for f in files:
            out.setdefault(os.path.dirname(f) or ".", []).append(f)
        return out
    all_files = [f for f in bt.source_files(source) if f.endswith(CXX_SUFFIXES)]
    for p in paths:
        cands = [p, os.path.relpath(os.path.abspath(p), source)]
        rel = None
        for c in cands:
            c = os.path.normpath(c)
            if not c.startswith("..") and os.path.exists(os.path.join(source, c)):
                rel = c
                break
        if rel is None:
            raise bt.SetupError(f"{p}: no such folder or file in {source}")
        if os.path.isdir(os.path.join(source, rel)):
            prefix = "" if rel == "." else rel + "/"
            files = [f for f in all_files if f.startswith(prefix)]
            if not files:
                raise bt.SetupError(f"{p}: holds no C++ sources")
            out.setdefault(rel, []).extend(files)
        else:
            if not rel.endswith(CXX_SUFFIXES):
                raise bt.SetupError(f"{p}: not a C++ source or header")
            out.setdefault(os.path.dirname(rel) or ".", []).append(rel)
    return out


def read_text(path: str) -> str:
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "surrogateescape")


def generate(root: str, files: list[str], operators: set[str] | None):
    mutants, texts = [], {}
    for f in files:
        texts[f] = read_text(os.path.join(root, f))
        mutants.extend(cm.generate(f, texts[f], operators))
    return mutants, texts


def choose(mutants, args, equivalents):
    if args.only:
        wanted = []
        for value in args.only:
            value = value.strip()
            if re.fullmatch(r"M[0-9a-f]{8}(\s*,\s*M[0-9a-f]{8})*,?", value):
                wanted.extend(w.strip() for w in value.split(",") if w.strip())
            else:
                wanted.append(value)  # a key; its texts may hold commas
        index = {}
        for m in mutants:
            index[m.id] = m
            index[m.key] = m
        missing = [w for w in wanted if w not in index]
        if missing:
            raise bt.SetupError("no such mutant in the files chosen: " + ", ".join(missing)
                                + " (name the files or folder, or check with --list)")
        seen, out = set(), []
        for w in wanted:
            if index[w].id not in seen:
                seen.add(index[w].id)
                out.append(index[w])
        return out
    if args.sample == "all":
        count = 0
    else:
        try:
            count = int(args.sample)
        except ValueError:
            raise bt.SetupError("--sample takes a number or 'all'")
    return cm.sample(mutants, count, args.seed)


def load_equivalents(path: str | None) -> dict[str, str]:
    if not path:
        return {}
    try:
        entries = cm.parse_equivalents(read_text(path))
    except (OSError, ValueError) as e:
        raise bt.SetupError(f"--equivalent {path}: {e}")
    return dict(entries)


def equivalence(m, equivalents):
    return equivalents.get(m.id) or equivalents.get(m.key)


# --- output ------------------------------------------------------------------------------------


def fmt_time(s: float) -> str:
    s = int(round(s))
    if s < 60:
        return f"{s}s"
    if s < 3600:
        return f"{s // 60}m{s % 60:02d}s"
    return f"{s // 3600}h{(s % 3600) // 60:02d}m"


def score(counts: Counter) -> float | None:
    k, s = counts["killed"], counts["survived"]
    return None if k + s == 0 else 100.0 * k / (k + s)


def fmt_score(v: float | None) -> str:
    return "-" if v is None else f"{v:.1f}%"


def print_list(chosen, texts, show_diff: bool) -> None:
    for m in chosen:
        print(f"{m.id}  {m.file}:{m.line}:{m.column}  {m.operator:<13} {m.short()}")
        if show_diff:
            print(m.diff(texts[m.file]))
    by_op = Counter(m.operator for m in chosen)
    by_file = Counter(m.file for m in chosen)
    print(f"\n{len(chosen)} mutants in {len(by_file)} files; by operator: "
          + ", ".join(f"{k} {v}" for k, v in sorted(by_op.items())))


def summary_table(results, subsystem_of) -> str:
    rows = []
    groups: OrderedDict[str, OrderedDict[str, Counter]] = OrderedDict()
    for r in results:
        sub = subsystem_of.get(r["file"], os.path.dirname(r["file"]))
        groups.setdefault(sub, OrderedDict()).setdefault(r["file"], Counter())[r["status"]] += 1
    head = f"{'subsystem / file':<44}{'mutants':>8}" + "".join(
        f"{s:>13}" for s in STATUSES) + f"{'score':>8}"
    rows.append(head)
    rows.append("-" * len(head))
    total = Counter()
    for sub, files in groups.items():
        sc = Counter()
        for c in files.values():
            sc.update(c)
        total.update(sc)
        rows.append(_row(sub, sc))
        if len(files) > 1 or list(files)[0] != sub:
            for f, c in sorted(files.items()):
                rows.append(_row("  " + f, c))
    rows.append("-" * len(head))
    rows.append(_row("total", total))
    return "\n".join(rows)


def _row(name: str, c: Counter) -> str:
    return f"{name:<44}{sum(c.values()):>8}" + "".join(f"{c[s]:>13}" for s in STATUSES) + \
        f"{fmt_score(score(c)):>8}"


def write_report(path: str, report: dict) -> None:
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(report, f, indent=1, ensure_ascii=False)
    os.replace(tmp, path)


# --- the run ------------------------------------------------------------------------------------


class Coverage:
    """Which ctest labels run for a file, and which executables each label needs."""

    def __init__(self, build: bt.Build, forced_labels: list[str] | None, direct_only: bool):
        self.build = build
        exe_of = build.executable_targets()
        self.label_tests: dict[str, list[bt.Test]] = {}
        self.label_exes: dict[str, set[str]] = {}
        self.test_exe: dict[str, str | None] = {}
        for t in build.tests:
            exe = exe_of.get(os.path.realpath(t.executable))
            self.test_exe[t.name] = exe
            for label in t.labels or ["<unlabelled>"]:
                self.label_tests.setdefault(label, []).append(t)
                if exe:
                    self.label_exes.setdefault(label, set()).add(exe)
        self.owners = build.objects_including()
        for t in build.targets.values():
            for s in t.sources:
                self.owners.setdefault(s, set()).add(t.name)
        self.forced = forced_labels
        self.direct_only = direct_only
        self.baseline: dict[str, float] = {}
        self._direct: dict[str, set[str]] = {}
        self._buckets: dict[str, tuple[set[str], set[str]]] = {}

    def libraries(self, f: str) -> list[str]:
        names = self.owners.get(f, set())
        libs = [n for n in names if self.build.targets.get(n) and
                self.build.targets[n].type.endswith("LIBRARY")]
        return sorted(libs or names)

    def direct_libraries(self, exe: str) -> set[str]:
        """What an executable links without going through another of its dependencies (the
        transitive reduction of the codemodel's dependency list, which holds everything)."""
        if exe not in self._direct:
            targets = self.build.targets
            deps = {targets_by_id_name(self.build, d) for d in targets[exe].deps}
            deps.discard("")
            self._direct[exe] = {d for d in deps if not any(
                d in targets[o].closure for o in deps if o != d and o in targets)}
        return self._direct[exe]

    def labels_for(self, f: str) -> list[str]:
        """Labels to run for a mutant in file f, in the order to run them: labels of test
        executables that link the file's library directly first, then the others; quickest
        first within each."""
        owners = self.owners.get(f, set())
        if not owners:
            return []
        if self.forced:
            return list(self.forced)
        if f not in self._buckets:
            targets = self.build.targets
            direct, indirect = set(), set()
            for t in self.build.tests:
                exe = self.test_exe.get(t.name)
                if not exe or exe not in targets:
                    continue
                if exe in owners or owners & self.direct_libraries(exe):
                    bucket = direct
                elif owners & targets[exe].closure:
                    bucket = indirect
                else:
                    continue
                for label in t.labels or ["<unlabelled>"]:
                    bucket.add(label)
            self._buckets[f] = (direct, indirect - direct)
        direct, indirect = self._buckets[f]
        if self.direct_only and direct:
            indirect = set()
        key = lambda lab: (self.baseline.get(lab, 1e9), lab)  # noqa: E731
        return sorted(direct, key=key) + sorted(indirect, key=key)

    def limit(self, label: str, factor: float) -> float:
        """The tool's time limit for one label's tests under a mutant."""
        return factor * self.baseline.get(label, 60.0) + 20.0


def targets_by_id_name(build: bt.Build, target_id: str) -> str:
    cache = getattr(build, "_id_names", None)
    if cache is None:
        cache = {t.id: t.name for t in build.targets.values()}
        build._id_names = cache
    return cache.get(target_id, "")


def run_tests(build, guard, coverage, label, timeout, jobs) -> bt.TestRun:
    if label == "<unlabelled>":
        names = "|".join(re.escape(t.name) for t in coverage.label_tests[label])
        cmd = guard.wrap(["ctest", "--test-dir", build.dir, "-R", f"^({names})$",
                          "--stop-on-failure", "--no-tests=error", "-j", str(jobs),
                          "--output-on-failure"])
        out = bt.run(cmd, timeout=timeout)
        if out.code is None:
            return bt.TestRun(False, True, out.seconds, [], "the tool's time limit ran out",
                              out.output)
        return bt.TestRun(out.code == 0, False, out.seconds, [], "" if out.code == 0 else
                          "ctest failed", out.output)
    return bt.run_label(build, guard, label, timeout, jobs)


def first_error(output: str) -> str:
    for line in output.splitlines():
        if "error: " in line or "error:" in line.split(" ")[:1]:
            return line.strip()[:200]
    lines = [l for l in output.splitlines() if l.strip()]
    return lines[-1][:200] if lines else "build failed"


def main(argv=None) -> int:
    args = parse_args(argv)
    try:
        return _main(args)
    except bt.SetupError as e:
        print(f"mutate: {e}", file=sys.stderr)
        return 2


def _main(args) -> int:
    source = os.path.realpath(args.source or default_source())
    if not os.path.exists(os.path.join(source, "CMakeLists.txt")):
        raise bt.SetupError(f"{source} is not the source checkout (no CMakeLists.txt)")
    operators = None
    if args.operators:
        operators = {o.strip() for o in args.operators.split(",") if o.strip()}
        unknown = operators - set(cm.OPERATORS)
        if unknown:
            raise bt.SetupError("unknown operators: " + ", ".join(sorted(unknown)))
    equivalents = load_equivalents(args.equivalent)
    selection = select_files(source, args.paths)
    subsystem_of = {f: sub for sub, files in selection.items() for f in files}
    files = list(OrderedDict.fromkeys(f for fs in selection.values() for f in fs))

    if args.list:
        mutants, texts = generate(source, files, operators)
        chosen = choose(mutants, args, equivalents)
        print_list(chosen, texts, args.diff)
        print(f"({len(mutants)} mutants in the files chosen; seed {args.seed})")
        return 0

    try:
        user = pwd.getpwuid(os.getuid()).pw_name
    except KeyError:
        user = str(os.getuid())
    scratch = args.scratch or f"/tmp/velmora-mutate-{user}"
    tree = bt.ScratchTree(source, scratch)
    tree.claim()
    report_path = args.report or os.path.join(tree.root, "report.json")
    started = time.monotonic()
    signal.signal(signal.SIGINT, _interrupt)
    signal.signal(signal.SIGTERM, _interrupt)

    results: list[dict] = []
    report = {"source": source, "scratch": tree.root, "seed": args.seed,
              "arguments": sys.argv[1:], "started": time.strftime("%Y-%m-%d %H:%M:%S"),
              "baseline": {}, "mutants": results, "summary": {}, "complete": False}
    try:
        return _run(args, source, tree, files, selection, subsystem_of, operators, equivalents,
                    report, report_path, started)
    except Interrupted as e:
        print(f"\ninterrupted ({e}); the scratch copy is restored", flush=True)
        finish(report, report_path, subsystem_of, started)
        return 130


def _run(args, source, tree, files, selection, subsystem_of, operators, equivalents, report,
         report_path, started) -> int:
    results = report["mutants"]
    print(f"source  {source}\nscratch {tree.root}", flush=True)
    changed = tree.sync()
    print(f"synced the working tree: {len(changed)} files changed since the last run",
          flush=True)
    guard = bt.TestSandbox(tree.root, keep_visible=[tree.root, source])
    print(f"test sandbox: {guard.mode}", flush=True)
    linker = args.linker
    if linker == "auto":
        linker = "lld" if shutil.which("ld.lld") else ("gold" if shutil.which("ld.gold")
                                                       else "default")
    build = bt.Build(tree, args.lock, linker, args.debug_info, args.jobs)

    # Baseline build: everything, so that every test executable and its test list exist.
    with build.lock():
        if build.configure_if_needed():
            print(f"configured {tree.build} (linker {linker})", flush=True)
        out = build.ninja(None, timeout=3 * 3600)
    if out.code != 0:
        raise bt.SetupError("the baseline build failed (is the working tree in the middle of "
                            "an edit?):\n" + bt._tail(out.output))
    print(f"baseline build {fmt_time(out.seconds)}", flush=True)
    build.read_codemodel()
    with build.lock():
        build.read_tests()
    forced = [l.strip() for l in args.labels.split(",")] if args.labels else None
    cov = Coverage(build, forced, args.direct_only)

    uncovered = [f for f in files if not cov.labels_for(f)]
    if uncovered:
        print("no test covers these files; left out: " + ", ".join(uncovered), flush=True)
    covered = [f for f in files if f not in uncovered]
    mutants, texts = generate(tree.src, covered, operators)
    chosen = choose(mutants, args, equivalents)
    if not chosen:
        raise bt.SetupError("no mutants to run")
    to_run = [m for m in chosen if args.run_equivalent or not equivalence(m, equivalents)]
    labels_needed = OrderedDict()
    for f in sorted({m.file for m in to_run}):
        for label in cov.labels_for(f):
            labels_needed[label] = True
    print(f"{len(chosen)} of {len(mutants)} mutants chosen (seed {args.seed}) in "
          f"{len({m.file for m in chosen})} files", flush=True)

    # Baseline tests: every label a mutant will run must pass unchanged.
    with build.lock():
        for label in labels_needed:
            r = run_tests(build, guard, cov, label, timeout=3600, jobs=args.jobs)
            if not r.passed and not r.timed_out:
                print(f"  baseline {label} failed ({', '.join(r.failed) or r.reason}); "
                      f"running it once more", flush=True)
                r = run_tests(build, guard, cov, label, timeout=3600, jobs=args.jobs)
                if r.passed:
                    print(f"  warning: {label} failed once and then passed: a flaky test "
                          f"can make a mutant look killed", flush=True)
            if not r.passed:
                raise bt.SetupError(f"the baseline tests of label {label} fail before any "
                                    f"mutation: {', '.join(r.failed) or r.reason}\n"
                                    + bt._tail(r.output))
            cov.baseline[label] = r.seconds
            print(f"baseline {label}: passed in {r.seconds:.1f}s", flush=True)
    report["baseline"] = {"build_seconds": round(out.seconds, 1), "linker": linker,
                          "labels": {k: round(v, 1) for k, v in cov.baseline.items()},
                          "sandbox": guard.mode}
    for f in sorted({m.file for m in chosen}):
        print(f"  {f}: {', '.join(cov.libraries(f))} -> {', '.join(cov.labels_for(f))}")

    known = {m.id for m in mutants} | {m.key for m in mutants}
    stale = [k for k in equivalents if k not in known]
    if stale:
        # The list may cover other subsystems too: look for the rest in the whole tree.
        everything = [f for fs in select_files(tree.src, []).values() for f in fs]
        rest, _ = generate(tree.src, [f for f in everything if f not in covered], None)
        known |= {m.id for m in rest} | {m.key for m in rest}
        stale = [k for k in stale if k not in known]
    if stale:
        print("warning: these --equivalent entries match no mutant any more (the code "
              "changed?): " + ", ".join(stale), flush=True)

    order = sorted(chosen, key=lambda m: (m.file, m.line, m.column, m.id))
    run_started = time.monotonic()
    done_run = 0
    for n, m in enumerate(order, 1):
        eq = equivalence(m, equivalents)
        rec = {"id": m.id, "key": m.key, "file": m.file, "line": m.line, "column": m.column,
               "operator": m.operator, "original": m.original, "replacement": m.replacement,
               "diff": m.diff(texts[m.file]), "subsystem": subsystem_of.get(m.file)}
        if eq:
            rec["equivalent_reason"] = eq
        if eq and not args.run_equivalent:
            rec.update(status="equivalent", detail=eq, seconds=0)
            results.append(rec)
            print(f"[{n}/{len(order)}] {m.id} {m.file}:{m.line} {m.operator} "
                  f"{m.short(36)}  equivalent ({eq})", flush=True)
            continue
        status, detail, seconds, extra = run_mutant(args, tree, build, guard, cov, m,
                                                    texts[m.file])
        if eq:
            if status == "killed":
                # The tests tell it apart, so the listing is wrong: count the kill.
                print(f"  note: {m.id} is listed as equivalent but was killed; take it off the "
                      f"list", flush=True)
                detail = f"{detail}; wrongly listed as equivalent"
            elif status == "survived":
                status = "equivalent"
                detail = f"{detail}; listed as equivalent: {eq}"
        rec.update(status=status, detail=detail, seconds=round(seconds, 1), **extra)
        results.append(rec)
        done_run += 1
        elapsed = time.monotonic() - run_started
        left = sum(1 for x in order[n:] if args.run_equivalent or not
                   equivalence(x, equivalents))
        eta = elapsed / done_run * left
        print(f"[{n}/{len(order)}] {m.id} {m.file}:{m.line} {m.operator} {m.short(36)}  "
              f"{status.upper()} ({detail}) {seconds:.1f}s | elapsed "
              f"{fmt_time(time.monotonic() - started)}, about {fmt_time(eta)} left", flush=True)
        write_report(report_path, report)

    report["complete"] = True
    total_score = finish(report, report_path, subsystem_of, started)
    left_over = tree.differences(sorted({m.file for m in chosen}))
    if left_over:
        print("warning: scratch files differ from the checkout after the run (edited during "
              "the run?): " + ", ".join(left_over), flush=True)
    if args.min_score is not None:
        limit = args.min_score * 100 if args.min_score <= 1 else args.min_score
        if total_score is None or total_score < limit:
            print(f"score {fmt_score(total_score)} is below --min-score {limit:g}%")
            return 1
    return 0


def run_mutant(args, tree, build, guard, cov, m, text):
    """Builds and tests one mutant; the scratch file is always put back."""
    path = os.path.join(tree.src, m.file)
    mutated = m.apply(text).encode("utf-8", "surrogateescape")
    labels = cov.labels_for(m.file)
    limits = {label: cov.limit(label, args.timeout_factor) for label in labels}
    budget = args.timeout or sum(limits.values())
    log_lines = [f"{m.id} {m.key}", m.diff(text)]
    extra = {"labels": [], "build_seconds": 0.0, "test_seconds": 0.0}
    with build.lock() as lock:
        extra["lock_wait_seconds"] = round(lock.waited, 1)
        started = time.monotonic()
        target = bt.MutatedFile(path, build.dir)
        if target.original != text.encode("utf-8", "surrogateescape"):
            raise bt.SetupError(f"{m.file} changed in the scratch tree during the run")
        try:
            with bt.signals_blocked():
                target.write(mutated)
            test_deadline = None
            for label in labels:
                exes = sorted(cov.label_exes.get(label, ()))
                out = build.ninja(exes, timeout=args.build_timeout)
                extra["build_seconds"] += out.seconds
                log_lines.append(f"$ ninja {' '.join(exes)}\n{out.output}")
                if out.code is None:
                    return finish_mutant(args, tree, m, "timeout", "the build ran out of time",
                                         started, extra, log_lines)
                if out.code != 0:
                    return finish_mutant(args, tree, m, "uncompilable", first_error(out.output),
                                         started, extra, log_lines)
                if test_deadline is None:
                    test_deadline = time.monotonic() + budget
                remaining = test_deadline - time.monotonic()
                if remaining <= 0:
                    extra["hung"] = True
                    return finish_mutant(args, tree, m, "killed",
                                         f"hung: the tests took over {budget:.0f}s", started,
                                         extra, log_lines)
                limit = min(limits[label], remaining)
                r = run_tests(build, guard, cov, label, limit, args.jobs)
                extra["test_seconds"] += r.seconds
                extra["labels"].append(label)
                log_lines.append(f"$ ctest -L {label}\n{r.output}")
                if r.timed_out:
                    extra["hung"] = True
                    return finish_mutant(args, tree, m, "killed",
                                         f"hung: {label} took over {limit:.0f}s", started,
                                         extra, log_lines)
                if not r.passed:
                    extra["killed_by"] = r.failed
                    who = ", ".join(r.failed[:3]) + (" ..." if len(r.failed) > 3 else "")
                    detail = f"{label}: {who or r.reason}"
                    if r.reason and "Timeout" in r.reason:
                        detail += " (ctest timeout)"
                    return finish_mutant(args, tree, m, "killed", detail, started, extra,
                                         log_lines)
            return finish_mutant(args, tree, m, "survived", f"{len(labels)} labels passed",
                                 started, extra, log_lines)
        finally:
            with bt.signals_blocked():
                target.restore()


def finish_mutant(args, tree, m, status, detail, started, extra, log_lines):
    log_path = os.path.join(tree.logs, m.id + ".log")
    with open(log_path, "w", errors="replace") as f:
        f.write("\n".join(log_lines))
    extra["log"] = log_path
    extra["build_seconds"] = round(extra["build_seconds"], 1)
    extra["test_seconds"] = round(extra["test_seconds"], 1)
    if args.verbose:
        print(bt._tail(log_lines[-1], 15), flush=True)
    return status, detail, time.monotonic() - started, extra


def finish(report, report_path, subsystem_of, started):
    results = report["mutants"]
    counts = Counter(r["status"] for r in results)
    total = score(counts)
    report["summary"] = {"counts": dict(counts), "score": total,
                         "seconds": round(time.monotonic() - started, 1)}
    write_report(report_path, report)
    if not results:
        print("no mutant finished")
        return total
    print("\n" + summary_table(results, subsystem_of))
    survivors = [r for r in results if r["status"] == "survived"]
    if survivors:
        print(f"\n{len(survivors)} survivors:")
        for r in survivors:
            print(f"\nSURVIVED {r['id']} {r['file']}:{r['line']}:{r['column']} {r['operator']}"
                  f"  (labels: {', '.join(r.get('labels', []))})")
            print(r["diff"].rstrip())
    eq = [r for r in results if r["status"] == "equivalent"]
    if eq:
        print(f"\n{len(eq)} listed as equivalent (not scored):")
        for r in eq:
            print(f"  {r['id']} {r['file']}:{r['line']} {r['operator']}: "
                  f"{r.get('equivalent_reason', '')}")
    other = [r for r in results if r["status"] in ("uncompilable", "timeout")]
    if other:
        print(f"\n{len(other)} not scored:")
        for r in other:
            print(f"  {r['status']:<12} {r['id']} {r['file']}:{r['line']} {r['operator']}: "
                  f"{r['detail']}")
    print(f"\nscore {fmt_score(total)} = killed / (killed + survived); "
          f"{len(results)} mutants in {fmt_time(time.monotonic() - started)} (of which "
          f"{fmt_time(bt.BuildLock.total_wait)} waiting for the build lock); "
          f"report {report_path}")
    return total


if __name__ == "__main__":
    sys.exit(main())
