#!/usr/bin/env python3
"""What a query of the reduction's candidate index reads on random covers, by
a model rather than a run: the expected leaves reached and list entries read
per query, for the group shapes the index takes at each size and for others.

A query t reads, in each of the two groups where it has the fewest dashes,
the 3^d leaves that agree with its literals there (d its dashes in the group),
and each of those lists holds the terms that agree with t's literals in the
group: n * (3/8)^literals of them on a cover of n terms whose places are '-'
with probability 1/4 and '0' or '1' with 3/8 each. Alternative shapes choose
their two groups by the least cost, `leaf_ns` per leaf and 1 ns per entry.

    python3 bench/index_model.py [--inputs 32] [--dash 0.25] [--sizes 250000,1000000,4000000]
"""

import argparse
import itertools
import math
import random


def index_shape(inputs, terms, widest=12, per_leaf=2):
    """The groups the index takes for `terms` terms (as candidate_index.cpp)."""
    width, leaves = 1, 9
    while width < widest and leaves <= terms // per_leaf:
        width, leaves = width + 1, leaves * 3
    width = min(width, inputs)
    count = -(-inputs // width)
    return [list(range(h * inputs // count, (h + 1) * inputs // count)) for h in range(count)]


def split(sizes, inputs, offset=0):
    groups, start = [], offset
    for k in sizes:
        groups.append([(start + i) % inputs for i in range(k)])
        start += k
    return groups


def expected(groups, terms, inputs, dash, by_dashes, leaf_ns=20.0, samples=4000, seed=1):
    """Mean leaves and entries a query reads."""
    rng = random.Random(seed)
    literal = (1 - dash) / 2
    leaves = entries = 0.0
    for _ in range(samples):
        t = [rng.random() < dash for _ in range(inputs)]
        costs = []
        for g in groups:
            d = sum(t[i] for i in g)
            costs.append((d, 3.0 ** d, terms * literal ** (len(g) - d)))
        best = None
        for a, b in itertools.combinations(range(len(groups)), 2):
            if set(groups[a]) & set(groups[b]):
                continue
            key = (costs[a][0] + costs[b][0] if by_dashes
                   else leaf_ns * (costs[a][1] + costs[b][1]) + costs[a][2] + costs[b][2])
            if best is None or key < best[0]:
                best = (key, a, b)
        _, a, b = best
        leaves += costs[a][1] + costs[b][1]
        entries += costs[a][2] + costs[b][2]
    return leaves / samples, entries / samples


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--inputs", type=int, default=32)
    parser.add_argument("--dash", type=float, default=0.25)
    parser.add_argument("--sizes", default="250000,1000000,4000000")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    n = args.inputs
    others = {"3 groups, both partitions of two offsets": lambda: split([11, 11, 10], n) + split([11, 11, 10], n, 5),
              "2 groups of 16": lambda: split([16, 16], n),
              "12/12/8 by cost": lambda: split([12, 12, 8], n),
              "4 groups of 8 by cost": lambda: split([8, 8, 8, 8], n)}
    print(f"per query of a random cover ({n} inputs, '-' with probability {args.dash}): leaves reached, "
          f"entries read; and entries over all n queries")
    rows, least = {}, []
    for terms in sizes:
        shape = index_shape(n, terms)
        name = "index (" + "/".join(str(len(g)) for g in shape) + ")"
        cases = [(name, shape, True)] + [(k, f(), False) for k, f in others.items()]
        costs = []
        for label, groups, by_dashes in cases:
            leaves, entries = expected(groups, terms, n, args.dash, by_dashes)
            costs.append(20 * leaves + entries)
            key = "index" if label.startswith("index") else label
            rows.setdefault(key, []).append((terms, entries * terms))
            print(f"{terms:9d} {label:42s} {leaves:9.1f} {entries:9.0f} {entries * terms:14.3g}")
        least.append((terms, min(costs) * terms))
    print("growth of the entries read over all queries, smallest to largest size:")
    for key, points in rows.items():
        (n0, e0), (n1, e1) = points[0], points[-1]
        print(f"  {key:42s} {math.log(e1 / e0) / math.log(n1 / n0):.2f}")
    (n0, c0), (n1, c1) = least[0], least[-1]
    print(f"growth of the least cost over these shapes (20 ns a leaf, 1 ns an entry) over all queries: "
          f"{math.log(c1 / c0) / math.log(n1 / n0):.2f}")


if __name__ == "__main__":
    main()
