#!/usr/bin/env python3
"""Times batchext-cli.exe against Wine's own `xcopy /E` under Wine; exits 1
when batchext is slower.

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

The program is built into build-bench-windows/ (MinGW-w64, Release) unless
--exe names one.

Quick run:  bench/wine_bench.py --files 1000 --rounds 3
"""

import argparse
import os
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
    parser.add_argument("--dir", help="folder to work in, used as it is "
                        "(default: a new tmpfs, or a temporary folder)")
    parser.add_argument("--seed", type=int, default=1)
    return parser.parse_args()


def build_exe():
    build = os.path.join(run_bench.ROOT, "build-bench-windows")
    run_bench.log("building batchext-cli.exe into build-bench-windows/ ...")
    subprocess.run([os.path.join(run_bench.ROOT, "scripts", "install-deps"),
                    "g++-mingw-w64-x86-64-posix", "wine64"], check=True)
    subprocess.run(
        ["cmake", "-S", run_bench.ROOT, "-B", build,
         "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(
             run_bench.ROOT, "cmake", "mingw-w64-x86_64.cmake"),
         "-DCMAKE_BUILD_TYPE=Release", "-DBATCHEXT_BUILD_TESTS=OFF",
         "-DBATCHEXT_BUILD_UI=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--parallel",
                    str(os.cpu_count() or 1), "--target", "batchext-cli"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "cli", "batchext-cli.exe")


class WinePrefix:
    """A throw-away prefix with one wineserver kept alive for the run."""

    def __init__(self, log_path):
        self.path = tempfile.mkdtemp(prefix="batchext-bench-wine-")
        self.log = open(log_path, "a")
        os.environ.update(WINEPREFIX=self.path, WINEDEBUG="-all",
                          # No .NET or HTML engine: asking for them stalls.
                          WINEDLLOVERRIDES="mscoree,mshtml=")
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            os.environ.pop(name, None)
        try:
            self.step([WINE, "wineboot", "--init"])
            # The first services hold the service database: let them end.
            self.step([WINESERVER, "-w"])
            self.start_server()
        except BaseException:
            self.close()
            raise

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


def time_under_wine(exe, work, arguments):
    """The rounds in a prefix of their own; Wine's output goes to a log that
    is kept, and named, only if something failed."""
    descriptor, log_path = tempfile.mkstemp(prefix="batchext-bench-wine-",
                                            suffix=".log")
    os.close(descriptor)
    try:
        prefix = WinePrefix(log_path)
        try:
            tools = wine_tools(exe, work)
            expected = {name: 1 if name.endswith("start-up")
                        else arguments.files for name in tools}
            with open(log_path, "a") as errors:
                times, _ = run_bench.time_rounds(
                    tools, arguments.rounds, arguments.warmup, expected,
                    errors=errors)
        finally:
            prefix.close()
    except BaseException:
        run_bench.log("Wine's output is kept in " + log_path)
        raise
    os.remove(log_path)
    return times


def main():
    arguments = parse_arguments()
    run_bench.end_on_sigterm()
    load_start = os.getloadavg()
    exe = os.path.abspath(arguments.exe) if arguments.exe else build_exe()
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
