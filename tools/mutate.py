#!/usr/bin/env python3
"""A small mutation sampler: how many of the faults a developer makes by mistake does the suite catch?

It picks mutants at random (seeded) among the eligible sites of the chosen source folders, applies
each one in a scratch copy of the tree, rebuilds that copy incrementally (one Ninja build dir reused
for every mutant) and runs the test binary under a time limit, stopping at the first failure: the
tests of the mutated folder first, then the others. A mutant a test fails on (or that hangs) is
killed; one that does not compile is counted apart; the rest survive and are listed at the end with
file, line and the changed line.

Operators: a relational operator flipped (< to >=) or its boundary moved (< to <=), an integer
constant moved by one, && and || swapped, a statement removed, a branch removed (its condition made
false), a table entry changed (the last field of two adjacent rows swapped).
"""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SOURCE_SUFFIXES = (".c", ".cc", ".cpp", ".h", ".hpp")


# ---------------------------------------------------------------------------------------------
# Reading the sources: which characters are code (not comment, not a literal's text)

def code_masks(text):
    """For each line, the line with comments blanked and string/char literal contents replaced
    by underscores, so the operators below only ever see code. Columns are kept."""
    out = []
    in_block = False
    for line in text.split("\n"):
        masked = []
        i = 0
        n = len(line)
        while i < n:
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    masked.append(" " * (n - i))
                    i = n
                else:
                    masked.append(" " * (end + 2 - i))
                    i = end + 2
                    in_block = False
                continue
            c = line[i]
            if line.startswith("//", i):
                masked.append(" " * (n - i))
                break
            if line.startswith("/*", i):
                in_block = True
                masked.append("  ")
                i += 2
                continue
            if c in "\"'":
                # A raw string R"(...)" is rare here; treat it as an ordinary literal.
                if c == "'" and i > 0 and (line[i - 1].isalnum()) and line[i - 1] not in "uUL":
                    masked.append(c)  # digit separator, as in 1'000'000
                    i += 1
                    continue
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                masked.append(c + "_" * (min(j, n) - i - 1) + (c if j < n else ""))
                i = j + 1
                continue
            masked.append(c)
            i += 1
        out.append("".join(masked)[:n].ljust(n))
    return out


SKIP_LINE = re.compile(r"^\s*#|static_assert|\bassert\s*\(|^\s*(?:std::)?(?:print_at_level|print_plain|v?printf|fprintf|"
                       r"puts|fputs)\s*\(|std::(?:cerr|cout)\b")
# A line that only prints is left alone: what it says is a text, not a behaviour of the program.

