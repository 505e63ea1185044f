#!/usr/bin/env python3
"""make bench: vela on generated task structures, and a micro-benchmark of the combine.

- The bench's structures: 25, 100, 400, 800 and 1,600 methods, three seeds each, in
  limited mode; the growth exponent of the time between each size and the next.
- The shapes that used to fall off cliffs: a deadline over 161,050 candidates (and the
  same without it), 15 methods under a sum with a deadline, 5,000 and 20,000 methods under
  one q_max group, chains of 400 and 999 q_min tasks each holding a method and the next
  task, 1,000 to 4,000 methods under one q_min, q_seq_sum or q_sum_all node (with their
  growth exponents), and 12 methods that may fail and 12 that cannot beside a q_max task of
  400 methods under q_sum_all, with the schedule analysis on.

Each run prints its wall seconds, peak memory and the combines: those really made (from a
vela built with VELA_COUNT_COMBINES, which prints them at exit; "-" from any other
build) and the count the run reports. A run past the time limit prints "> N s" and the
bench goes on; a larger one of the same shape is then not run, and shows the same. A developer's tool: the structures are made here, deterministically.

usage: bench.py VELA OUTPUT_DIR [--limit SECONDS] [--only sizes|cliffs|micro]
                [--combine-bench PROGRAM] [--sizes N ...] [--match SHAPE_NAME_PART]"""
import argparse
import math
import os
import random
import re
import signal
import statistics
import subprocess
import sys
import time

QAFS = ["q_sum", "q_max", "q_min", "q_exactly_one", "q_sigmoid (sigmoid_distribution 0.1 0 0.5 5 1.2 10)",
        "q_sum_all", "q_seq", "q_seq_sum", "q_seq_min", "q_seq_max"]
GROUPS = 2
SIZES = [25, 100, 400, 800, 1600]
SEEDS = [1, 2, 3]
LEAF_METHODS = 2


def outcome(rng, label, density):
    q = rng.randint(1, 20)
    return (f"({label} (density {density}) (quality_distribution 0 0.1 {q} 0.9) "
            f"(duration_distribution {rng.randint(1, 9)} 0.5 {rng.randint(10, 19)} 0.5) "
            f"(cost_distribution {rng.randint(0, 5)} 1))")


