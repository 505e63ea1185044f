#!/usr/bin/env python3
"""Runs two vela programs on the same inputs and compares everything they leave: the files
of the run folder (the nine outputs, and the inputs, which must stay as they were), the
standard output and error with the timing lines masked as the whole-run tests mask them
(and the object addresses some messages print, which differ on every run), and the exit
status. A change meant to keep every output byte is checked with it against
a build of the code before the change.

Inputs:
  - every whole-run case of tests/driver/runs, with its arguments, copy_in files and
    file-size limit, as the case runs it;
  - the task structures among those cases' files, the examples, the bench's structures at
    every size and seed, and random structures (tools/random_structure.py), each run
    heuristically with the schedule analysis off and on (full argument form);
  - those of at most 8 methods also in the three exhaustive modes, from a copy that ends
    with (spec_attributes (scheduling_mode MODE)).

Each run has a time limit. A run past it in both programs is listed as not compared; past
it in one only, that program runs again with a longer limit, and past that too is a
difference. Prints the number of runs compared and every difference,
and exits with 1 when there is one.

With --shapes, the bench's cliff shapes at sizes that finish are compared too.

usage: compare.py BASE_VELA NEW_VELA [--jobs N] [--time-limit SECONDS] [--random N]
                  [--keep DIR] [--only SUBSTRING] [--list] [--shapes]"""
import argparse
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor, as_completed

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402
import random_structure  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RUNS = os.path.join(SOURCE, "tests", "driver", "runs")
EXAMPLES = os.path.join(SOURCE, "examples")

# As the whole-run tests: the timing lines, whose numbers differ on every run.
TIMING_STARTS = ["Time spent creating alternatives: ", "Time spent scheduling alternatives: ",
                 "\tTime spent creating alternatives ", "\tTime spent creating schedules ",
                 "\tTotal run time (including final sorting and i/o) "]
NUMBER = re.compile(rb"[0-9.]*")
# Where an object's address is printed: it differs on every run.
ADDRESS = re.compile(rb"(Address in memory is )-?[0-9]+")
LONG_PREFIX = "p" * 2991 + "/too_long"
CASE_FILES = {"arguments", "status", "copy_in", "fsize_limit", "console_only", "removed"}
EXHAUSTIVE_MODES = ["pure_exhaustive", "exhaustive_from_alternatives", "exhaustive_from_pruned_alternatives"]
EXHAUSTIVE_UP_TO = 8


class Run:
    def __init__(self, name, files, arguments, fsize_limit=0):
        self.name = name
        self.files = files  # file name -> bytes, written into the run folder
        self.arguments = arguments
        self.fsize_limit = fsize_limit


def masked(text):
    out = []
    for line in text.split(b"\n"):
        for start in TIMING_STARTS:
            s = start.encode()
            if line.startswith(s):
                rest = line[len(s):]
                line = s + b"<seconds>" + rest[NUMBER.match(rest).end():]
        out.append(ADDRESS.sub(rb"\1<address>", line))
    return b"\n".join(out)


def heuristic_runs(name, files, input_name, fsize_limit=0):
    """The file run heuristically with the analysis off and on, and, when it is small, in
    the three exhaustive modes."""
    runs = []
    for trees in ("0", "1"):
        args = ["15", "p", "50", "100", "0", input_name, "out", trees]
        runs.append(Run(f"{name} analysis {'on' if trees == '1' else 'off'}", files, args, fsize_limit))
    text = files[input_name]
    if text.count(b"(spec_method") <= EXHAUSTIVE_UP_TO:
        for mode in EXHAUSTIVE_MODES:
            copy = dict(files)
            copy[input_name] = text + f"\n(spec_attributes (scheduling_mode {mode}))\n".encode()
            args = ["15", "p", "50", "100", "0", input_name, "out", "1"]
            runs.append(Run(f"{name} {mode}", copy, args, fsize_limit))
    return runs


def read(path):
    with open(path, "rb") as f:
        return f.read()


