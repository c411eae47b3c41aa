#!/usr/bin/env python3
"""Sums up the server's side of the warm XMLA benchmark from cubemill-serve's access log.

Usage: server_times.py ACCESS_LOG QUESTION_FILE RUNS

The access log has a line per request: time;client;user;catalog;statement;status;cells;ms (the
statement's first 200 characters; a Discover request shows its rowset). The client asked each
question of QUESTION_FILE (one query a line, the comment line before it naming it) once to warm,
RUNS times through the driver, then RUNS times over bare HTTP, one request at a time. Prints a
Markdown table: for each question the Executes of it the server answered and their median and
90th percentile in milliseconds (whole milliseconds, as the log has them: from the request read
to the answer sent), and the other requests the driver sent after each timed Execute (members it
looked up), per run, with their milliseconds; then every other kind of request: how many, and
their milliseconds in all.
"""
import math
import sys


def read_questions(path):
    questions = []
    name = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            text = line.strip()
            if not text:
                continue
            if text.startswith("#"):
                name = text[1:].strip()
                continue
            questions.append((name or f"question {len(questions) + 1}", text))
            name = None
    return questions


def read_log(path):
    """(statement, status, ms) of each line; the statement may itself hold no ";"."""
    lines = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) < 8:
                continue
            statement = ";".join(fields[4:-3])
            lines.append((statement, fields[-3], int(fields[-1])))
    return lines


def percentile(values, p):
    ordered = sorted(values)
    if p == 50 and len(ordered) % 2 == 0:
        return (ordered[len(ordered) // 2 - 1] + ordered[len(ordered) // 2]) / 2
    return ordered[max(math.ceil(p / 100 * len(ordered)), 1) - 1]


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    questions = read_questions(argv[2])
    runs = int(argv[3])
    log = read_log(argv[1])
    # The log keeps a statement's first 200 characters.
    keys = [mdx.encode("utf-8")[:200].decode("utf-8", "ignore") for _, mdx in questions]
    by_statement = {}
    executes = {}  # Executes of each question so far, while walking the log
    extra = {}  # (count, ms) of the other requests after a timed Execute, by question
    current = None
    for statement, status, ms in log:
        by_statement.setdefault(statement, []).append(ms)
        if statement in keys:
            current = statement
            executes[current] = executes.get(current, 0) + 1
        elif current is not None and 1 < executes[current] <= runs + 1:
            count, total = extra.get(current, (0, 0))
            extra[current] = (count + 1, total + ms)
    print("| question (server side) | Executes | median ms | p90 ms | other requests per run |"
          " their ms per run |")
    print("|---|---:|---:|---:|---:|---:|")
    for (name, _), key in zip(questions, keys):
        times = by_statement.get(key, [])
        count, total = extra.get(key, (0, 0))
        if times:
            print(f"| {name} | {len(times)} | {percentile(times, 50):.1f} | "
                  f"{percentile(times, 90):.1f} | {count / runs:.1f} | {total / runs:.2f} |")
        else:
            print(f"| {name} | 0 | | | | |")
    asked = set(keys)
    print()
    print("| other requests | count | ms in all |")
    print("|---|---:|---:|")
    for statement, times in sorted(by_statement.items()):
        if statement not in asked:
            print(f"| {statement or '(none)'} | {len(times)} | {sum(times)} |")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
