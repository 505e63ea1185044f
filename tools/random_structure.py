#!/usr/bin/env python3
"""Random task structures for the output comparison (tools/compare.py): every form of the
language the scheduler reads, in shapes from one method to a few dozen.

Each seed gives one structure, the same on every machine. The shapes vary: depth and
fan-out of the trees, every quality accumulation function, one to three outcomes (failures
among them), effects of every kind between methods and tasks (some out of a named outcome,
with delays), consumable and non-consumable resources with uses, produces and limits,
commitments of every kind, subtasks shared by two tasks, deadlines and earliest starts,
finished and non-local methods, several task groups and further agents whose work is not
scheduled, criteria, and the run's parameters.

Most structures schedule: methods usually have a quality above zero, effects run forward
so that they form no cycle, the commitments and deadlines lie where a schedule can meet or
miss them, and nothing names what does not exist or what the reader refuses (the
whole-run cases hold the refusals).

usage: random_structure.py SEED  (prints the structure)"""
import random
import sys

QAFS = ["q_sum", "q_max", "q_min", "q_exactly_one", "q_sum_all", "q_seq", "q_seq_sum", "q_seq_min", "q_seq_max",
        "q_sigmoid"]
COMMITMENT_TYPES = ["deadline", "do", "earliest_start_time", "est_and_dl_and_do", "dont"]


def number(rng, low, high, decimals=2):
    """An integer or a decimal in [low, high]."""
    if rng.random() < 0.5:
        return str(rng.randint(int(low), int(high)))
    return f"{rng.uniform(low, high):.{decimals}f}"


def pairs(rng, values, certain=0.5):
    """A value/probability list over the given values (one of them when certain)."""
    if rng.random() < certain or len(values) == 1:
        return f"{values[0]} 1"
    k = rng.randint(2, min(len(values), 4))
    chosen = values[:k]
    weights = [rng.randint(1, 9) for _ in chosen]
    total = sum(weights)
    densities = [round(w / total, 2) for w in weights]
    densities[-1] = round(1.0 - sum(densities[:-1]), 2)
    if densities[-1] <= 0:
        return f"{values[0]} 1"
    return " ".join(f"{v} {d}" for v, d in zip(chosen, densities))


class Generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.forms = []
        self.methods = []  # names of the first agent's methods, in order
        self.outcomes = {}  # method name -> outcome names
        self.tasks = []  # names of the first agent's tasks (not groups)
        self.done = set()  # finished methods
        self.count = 0
        self.parent = {}  # node -> the (first) task it was made under

    def name(self, prefix):
        self.count += 1
        return f"{prefix}{self.count}"

    def sometimes(self, fields, *choices):
        """Appends the field of each (chance, field) whose chance comes up."""
        for chance, field in choices:
            if self.rng.random() < chance:
                fields.append(field())

    def outcome_text(self, label, density, failing):
        rng = self.rng
        qualities = [number(rng, 1, 20) for _ in range(4)]
        if failing:
            qualities = ["0"] + qualities
        durations = [str(rng.randint(1, 12)) for _ in range(4)]
        costs = [number(rng, 0, 6) for _ in range(3)]
        return (f"({label} (density {density}) (quality_distribution {pairs(rng, qualities, 0.05 if failing else 0.5)}) "
                f"(duration_distribution {pairs(rng, durations)}) (cost_distribution {pairs(rng, costs, 0.7)}))")

    def method(self, agent, supers, main, budget):
        rng = self.rng
        name = self.name("M")
        self.parent[name] = supers[0]
        fields = [f"(label {name})", f"(agent {agent})", f"(supertasks {' '.join(supers)})"]
        finished = main and rng.random() < 0.04
        if finished:
            # A method that ran already: its outcome is certain.
            outs = [("done", "1")] if rng.random() < 0.5 else [("never", "0"), ("done", "1")]
            fields.append(f"(start_time 0) (finish_time {rng.randint(1, 5)}) (accrued_time {rng.randint(1, 5)})")
            self.done.add(name)
        else:
            r = rng.random()
            if r < 0.7:
                outs = [("o", "1")]
            elif r < 0.9:
                outs = [("good", "0.6"), ("poor", "0.4")]
            else:
                outs = [("a", "0.3"), ("b", "0.3"), ("c", "0.4")]
        text = "".join(self.outcome_text(label, density, rng.random() < 0.3) for label, density in outs)
        fields.append(f"(outcomes {text})")
        self.sometimes(fields, (0.1, lambda: f"(deadline {rng.randint(8, 80)})"),
                       (0.08, lambda: f"(earliest_start_time {rng.randint(1, 20)})"),
                       (0.05, lambda: f"(arrival_time {rng.randint(0, 5)})"))
        if main and not finished and rng.random() < 0.03:
            fields.append("(method_is_non_local)")
        if rng.random() < 0.03:
            fields.append(f"(percentage_of_cpu_used {rng.choice(['0.5', '1', '0.25'])})")
        if rng.random() < 0.08:
            pref = rng.choice(["earlier strong", "later weak", "earlier_weak", "later_strong"])
            attrs = f" (spec_attributes (placement_preference {pref}))"
        else:
            attrs = ""
        rng.shuffle(fields)
        # The attributes form may only stand before the label or the closer.
        self.forms.append(f"(spec_method {' '.join(fields)}{attrs})\n")
        if main:
            self.methods.append(name)
            self.outcomes[name] = [label for label, _ in outs]
        budget[0] -= 1
        return name

    def qaf(self):
        rng = self.rng
        q = rng.choice(QAFS)
        if q == "q_sigmoid":
            return "q_sigmoid (sigmoid_distribution 0.1 0 0.5 5 1.2 10)"
        return q

    def task(self, kind, agent, supers, depth, main, budget):
        """A task (or task group) with its subtree; returns its name."""
        rng = self.rng
        name = self.name("G" if kind == "spec_task_group" else "T")
        if supers:
            self.parent[name] = supers[0]
        at = len(self.forms)
        self.forms.append(None)
        fanout = rng.choice([1, 2, 2, 2, 3, 3, 4, 5])
        subs = []
        for _ in range(fanout):
            if budget[0] <= 0 and subs:
                break
            if depth > 0 and budget[0] > 2 and rng.random() < 0.55:
                subs.append(self.task("spec_task", agent, [name], depth - 1, main, budget))
            else:
                subs.append(self.method(agent, [name], main, budget))
        fields = [f"(label {name})", f"(agent {agent})", f"(subtasks {' '.join(subs)})", f"(qaf {self.qaf()})"]
        if kind == "spec_task":
            fields.append(f"(supertasks {' '.join(supers)})")
        self.sometimes(fields, (0.08, lambda: f"(deadline {rng.randint(15, 120)})"),
                       (0.05, lambda: f"(earliest_start_time {rng.randint(0, 10)})"),
                       (0.05, lambda: f"(spec_attributes (weighting_factor {rng.choice(['0.5', '2', '1.5'])}))"))
        rng.shuffle(fields)
        # The attributes form may only stand before the label or the closer.
        attrs = [f for f in fields if f.startswith("(spec_attributes")]
        rest = [f for f in fields if not f.startswith("(spec_attributes")]
        self.forms[at] = [kind, name, rest, attrs]
        if main and kind == "spec_task":
            self.tasks.append(name)
        return name

    def render_task(self, entry):
        kind, name, rest, attrs = entry
        return f"({kind} {' '.join(rest + attrs)})\n"

    def share_a_subtask(self):
        """A method of one task also becomes a subtask of another task."""
        rng = self.rng
        candidates = [e for e in self.forms if isinstance(e, list) and e[1] in self.tasks]
        free = [m for m in self.methods if m not in self.done]
        if len(candidates) < 2 or not free:
            return
        method = rng.choice(free)
        for i, form in enumerate(self.forms):
            if isinstance(form, str) and form.startswith("(spec_method") and f"(label {method})" in form:
                owner = form.split("(supertasks ")[1].split(")")[0]
                others = [e for e in candidates if e[1] != owner]
                if not others:
                    return
                other = rng.choice(others)
                for k, field in enumerate(other[2]):
                    if field.startswith("(subtasks "):
                        other[2][k] = field[:-1] + f" {method})"
                self.forms[i] = form.replace(f"(supertasks {owner})", f"(supertasks {owner} {other[1]})")
                return

    def related(self, a, b):
        """Whether one of the two nodes lies under the other."""
        def under(x, top):
            while x in self.parent:
                x = self.parent[x]
                if x == top:
                    return True
            return False
        return under(a, b) or under(b, a)

    def effects(self, agent):
        rng = self.rng
        # Effects run forward in the order the nodes were made, so that they form no
        # cycle that would leave every method waiting for another.
        nodes = sorted(self.methods + self.tasks, key=lambda x: int(x[1:]))
        n = rng.choice([0, 0, 1, 2, 3, 5, 8])
        out = []
        for k in range(n):
            if len(nodes) < 2:
                break
            i, j = sorted(rng.sample(range(len(nodes)), 2))
            a, b = nodes[i], nodes[j]
            if self.related(a, b):
                continue
            kind = rng.choice(["enables", "disables", "facilitates", "hinders", "facilitates", "enables"])
            source = f"(from {a})"
            if a in self.outcomes and rng.random() < 0.3:
                source += f" (from_outcome {rng.choice(self.outcomes[a])})"
            delay = rng.choice(["0 1", "0 1", "1 1", "2 0.5 4 0.5"])
            label = f"E{k}"
            if kind in ("enables", "disables"):
                out.append(f"(spec_{kind} (label {label}) (agent {agent}) {source} (to {b}) (delay {delay}))\n")
            else:
                out.append(f"(spec_{kind} (label {label}) (agent {agent}) {source} (to {b}) "
                           f"(quality_power {rng.choice(['0.5', '0.2', '1'])} 1) "
                           f"(duration_power {rng.choice(['0', '0.25', '0.5'])} 1) "
                           f"(cost_power {rng.choice(['0', '0.1'])} 1) (delay {delay}))\n")
        return out

    def resources(self, agent):
        rng = self.rng
        out = []
        if rng.random() < 0.5 or not self.methods:
            return out
        free = [m for m in self.methods if m not in self.done] or self.methods
        for r in range(rng.randint(1, 2)):
            label = f"R{r}"
            per_time = rng.random() < 0.25
            model = " (resource_model per_time_unit)" if per_time else rng.choice(["", " (resource_model duration_independent)"])
            if rng.random() < 0.6:
                overload = f" (overloaded_at {rng.randint(30, 100)})" if rng.random() < 0.7 else ""
                owner = f" (agent {agent})" if rng.random() < 0.8 else ""
                out.append(f"(spec_consumable_resource (label {label}){owner} (state {rng.randint(5, 30)}) "
                           f"(depleted_at 0){overload})\n")
            else:
                out.append(f"(spec_non_consumable_resource (label {label}) (agent {agent}) (state 1) "
                           f"(depleted_at 0))\n")
            for u in range(rng.randint(1, 3)):
                m = rng.choice(free)
                verb = rng.choice(["spec_uses", "spec_consumes", "spec_uses"])
                out.append(f"({verb} (label U{r}_{u}) (agent {agent}) (from {m}) (to {label}) "
                           f"(consumes {pairs(rng, [str(rng.randint(1, 8)), str(rng.randint(1, 8))])}){model})\n")
            if rng.random() < 0.5:
                m = rng.choice(free)
                out.append(f"(spec_produces (label P{r}) (agent {agent}) (from {m}) (to {label}) "
                           f"(produces {rng.randint(1, 6)} 1){model})\n")
            if rng.random() < 0.5:
                m = rng.choice(free)
                out.append(f"(spec_limits (label L{r}) (agent {agent}) (from {label}) (to {m}) "
                           f"(quality_power 0.5 1) (duration_power {rng.choice(['1', '0.5'])} 1) (cost_power 1 1))\n")
        return out

    def commitments(self, agent):
        rng = self.rng
        out = []
        n = rng.choice([0, 0, 1, 1, 2, 3, 4])
        targets = self.methods + self.tasks
        if not targets:
            return out
        for k in range(n):
            kind = rng.choice(COMMITMENT_TYPES + ["nonlocal"])
            task = rng.choice(self.methods if kind == "nonlocal" else targets)
            label = f"C{k}"
            if kind == "nonlocal":
                out.append(f"(spec_nonlocal_commitment (label {label}) (task {task}) (from_agent Other) "
                           f"(to_agent {agent}) (quality_distribution {rng.randint(1, 9)} 1) "
                           f"(time_distribution {rng.randint(5, 20)} 0.5 {rng.randint(21, 40)} 0.5))\n")
                continue
            owner = f" (agent {agent})" if rng.random() < 0.7 else ""
            est, dl, sat, dont = "-9", "-9", "-9", ""
            if kind in ("deadline", "est_and_dl_and_do"):
                dl = str(rng.randint(5, 60))
            if kind in ("earliest_start_time", "est_and_dl_and_do"):
                est = str(rng.randint(1, 15))
            if kind == "do" and rng.random() < 0.5:
                sat = str(rng.randint(3, 30))
            if kind == "dont":
                start = rng.randint(0, 20)
                dont = f" (dont_interval_start {start}) (dont_interval_end {start + rng.randint(2, 30)})"
                if rng.random() < 0.3:
                    task = " ".join(rng.sample(targets, min(2, len(targets))))
            attrs = ""
            if rng.random() < 0.2:
                attrs = (f" (spec_attributes (existing_or_proposed {rng.choice(['existing', 'proposed'])})"
                         f" (quality_for_commitment_satisfaction 0 0.5 {rng.randint(1, 5)} 0.5))")
            out.append(f"(spec_commitment (label {label}) (type {kind}){owner} (task {task}) "
                       f"(importance {rng.choice([-1, 0, 1, 1, 2, 5])}) (minimum_quality {number(rng, 0, 3)}) "
                       f"(earliest_start_time {est}) (deadline {dl}){dont} (time_satisfied {sat}){attrs})\n")
        return out

    def criteria(self):
        rng = self.rng
        if rng.random() < 0.45:
            return []
        s = lambda: rng.choice(["0", "0", "0.2", "0.5", "1"])
        fields = [f"(goodness_quality_slider {rng.choice(['1', '0.8', '0.5'])})", f"(goodness_cost_slider {s()})",
                  f"(goodness_duration_slider {s()})", f"(threshold_quality_slider {s()})",
                  f"(threshold_cost_slider {s()})", f"(threshold_duration_slider {s()})",
                  f"(quality_threshold {rng.randint(0, 10)})", f"(cost_limit {rng.randint(0, 20)})",
                  f"(duration_limit {rng.choice(['0 0', '30', '40 0.5', '60.5 0.25'])})",
                  f"(uncertainty_quality_slider {s()})", f"(uncertainty_cost_slider {s()})",
                  f"(uncertainty_duration_slider {s()})", f"(threshold_certainty_quality_slider {s()})",
                  f"(threshold_certainty_cost_slider {s()})", f"(threshold_certainty_duration_slider {s()})",
                  f"(quality_certainty_threshold {s()})", f"(cost_certainty_threshold {s()})",
                  f"(duration_certainty_threshold {s()})", f"(meta_goodness_slider {rng.choice(['1', '0.7'])})",
                  f"(meta_threshold_slider {s()})", f"(meta_uncertainty_slider {s()})",
                  f"(meta_uncertainty_threshold_slider {s()})"]
        return [f"(spec_evaluation_criteria (label crit) {' '.join(fields)})\n"]

    def parameters(self):
        rng = self.rng
        r = rng.random()
        if r < 0.08:
            return [f"(spec_misc_scheduler_parameters (label run) (time_to_schedule_for {rng.randint(0, 5)}) "
                    f"(cost_accrued {rng.randint(0, 3)}) (use_advanced_analysis {rng.randint(0, 1)}) "
                    f"(pruning_setting {rng.choice(['p', 'n'])}))\n"]
        if r < 0.2:
            keys = [f"(target_max_number_of_schedules {rng.randint(1, 8)})", f"(pruning_setting {rng.choice('pn')})",
                    f"(time_to_schedule_for {rng.randint(0, 4)})", f"(cost_accrued {rng.randint(0, 2)})"]
            return [f"(spec_attributes {' '.join(rng.sample(keys, rng.randint(1, 3)))})\n"]
        return []

    def build(self, methods_wanted):
        rng = self.rng
        main = "A"
        agents = [main] + [f"Other{k}" for k in range(rng.choice([0, 0, 0, 1, 2]))]
        head = [f"; Random structure for the output comparison.\n"] + [f"(spec_agent (label {a}))\n" for a in agents]
        groups = rng.choice([1, 1, 1, 2, 2, 3])
        budget = [methods_wanted]
        depth = rng.choice([0, 1, 1, 2, 2, 3, 4])
        for g in range(groups):
            share = [max(1, budget[0] // (groups - g))]
            self.task("spec_task_group", main, [], depth, True, share)
            budget[0] -= max(1, methods_wanted // groups)
        for other in agents[1:]:
            self.task("spec_task_group", other, [], 1, False, [rng.randint(1, 3)])
        if rng.random() < 0.3:
            self.share_a_subtask()
        forms = []
        for f in self.forms:
            forms.append(self.render_task(f) if isinstance(f, list) else f)
        rng.shuffle(forms) if rng.random() < 0.2 else None
        tail = self.effects(main) + self.resources(main) + self.commitments(main) + self.criteria() + self.parameters()
        return "".join(head + forms + tail), len(self.methods)


def structure(seed):
    """(text, number of the scheduled agent's methods) of the structure of this seed.

    A structure holds at most 6 methods in all or at least 9: the comparison runs those of
    at most 8 in the exhaustive modes too, which take minutes at 7 or 8 methods."""
    rng = random.Random(seed * 7919 + 17)
    r = rng.random()
    if r < 0.45:
        wanted, fits = rng.randint(1, 6), lambda n: n <= 6
    elif r < 0.85:
        wanted, fits = rng.randint(9, 24), lambda n: n >= 9
    else:
        wanted, fits = rng.randint(25, 60), lambda n: n >= 9
    for attempt in range(100):
        text, methods = Generator(seed + 100003 * attempt).build(wanted)
        if fits(text.count("(spec_method")):
            break
    return text, methods


if __name__ == "__main__":
    text, n = structure(int(sys.argv[1]))
    sys.stdout.write(text)