def whole_run_cases():
    runs = []
    for case in sorted(os.listdir(RUNS)):
        folder = os.path.join(RUNS, case)
        if not os.path.isdir(folder):
            continue
        files = {}
        own = []  # the case's own task structures (copy_in ones are the examples)
        arguments = []
        fsize_limit = 0
        for entry in sorted(os.listdir(folder)):
            path = os.path.join(folder, entry)
            if not os.path.isfile(path):
                continue
            if entry == "arguments":
                arguments = [LONG_PREFIX if w == "LONG_PREFIX" else w for w in read(path).decode().split()]
            elif entry == "fsize_limit":
                fsize_limit = int(read(path))
            elif entry == "copy_in":
                for source in read(path).decode().split():
                    files[os.path.basename(source)] = read(os.path.join(SOURCE, source))
            elif entry not in CASE_FILES:
                files[entry] = read(path)
                if entry.endswith(".tvorna"):
                    own.append(entry)
        runs.append(Run(f"case {case}", files, arguments, fsize_limit))
        for entry in own:
            runs += heuristic_runs(f"case {case} {entry}", {entry: files[entry]}, entry, fsize_limit)
    return runs


def shape_runs():
    """The cliff shapes of the bench at sizes both programs finish, heuristically with the
    analysis off (the analysed shape turns it on itself)."""
    shapes = [("chain 150", bench.chain(150)), ("chain 400", bench.chain(400))]
    shapes += [(f"{qaf} 300", bench.flat(qaf, 300)) for qaf in ("q_min", "q_sum_all", "q_seq_sum", "q_max")]
    shapes.append(("analysed", bench.analysed()))
    args = ["15", "p", "50", "100", "0", "shape.tvorna", "out", "0"]
    return [Run(f"shape {name}", {"shape.tvorna": text.encode()}, args) for name, text in shapes]


def all_runs(random_count, shapes=False):
    runs = whole_run_cases()
    if shapes:
        runs += shape_runs()
    for entry in sorted(os.listdir(EXAMPLES)):
        if entry.endswith(".tvorna"):
            runs += heuristic_runs(f"example {entry}", {entry: read(os.path.join(EXAMPLES, entry))}, entry)
    for size in bench.SIZES:
        for seed in bench.SEEDS:
            text = bench.structure(size, seed).encode()
            runs += heuristic_runs(f"bench {size} seed {seed}", {"bench.tvorna": text}, "bench.tvorna")
    for seed in range(1, random_count + 1):
        text, _ = random_structure.structure(seed)
        runs += heuristic_runs(f"random {seed}", {"random.tvorna": text.encode()}, "random.tvorna")
    return runs


class Outcome:
    def __init__(self):
        self.status = None
        self.timed_out = False
        self.seconds = 0.0
        self.files = {}


def run_once(vela, run, time_limit, folder):
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    for name, data in run.files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)

    def limits():
        os.setsid()
        if run.fsize_limit > 0:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (run.fsize_limit, run.fsize_limit))

    o = Outcome()
    start = time.monotonic()
    child = subprocess.Popen([vela] + run.arguments, cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, preexec_fn=limits)
    try:
        out, err = child.communicate(timeout=time_limit)
    except subprocess.TimeoutExpired:
        os.killpg(child.pid, signal.SIGKILL)
        child.communicate()
        o.timed_out = True
        o.seconds = time.monotonic() - start
        return o
    o.seconds = time.monotonic() - start
    o.status = child.returncode
    o.files["<stdout>"] = masked(out)
    o.files["<stderr>"] = masked(err)
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            o.files[name] = read(path)
    return o


def first_difference(a, b):
    la, lb = a.split(b"\n"), b.split(b"\n")
    for i in range(max(len(la), len(lb))):
        x = la[i] if i < len(la) else b"<end>"
        y = lb[i] if i < len(lb) else b"<end>"
        if x != y:
            return f"line {i + 1}: base {x[:160]!r} / new {y[:160]!r}"
    return "same lines, different bytes"


