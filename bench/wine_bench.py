#!/usr/bin/env python3
"""Times batchext-cli.exe against Wine's own `xcopy /E` under Wine, or with
--window the window batchext.exe against batchext-cli.exe; exits 1 when
the target is missed.

Both copy the same tree (--files files of --kib KiB in --folders folders,
on a tmpfs of its own as root) in interleaved rounds, first round untimed:
  batchext        wine batchext-cli.exe -q -r -f "*" -t dat SRC DST
  batchext -j 1   the same with one job
  xcopy           wine xcopy /E /I /Q SRC DST
and, to show what Wine's start-up costs each, both over a folder with a
single file. The figures are the medians of per-round ratios, raw and with
that start-up subtracted; the verdict (batchext <= 1.0 x xcopy) uses the raw
ratio. One Wine prefix is made for the run and one wineserver kept alive
through it, so that no run pays for starting the server; the prefix goes at
the end. Wine's programs get no terminal: input from /dev/null, output to a
log in the work folder.

With --window, on an Xvfb display of its own, each round opens the window
on SRC through batchext_window_timer.exe, which fills in "*" and "dat",
ticks the subfolders, presses the start button and reports the seconds
from the press to the summary box; in the same rounds, interleaved:
  batchext-cli    wine batchext-cli.exe -q -r -f "*" -t dat SRC "SRC(2)"
  start-up        the same over a folder with a single file
Both write "SRC(2)" with the default jobs and keep a journal. The window's
figure leaves out its start-up; the command line's, net, has the start-up
run taken off. The verdict (window <= 1.1 x batchext-cli) uses the median
of the per-round net ratios; the raw ratio (start-up kept in the command
line's time only) is shown beside it, and the timer's whole run as
"window raw". Xvfb has no window manager, and Wine waits up to 2 s for
one's answer whenever a framed window is hidden (the progress dialog is,
before the summary box), so the prefix tells Wine's X11 driver to manage
no window (Managed=N), as a desktop's manager would answer at once.

The programs are built into build-bench-windows/ (MinGW-w64, Release),
or into the build folder of the window and its tests that --build names
(e.g. build-windows/); --exe names a batchext-cli.exe to time instead.

Quick runs:  bench/wine_bench.py --files 1000 --rounds 3
             bench/wine_bench.py --window --build build-windows --rounds 3
"""

import argparse
import os
import re
import statistics
import shutil
import subprocess
import sys
import tempfile
import time

import run_bench

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


def parse_arguments():
    parser = argparse.ArgumentParser(
        description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=5000,
                        help="files of the tree (default 5000: enough that "
                        "copying outweighs Wine's start-up)")
    parser.add_argument("--folders", type=int, default=8,
                        help="folders of the tree (default 8)")
    parser.add_argument("--kib", type=int, default=2,
                        help="size of each file (default 2)")
    parser.add_argument("--rounds", type=int, default=5,
                        help="timed rounds (default 5)")
    parser.add_argument("--warmup", type=int, default=1,
                        help="untimed rounds before them (default 1)")
    parser.add_argument("--exe", help="batchext-cli.exe to time (default: "
                        "build one into build-bench-windows/)")
    parser.add_argument("--window", action="store_true",
                        help="time the window against batchext-cli.exe")
    parser.add_argument("--build", help="a MinGW build folder with the "
                        "window and its tests, whose programs are used "
                        "(built if needed)")
    parser.add_argument("--dir", help="folder to work in, used as it is "
                        "(default: a new tmpfs, or a temporary folder)")
    parser.add_argument("--seed", type=int, default=1)
    return parser.parse_args()


WINDOW_TARGETS = ("batchext-cli", "batchext", "batchext_window_timer")


