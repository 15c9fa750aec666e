"""What the Python test scripts share: check() records a failed condition and says it on standard
error at once, so that a script goes on and reports every failure; finish() prints the verdict and
gives the exit status; SKIP is the status ctest counts as skipped."""
import sys

SKIP = 77
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print(f"FAILED: {what}", file=sys.stderr)
    return condition


def finish():
    print("failed" if failures else "passed")
    return 1 if failures else 0
