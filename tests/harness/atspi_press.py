#!/usr/bin/python3
"""Presses push buttons of a program from outside its process, through AT-SPI, the way a
screen reader or a UI automation tool does, and checks what the program reports.

    atspi_press.py [--timeout S] (--press CAPTION (--expect TEXT | --expect-none TEXT))...
                   -- PROGRAM [ARGS...]

The program is started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1. For each --press in turn
the driver waits until the program's accessible tree holds a push button named CAPTION
(a caption with a mnemonic "&" matches the name without it), calls the button's press
action, then waits until a line of the program's standard output contains the --expect
TEXT, or, for --expect-none, checks that no such line appears within a few seconds.
Exit status 0 when every step passed, 1 otherwise. The program is ended at the end.

Needs an X display and a session D-Bus (atspi_run.sh provides both) and python3-pyatspi;
run it with /usr/bin/python3, whose modules the Debian package installs.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import threading
import time

try:
    import pyatspi
except ImportError as exc:  # python3-pyatspi is installed by scripts/setup
    print(f"FAIL: cannot import pyatspi ({exc}); run with /usr/bin/python3", flush=True)
    sys.exit(1)

NONE_GRACE = 3.0  # seconds an --expect-none step watches the output


class Output:
    """Collects the program's standard output lines as they come."""

    def __init__(self, stream):
        self.lines = []
        self.cond = threading.Condition()
        self.closed = False
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            print(f"  program: {line}", flush=True)
            with self.cond:
                self.lines.append(line)
                self.cond.notify_all()
        with self.cond:
            self.closed = True
            self.cond.notify_all()

    def wait_for(self, text, start, timeout):
        """True when a line from index `start` on contains `text` within `timeout` s."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                if any(text in line for line in self.lines[start:]):
                    return True
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    return any(text in line for line in self.lines[start:])
                self.cond.wait(left)

    def count(self):
        with self.cond:
            return len(self.lines)


def strip_mnemonic(caption):
    return re.sub(r"&(.)", r"\1", caption)


def safe(fn, default=None):
    try:
        return fn()
    except Exception:  # objects vanish or the bus is slow; the caller polls again
        return default


def program_apps(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    apps = []
    for i in range(safe(lambda: desktop.childCount, 0)):
        app = safe(lambda: desktop.getChildAtIndex(i))
        if app is not None and safe(app.get_process_id) == pid:
            apps.append(app)
    return apps


def walk(node, depth=0):
    yield node, depth
    for i in range(safe(lambda: node.childCount, 0)):
        child = safe(lambda: node.getChildAtIndex(i))
        if child is not None:
            yield from walk(child, depth + 1)


def find_control(pids, caption, roles=(pyatspi.ROLE_PUSH_BUTTON,)):
    """The first control of one of `roles` named `caption` in the programs `pids`."""
    names = {caption, strip_mnemonic(caption)}
    for pid in pids:
        for app in program_apps(pid):
            for node, _ in walk(app):
                if safe(node.getRole) in roles and safe(lambda: node.name) in names:
                    return node
    return None


def dump_tree(pid):
    apps = program_apps(pid)
    if not apps:
        print("  (the program has no application on the accessibility bus)", flush=True)
    for app in apps:
        for node, depth in walk(app):
            print(f"  {'  ' * depth}{safe(node.getRoleName, '?')}: {safe(lambda: node.name, '?')!r}", flush=True)


def press(node, actions=("press", "click")):
    """Runs the first of the node's actions named in `actions`; returns its name."""
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for i, name in enumerate(names):
        if name.lower() in actions:
            action.doAction(i)
            return name
    raise RuntimeError(f"no press action, only {names}")


def start_program(program, **popen):
    """Starts the program with its accessibility bridge on."""
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    return subprocess.Popen(program, env=env, **popen)


def stop_program(proc):
    """Ends the program if it still runs: SIGTERM, then SIGKILL after 10 s."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def parse(argv):
    if "--" not in argv:
        sys.exit("usage: atspi_press.py [--timeout S] (--press CAPTION --expect TEXT)... -- PROGRAM [ARGS...]")
    cut = argv.index("--")
    program = argv[cut + 1:]
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds allowed for each step")
    parser.add_argument("--press", action="append", default=[], help="caption of a push button to press")
    parser.add_argument("--expect", dest="expect", action="append", type=lambda t: ("expect", t))
    parser.add_argument("--expect-none", dest="expect", action="append", type=lambda t: ("none", t))
    args = parser.parse_args(argv[:cut])
    expects = args.expect or []
    if not program or not args.press or len(args.press) != len(expects):
        parser.error("give a program after --, and one --expect or --expect-none for each --press")
    return args.timeout, list(zip(args.press, expects)), program


def main():
    timeout, steps, program = parse(sys.argv[1:])
    proc = start_program(program, stdout=subprocess.PIPE)
    out = Output(proc.stdout)
    failures = 0
    try:
        for caption, (kind, text) in steps:
            deadline = time.monotonic() + timeout
            node = None
            while node is None and time.monotonic() < deadline and proc.poll() is None:
                node = find_control([proc.pid], caption)
                if node is None:
                    time.sleep(0.25)
            if node is None:
                failures += 1
                state = "ended" if proc.poll() is not None else "running"
                print(f"FAIL: no push button {caption!r} within {timeout:.0f} s (program {state}); tree:", flush=True)
                dump_tree(proc.pid)
                break
            start = out.count()
            try:
                name = press(node)
            except Exception as exc:
                if kind == "none":  # a button that offers no press cannot report a click
                    print(f"PASS: {caption!r} found and cannot be pressed ({exc})", flush=True)
                else:
                    failures += 1
                    print(f"FAIL: pressing {caption!r}: {exc}", flush=True)
                continue
            if kind == "expect":
                if out.wait_for(text, start, timeout):
                    print(f"PASS: {caption!r} found and pressed ({name}); the program reported {text!r}", flush=True)
                else:
                    failures += 1
                    print(f"FAIL: pressed {caption!r}, but the program did not report {text!r} within {timeout:.0f} s",
                          flush=True)
            else:
                if out.wait_for(text, start, NONE_GRACE):
                    failures += 1
                    print(f"FAIL: pressed {caption!r} and the program reported {text!r}", flush=True)
                else:
                    print(f"PASS: {caption!r} found and pressed ({name}); nothing like {text!r} reported", flush=True)
    finally:
        stop_program(proc)
    print("PASS" if failures == 0 else f"FAIL: {failures} step(s) failed", flush=True)
    return 0 if failures == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