def build_programs(window, build=None):
    """batchext-cli.exe, and with `window` the window and its timer, by
    target name."""
    targets = WINDOW_TARGETS if window else WINDOW_TARGETS[:1]
    if build is None:
        build = os.path.join(run_bench.ROOT, "build-bench-windows")
        run_bench.log("building " + ", ".join(targets) +
                      " into build-bench-windows/ ...")
        packages = ["g++-mingw-w64-x86-64-posix", "wine64"]
        packages += ["googletest", "xvfb"] if window else []
        subprocess.run([os.path.join(run_bench.ROOT, "scripts",
                                     "install-deps")] + packages, check=True)
        flag = "ON" if window else "OFF"
        subprocess.run(
            ["cmake", "-S", run_bench.ROOT, "-B", build,
             "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(
                 run_bench.ROOT, "cmake", "mingw-w64-x86_64.cmake"),
             "-DCMAKE_BUILD_TYPE=Release", "-DBATCHEXT_BUILD_TESTS=" + flag,
             "-DBATCHEXT_BUILD_UI=" + flag], check=True,
            stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--parallel",
                    str(os.cpu_count() or 1), "--target"] + list(targets),
                   check=True, stdout=subprocess.DEVNULL)
    places = {"batchext-cli": ("cli", "batchext-cli.exe"),
              "batchext": ("ui", "win32", "batchext.exe"),
              "batchext_window_timer": ("tests", "ui", "win32",
                                        "batchext_window_timer.exe")}
    return {name: os.path.join(build, *places[name]) for name in targets}


class WinePrefix:
    """A throw-away prefix with one wineserver kept alive for the run."""

    def __init__(self, log_path, display=False):
        self.path = tempfile.mkdtemp(prefix="batchext-bench-wine-")
        self.log = open(log_path, "a")
        self.xvfb = None
        os.environ.update(WINEPREFIX=self.path, WINEDEBUG="-all",
                          # No .NET or HTML engine: asking for them stalls.
                          WINEDLLOVERRIDES="mscoree,mshtml=")
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            os.environ.pop(name, None)
        try:
            if display:
                self.start_display()
            self.step([WINE, "wineboot", "--init"])
            # The first services hold the service database: let them end.
            self.step([WINESERVER, "-w"])
            if display:
                # Xvfb has no window manager, for whose answer Wine waits
                # up to 2 s whenever a framed window is hidden, as the
                # progress dialog is before the summary box; a desktop
                # answers at once.
                self.step([WINE, "reg", "add",
                           r"HKCU\Software\Wine\X11 Driver", "/v",
                           "Managed", "/d", "N", "/f"])
                self.step([WINESERVER, "-w"])
            self.start_server()
        except BaseException:
            self.close()
            raise

    def start_display(self):
        """A private Xvfb, which names its display on a pipe once ready."""
        reader, writer = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(writer), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"], pass_fds=(writer,),
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        os.close(writer)
        with os.fdopen(reader) as answer:
            number = answer.readline().strip()
        if not number:
            raise RuntimeError("Xvfb gave no display; see " + self.log.name)
        os.environ["DISPLAY"] = ":" + number

    def step(self, command):
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=self.log,
                       stderr=self.log, check=True)

    def start_server(self):
        # A server that is ending can hold the prefix a moment longer.
        for _ in range(20):
            if subprocess.run([WINESERVER, "-p"], stdin=subprocess.DEVNULL,
                              stdout=self.log,
                              stderr=self.log).returncode == 0:
                return
            time.sleep(0.5)
        raise RuntimeError("wineserver -p kept failing; see " + self.log.name)

    def close(self):
        subprocess.run([WINESERVER, "-k"], stdin=subprocess.DEVNULL,
                       stdout=self.log, stderr=self.log)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()
        self.log.close()
        shutil.rmtree(self.path, ignore_errors=True)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def wine_tools(exe, work):
    """Each tool's command and output; the start-up runs copy the tree of
    one file."""
    batchext = [WINE, exe, "-q", "-r", "-f", "*", "-t", "dat"]
    xcopy = [WINE, "xcopy", "/E", "/I", "/Q"]
    runs = (("batchext", batchext, "src"),
            ("batchext -j 1", batchext + ["-j", "1"], "src"),
            ("xcopy", xcopy, "src"),
            ("batchext start-up", batchext, "one"),
            ("xcopy start-up", xcopy, "one"))
    tools = {}
    for number, (name, command, tree) in enumerate(runs):
        output = os.path.join(work, f"dst{number}")
        tools[name] = (command + [windows_path(os.path.join(work, tree)),
                                  windows_path(output)], output)
    return tools