RELATIONAL = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
FLIP = {"<": ">=", ">=": "<", ">": "<=", "<=": ">", "==": "!=", "!=": "=="}
BOUNDARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
LOGICAL = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
INTEGER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F']+|0[bB][01']+|[0-9][0-9']*)([uUlLzZ]*)(?![\w.])")
STATEMENT = re.compile(
    r"^\s*(?:\*?[A-Za-z_][\w.:\[\]\->]*(?:\([^;]*\))?\s*(?:=|\+=|-=|\*=|/=|%=|\|=|&=|\^=|<<=|>>=)\s*[^=].*"
    r"|(?:\+\+|--)[A-Za-z_][\w.\->]*|[A-Za-z_][\w.\->]*(?:\+\+|--)"
    r"|[A-Za-z_][\w.:\->]*(?:<[\w:, ]*>)?\(.*\)"
    r"|return\b.*|break|continue)\s*;\s*$")
DECLARATION = re.compile(r"^\s*(?:const\s+|static\s+|constexpr\s+|auto\b|[A-Za-z_][\w:<>, ]*[\s*&]+[A-Za-z_]\w*\s*(=|\{|\())")
IF = re.compile(r"\b(if)\s*\(")
TABLE_ROW = re.compile(r"^\s*\{.*\}\s*,?\s*$")


def matching_paren(code, open_index):
    depth = 0
    for i in range(open_index, len(code)):
        if code[i] == "(":
            depth += 1
        elif code[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def top_level_fields(row, code):
    """Spans of the top-level comma separated fields inside a row's outer braces."""
    start = code.index("{") + 1
    end = code.rindex("}")
    fields, depth, field_start = [], 0, start
    for i in range(start, end):
        c = code[i]
        if c in "({[":
            depth += 1
        elif c in ")}]":
            depth -= 1
        elif c == "," and depth == 0:
            fields.append((field_start, i))
            field_start = i + 1
    fields.append((field_start, end))
    return [(a + len(row[a:b]) - len(row[a:b].lstrip()), b - (len(row[a:b]) - len(row[a:b].rstrip())))
            for a, b in fields]


def sites_in(path, text):
    """Every mutant the operators can make in one file: (line index, operator, new line)."""
    lines = text.split("\n")
    masks = code_masks(text)
    sites = []
    for i, (line, code) in enumerate(zip(lines, masks)):
        if not code.strip() or SKIP_LINE.search(line):
            continue
        for m in RELATIONAL.finditer(code):
            op = m.group(1)
            if op in "<>" and ("template" in code or re.search(r"\w<\w", code)):
                continue  # a template argument list, not a comparison
            for name, table in (("relational flipped", FLIP), ("boundary moved", BOUNDARY)):
                if op in table:
                    sites.append((i, name, line[:m.start()] + table[op] + line[m.end():]))
        for m in LOGICAL.finditer(code):
            other = "||" if m.group(1) == "&&" else "&&"
            sites.append((i, "&&/|| swapped", line[:m.start()] + other + line[m.end():]))
        for m in INTEGER.finditer(code):
            digits = m.group(1).replace("'", "")
            value = int(digits, 0) if not re.fullmatch(r"0[0-7]+", digits) else int(digits, 8)
            # One mutant per constant, up or down, so constants do not outweigh the other operators.
            for delta in ((1,) if value == 0 or (i + m.start()) % 2 else (-1,)):
                moved = value + delta
                if digits[:2].lower() == "0x":
                    new = "0x%X" % moved
                elif digits[:2].lower() == "0b":
                    new = "0b" + format(moved, "b")
                else:
                    new = str(moved)
                sites.append((i, "constant %+d" % delta, line[:m.start(1)] + new + line[m.end(1):]))
        if STATEMENT.match(code) and not DECLARATION.match(code) and code.count("(") == code.count(")"):
            indent = line[:len(line) - len(line.lstrip())]
            # "{}" rather than ";": an empty body after an if is a warning, and warnings are errors.
            sites.append((i, "statement removed", indent + "{}"))
        for m in IF.finditer(code):
            close = matching_paren(code, m.end() - 1)
            if close > 0:
                cond = line[m.end():close]
                sites.append((i, "branch removed", line[:m.end()] + "false && (" + cond + ")" + line[close:]))
        if TABLE_ROW.match(code) and i + 1 < len(lines) and TABLE_ROW.match(masks[i + 1]):
            mine, theirs = top_level_fields(line, code), top_level_fields(lines[i + 1], masks[i + 1])
            if len(mine) == len(theirs) and len(mine) > 1:
                a, b = mine[-1], theirs[-1]
                if line[a[0]:a[1]] != lines[i + 1][b[0]:b[1]]:
                    new = line[:a[0]] + lines[i + 1][b[0]:b[1]] + line[a[1]:]
                    sites.append((i, "table entry changed", new))
    return sites


# ---------------------------------------------------------------------------------------------
# The scratch tree and its build

def run(cmd, cwd=None, timeout=None, log=None):
    """Runs a command in a process group of its own so a time-out kills all it started."""
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=log or subprocess.DEVNULL, stderr=subprocess.STDOUT,
                            start_new_session=True)
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        return None
    except BaseException:
        # Interrupted: a build left running would write objects of a mutant restored meanwhile.
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        raise


def sync_tree(repo, tree):
    """Copies the tracked files (as they are in the working tree) into the scratch tree, touching
    only those that differ so the build stays incremental, and removes the ones no longer tracked."""
    files = subprocess.run(["git", "ls-files", "-z"], cwd=repo, check=True,
                           capture_output=True).stdout.decode().split("\0")
    files = [f for f in files if f and os.path.isfile(os.path.join(repo, f))]
    wanted = set(files)
    for f in files:
        src, dst = os.path.join(repo, f), os.path.join(tree, f)
        with open(src, "rb") as h:
            data = h.read()
        if os.path.exists(dst):
            with open(dst, "rb") as h:
                if h.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst)
    for root, _, names in os.walk(tree):
        for name in names:
            rel = os.path.relpath(os.path.join(root, name), tree)
            if rel not in wanted:
                os.remove(os.path.join(root, name))
    return files


