#!/usr/bin/env python3
"""Times batchext-cli against `cp -r` and a tar pipe, and measures its peak
memory and its system calls per file.

Cases, each on a freshly built tree:
  small   many small files in about --folders folders, three levels deep
  empty   --empty-files empty files in about --folders folders
  large   one big file
  memory  a run over --memory-files files: peak resident memory of the
          program (and of cp, for comparison)
  deep    a chain of --depth nested folders, one small file in each; cp -r
          may be unable to copy a path that long, which is then reported
  wide    --wide-files empty files in one folder: peak resident memory

The tree lives on a tmpfs mounted for the run when the script runs as root,
since a disk's write-back would swamp the difference; otherwise it falls back
to a plain temporary folder and says so. With --cold (as root) the caches
are dropped before every timed run, for a disk given with --dir.

The timed cases run batchext-cli with its default jobs and with -j 1 in the
same rounds, and print the speed-up of the one against the other. They also
time a tar pipe (`tar -c | tar -x`, a reader and a writer process) in the
same rounds, and where strace is installed, count the system calls per file
of batchext (both ways), cp and the tar pipe in one extra run each.

Quick run:  bench/run_bench.py --files 2000 --big-mib 64 --rounds 3 \
                --large-rounds 5 --memory-files 20000 --depth 500 \
                --wide-files 100000
"""

import argparse
import math
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def log(message):
    print(message, flush=True)


def parse_arguments():
    parser = argparse.ArgumentParser(
        description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=20000,
                        help="files of the small-files case (default 20000)")
    parser.add_argument("--folders", type=int, default=200,
                        help="folders of the small-files case (default 200)")
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
    parser.add_argument("--warmup", type=int, default=1,
                        help="untimed rounds before them (default 1)")
    parser.add_argument("--depth", type=int, default=2000,
                        help="folders of the deep chain (default 2000)")
    parser.add_argument("--wide-files", type=int, default=1000000,
                        help="empty files of the wide case (default 1000000)")
    parser.add_argument("--cases",
                        default="small,empty,large,memory,deep,wide",
                        help="comma-separated subset of "
                        "small,empty,large,memory,deep,wide")
    parser.add_argument("--cold", action="store_true",
                        help="sync and drop the caches before every timed "
                        "run (root only)")
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
            subprocess.run(["umount", self.path], check=False)
        if self.owned:
            shutil.rmtree(self.path, ignore_errors=True)


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
    os.makedirs(root)
    folder = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    for i in range(files):
        os.close(os.open(f"e{i:07d}", os.O_WRONLY | os.O_CREAT, 0o644,
                         dir_fd=folder))
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


