#!/usr/bin/env python3
"""Times batchext-cli against `cp -r` and a tar pipe, measures its peak
memory and counts its system calls per file; exits 1 when a target is missed.

Cases, each on a tree built once and copied in interleaved rounds:
  small   --files files of --min-kib..--max-kib KiB in about --folders
          folders, three levels deep
  empty   --empty-files empty files in about --folders folders
  large   one --big-mib MiB file
  memory  one run over --memory-files files: peak resident memory of the
          program (and of cp, for comparison)
  deep    a chain of --depth nested folders, one small file in each: the
          default jobs against -j 1 (tar and often cp cannot copy a path
          that long; cp's outcome is reported)
  wide    --wide-files empty files in one folder: timed, and its peak memory

Every timed case runs, in each round and in turn, batchext-cli with its
default jobs, batchext-cli -j 1, `cp -r` and a tar pipe (`tar -c | tar -x`,
a reader and a writer process); the first round (--warmup) is not timed.
A case's figure is the median of the per-round ratios. Then more runs of
each, outside the timing, count system calls per file (all threads and
processes, futex apart) with `strace -f -c` (up to --strace-max-files)
and, where it works, from the kernel's syscall tracepoints through `perf
stat`, which barely slows the run: tracing adds futex calls of its own, so
perf's counts are the ones judged when there are both.

As root the trees live on a tmpfs mounted for the run, since a disk's
write-back would swamp the difference; otherwise on a plain temporary folder
(or --dir), with a warning. As root the --cold-cases (small and empty by
default; wide too if named) are then timed again on an ext4 image made for
the run (--image-gib, sparse, under --image-dir), loop-mounted. Each copy is
removed once written, and before every timed run the disk is synced and
trimmed and the caches dropped, so that each tool starts from the same
state. The image is unmounted and deleted at the end, also on an error or
Ctrl-C.

Targets (exit status 1 when one is missed): every timed tmpfs and cold case
<= 0.85 x the tar pipe; small files <= 0.50 x cp -r; empty files <= 0.25 x
cp -r; the large file <= 1.0 x cp -r; the chain with default jobs <= 1.0 x
-j 1; per small file at most 8 system calls with -j 1, 9 with the default
jobs, under 0.3 futex; both peaks < 64 MiB. The table at the end gives each
figure, its target and the load average at the start and at the end.
Windows (batchext-cli.exe against xcopy under Wine): bench/wine_bench.py.

Quick run (under ten minutes):
  bench/run_bench.py --files 2000 --empty-files 10000 --big-mib 64 \\
      --rounds 3 --large-rounds 5 --memory-files 20000 --depth 500 \\
      --wide-files 100000 --image-gib 1
"""

import argparse
import collections
import math
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CASES = ("small", "empty", "large", "memory", "deep", "wide")
TIMED_COLD_CASES = ("small", "empty", "wide")
TAR_TARGET = 0.85

Verdict = collections.namedtuple("Verdict",
                                 "case figure value target strict")


def log(message):
    print(message, flush=True)


def case_list(text, allowed):
    names = [name for name in text.split(",") if name]
    unknown = set(names) - set(allowed)
    if unknown:
        raise argparse.ArgumentTypeError(
            f"unknown case {', '.join(sorted(unknown))}; choose from "
            f"{','.join(allowed)}")
    return names


