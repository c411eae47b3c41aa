#!/usr/bin/env python3
"""Compares the XMLA client's answers with cubemill-query's.

Usage: compare_answers.py CLIENT_OUTPUT QUERY_FILE JSON_DIR

CLIENT_OUTPUT is what XmlaClientTest printed; QUERY_FILE the queries it ran (one a line, `#`
starts a comment); JSON_DIR holds N.json, cubemill-query --json's answer to the Nth query. Every
axis must list the same members' unique names in the same order and every cell must hold the same
value: the same number (an integer and a real of equal value are equal), the same text, or none.
Prints each difference and exits 1 when there is one, 0 when every answer is the same.
"""
import json
import math
import sys


def read_queries(path):
    with open(path, encoding="utf-8") as f:
        lines = [line.strip() for line in f]
    return [line for line in lines if line and not line.startswith("#")]


def read_client_answers(path):
    """The client's answers by query number: {"axes": [[tuple, ...], ...], "cells": [...]}."""
    answers = {}
    current = None
    section = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("query "):
                current = {"axes": [], "cells": []}
                answers[int(line[6:])] = current
                section = None
            elif current is None:
                continue
            elif line.startswith("axis "):
                current["axes"].append([])
                section = "axis"
            elif line == "cells":
                section = "cells"
            elif section == "axis":
                current["axes"][-1].append(tuple(line.split("\t")) if line else ())
            elif section == "cells":
                current["cells"].append(client_value(line))
    return answers


def client_value(text):
    if text == "null":
        return None
    if text.startswith('"'):
        return text[1:-1]
    return float(text)


def json_value(value):
    if value is None or isinstance(value, (int, float)):
        return None if value is None else float(value)
    if value in ("Infinity", "-Infinity", "NaN"):
        return float(value)
    return value


def expected_answer(path):
    try:
        with open(path, encoding="utf-8") as f:
            answer = json.load(f)
    except (OSError, ValueError):
        return None
    axes = [[tuple(t) for t in answer["column_unique_names"]]]
    # A query without a ROWS axis has one row whose tuple is empty.
    if answer["row_unique_names"] != [[]]:
        axes.append([tuple(t) for t in answer["row_unique_names"]])
    cells = [json_value(v) for row in answer["cells"] for v in row]
    return {"axes": axes, "cells": cells}


def same_value(a, b):
    if isinstance(a, float) and isinstance(b, float):
        return a == b or (math.isnan(a) and math.isnan(b))
    return a == b


def differences(number, mdx, got, expected):
    if got is None:
        return [f"query {number} has no answer from the client: {mdx}"]
    if expected is None:
        return [f"query {number} has no answer from cubemill-query: {mdx}"]
    found = []
    if got["axes"] != expected["axes"]:
        found.append(f"query {number}: axes differ: {mdx}\n  client: {got['axes']}\n"
                     f"  cubemill-query: {expected['axes']}")
    elif len(got["cells"]) != len(expected["cells"]):
        found.append(f"query {number}: {len(got['cells'])} cells, not "
                     f"{len(expected['cells'])}: {mdx}")
    else:
        for ordinal, (a, b) in enumerate(zip(got["cells"], expected["cells"])):
            if not same_value(a, b):
                found.append(f"query {number}: cell {ordinal} is {a!r}, not {b!r}: {mdx}")
    return found


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    queries = read_queries(argv[2])
    answers = read_client_answers(argv[1])
    found = []
    for number, mdx in enumerate(queries, start=1):
        expected = expected_answer(f"{argv[3]}/{number}.json")
        found += differences(number, mdx, answers.get(number), expected)
    for line in found:
        print(line)
    print(f"{len(queries) - len({f.split(':')[0] for f in found})} of {len(queries)} answers "
          f"the same")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