def run_timed(command):
    """Wall time and CPU time (user plus system) of one run of `command`."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
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


def drop_caches():
    subprocess.run(["sync"], check=True)
    with open("/proc/sys/vm/drop_caches", "w") as control:
        control.write("3\n")


def tar_pipe(source, target):
    return ["bash", "-c", 'set -o pipefail; mkdir -p -- "$2" && '
            'tar -C "$1" -cf - . | tar -C "$2" -xf -', "tar-pipe", source,
            target]


def system_calls(command, files, scratch):
    """System calls per file of one run of `command`, all threads and
    processes counted, and of those the futex calls (hand-offs)."""
    report = os.path.join(scratch, "strace.out")
    subprocess.run(["strace", "-f", "-c", "-o", report] + command,
                   stdout=subprocess.DEVNULL, check=True)
    calls = {}
    with open(report) as lines:
        for line in lines:
            fields = line.split()
            # % time, seconds, usecs/call, calls, [errors,] syscall
            if len(fields) >= 5 and fields[3].isdigit() and \
                    fields[-1] != "total":
                calls[fields[-1]] = int(fields[3])
    os.remove(report)
    return sum(calls.values()) / files, calls.get("futex", 0) / files


def count_calls(commands, outputs, files, scratch):
    if not shutil.which("strace"):
        return "  system calls per file: not counted (no strace)"
    counted = []
    for tool, command in commands.items():
        remove(outputs[tool])
        total, futex = system_calls(command, files, scratch)
        remove(outputs[tool])
        counted.append(f"{tool} {total:.2f}" +
                       (f" (futex {futex:.2f})" if futex >= 0.005 else ""))
    return "  system calls per file: " + ", ".join(counted)


def time_case(name, cli, work, rounds, warmup, expected_files, cold=False):
    source = os.path.join(work, "src")
    outputs = {"batchext": os.path.join(work, "dst"),
               "batchext -j 1": os.path.join(work, "dst1"),
               "cp": os.path.join(work, "dst2"),
               "tar": os.path.join(work, "dst3")}
    commands = {
        "batchext": [cli, "-q", "-r", "-f", "*", "-t", "dat", source,
                     outputs["batchext"]],
        "batchext -j 1": [cli, "-q", "-r", "-j", "1", "-f", "*", "-t", "dat",
                          source, outputs["batchext -j 1"]],
        "cp": ["cp", "-r", source, outputs["cp"]],
        "tar": tar_pipe(source, outputs["tar"]),
    }
    tools = list(commands)
    times = {tool: [] for tool in tools}
    cpu = {tool: [] for tool in tools}
    for round_number in range(warmup + rounds):
        # Rotate who goes first, so that none always meets a warmer cache.
        shift = round_number % len(tools)
        for tool in tools[shift:] + tools[:shift]:
            remove(outputs[tool])
            if cold:
                drop_caches()
            elapsed, cpu_time = run_timed(commands[tool])
            if round_number >= warmup:
                times[tool].append(elapsed)
                cpu[tool].append(cpu_time)
        if round_number == 0:
            for tool, output in outputs.items():
                found = count_files(output)
                if found != expected_files:
                    raise RuntimeError(f"{tool} wrote {found} files, "
                                       f"expected {expected_files}")
    for output in outputs.values():
        remove(output)

    def median_ratio(values, tool, other):
        return statistics.median(
            a / b for a, b in zip(values[tool], values[other]))

    ours_median = statistics.median(times["batchext"])
    one_median = statistics.median(times["batchext -j 1"])
    cp_median = statistics.median(times["cp"])
    tar_median = statistics.median(times["tar"])
    ratios = [a / b for a, b in zip(times["batchext"], times["cp"])]
    print(f"{name}:\n"
          f"  wall: batchext median {ours_median:.3f} s, -j 1 median "
          f"{one_median:.3f} s, cp -r median {cp_median:.3f} s, tar pipe "
          f"median {tar_median:.3f} s; median of per-round ratios "
          f"{statistics.median(ratios):.3f}, ratio of medians "
          f"{ours_median / cp_median:.3f}\n"
          f"  against the tar pipe: batchext "
          f"{median_ratio(times, 'batchext', 'tar'):.3f}, -j 1 "
          f"{median_ratio(times, 'batchext -j 1', 'tar'):.3f}, cp -r "
          f"{median_ratio(times, 'cp', 'tar'):.3f}\n"
          f"  per-round ratios: " + ", ".join(f"{r:.2f}" for r in ratios) +
          f"\n  -j 1 against cp -r: "
          f"{median_ratio(times, 'batchext -j 1', 'cp'):.3f}; speed-up of the "
          f"default against -j 1: "
          f"{median_ratio(times, 'batchext -j 1', 'batchext'):.2f}x\n"
          f"  cpu (user+sys): median of per-round ratios "
          f"{median_ratio(cpu, 'batchext', 'cp'):.3f}", flush=True)
    if not cold:
        print(count_calls(commands, outputs, expected_files, work), flush=True)
    return statistics.median(ratios)


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
    print(f"{label} ({files} files): batchext peak {peak:.1f} MiB in "
          f"{elapsed:.2f} s; cp -r peak {cp_peak:.1f} MiB in "
          f"{cp_elapsed:.2f} s", flush=True)
    return peak


def deep_case(cli, work, depth):
    """Ratio to cp -r where cp copies the chain; otherwise cp's outcome."""
    source = os.path.join(work, "src")
    ours = os.path.join(work, "dst")
    theirs = os.path.join(work, "dst2")
    elapsed, _ = run_timed(
        [cli, "-q", "-r", "-f", "*", "-t", "dat", source, ours])
    written = count_files(ours)
    remove(ours)
    if written != depth:
        raise RuntimeError(f"batchext wrote {written} files, expected {depth}")
    # One file a folder is handed to no job: the default should keep up.
    one_elapsed, _ = run_timed(
        [cli, "-q", "-r", "-j", "1", "-f", "*", "-t", "dat", source, ours])
    remove(ours)
    start = time.perf_counter()
    cp = subprocess.run(["cp", "-r", source, theirs], stdout=subprocess.DEVNULL,
                        stderr=subprocess.PIPE, text=True)
    cp_elapsed = time.perf_counter() - start
    cp_written = count_files(theirs) if os.path.lexists(theirs) else 0
    remove(theirs)
    cp_done = cp.returncode == 0 and cp_written == depth
    outcome = (f"cp -r {cp_elapsed:.3f} s" if cp_done else
               f"cp -r failed after {cp_elapsed:.3f} s with {cp_written} of "
               f"{depth} files: " +
               (cp.stderr.strip().splitlines() or ["no message"])[-1][:200])
    print(f"deep ({depth} nested folders): batchext {elapsed:.3f} s, all "
          f"{depth} files (-j 1 {one_elapsed:.3f} s); {outcome}", flush=True)
    return elapsed / cp_elapsed if cp_done else None


