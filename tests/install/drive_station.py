#!/usr/bin/python3
"""Drives a running program from outside, as an operator would, in a list of steps run in
order, and ends it at the end.

    drive_station.py [--timeout S] STEP... -- PROGRAM [ARGS...]

Steps:
    --press CAPTION   wait for a push button, radio button or check box named CAPTION
                      and press it (AT-SPI)
    --until COMMAND   run the shell COMMAND every half second until it succeeds
    --exits           wait for the program to end by itself (after its close button)

The controls are looked for in the program and in every process it started (so PROGRAM
may be a script that starts the station). Each step must succeed within the timeout
(default 60 s). Exit status 0 when every step
passed, 1 otherwise. Needs what atspi_press.py needs (an X display, a session D-Bus,
python3-pyatspi) and finds it on PYTHONPATH (tests/harness); the program is started with
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
"""
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # leaves no cache files in the source tree
import atspi_press  # noqa: E402  (the AT-SPI driver of tests/harness, on PYTHONPATH)
import pyatspi  # noqa: E402


def parse(argv):
    if "--" not in argv:
        sys.exit(__doc__)
    cut = argv.index("--")
    program, args = argv[cut + 1:], argv[:cut]
    timeout, steps = 60.0, []
    i = 0
    while i < len(args):
        if args[i] == "--timeout":
            timeout = float(args[i + 1])
            i += 2
        elif args[i] in ("--press", "--until"):
            steps.append((args[i][2:], args[i + 1]))
            i += 2
        elif args[i] == "--exits":
            steps.append(("exits", None))
            i += 1
        else:
            sys.exit(f"unknown step {args[i]!r}\n{__doc__}")
    if not program or not steps:
        sys.exit(__doc__)
    return timeout, steps, program


PRESSABLE = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_TOGGLE_BUTTON)


def process_tree(pid):
    """The pid and the pids of all its descendants."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, ValueError, IndexError):
                continue
            children.setdefault(ppid, []).append(int(entry))
    tree, todo = set(), [pid]
    while todo:
        p = todo.pop()
        tree.add(p)
        todo.extend(children.get(p, []))
    return tree


def wait(condition, timeout, proc, may_end=False):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        if not may_end and proc.poll() is not None:
            return None
        time.sleep(0.5)
    return None


def run_step(kind, what, timeout, proc):
    if kind == "press":
        node = wait(lambda: atspi_press.find_control(process_tree(proc.pid), what, PRESSABLE), timeout, proc)
        if node is None:
            print(f"FAIL: no control {what!r} within {timeout:.0f} s; tree:", flush=True)
            for p in process_tree(proc.pid):
                atspi_press.dump_tree(p)
            return False
        atspi_press.press(node, ("press", "click", "toggle"))
        print(f"PASS: pressed {what!r}", flush=True)
        return True
    if kind == "until":
        ok = wait(lambda: subprocess.run(what, shell=True).returncode == 0, timeout, proc)
        print(f"{'PASS' if ok else 'FAIL'}: {what}", flush=True)
        return bool(ok)
    ok = wait(lambda: proc.poll() is not None, timeout, proc, may_end=True)
    print(f"{'PASS' if ok else 'FAIL'}: the program ended", flush=True)
    return bool(ok)


def main():
    timeout, steps, program = parse(sys.argv[1:])
    proc = atspi_press.start_program(program)
    ok = True
    try:
        for kind, what in steps:
            if not run_step(kind, what, timeout, proc):
                ok = False
                break
    finally:
        atspi_press.stop_program(proc)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
