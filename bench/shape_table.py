"""Prints the shape table of `make bench`: the exact test's chain cost per
step over samples x alleles, for each chain form, beside the
straightforward path's cost (Google Benchmark JSON files, CPU time).

usage: shape_table.py STRAIGHTFORWARD.json FORM=FORM.json ...
"""
import json
import sys

NAME = "BM_ChainShape"


def per_step(path, prefix):
    """ns per step by (samples, alleles) from one benchmark file."""
    cells = {}
    for b in json.load(open(path))["benchmarks"]:
        if b.get("run_type", "iteration") != "iteration" or not b["name"].startswith(prefix + "/"):
            continue
        fields = dict(part.split(":") for part in b["name"].split("/")[1:])
        cells[(int(fields["samples"]), int(fields["alleles"]))] = 1e9 / b["items_per_second"]
    return cells


def grid(title, cells, cell_text):
    samples = sorted({s for s, _ in cells})
    alleles = sorted({a for _, a in cells})
    print(f"\n{title}\n")
    print("| samples \\ alleles | " + " | ".join(str(a) for a in alleles) + " |")
    print("|---|" + "---|" * len(alleles))
    for s in samples:
        print(f"| {s} | " + " | ".join(cell_text(cells[(s, a)], (s, a)) if (s, a) in cells else "-"
                                       for a in alleles) + " |")


def main():
    plain = per_step(sys.argv[1], NAME + "Straightforward")
    grid("Straightforward path, ns per step (one thread)", plain, lambda ns, _: f"{ns:.0f}")
    worst = []
    for argument in sys.argv[2:]:
        form, path = argument.split("=", 1)
        fast = per_step(path, NAME)
        grid(f"Chain form {form}: ns per step (times faster than the straightforward path)", fast,
             lambda ns, key: f"{ns:.1f} ({plain[key] / ns:.0f}x)" if key in plain else f"{ns:.1f}")
        ratios = [plain[key] / ns for key, ns in fast.items() if key in plain]
        if ratios:
            worst.append(f"{form} {min(ratios):.1f}x")
    print("\nSlowest cell against the straightforward path: " + ", ".join(worst))


main()