def parse_arguments():
    parser = argparse.ArgumentParser(
        description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=20000,
                        help="files of the small-files case (default 20000)")
    parser.add_argument("--folders", type=int, default=200,
                        help="folders of the small and empty cases "
                        "(default 200)")
    parser.add_argument("--empty-files", type=int, default=100000,
                        help="files of the empty-files case (default 100000)")
    parser.add_argument("--min-kib", type=int, default=1)
    parser.add_argument("--max-kib", type=int, default=8)
    parser.add_argument("--big-mib", type=int, default=512,
                        help="size of the large-file case (default 512)")
    parser.add_argument("--memory-files", type=int, default=200000,
                        help="files of the memory case (default 200000)")
    parser.add_argument("--rounds", type=int, default=9,
                        help="timed rounds per case (default 9)")
    parser.add_argument("--large-rounds", type=int, default=21,
                        help="timed rounds of the large-file case, which is "
                        "short and noisier (default 21)")
    parser.add_argument("--wide-rounds", type=int, default=3,
                        help="timed rounds of the wide case, whose runs take "
                        "seconds each (default 3)")
    parser.add_argument("--warmup", type=int, default=1,
                        help="untimed rounds before them (default 1)")
    parser.add_argument("--depth", type=int, default=2000,
                        help="folders of the deep chain (default 2000)")
    parser.add_argument("--wide-files", type=int, default=1000000,
                        help="empty files of the wide case (default 1000000)")
    parser.add_argument("--cases", type=lambda t: case_list(t, CASES),
                        default=list(CASES),
                        help="comma-separated cases on the tmpfs (default "
                        "all: " + ",".join(CASES) + "); '' for none")
    parser.add_argument("--cold-cases",
                        type=lambda t: case_list(t, TIMED_COLD_CASES),
                        default=["small", "empty"],
                        help="comma-separated cases on the cold ext4 image, "
                        "root only (default small,empty; wide may be added); "
                        "'' for none")
    parser.add_argument("--image-gib", type=int, default=4,
                        help="size of the sparse ext4 image (default 4)")
    parser.add_argument("--image-dir", default="/var/tmp",
                        help="disk folder that holds the image "
                        "(default /var/tmp)")
    parser.add_argument("--strace-max-files", type=int, default=200000,
                        help="larger cases count system calls with perf "
                        "alone (default 200000)")
    parser.add_argument("--cli", help="batchext-cli to time (default: build "
                        "one into build-bench/ with scripts/build)")
    parser.add_argument("--dir", help="folder to work in, used as it is "
                        "(default: a new tmpfs, or a temporary folder)")
    parser.add_argument("--seed", type=int, default=1)
    return parser.parse_args()