def without_startup(times, tool, program):
    return [a - b for a, b in zip(times[tool], times[program + " start-up"])]


def startup_ratio(times, tool):
    """Median per-round ratio to xcopy with each one's start-up taken off."""
    return run_bench.median_ratio(
        {tool: without_startup(times, tool, "batchext"),
         "xcopy": without_startup(times, "xcopy", "xcopy")}, tool, "xcopy")


def report(times):
    run_bench.print_times("wine", times, {})
    lines = []
    for tool in ("batchext", "batchext -j 1"):
        lines.append(f"  {tool} / xcopy: raw "
                     f"{run_bench.median_ratio(times, tool, 'xcopy'):.3f}, "
                     f"start-up taken off {startup_ratio(times, tool):.3f}")
    run_bench.log("\n".join(lines))


def in_wine_prefix(rounds, display=False):
    """Runs rounds(errors) in a prefix of its own; Wine's output goes to a
    log that is kept, and named, only if something failed."""
    descriptor, log_path = tempfile.mkstemp(prefix="batchext-bench-wine-",
                                            suffix=".log")
    os.close(descriptor)
    try:
        prefix = WinePrefix(log_path, display=display)
        try:
            with open(log_path, "a") as errors:
                result = rounds(errors)
        finally:
            prefix.close()
    except BaseException:
        run_bench.log("Wine's output is kept in " + log_path)
        raise
    os.remove(log_path)
    return result


def time_under_wine(exe, work, arguments):
    tools = wine_tools(exe, work)
    expected = {name: 1 if name.endswith("start-up")
                else arguments.files for name in tools}
    return in_wine_prefix(lambda errors: run_bench.time_rounds(
        tools, arguments.rounds, arguments.warmup, expected,
        errors=errors)[0])


def time_window_run(programs, source, errors):
    """Wall time of the timer's process and the seconds it reports from the
    press to the summary box, with the box's text."""
    start = time.perf_counter()
    result = subprocess.run(
        [WINE, programs["batchext_window_timer"],
         windows_path(programs["batchext"]), windows_path(source)],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=errors,
        text=True)
    elapsed = time.perf_counter() - start
    found = re.search(r"^run ([0-9.]+)\nsummary (.*)$", result.stdout,
                      re.MULTILINE)
    if result.returncode != 0 or not found:
        raise RuntimeError(f"the window's timer failed with "
                           f"{result.returncode}: {result.stdout!r}")
    return elapsed, float(found.group(1)), found.group(2)