def suites_by_folder(tree):
    """Test suite names per folder of tests/, read from the test sources."""
    pattern = re.compile(r"^\s*(?:TEST|TEST_F|TEST_P|TYPED_TEST)\(\s*(\w+)\s*,", re.M)
    found = {}
    for root, _, names in os.walk(os.path.join(tree, "tests")):
        folder = os.path.relpath(root, os.path.join(tree, "tests")).split(os.sep)[0]
        for name in names:
            if name.endswith(".cpp"):
                with open(os.path.join(root, name), errors="replace") as h:
                    found.setdefault(folder, set()).update(pattern.findall(h.read()))
    return found


def gtest_filters(path, suites):
    """The tests of the mutated folder first (src/chip/x.cpp -> tests/chip/), then all others."""
    parts = path.split("/")
    folder = parts[1] if len(parts) > 2 else ""
    mine = sorted(suites.get(folder, ()))
    if not mine:
        return [None]
    first = ":".join("%s.*:*/%s.*" % (s, s) for s in mine)
    return [first, "-" + first]


def run_tests(binary, filters, timeout, cwd, shards):
    """("killed", test) when a test failed, ("time-out", "") when the suite overran its time,
    else None. Each filter's tests run in `shards` processes side by side (most tests wait on a
    clock or a pseudo-terminal, not on the processor); the first failure stops the others."""
    deadline = time.monotonic() + timeout
    env = dict(os.environ, KESTO_MUTATE="1", GTEST_TOTAL_SHARDS=str(shards))
    for f in filters:
        cmd = [binary, "--gtest_fail_fast", "--gtest_brief=1"] + (["--gtest_filter=" + f] if f else [])
        outputs = [tempfile.TemporaryFile() for _ in range(shards)]
        procs = [subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, start_new_session=True,
                                  env=dict(env, GTEST_SHARD_INDEX=str(i))) for i, out in enumerate(outputs)]
        outcome = None
        try:
            while outcome is None:
                if any(p.poll() not in (None, 0) for p in procs):
                    outcome = "killed"
                elif all(p.returncode is not None for p in procs):
                    break
                elif time.monotonic() > deadline:
                    outcome = "time-out"
                else:
                    time.sleep(0.05)
        finally:
            for p in procs:
                if p.poll() is None:
                    os.killpg(p.pid, signal.SIGKILL)
                p.wait()
        failed = []
        for out in outputs:
            out.seek(0)
            failed += re.findall(r"^\[  FAILED  \] (\S+)", out.read().decode(errors="replace"), re.M)
            out.close()
        if outcome:
            # A test that crashed or was stopped prints no verdict of its own.
            return outcome, failed[0] if failed else ""
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--mutants", type=int, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--paths", nargs="+", default=["src"])
    parser.add_argument("--exclude", nargs="*", default=["src/platform/windows"])
    parser.add_argument("--work", default="build-mutate", help="scratch copy and its build dir")
    parser.add_argument("--timeout", type=float, default=0,
                        help="seconds per mutant's test run (default: 3 times the clean run, at least 60)")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs")
    parser.add_argument("--shards", type=int, default=3, help="test processes side by side")
    parser.add_argument("--list", action="store_true", help="only print the sampled mutants")
    args = parser.parse_args()

    repo = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True,
                          capture_output=True, text=True).stdout.strip()
    work = os.path.abspath(args.work)
    tree, build = os.path.join(work, "tree"), os.path.join(work, "build")
    if args.list:  # the sources as they are; the scratch copy may be in use by a run
        tree = repo
        files = subprocess.run(["git", "ls-files"], cwd=repo, check=True, capture_output=True,
                               text=True).stdout.split()
    else:
        os.makedirs(tree, exist_ok=True)
        files = sync_tree(repo, tree)

    paths = [p.rstrip("/") for p in args.paths]
    excluded = [p.rstrip("/") for p in args.exclude]
    within = lambda f, p: f == p or f.startswith(p + "/")
    eligible = sorted(f for f in files if f.endswith(SOURCE_SUFFIXES)
                      and any(within(f, p) for p in paths) and not any(within(f, p) for p in excluded))
    originals, sites = {}, []
    for f in eligible:
        with open(os.path.join(tree, f), errors="surrogateescape") as h:
            originals[f] = h.read()
        sites += [(f,) + s for s in sites_in(f, originals[f])]
    rng = random.Random(args.seed)
    chosen = rng.sample(sites, min(args.mutants, len(sites)))
    print("mutate: %d eligible mutants in %d files of %s; %d sampled with seed %d"
          % (len(sites), len(eligible), " ".join(paths), len(chosen), args.seed), flush=True)
    if args.list:
        for n, (f, i, op, new) in enumerate(chosen, 1):
            print("%3d %s:%d %s\n    - %s\n    + %s" % (n, f, i + 1, op, originals[f].split("\n")[i].strip(), new.strip()))
        return 0

    # A run that ended abruptly may have left objects built from its last mutant behind sources
    # that look older: the file it was mutating is touched, so that all built from it is rebuilt.
    mutating = os.path.join(work, "mutating")
    if os.path.exists(mutating):
        with open(mutating) as h:
            left = os.path.join(tree, h.read().strip())
        if os.path.exists(left):
            os.utime(left)
        os.remove(mutating)
    log_path = os.path.join(work, "build.log")
    if not os.path.exists(os.path.join(build, "build.ninja")):
        with open(log_path, "w") as log:
            # No debug information: the link is what every mutant pays for.
            status = run(["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                          "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG",
                          "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"], log=log)
        if status != 0:
            sys.exit("mutate: configuring %s failed (see %s)" % (build, log_path))
    build_cmd = ["cmake", "--build", build, "-j", str(args.jobs), "--target", "kesto_tests"]
    binary = os.path.join(build, "kesto_tests")
    print("mutate: building the unmutated tree ...", flush=True)
    with open(log_path, "w") as log:
        if run(build_cmd, log=log) != 0:
            sys.exit("mutate: the unmutated tree does not build (see %s)" % log_path)
    suites = suites_by_folder(tree)
    began = time.monotonic()
    if run_tests(binary, [None], 3600, build, args.shards):
        sys.exit("mutate: the suite fails without any mutant; fix that first")
    clean = time.monotonic() - began
    timeout = args.timeout or max(60.0, 3 * clean)
    print("mutate: clean suite %.0f s; %.0f s allowed per mutant" % (clean, timeout), flush=True)

    # Mutants of the same file run one after another: each costs one compile of that file.
    order = sorted(range(len(chosen)), key=lambda n: (chosen[n][0], n))
    results = {}
    started = time.monotonic()
    try:
        for done, n in enumerate(order, 1):
            f, i, op, new = chosen[n]
            lines = originals[f].split("\n")
            lines[i] = new
            target = os.path.join(tree, f)
            with open(mutating, "w") as h:
                h.write(f)
            with open(target, "w", errors="surrogateescape") as h:
                h.write("\n".join(lines))
            t0 = time.monotonic()
            with open(log_path, "w") as log:
                built = run(build_cmd, log=log, timeout=1800) == 0
            by = ""
            if not built:
                outcome = "no-build"
            else:
                outcome, by = run_tests(binary, gtest_filters(f, suites), timeout, build, args.shards) or ("survived", "")
            results[n] = outcome
            print("[%2d/%d] %-9s %s:%d  %s  (%.0f s)%s" % (done, len(chosen), outcome.upper(), f, i + 1, op,
                                                          time.monotonic() - t0, "  by " + by if by else ""),
                  flush=True)
            with open(target, "w", errors="surrogateescape") as h:
                h.write(originals[f])
    finally:
        for f in originals:  # whatever happened, the scratch tree is left unmutated
            target = os.path.join(tree, f)
            with open(target, errors="surrogateescape") as h:
                if h.read() != originals[f]:
                    with open(target, "w", errors="surrogateescape") as w:
                        w.write(originals[f])
        if os.path.exists(mutating):
            os.remove(mutating)

    survivors = sorted((n for n in results if results[n] == "survived"), key=lambda n: chosen[n][:2])
    no_build = sum(1 for r in results.values() if r == "no-build")
    compiled = len(results) - no_build
    killed = compiled - len(survivors)
    if survivors:
        print("\nsurvivors:")
    for n in survivors:
        f, i, op, new = chosen[n]
        print("  %s:%d  %s\n    - %s\n    + %s" % (f, i + 1, op, originals[f].split("\n")[i].strip(), new.strip()))
    score = 100.0 * killed / compiled if compiled else 0.0
    print("\nmutate: seed %d, %d mutants: %d killed, %d survived, %d did not compile; score %.1f%% "
          "of those that compile (%.0f min)" % (args.seed, len(results), killed, len(survivors), no_build,
                                                 score, (time.monotonic() - started) / 60))
    return 0


if __name__ == "__main__":
    sys.exit(main())