def build_cli():
    environment = dict(os.environ, BUILD_DIR="build-bench",
                       BUILD_TYPE="RelWithDebInfo")
    log("building batchext-cli into build-bench/ ...")
    subprocess.run([os.path.join(ROOT, "scripts", "build"),
                    "-DBATCHEXT_BUILD_TESTS=OFF", "-DBATCHEXT_BUILD_UI=OFF"],
                   cwd=ROOT, env=environment,
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build-bench", "cli", "batchext-cli")


def end_on_sigterm():
    """A SIGTERM unwinds like Ctrl-C, so that mounts and images go too."""
    def handler(number, frame):
        raise SystemExit(128 + number)
    signal.signal(signal.SIGTERM, handler)
    signal.signal(signal.SIGHUP, handler)


class WorkFolder:
    """A temporary folder, on a tmpfs of its own where one can be mounted."""

    def __init__(self, given):
        self.mounted = False
        self.owned = given is None
        self.path = given or tempfile.mkdtemp(prefix="batchext-bench-")
        if given:
            os.makedirs(given, exist_ok=True)
            self.kind = "given folder"
            return
        if os.geteuid() == 0:
            result = subprocess.run(
                ["mount", "-t", "tmpfs", "-o", "mode=0700", "batchext-bench",
                 self.path], stderr=subprocess.PIPE, text=True)
            self.mounted = result.returncode == 0
            if not self.mounted:
                log("warning: cannot mount a tmpfs (" +
                    result.stderr.strip() + ")")
        else:
            log("warning: not root, so no tmpfs of its own")
        if self.mounted:
            self.kind = "tmpfs"
        else:
            self.kind = "plain temporary folder"
            log("warning: timing on " + self.path + "; disk write-back may "
                "swamp the difference")

    def close(self):
        if self.mounted:
            unmount(self.path)
        if self.owned:
            shutil.rmtree(self.path, ignore_errors=True)


def unmount(path):
    """Detaches lazily if something still holds the mount, so that nothing
    stays mounted and the folder below is not emptied through it."""
    if subprocess.run(["umount", path], stderr=subprocess.DEVNULL).returncode:
        subprocess.run(["umount", "-l", path], check=True)


def file_system_type(path):
    return subprocess.run(["stat", "-f", "-c", "%T", path], check=True,
                          capture_output=True, text=True).stdout.strip()


class ColdDisk:
    """An ext4 file system of its own in a sparse image on a real disk,
    loop-mounted for the run and deleted with everything on it."""

    def __init__(self, image_dir, gib, inodes):
        self.folder = tempfile.mkdtemp(prefix="batchext-bench-ext4-",
                                       dir=image_dir)
        self.image = os.path.join(self.folder, "ext4.img")
        self.path = os.path.join(self.folder, "mnt")
        self.mounted = False
        try:
            kind = self.make(gib, inodes)
        except BaseException:
            self.close()
            raise
        options = subprocess.run(
            ["findmnt", "-n", "-o", "SOURCE,FSTYPE,OPTIONS", "--target",
             self.path], capture_output=True, text=True).stdout.strip()
        self.kind = (f"cold ext4, {gib} GiB sparse image with {inodes} "
                     f"inodes on {kind} at "
                     f"{self.image}; mount: {options}; kernel "
                     f"{os.uname().release}")

    def make(self, gib, inodes):
        kind = file_system_type(self.folder)
        if kind == "tmpfs":
            raise RuntimeError(f"{self.folder} is on a tmpfs: give a disk "
                               "folder with --image-dir")
        with open(self.image, "wb") as image:
            image.truncate(gib << 30)
        # Tables made now, not by a kernel thread during the timing.
        subprocess.run(["mkfs.ext4", "-q", "-F", "-N", str(inodes), "-E",
                        "lazy_itable_init=0,lazy_journal_init=0",
                        self.image], check=True)
        os.mkdir(self.path)
        subprocess.run(["mount", "-o", "loop", self.image, self.path],
                       check=True)
        self.mounted = True
        return kind

    def settle(self):
        """Writes back what the last run left and forgets the cache, outside
        the timing."""
        subprocess.run(["sync"], check=True)
        subprocess.run(["fstrim", self.path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open("/proc/sys/vm/drop_caches", "w") as control:
            control.write("3\n")

    def close(self):
        if self.mounted:
            unmount(self.path)
            self.mounted = False
        shutil.rmtree(self.folder, ignore_errors=True)


def raise_priority():
    """Both tools inherit it, so other work on the machine disturbs the
    timing less without favouring either."""
    try:
        os.setpriority(os.PRIO_PROCESS, 0, -10)
        return "priority raised (nice -10)"
    except OSError:
        return "normal priority"


def folder_paths(count):
    """About `count` leaf folders three levels deep, e.g. 6 x 6 x 6."""
    fan = max(1, math.ceil(count ** (1 / 3)))
    leaves = []
    for a in range(fan):
        for b in range(fan):
            for c in range(fan):
                if len(leaves) < count:
                    leaves.append(os.path.join(f"a{a}", f"b{b}", f"c{c}"))
    return leaves


def make_small_tree(root, files, folders, min_bytes, max_bytes, seed):
    rng = random.Random(seed)
    noise = rng.randbytes(max_bytes * 4)
    leaves = folder_paths(folders)
    for leaf in leaves:
        os.makedirs(os.path.join(root, leaf), exist_ok=True)
    total = 0
    for i in range(files):
        size = rng.randint(min_bytes, max_bytes)
        start = rng.randrange(len(noise) - size) if size else 0
        name = os.path.join(root, leaves[i % len(leaves)], f"file{i:06d}.bin")
        with open(name, "wb") as out:
            out.write(noise[start:start + size])
        total += size
    return total


def make_big_file(root, mib, seed):
    os.makedirs(root)
    rng = random.Random(seed)
    block = rng.randbytes(1 << 20)
    with open(os.path.join(root, "big.bin"), "wb") as out:
        for i in range(mib):
            # Each MiB differs, so nothing can pass for a copy by accident.
            out.write(i.to_bytes(8, "little") + block[8:])
    return mib << 20


def make_chain(root, depth):
    """Made by descriptor: the chain's path outgrows what a path may be."""
    os.makedirs(root)
    folder = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    for level in range(depth):
        os.mkdir("dddddddddd", dir_fd=folder)
        inner = os.open("dddddddddd", os.O_RDONLY | os.O_DIRECTORY,
                        dir_fd=folder)
        os.close(folder)
        folder = inner
        out = os.open(f"f{level}.bin", os.O_WRONLY | os.O_CREAT, 0o644,
                      dir_fd=folder)
        os.write(out, level.to_bytes(8, "little") * 128)
        os.close(out)
    os.close(folder)


def make_wide_folder(root, files):
    """A million names in a few seconds: open and close by descriptor, the
    least Python can ask of the kernel for a new empty file."""
    os.makedirs(root)
    folder = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
    for i in range(files):
        os.close(os.open(f"e{i:07d}", flags, 0o644, dir_fd=folder))
    os.close(folder)


def count_files(root):
    """By descriptor and without recursion, so that any depth is counted."""
    total = 0
    pending = [os.open(root, os.O_RDONLY | os.O_DIRECTORY)]
    while pending:
        folder = pending.pop()
        with os.scandir(folder) as entries:
            names = []
            for entry in entries:
                if entry.is_dir(follow_symlinks=False):
                    names.append(entry.name)
                else:
                    total += 1
        pending.extend(os.open(name, os.O_RDONLY | os.O_DIRECTORY,
                               dir_fd=folder) for name in names)
        os.close(folder)
    return total


def run_timed(command, errors=None):
    """Wall time and CPU time (user plus system) of one run of `command`."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=errors)
    try:
        _, status, usage = os.wait4(process.pid, 0)
    except BaseException:
        # A stray copy would keep the work folder busy.
        process.kill()
        process.wait()
        raise
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError(f"{command[0]} failed with {process.returncode}")
    return elapsed, usage.ru_utime + usage.ru_stime


def peak_memory(command, scratch):
    """Wall time and peak resident MiB of one run of `command`.

    GNU time forks from a small process of its own; a child forked from
    this Python would report Python's size as its peak.
    """
    report = os.path.join(scratch, "time.out")
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command,
                   stdout=subprocess.DEVNULL, check=True)
    elapsed = time.perf_counter() - start
    with open(report) as lines:
        kib = int(lines.read().split()[-1])
    os.remove(report)
    return elapsed, kib / 1024


def remove(path):
    # rm copes with any depth; shutil.rmtree recurses.
    if os.path.lexists(path):
        subprocess.run(["rm", "-rf", "--", path], check=True)


def tar_pipe(source, target):
    return ["bash", "-c", 'set -o pipefail; mkdir -p -- "$2" && '
            'tar -C "$1" -cf - . | tar -C "$2" -xf -', "tar-pipe", source,
            target]


ALL_TOOLS = ("batchext", "batchext -j 1", "cp", "tar")


def copy_tools(cli, source, work, names=ALL_TOOLS):
    """The command and the output folder of each tool named."""
    batchext = [cli, "-q", "-r", "-f", "*", "-t", "dat"]
    commands = {
        "batchext": batchext,
        "batchext -j 1": batchext + ["-j", "1"],
        "cp": ["cp", "-r"],
    }
    tools = {}
    for number, name in enumerate(names):
        output = os.path.join(work, f"dst{number}")
        command = (tar_pipe(source, output) if name == "tar" else
                   commands[name] + [source, output])
        tools[name] = (command, output)
    return tools


def time_rounds(tools, rounds, warmup, expected_files, prepare=None,
                errors=None):
    """Wall and CPU times of each tool, run in turn in every round.

    `prepare()` runs before each run, outside the timing. Each output is
    removed once written, so that a disk holds one copy at a time; the
    first round's are counted against `expected_files` (by tool) first, so
    that no tool wins by copying less.
    """
    names = list(tools)
    times = {name: [] for name in names}
    cpu = {name: [] for name in names}
    for round_number in range(warmup + rounds):
        # Rotate who goes first, so that none always meets a warmer cache.
        shift = round_number % len(names)
        for name in names[shift:] + names[:shift]:
            command, output = tools[name]
            remove(output)
            if prepare:
                prepare()
            elapsed, cpu_time = run_timed(command, errors)
            if round_number >= warmup:
                times[name].append(elapsed)
                cpu[name].append(cpu_time)
            found = count_files(output) if round_number == 0 else None
            remove(output)
            if found not in (None, expected_files[name]):
                raise RuntimeError(f"{name} wrote {found} files, "
                                   f"expected {expected_files[name]}")
    return times, cpu


def median_ratio(values, tool, other):
    return statistics.median(a / b for a, b in zip(values[tool],
                                                   values[other]))


def print_times(label, times, cpu):
    names = list(times)
    medians = ", ".join(f"{name} {statistics.median(times[name]):.3f} s"
                        for name in names)
    lines = [f"{label}:", f"  wall medians: {medians}"]
    for anchor in ("tar", "cp"):
        if anchor in times:
            ratios = ", ".join(
                f"{name} {median_ratio(times, name, anchor):.3f}"
                for name in names if name != anchor)
            lines.append(f"  against {anchor} (median of per-round ratios): "
                         f"{ratios}")
    if "batchext -j 1" in times:
        rounds = ", ".join(f"{a / b:.2f}" for a, b in
                           zip(times["batchext"], times["batchext -j 1"]))
        lines.append(f"  default jobs against -j 1: "
                     f"{median_ratio(times, 'batchext', 'batchext -j 1'):.3f}"
                     f" (rounds: {rounds})")
    if "cp" in cpu:
        lines.append(f"  cpu (user+sys) against cp: batchext "
                     f"{median_ratio(cpu, 'batchext', 'cp'):.3f}")
    log("\n".join(lines))


def strace_calls(command, scratch):
    """All system calls of one run, every thread and process, and of those
    the futex calls (hand-offs between threads)."""
    report = os.path.join(scratch, "strace.out")
    subprocess.run(["strace", "-f", "-c", "-o", report] + command,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   check=True)
    calls = {}
    with open(report) as lines:
        for line in lines:
            fields = line.split()
            # % time, seconds, usecs/call, calls, [errors,] syscall
            if len(fields) >= 5 and fields[3].isdigit() and \
                    fields[-1] != "total":
                calls[fields[-1]] = int(fields[3])
    os.remove(report)
    return sum(calls.values()), calls.get("futex", 0)


def perf_calls(command, scratch):
    """The same counts from the kernel's tracepoints; children and threads
    are counted as they inherit the counters."""
    report = os.path.join(scratch, "perf.out")
    subprocess.run(["perf", "stat", "-x", ",", "-o", report,
                    "-e", "raw_syscalls:sys_enter",
                    "-e", "syscalls:sys_enter_futex", "--"] + command,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   check=True)
    counts = {}
    with open(report) as lines:
        for line in lines:
            fields = line.strip().split(",")
            if len(fields) > 2 and fields[0].isdigit():
                counts[fields[2]] = int(fields[0])
    os.remove(report)
    return (counts["raw_syscalls:sys_enter"],
            counts["syscalls:sys_enter_futex"])


def perf_works():
    if not shutil.which("perf"):
        return False
    result = subprocess.run(
        ["perf", "stat", "-e", "raw_syscalls:sys_enter", "--", "true"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return result.returncode == 0


def calls_counters(files, strace_max_files):
    """strace where its slowdown is bearable, then perf where it works."""
    counters = []
    if files <= strace_max_files and shutil.which("strace"):
        counters.append(("strace -f -c", strace_calls))
    if perf_works():
        counters.append(("perf stat", perf_calls))
    return counters


def count_calls(tools, files, scratch, strace_max_files):
    """System calls per file and futex per file of each tool, from one
    untimed run each per counter.

    Tracing slows the threads down and so adds futex calls of its own;
    where perf works, its counts are the ones answered (and judged)."""
    per_file = {}
    for counter_name, counter in calls_counters(files, strace_max_files):
        per_file = {}
        for name, (command, output) in tools.items():
            remove(output)
            total, futex = counter(command, scratch)
            remove(output)
            per_file[name] = (total / files, futex / files)
        log(f"  system calls per file ({counter_name}): " + ", ".join(
            f"{name} {total:.2f} (futex {futex:.2f})"
            for name, (total, futex) in per_file.items()))
    if not per_file:
        log("  system calls per file: not counted (no strace or perf)")
    return per_file


def memory_case(cli, work, files, label="memory"):
    source = os.path.join(work, "src")
    target = os.path.join(work, "dst")
    elapsed, peak = peak_memory(
        [cli, "-q", "-r", "-f", "*", "-t", "dat", source, target], work)
    written = count_files(target)
    remove(target)
    cp_elapsed, cp_peak = peak_memory(["cp", "-r", source, target], work)
    remove(target)
    if written != files:
        raise RuntimeError(f"batchext wrote {written} files, expected {files}")
    log(f"{label} ({files} files): batchext peak {peak:.1f} MiB in "
        f"{elapsed:.2f} s; cp -r peak {cp_peak:.1f} MiB in "
        f"{cp_elapsed:.2f} s")
    return peak


def cp_outcome(source, target, files):
    """cp -r may fail on a path longer than a path may be: say how."""
    start = time.perf_counter()
    cp = subprocess.run(["cp", "-r", source, target],
                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                        text=True)
    elapsed = time.perf_counter() - start
    written = count_files(target) if os.path.lexists(target) else 0
    remove(target)
    if cp.returncode == 0 and written == files:
        return f"cp -r {elapsed:.3f} s"
    return (f"cp -r failed after {elapsed:.3f} s with {written} of {files} "
            "files: " +
            (cp.stderr.strip().splitlines() or ["no message"])[-1][:200])


class Bench:
    """One run of the benchmark: the program, the options and the verdicts
    gathered so far."""

    def __init__(self, cli, arguments):
        self.cli = cli
        self.arguments = arguments
        self.verdicts = []

    def verdict(self, case, figure, value, target, strict=False):
        self.verdicts.append(Verdict(case, figure, value, target, strict))

    def timed(self, case, label, work, files, rounds, prepare=None,
              names=ALL_TOOLS):
        """Times the tools on work/src, prints and judges the ratio to tar,
        and counts the system calls; answers both."""
        source = os.path.join(work, "src")
        tools = copy_tools(self.cli, source, work, names)
        times, cpu = time_rounds(tools, rounds, self.arguments.warmup,
                                 dict.fromkeys(tools, files), prepare)
        print_times(label, times, cpu)
        if "tar" in times:
            self.verdict(case, "batchext / tar pipe",
                         median_ratio(times, "batchext", "tar"), TAR_TARGET)
        calls = count_calls(tools, files, work,
                            self.arguments.strace_max_files)
        return times, calls

    def small(self, work, prepare=None, case="small"):
        a = self.arguments
        total = make_small_tree(os.path.join(work, "src"), a.files, a.folders,
                                a.min_kib * 1024, a.max_kib * 1024, a.seed)
        times, calls = self.timed(
            case, f"{case} ({a.files} files, {total >> 20} MiB)", work,
            a.files, a.rounds, prepare)
        if prepare:
            return
        self.verdict(case, "batchext / cp -r",
                     median_ratio(times, "batchext", "cp"), 0.50)
        if calls:
            self.verdict(case, "calls per file, -j 1",
                         calls["batchext -j 1"][0], 8)
            self.verdict(case, "calls per file, default",
                         calls["batchext"][0], 9)
            self.verdict(case, "futex per file, default",
                         calls["batchext"][1], 0.3, strict=True)

    def empty(self, work, prepare=None, case="empty"):
        a = self.arguments
        make_small_tree(os.path.join(work, "src"), a.empty_files, a.folders,
                        0, 0, a.seed)
        times, _ = self.timed(case, f"{case} ({a.empty_files} files)", work,
                              a.empty_files, a.rounds, prepare)
        if not prepare:
            self.verdict(case, "batchext / cp -r",
                         median_ratio(times, "batchext", "cp"), 0.25)

    def large(self, work):
        a = self.arguments
        make_big_file(os.path.join(work, "src"), a.big_mib, a.seed)
        times, _ = self.timed("large", f"large (one {a.big_mib} MiB file)",
                              work, 1, a.large_rounds)
        self.verdict("large", "batchext / cp -r",
                     median_ratio(times, "batchext", "cp"), 1.0)

    def memory(self, work):
        a = self.arguments
        make_small_tree(os.path.join(work, "src"), a.memory_files,
                        max(1, a.memory_files // 100), a.min_kib * 1024,
                        a.max_kib * 1024, a.seed)
        self.verdict("memory", "peak MiB",
                     memory_case(self.cli, work, a.memory_files), 64,
                     strict=True)

    def deep(self, work):
        a = self.arguments
        source = os.path.join(work, "src")
        make_chain(source, a.depth)
        # One file a folder is handed to no job: the default should keep up.
        times, _ = self.timed("deep", f"deep ({a.depth} nested folders)", work,
                              a.depth, a.rounds,
                              names=("batchext", "batchext -j 1"))
        self.verdict("deep", "default jobs / -j 1",
                     median_ratio(times, "batchext", "batchext -j 1"), 1.0)
        log("  " + cp_outcome(source, os.path.join(work, "dst-cp"), a.depth))

    def wide(self, work, prepare=None, case="wide"):
        a = self.arguments
        start = time.perf_counter()
        make_wide_folder(os.path.join(work, "src"), a.wide_files)
        log(f"{case}: {a.wide_files} names made in "
            f"{time.perf_counter() - start:.1f} s")
        self.timed(case, f"{case} ({a.wide_files} empty files in one folder)",
                   work, a.wide_files, a.wide_rounds, prepare)
        if not prepare:
            self.verdict(case, "peak MiB",
                         memory_case(self.cli, work, a.wide_files,
                                     "  wide folder memory"), 64, strict=True)

    def run_case(self, case, work, prepare=None):
        if prepare:
            getattr(self, case)(work, prepare, "cold " + case)
        else:
            getattr(self, case)(work)
        remove(os.path.join(work, "src"))


def cold_inodes(arguments, cases):
    """Room for the source and one copy of the largest tree, and to spare."""
    files = {"small": arguments.files, "empty": arguments.empty_files,
             "wide": arguments.wide_files}
    return 3 * max(files[case] for case in cases) + 100000


def print_verdicts(verdicts, load_start, load_end):
    rows = [("case", "figure", "value", "target", "verdict")]
    for v in verdicts:
        met = v.value < v.target if v.strict else v.value <= v.target
        rows.append((v.case, v.figure, f"{v.value:.3f}",
                     f"{'<' if v.strict else '<='} {v.target}",
                     "met" if met else "MISSED"))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    log("\nverdicts:")
    for row in rows:
        log("  " + "  ".join(cell.ljust(width)
                             for cell, width in zip(row, widths)).rstrip())
    log("load average (1, 5, 15 min): at the start " +
        " ".join(f"{x:.2f}" for x in load_start) + ", at the end " +
        " ".join(f"{x:.2f}" for x in load_end))
    return sum(row[-1] == "MISSED" for row in rows)


def main():
    arguments = parse_arguments()
    end_on_sigterm()
    load_start = os.getloadavg()
    cases, cold_cases = arguments.cases, arguments.cold_cases
    if os.geteuid() != 0 and cold_cases:
        log("warning: not root, so no cold ext4 cases")
        cold_cases = []
    if ("memory" in cases or "wide" in cases) and \
            not os.access("/usr/bin/time", os.X_OK):
        subprocess.run([os.path.join(ROOT, "scripts", "install-deps"), "time"],
                       check=True)
    bench = Bench(os.path.abspath(arguments.cli) if arguments.cli
                  else build_cli(), arguments)
    log(f"{arguments.rounds} rounds ({arguments.large_rounds} for the large "
        f"file, {arguments.wide_rounds} for the wide folder) after "
        f"{arguments.warmup} warm-up; {raise_priority()}; load average "
        f"{load_start[0]:.2f}")
    if cases:
        work = WorkFolder(arguments.dir)
        try:
            log(f"working in {work.path} ({work.kind})")
            for case in cases:
                bench.run_case(case, work.path)
        finally:
            work.close()
    if cold_cases:
        disk = ColdDisk(arguments.image_dir, arguments.image_gib,
                        cold_inodes(arguments, cold_cases))
        try:
            log(f"working in {disk.path} ({disk.kind})")
            for case in cold_cases:
                bench.run_case(case, disk.path, disk.settle)
        finally:
            disk.close()
    missed = print_verdicts(bench.verdicts, load_start, os.getloadavg())
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
