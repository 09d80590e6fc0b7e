"""Times vornask-convert on whole folders of photos against the peers' own command-line
tools, each on all cores: libvips's `vips copy` and ImageMagick's `convert` one process
per file under `xargs -P`, ImageMagick's and GraphicsMagick's batch tools (`mogrify`,
`gm mogrify`) on groups of files under `xargs -P`.

Called by batch.sh, which installs the peers, builds vornask-convert and prepares the
inputs. The tools run in turn, round after round, so that a drift of the shared
machine's speed touches all of them alike; the median wall time of the rounds counts.
With --readme the table goes into README.md between the batch-bench markers.
"""
import argparse
import datetime
import glob
import os
import platform
import resource
import shutil
import statistics
import subprocess
import sys
import time

QUALITY = 80
TOOLS = ["vornask-convert", "vips", "convert", "mogrify", "gm mogrify"]


def command(tool, vc, files, outdir, ext, jobs):
    if tool == "vornask-convert":
        return [vc, "-t", ext, "-q", str(QUALITY), "-o", outdir, "--"] + files, None
    # The peers read their file list through xargs, as a script that spreads them over the cores would.
    per_file = {
        "vips": 'vips copy "$f" "$0/${b%%.*}.%s%s"' % (ext, "[Q=%d]" % QUALITY if ext == "jpg" else ""),
        "convert": '/usr/bin/convert-im6.q16 "$f" -quality %d "$0/${b%%.*}.%s"' % (QUALITY, ext),
    }
    if tool in per_file:
        script = 'for f; do b=${f##*/}; %s || exit 255; done' % per_file[tool]
        return ["xargs", "-0", "-P", str(jobs), "-n", "1", "sh", "-c", script, outdir], files
    group = str(max(1, len(files) // (4 * jobs)))
    if tool == "mogrify":
        tail = ["/usr/bin/mogrify-im6.q16", "-path", outdir]
    else:
        tail = ["gm", "mogrify", "-output-directory", outdir]
    return ["xargs", "-0", "-P", str(jobs), "-n", group] + tail + ["-format", ext, "-quality", str(QUALITY)], files


def run_once(tool, vc, paths, outdir, ext, jobs):
    shutil.rmtree(outdir, ignore_errors=True)
    os.makedirs(outdir)
    # Every tool runs in the photos' folder on their bare names (gm mogrify would repeat a
    # longer path below its output folder).
    cwd = os.path.dirname(paths[0])
    files = [os.path.basename(p) for p in paths]
    cmd, stdin_files = command(tool, vc, files, outdir, ext, jobs)
    stdin = "".join(f + "\0" for f in stdin_files).encode() if stdin_files is not None else None
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.perf_counter()
    proc = subprocess.run(cmd, input=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=cwd)
    seconds = time.perf_counter() - t0
    # The processor time of the tool and everything it started (xargs waits for its children).
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
    made = glob.glob(os.path.join(outdir, "*." + ext))
    if proc.returncode != 0 or len(made) != len(files):
        sys.exit("%s failed (%d of %d files): %s" % (tool, len(made), len(files), proc.stderr.decode()[-400:]))
    return seconds, cpu, sum(os.path.getsize(f) for f in made)


def folder(work, set_name, src, copies):
    """The set's photos of one format, each under `copies` names, in a folder of their own."""
    target = os.path.join(work, "batch-in", "%s-%s-x%d" % (set_name, src, copies))
    if not os.path.isdir(target):
        os.makedirs(target)
        for path in sorted(glob.glob(os.path.join(work, set_name, src, "*." + src))):
            name = os.path.basename(path)
            for c in range(copies):
                os.symlink(os.path.realpath(path), os.path.join(target, "%d-%s" % (c, name)))
    return sorted(glob.glob(os.path.join(target, "*." + src)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", default=os.environ.get("BENCH_WORK", "/tmp/vornask-bench"))
    ap.add_argument("--program", required=True, help="the built vornask-convert")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--cases", default="kodak:1:png-jpg,kodak:1:jpg-png,large:4:png-jpg,large:4:jpg-png",
                    help="set:copies:pair, comma separated")
    ap.add_argument("--readme", default="")
    args = ap.parse_args()
    args.program = os.path.abspath(args.program)
    jobs = len(os.sched_getaffinity(0))
    load_start = os.getloadavg()[0]

    rows = []
    for case in args.cases.split(","):
        set_name, copies, pair = case.split(":")
        src, ext = pair.split("-")
        files = folder(args.work, set_name, src, int(copies))
        times = {tool: [] for tool in TOOLS}
        cpus = {tool: [] for tool in TOOLS}
        sizes = {}
        for r in range(args.runs + 1):  # the first round warms the caches and is not counted
            for tool in TOOLS[r % len(TOOLS):] + TOOLS[:r % len(TOOLS)]:
                outdir = os.path.join(args.work, "batch-out", tool.replace(" ", "-"))
                seconds, cpu, sizes[tool] = run_once(tool, args.program, files, outdir, ext, jobs)
                if r > 0:
                    times[tool].append(seconds)
                    cpus[tool].append(cpu)
        median = {tool: statistics.median(times[tool]) for tool in TOOLS}
        cpu = {tool: statistics.median(cpus[tool]) for tool in TOOLS}
        rows.append((set_name, pair, len(files), median, cpu, sizes))
        print("%-6s %-7s %3d files: %s" % (set_name, pair, len(files), "  ".join(
            "%s %.2f s, CPU %.2f s" % (t, median[t], cpu[t]) for t in TOOLS)))
        sys.stdout.flush()

    table = [
        "Measured %s on %s, %d cores, %s; load average %.1f at the start and %.1f at the end"
        " (the machine was shared with other work). JPG at quality %d; each tool with its own defaults"
        " otherwise; median wall time of %d rounds, the tools taking turns."
        % (datetime.date.today().isoformat(), cpu_name(), jobs, platform.platform(terse=True), load_start,
           os.getloadavg()[0], QUALITY, args.runs),
        "Times are wall seconds for the whole folder; CPU is the processor time of the tool and the processes"
        " it started. Ratios are vornask-convert / peer: below 1.00 vornask-convert is faster, leaner or"
        " smaller (size: all results together).",
        "",
        "| photos | pair | files | peer | peer s | vornask-convert s | time ratio | CPU ratio | size ratio |",
        "|---|---|---:|---|---:|---:|---:|---:|---:|",
    ]
    for set_name, pair, count, median, cpu, sizes in rows:
        ours = "vornask-convert"
        for peer in TOOLS[1:]:
            table.append("| %s | %s | %d | %s | %.2f | %.2f | %.2f | %.2f | %.3f |" % (
                set_name, pair, count, peer, median[peer], median[ours], median[ours] / median[peer],
                cpu[ours] / cpu[peer], sizes[ours] / sizes[peer]))
    text = "\n".join(table)
    print()
    print(text)
    if args.readme:
        with open(args.readme) as f:
            readme = f.read()
        start, end = "<!-- batch-bench:start -->", "<!-- batch-bench:end -->"
        head, rest = readme.split(start, 1)
        _, tail = rest.split(end, 1)
        with open(args.readme, "w") as f:
            f.write(head + start + "\n" + text + "\n" + end + tail)


def cpu_name():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown CPU"


if __name__ == "__main__":
    main()