def time_window_rounds(programs, work, arguments, errors):
    """The window and batchext-cli.exe in turn, in every round, each into
    "SRC(2)", which is removed before and after each run."""
    source = os.path.join(work, "src")
    target = source + "(2)"
    one = os.path.join(work, "one")
    cli = [WINE, programs["batchext-cli"], "-q", "-r", "-f", "*", "-t", "dat"]
    commands = {
        "batchext-cli": cli + [windows_path(source), windows_path(target)],
        "start-up": cli + [windows_path(one), windows_path(one + "(2)")]}
    outputs = {"window": target, "batchext-cli": target,
               "start-up": one + "(2)"}
    names = list(outputs)
    times = {name: [] for name in names + ["window raw"]}
    expected = f"成功修改了{arguments.files}个文件的后缀名，失败0个文件"
    for round_number in range(arguments.warmup + arguments.rounds):
        shift = round_number % len(names)
        for name in names[shift:] + names[:shift]:
            run_bench.remove(outputs[name])
            if name == "window":
                raw, elapsed, summary = time_window_run(programs, source,
                                                        errors)
                if summary != expected:
                    raise RuntimeError(f"the window said {summary!r}")
            else:
                raw = None
                elapsed, _ = run_bench.run_timed(commands[name], errors)
            if round_number == 0 and name != "start-up":
                found = run_bench.count_files(outputs[name])
                if found != arguments.files:
                    raise RuntimeError(f"{name} wrote {found} files, "
                                       f"expected {arguments.files}")
            run_bench.remove(outputs[name])
            if round_number >= arguments.warmup:
                times[name].append(elapsed)
                if raw is not None:
                    times["window raw"].append(raw)
    return times


def window_ratios(times):
    """Per round: the window's run against the command line's, net (its
    start-up run taken off) and raw."""
    net = [w / (c - s) for w, c, s in zip(
        times["window"], times["batchext-cli"], times["start-up"])]
    raw = [w / c for w, c in zip(times["window"], times["batchext-cli"])]
    return statistics.median(net), statistics.median(raw), net


def report_window(times):
    medians = ", ".join(f"{name} {statistics.median(values):.3f} s"
                        for name, values in times.items())
    net, raw, rounds = window_ratios(times)
    run_bench.log(
        "window against batchext-cli.exe:\n"
        f"  wall medians: {medians}\n"
        "  (window: press to summary box; window raw: the timer's whole "
        "run, window start-up included)\n"
        f"  window / batchext-cli: net {net:.3f} (rounds: " +
        ", ".join(f"{ratio:.2f}" for ratio in rounds) + f"), raw {raw:.3f}")
    return net


def window_main(arguments, programs, work, load_start):
    times = in_wine_prefix(
        lambda errors: time_window_rounds(programs, work.path, arguments,
                                          errors),
        display=True)
    net = report_window(times)
    verdicts = [run_bench.Verdict("wine", "window / batchext-cli (net)",
                                  net, 1.1, False)]
    return run_bench.print_verdicts(verdicts, load_start, os.getloadavg())


def main():
    arguments = parse_arguments()
    run_bench.end_on_sigterm()
    load_start = os.getloadavg()
    programs = {}
    if arguments.window or not arguments.exe:
        programs = build_programs(
            arguments.window,
            os.path.abspath(arguments.build) if arguments.build else None)
    if arguments.exe:
        programs["batchext-cli"] = os.path.abspath(arguments.exe)
    exe = programs["batchext-cli"]
    priority = run_bench.raise_priority()
    work = run_bench.WorkFolder(arguments.dir)
    try:
        run_bench.make_small_tree(
            os.path.join(work.path, "src"), arguments.files, arguments.folders,
            arguments.kib * 1024, arguments.kib * 1024, arguments.seed)
        run_bench.make_small_tree(os.path.join(work.path, "one"), 1, 1,
                                  arguments.kib * 1024, arguments.kib * 1024,
                                  arguments.seed)
        run_bench.log(
            f"working in {work.path} ({work.kind}); {arguments.files} files "
            f"of {arguments.kib} KiB in {arguments.folders} folders; "
            f"{arguments.rounds} rounds after {arguments.warmup} warm-up; "
            f"{priority}; load average {load_start[0]:.2f}")
        if arguments.window:
            return 1 if window_main(arguments, programs, work,
                                    load_start) else 0
        times = time_under_wine(exe, work.path, arguments)
        report(times)
    finally:
        work.close()
    verdicts = [run_bench.Verdict(
        "wine", "batchext / xcopy",
        run_bench.median_ratio(times, "batchext", "xcopy"), 1.0, False)]
    missed = run_bench.print_verdicts(verdicts, load_start, os.getloadavg())
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
