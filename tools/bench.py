#!/usr/bin/env python3
"""make bench: vela in limited mode on generated task structures of 25, 100, 400 and 1,600
methods; prints wall seconds and peak memory per size and the growth exponent of the time
between the two largest. A developer's tool: the structures are made here, deterministically.

usage: bench.py VELA OUTPUT_DIR [SIZE ...]"""
import math
import os
import random
import subprocess
import sys
import time

QAFS = ["q_sum", "q_max", "q_min", "q_exactly_one", "q_sigmoid (sigmoid_distribution 0.1 0 0.5 5 1.2 10)",
        "q_sum_all", "q_seq", "q_seq_sum", "q_seq_min", "q_seq_max"]
GROUPS = 2
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


def main():
    vela, folder = sys.argv[1], sys.argv[2]
    sizes = [int(s) for s in sys.argv[3:]] or [25, 100, 400, 1600]
    os.makedirs(folder, exist_ok=True)
    vela = os.path.abspath(vela)
    results = []
    print(f"{'methods':>8} {'seconds':>9} {'peak MB':>9} status")
    for n in sizes:
        name = f"bench_{n}"
        with open(os.path.join(folder, name + ".tvorna"), "w") as f:
            f.write(structure(n))
        with open(os.path.join(folder, name + ".console"), "w") as console:
            start = time.monotonic()
            run = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", name + ".rss", vela, name + ".tvorna", name],
                                   cwd=folder, stdout=console, stderr=console)
            status = run.wait()
            seconds = time.monotonic() - start
        with open(os.path.join(folder, name + ".rss")) as f:
            peak_mb = int(f.read().split()[-1]) / 1024.0
        results.append((n, seconds))
        print(f"{n:>8} {seconds:>9.3f} {peak_mb:>9.1f} {status}", flush=True)
    if len(results) >= 2:
        (n1, t1), (n2, t2) = results[-2], results[-1]
        print(f"growth exponent of the time from {n1} to {n2} methods: {math.log(t2 / t1) / math.log(n2 / n1):.2f}")


if __name__ == "__main__":
    main()