class Builder:
    """Binary trees of tasks over pairs of methods: every node has at most two children, so
    the alternatives a node combines stay bounded by the pruning limits whatever the size."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.forms = []
        self.methods = []
        self.tasks = 0

    def method(self, name, parent):
        if len(self.methods) % 3 == 0:
            outs = outcome(self.rng, "good", "0.5") + outcome(self.rng, "poor", "0.5")
        else:
            outs = outcome(self.rng, "o", "1")
        self.forms.append(f"(spec_method (label {name}) (agent Bench) (supertasks {parent}) (outcomes {outs}))\n")
        self.methods.append(name)

    def subtree(self, parent, count):
        """A node under parent holding count methods; returns its name."""
        if count <= LEAF_METHODS:
            names = [f"M{len(self.methods) + k}" for k in range(count)]
            node = f"T{self.tasks}"
            self.tasks += 1
            qaf = QAFS[self.tasks % len(QAFS)]
            self.forms.append(f"(spec_task (label {node}) (agent Bench) (supertasks {parent}) "
                              f"(subtasks {' '.join(names)}) (qaf {qaf}))\n")
            for name in names:
                self.method(name, node)
            return node
        node = f"T{self.tasks}"
        self.tasks += 1
        qaf = QAFS[self.tasks % len(QAFS)]
        at = len(self.forms)
        self.forms.append(None)
        left = self.subtree(node, count // 2)
        right = self.subtree(node, count - count // 2)
        self.forms[at] = (f"(spec_task (label {node}) (agent Bench) (supertasks {parent}) "
                          f"(subtasks {left} {right}) (qaf {qaf}))\n")
        return node


def structure(methods, seed=1):
    b = Builder(seed)
    heads = []
    for g in range(GROUPS):
        share = methods // GROUPS + (1 if g < methods % GROUPS else 0)
        top = b.subtree(f"G{g}", share)
        heads.append(f"(spec_task_group (label G{g}) (agent Bench) (subtasks {top}) (qaf q_sum))\n")
    ms = b.methods
    effects = []
    kinds = ["enables", "facilitates", "hinders", "disables"]
    for e, i in enumerate(range(0, len(ms) - 4, 4)):
        kind = kinds[e % len(kinds)]
        a, c = ms[i], ms[i + 3]
        if kind in ("enables", "disables"):
            effects.append(f"(spec_{kind} (label E{e}) (agent Bench) (from {a}) (to {c}) (delay 0 1))\n")
        else:
            effects.append(f"(spec_{kind} (label E{e}) (agent Bench) (from {a}) (to {c}) "
                           f"(quality_power 0.2 1) (duration_power 0.1 1) (cost_power 0 1) (delay 0 1))\n")
    resources = ["(spec_consumable_resource (label fuel) (agent Bench) (state 1000) (depleted_at 0) "
                 "(overloaded_at 5000))\n",
                 "(spec_non_consumable_resource (label tool) (agent Bench) (state 1) (depleted_at 0))\n"]
    for i in range(0, methods, 10):
        resources.append(f"(spec_uses (label U{i}) (agent Bench) (from M{i}) (to fuel) (consumes 3 1))\n")
    for i in range(5, methods, 20):
        resources.append(f"(spec_produces (label P{i}) (agent Bench) (from M{i}) (to fuel) (produces 2 1))\n")
    resources.append("(spec_uses (label UT) (agent Bench) (from M1) (to tool) (consumes 1 1))\n")
    resources.append("(spec_limits (label L0) (agent Bench) (from fuel) (to M1) "
                     "(quality_power 0.5 1) (duration_power 1 1) (cost_power 1 1))\n")
    commitments = []
    for i in range(2, methods, 50):
        commitments.append(f"(spec_commitment (label C{i}) (type deadline) (agent Bench) (task M{i}) (importance 1) "
                           f"(minimum_quality 1) (earliest_start_time -9) (deadline {20 + i}) (time_satisfied -9))\n")
    return "".join(["; Generated for make bench.\n(spec_agent (label Bench))\n"] + heads + b.forms + effects +
                   resources + commitments)


# ---------------------------------------------------------------- the cliffs' shapes


class Shape:
    """A task structure of one agent, built form by form."""

    def __init__(self, seed=1):
        self.rng = random.Random(seed)
        self.forms = ["; Generated for make bench.\n(spec_agent (label Bench))\n"]
        self.count = 0

    def method(self, parent, may_fail=False):
        self.count += 1
        name = f"M{self.count}"
        q = self.rng.randint(1, 20)
        quality = f"0 0.2 {q} 0.8" if may_fail else f"{q} 1"
        self.forms.append(f"(spec_method (label {name}) (agent Bench) (supertasks {parent}) (outcomes (o (density 1) "
                          f"(quality_distribution {quality}) (duration_distribution {self.rng.randint(1, 9)} 0.5 "
                          f"{self.rng.randint(10, 19)} 0.5) (cost_distribution {self.rng.randint(0, 5)} 1))))\n")
        return name

    def node(self, form, name, parent, subs, qaf, extra=""):
        supers = f" (supertasks {parent})" if parent else ""
        self.forms.append(f"({form} (label {name}) (agent Bench){supers} (subtasks {' '.join(subs)}) (qaf {qaf}){extra})\n")

    def text(self, attributes=""):
        return "".join(self.forms) + attributes


def deadline_over_candidates(with_deadline):
    """A sum task over 5 max tasks of 10 methods each: 11^5 - 1 = 161,050 candidates."""
    s = Shape()
    s.node("spec_task_group", "G", None, ["S"], "q_sum")
    subs = []
    for k in range(5):
        subs.append(f"X{k}")
        s.node("spec_task", f"X{k}", "S", [s.method(f"X{k}") for _ in range(10)], "q_max")
    s.node("spec_task", "S", "G", subs, "q_sum", " (deadline 40)" if with_deadline else "")
    return s.text()


def sum_with_deadline(methods):
    s = Shape()
    s.node("spec_task_group", "G", None, ["S"], "q_sum")
    s.node("spec_task", "S", "G", [s.method("S") for _ in range(methods)], "q_sum", " (deadline 40)")
    return s.text()


def flat(qaf, methods):
    """Every method right under the task group."""
    s = Shape()
    s.node("spec_task_group", "G", None, [s.method("G") for _ in range(methods)], qaf)
    return s.text()


def chain(links):
    """The task group and links - 1 q_min tasks below it, each holding a method and the next."""
    s = Shape()
    for k in range(links):
        name = "G" if k == 0 else f"T{k}"
        parent = None if k == 0 else ("G" if k == 1 else f"T{k - 1}")
        subs = [s.method(name)] + ([f"T{k + 1}"] if k + 1 < links else [])
        s.node("spec_task_group" if k == 0 else "spec_task", name, parent, subs, "q_min")
    return s.text()


def analysed():
    """12 methods that may fail and 12 that cannot beside a q_max task of 400 methods, under
    q_sum_all, with the schedule analysis on."""
    s = Shape()
    subs = [s.method("G", may_fail=True) for _ in range(12)] + [s.method("G") for _ in range(12)]
    s.node("spec_task", "X", "G", [s.method("X") for _ in range(400)], "q_max")
    s.node("spec_task_group", "G", None, subs + ["X"], "q_sum_all")
    return s.text("(spec_attributes (use_advanced_analysis 1) (target_max_number_of_schedules 15))\n")


def cliffs():
    """(name, methods, text) of every cliff shape, with the series their exponents come from."""
    shapes = [("deadline over 161,050 candidates", 50, deadline_over_candidates(True)),
              ("the same without the deadline", 50, deadline_over_candidates(False)),
              ("15 methods under a sum with a deadline", 15, sum_with_deadline(15)),
              ("q_max group", 5000, flat("q_max", 5000)),
              ("q_max group", 20000, flat("q_max", 20000)),
              ("chain of q_min tasks", 400, chain(400)),
              ("chain of q_min tasks", 999, chain(999))]
    for qaf in ("q_min", "q_seq_sum", "q_sum_all"):
        for n in (1000, 2000, 4000):
            shapes.append((f"{qaf} node", n, flat(qaf, n)))
    shapes.append(("analysed q_sum_all beside q_max", 424, analysed()))
    return shapes


# ---------------------------------------------------------------- running

REAL = re.compile(r"^Real combine operations: (\d+)$", re.M)
COUNTED = re.compile(r"Number of distribution combine operations performed (-?\d+)\.")


class Result:
    def __init__(self, label, methods):
        self.label = label
        self.methods = methods
        self.seconds = None  # None: past the limit
        self.peak_mb = None
        self.real = None
        self.counted = None
        self.status = None


def run(vela, folder, name, text, label, methods, limit):
    with open(os.path.join(folder, name + ".tvorna"), "w") as f:
        f.write(text)
    r = Result(label, methods)
    rss = os.path.join(folder, name + ".rss")
    if os.path.exists(rss):
        os.remove(rss)
    console_path = os.path.join(folder, name + ".console")
    with open(console_path, "w") as console:
        start = time.monotonic()
        child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", name + ".rss", vela, name + ".tvorna", name],
                                 cwd=folder, stdout=console, stderr=console, stdin=subprocess.DEVNULL,
                                 start_new_session=True)
        try:
            r.status = child.wait(timeout=limit)
            r.seconds = time.monotonic() - start
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
    if r.seconds is not None:
        with open(rss) as f:
            r.peak_mb = int(f.read().split()[-1]) / 1024.0
        with open(console_path, errors="replace") as f:
            text = f.read()
        m = REAL.search(text)
        r.real = int(m.group(1)) if m else None
        m = COUNTED.search(text)
        r.counted = int(m.group(1)) if m else None
    return r


def show(r, limit):
    seconds = f"> {limit:g} s" if r.seconds is None else f"{r.seconds:.3f}"
    peak = "-" if r.peak_mb is None else f"{r.peak_mb:.1f}"
    real = "-" if r.real is None else f"{r.real:,}"
    counted = "-" if r.counted is None else f"{r.counted:,}"
    status = "-" if r.status is None else str(r.status)
    print(f"{r.label:<38} {r.methods:>7} {seconds:>10} {peak:>8} {real:>15} {counted:>15} {status:>6}", flush=True)


def exponent(label, n1, t1, n2, t2):
    if t1 is None or t2 is None:
        return f"growth exponent {label} from {n1:,} to {n2:,} methods: - (a run past the limit)"
    return f"growth exponent {label} from {n1:,} to {n2:,} methods: {math.log(t2 / t1) / math.log(n2 / n1):.2f}"


def header():
    print(f"{'structure':<38} {'methods':>7} {'seconds':>10} {'peak MB':>8} {'real combines':>15} "
          f"{'counted':>15} {'status':>6}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("vela")
    parser.add_argument("folder")
    parser.add_argument("--limit", type=float, default=300.0, help="seconds per run")
    parser.add_argument("--only", choices=["sizes", "cliffs", "micro"])
    parser.add_argument("--combine-bench", help="the micro-benchmark program of the combine")
    parser.add_argument("--sizes", type=int, nargs="+", default=SIZES)
    parser.add_argument("--match", help="only the shapes whose name contains this")
    options = parser.parse_args()
    os.makedirs(options.folder, exist_ok=True)
    vela = os.path.abspath(options.vela)
    limit = options.limit
    lines = []
    if options.only in (None, "sizes"):
        header()
        medians = []
        for n in options.sizes:
            times = []
            for seed in SEEDS:
                r = run(vela, options.folder, f"bench_{n}_seed_{seed}", structure(n, seed), f"bench seed {seed}", n,
                        limit)
                show(r, limit)
                times.append(r.seconds)
            medians.append((n, None if None in times else statistics.median(times)))
        for (n1, t1), (n2, t2) in zip(medians, medians[1:]):
            lines.append(exponent("of the median time", n1, t1, n2, t2))
        for line in lines:
            print(line)
        print()
    if options.only in (None, "cliffs"):
        header()
        results = {}
        for k, (label, n, text) in enumerate(cliffs()):
            if options.match and options.match not in label:
                continue
            series = results.setdefault(label, [])
            if series and series[-1][1] is None:
                # A smaller one of the series was past the limit: this one would be too.
                r = Result(label, n)
            else:
                r = run(vela, options.folder, f"cliff_{k}", text, label, n, limit)
            show(r, limit)
            series.append((n, r.seconds))
        for label, series in results.items():
            for (n1, t1), (n2, t2) in zip(series, series[1:]):
                print(exponent(f"of the {label}", n1, t1, n2, t2))
        print()
    if options.only in (None, "micro") and options.combine_bench:
        sys.stdout.flush()
        micro = subprocess.run([os.path.abspath(options.combine_bench)], stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, check=False)
        # The bench's build counts the micro-benchmark's own combines too.
        print("".join(line for line in micro.stdout.splitlines(True) if not REAL.match(line)), end="")


if __name__ == "__main__":
    main()