def main():
    arguments = parse_arguments()
    cases = set(arguments.cases.split(","))
    if "memory" in cases and not os.access("/usr/bin/time", os.X_OK):
        subprocess.run([os.path.join(ROOT, "scripts", "install-deps"), "time"],
                       check=True)
    cli = os.path.abspath(arguments.cli) if arguments.cli else build_cli()
    priority = raise_priority()
    work = WorkFolder(arguments.dir)
    verdicts = []
    try:
        print(f"working in {work.path} ({work.kind}); {arguments.rounds} "
              f"rounds ({arguments.large_rounds} for the large file) after "
              f"{arguments.warmup} warm-up; {priority}; "
              f"load average {os.getloadavg()[0]:.2f}", flush=True)
        source = os.path.join(work.path, "src")
        if "small" in cases:
            total = make_small_tree(source, arguments.files, arguments.folders,
                                    arguments.min_kib * 1024,
                                    arguments.max_kib * 1024, arguments.seed)
            log(f"small: {arguments.files} files, {total >> 20} MiB")
            ratio = time_case(f"small ({arguments.files} files)", cli,
                              work.path, arguments.rounds, arguments.warmup,
                              arguments.files, arguments.cold)
            verdicts.append(("small files ratio", ratio, 0.60, False))
            remove(source)
        if "empty" in cases:
            make_small_tree(source, arguments.empty_files, arguments.folders,
                            0, 0, arguments.seed)
            ratio = time_case(f"empty ({arguments.empty_files} files)", cli,
                              work.path, arguments.rounds, arguments.warmup,
                              arguments.empty_files, arguments.cold)
            verdicts.append(("empty files ratio", ratio, 0.40, False))
            remove(source)
        if "large" in cases:
            make_big_file(source, arguments.big_mib, arguments.seed)
            ratio = time_case(f"large (one {arguments.big_mib} MiB file)", cli,
                              work.path, arguments.large_rounds,
                              arguments.warmup, 1, arguments.cold)
            verdicts.append(("large file ratio", ratio, 1.05, False))
            remove(source)
        if "memory" in cases:
            folders = max(1, arguments.memory_files // 100)
            make_small_tree(source, arguments.memory_files, folders,
                            arguments.min_kib * 1024, arguments.max_kib * 1024,
                            arguments.seed)
            peak = memory_case(cli, work.path, arguments.memory_files)
            verdicts.append(("peak memory MiB", peak, 64, True))
            remove(source)
        if "deep" in cases:
            make_chain(source, arguments.depth)
            ratio = deep_case(cli, work.path, arguments.depth)
            if ratio is not None:
                verdicts.append(("deep chain ratio", ratio, 2.0, False))
            remove(source)
        if "wide" in cases:
            make_wide_folder(source, arguments.wide_files)
            peak = memory_case(cli, work.path, arguments.wide_files,
                               "wide folder")
            verdicts.append(("wide folder peak memory MiB", peak, 64, True))
            remove(source)
    finally:
        work.close()
    missed = 0
    for label, value, limit, strict in verdicts:
        met = value < limit if strict else value <= limit
        missed += not met
        print(f"{label}: {value:.3f} (target {'<' if strict else '<='} "
              f"{limit}) "
              f"{'met' if met else 'MISSED'}")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