def compare(run, base, new, time_limit, keep):
    """The differences of one run (empty when the same), and whether both timed out."""
    with tempfile.TemporaryDirectory(prefix="vela-compare-") as scratch:
        folders = [os.path.join(scratch, "base"), os.path.join(scratch, "new")]
        for f in folders:
            os.mkdir(f)
        a = run_once(base, run, time_limit, folders[0])
        b = run_once(new, run, time_limit, folders[1])
        if a.timed_out != b.timed_out:
            # On a busy machine one of two equal runs may just cross the limit: the late one
            # gets a longer one before that counts as a difference.
            longer = max(2 * time_limit, 4 * max(a.seconds, b.seconds))
            if a.timed_out:
                a = run_once(base, run, longer, folders[0])
            else:
                b = run_once(new, run, longer, folders[1])
        if a.timed_out and b.timed_out:
            return [], True
        differences = []
        if a.timed_out != b.timed_out:
            differences.append(f"past the time limit in {'base' if a.timed_out else 'new'} only")
        else:
            if a.status != b.status:
                differences.append(f"exit status: base {a.status} / new {b.status}")
            for name in sorted(set(a.files) | set(b.files)):
                if name not in b.files:
                    differences.append(f"{name}: only in base")
                elif name not in a.files:
                    differences.append(f"{name}: only in new")
                elif a.files[name] != b.files[name]:
                    differences.append(f"{name}: {first_difference(a.files[name], b.files[name])}")
        if differences and keep:
            target = os.path.join(keep, re.sub(r"[^A-Za-z0-9_.-]+", "_", run.name))
            shutil.rmtree(target, ignore_errors=True)
            for which, folder, o in (("base", folders[0], a), ("new", folders[1], b)):
                shutil.copytree(folder, os.path.join(target, which))
                for stream in ("<stdout>", "<stderr>"):
                    if stream in o.files:
                        with open(os.path.join(target, which, stream.strip("<>")), "wb") as f:
                            f.write(o.files[stream])
            with open(os.path.join(target, "arguments"), "w") as f:
                f.write(" ".join(run.arguments) + "\n")
        return differences, False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("base")
    parser.add_argument("new")
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("--time-limit", type=float, default=300.0, help="seconds per run of one program")
    parser.add_argument("--random", type=int, default=240, help="number of random structures")
    parser.add_argument("--keep", help="folder for the outputs of runs that differ")
    parser.add_argument("--only", help="only runs whose name contains this")
    parser.add_argument("--list", action="store_true", help="list the runs without running them")
    parser.add_argument("--shapes", action="store_true", help="also the bench's cliff shapes at sizes that finish")
    options = parser.parse_args()
    base, new = os.path.abspath(options.base), os.path.abspath(options.new)
    for program in (base, new):
        if not os.access(program, os.X_OK):
            sys.exit(f"compare: {program} is not an executable program")
    runs = all_runs(options.random, options.shapes)
    if options.only:
        runs = [r for r in runs if options.only in r.name]
    if options.list:
        for r in runs:
            print(f"{r.name}: {' '.join(a if len(a) < 80 else a[:20] + '...' for a in r.arguments)}")
        print(f"{len(runs)} runs")
        return 0
    print(f"comparing {new} with {base} on {len(runs)} runs, {options.jobs} at a time", flush=True)
    started = time.monotonic()
    compared = 0
    differing = 0
    not_compared = []
    with ThreadPoolExecutor(max_workers=options.jobs) as pool:
        futures = {pool.submit(compare, r, base, new, options.time_limit, options.keep): r for r in runs}
        for done, future in enumerate(as_completed(futures), 1):
            r = futures[future]
            if done % 100 == 0:
                print(f"... {done} of {len(runs)} runs done", flush=True)
            differences, both_timed_out = future.result()
            if both_timed_out:
                not_compared.append(r.name)
                print(f"NOT COMPARED {r.name}: past the time limit in both", flush=True)
                continue
            compared += 1
            if differences:
                differing += 1
                print(f"DIFFERENCE {r.name}", flush=True)
                for d in differences:
                    print(f"    {d}", flush=True)
    print(f"{compared} runs compared, {differing} with differences, {len(not_compared)} not compared "
          f"(time limit {options.time_limit:g} s), {time.monotonic() - started:.0f} s")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
