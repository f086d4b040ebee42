#!/usr/bin/env python3
"""Start-up cost: CPU time and peak resident memory from exec until the main window is shown,
beside a fair floor measured in the same run: bare_qt showing one window with one label and one
button (fonts load on both sides). Each start runs on a private Xvfb without a tray or a session
bus; the two programs take turns (which goes first alternates), and medians are reported.

A start is watched until xdotool sees its window mapped, then half a second more for the first
paint; the process is then killed and its CPU (user + system, all threads, those that ended
too) and peak RSS taken from wait4's rusage.

Usage: bench/startup_cost.py [build dir] [runs]   (defaults: build, 48)
"""
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 48
work = tempfile.mkdtemp()
xvfb = None


def finish():
    if xvfb:
        xvfb.kill()
        xvfb.wait()
    shutil.rmtree(work, ignore_errors=True)


def start_display():
    global xvfb
    read, write = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
         "-noreset"], pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        got = os.read(read, 16)
        if not got:
            sys.exit("Xvfb did not start")
        number += got
    os.close(read)
    os.environ["DISPLAY"] = ":" + number.decode().strip()


def one_start(command, title):
    """CPU seconds and peak KiB of one start until its window is shown."""
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", title],
                   stdout=subprocess.DEVNULL, check=True, timeout=30)
    time.sleep(0.5)
    os.kill(process.pid, signal.SIGKILL)
    _, _, usage = os.wait4(process.pid, 0)
    process.returncode = -signal.SIGKILL
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def main():
    start_display()
    # No session bus, no tray: both programs find none.
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + work + "/no-bus"
    os.mkdir(work + "/run", 0o700)
    os.environ["XDG_RUNTIME_DIR"] = work + "/run"
    for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY"):
        os.environ.pop(name, None)

    # The program in a folder of its own (it keeps its settings beside itself), window shown.
    app = work + "/app"
    os.makedirs(app + "/sig")
    for name in ("quillmate", "quillmate_window.so"):
        shutil.copy2(os.path.join(build, name), app)
    with open(app + "/zq.ini", "wb") as ini:
        ini.write(b"[Settings]\r\nInterval=6\r\nStart_Min=0\r\nWrite_Type=Text\r\nSigLocation="
                  + app.encode() + b"/sig\r\n")
    program = ([app + "/quillmate"], "^ZQ Quillmate")
    floor = ([build + "/bench/bare_qt", "widgets"], "^Bare Qt window$")

    one_start(*program)  # the first start makes the stores: not measured
    measured = {"program": [], "floor": []}
    for i in range(runs):
        order = [("program", program), ("floor", floor)]
        for name, (command, title) in order if i % 2 == 0 else reversed(order):
            measured[name].append(one_start(command, title))

    def median(name, index):
        return statistics.median(run[index] for run in measured[name])

    cpu, floor_cpu = median("program", 0), median("floor", 0)
    rss, floor_rss = median("program", 1), median("floor", 1)
    spread = statistics.stdev(run[0] for run in measured["program"]) / statistics.mean(
        run[0] for run in measured["program"])
    print("| what | Quillmate | floor (bare Qt window, a label and a button) | ratio |")
    print("|---|---|---|---|")
    print(f"| start-up CPU, until the window shows | {cpu * 1e3:.1f} ms | {floor_cpu * 1e3:.1f} ms "
          f"| {cpu / floor_cpu:.2f} |")
    print(f"| start-up peak RSS | {rss / 1024:.1f} MiB | {floor_rss / 1024:.1f} MiB "
          f"| {rss / floor_rss:.2f} |")
    print(f"({runs} starts each, in turns, medians; CPU spread of the program's starts "
          f"{spread * 100:.0f}%)", file=sys.stderr)


try:
    main()
finally:
    finish()
