"""Times a batch through the whole window against the conversion library alone.

Called by window.sh, which builds the window driver (bench/window-batch.cpp) and the
library harness (bench/harness.c) and prepares the sets. For each set it measures

  library, one core:  one harness process over all files (the sum of its per-file times);
  library, all cores: one harness process per core, the files dealt out in turn (the
                      longest process's sum);
  window:             the real main window under QT_QPA_PLATFORM=offscreen, from the click
                      on "Convert files" to the closing message box;
  window, one at a time: the same with conversions forced one after the other, whose
                      report and result files must be byte for byte those of the window run.

Each time is the best of --repeat runs (3 by default): on a shared machine the other
work only ever adds time. With --readme it writes the table into README.md between the
window-bench markers.
"""
import argparse
import datetime
import hashlib
import os
import platform
import shutil
import subprocess
import sys
import time

SETS = {
    "png96": ("96 PNG photos (4 x Kodak) to JPG", "png", "jpg"),
    "jpg96": ("96 JPG photos (4 x Kodak) to PNG", "jpg", "png"),
    "tiny4000": ("4000 tiny 16 x 16 BMP to PNG", "bmp", "png"),
    "tiny40000": ("40,000 tiny 16 x 16 BMP to PNG", "bmp", "png"),
}
QUALITY = 80


def fresh(work, name):
    path = os.path.join(work, "out", name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def library(harness, files, out, ext, processes):
    """The library's own time: per process the sum of its per-file times; the longest process."""
    procs = []
    for i in range(processes):
        listing = os.path.join(out, "..", "share%d.txt" % i)
        with open(listing, "w") as f:
            f.write("\n".join(files[i::processes]) + "\n")
        procs.append(subprocess.Popen([harness, out, ext, str(QUALITY), "@" + listing], stdout=subprocess.PIPE,
                                      text=True))
    longest = 0.0
    for proc in procs:
        output, _ = proc.communicate()
        if proc.returncode != 0:
            sys.exit("harness failed")
        longest = max(longest, sum(float(line.split("\t")[1]) for line in output.splitlines()
                                   if line.count("\t") == 2))
    return longest / 1000.0


def window(bindir, folder, out, src, dst, report, one_at_a_time=False):
    cmd = [os.path.join(bindir, "vornask-bench-window"), folder + "/", out + "/", src, dst, str(QUALITY), report]
    if one_at_a_time:
        cmd.append("--one-at-a-time")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    proc = subprocess.run(cmd, capture_output=True, text=True, env=env)
    if proc.returncode != 0:
        sys.exit("window run failed: " + proc.stderr)
    for line in proc.stdout.splitlines():
        if line.startswith("window_ms\t"):
            return float(line.split("\t")[1]) / 1000.0
    sys.exit("no time from the window run")


def digest(folder):
    h = hashlib.sha256()
    for name in sorted(os.listdir(folder)):
        h.update(name.encode())
        with open(os.path.join(folder, name), "rb") as f:
            h.update(f.read())
    return h.hexdigest()


def load():
    return os.getloadavg()[0]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--harness", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--sets", default="png96,jpg96,tiny4000,tiny40000")
    ap.add_argument("--readme", default="")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    cores = os.cpu_count() or 1
    load_before = load()
    rows = []
    for key in args.sets.split(","):
        title, src, dst = SETS[key]
        folder = os.path.join(args.work, key)
        files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith("." + src))
        report_a = os.path.join(args.work, key + "-report.txt")
        report_b = os.path.join(args.work, key + "-report-one-at-a-time.txt")
        one = every = win = serial = float("inf")
        same = True
        for _ in range(args.repeat):
            one = min(one, library(args.harness, files, fresh(args.work, "lib1"), dst, 1))
            every = min(every, library(args.harness, files, fresh(args.work, "libn"), dst, cores))
            win = min(win, window(args.bin, folder, fresh(args.work, "win"), src, dst, report_a))
            serial = min(serial, window(args.bin, folder, fresh(args.work, "win1"), src, dst, report_b,
                                        one_at_a_time=True))
            same = same and open(report_a, "rb").read() == open(report_b, "rb").read() and \
                digest(os.path.join(args.work, "out", "win")) == digest(os.path.join(args.work, "out", "win1"))
        added_ms = (win - every) * 1000.0 / len(files)
        rows.append((title, len(files), win, serial, one, every, win / every, added_ms, same))
        print("%-34s window %.2f s (one at a time %.2f s), library %.2f s / %.2f s on %d cores, "
              "ratio %.2f, %.3f ms a file added, same report and files: %s"
              % (title, win, serial, one, every, cores, win / every, added_ms, "yes" if same else "NO"))
        shutil.rmtree(os.path.join(args.work, "out"), ignore_errors=True)
    table = render(rows, cores, load_before, load(), args.repeat)
    print(table)
    if args.readme:
        write_readme(args.readme, table)


def render(rows, cores, before, after, repeat):
    lines = [
        "Measured %s on %s, %d cores, %s; load average %.1f before and %.1f after (the machine is shared)."
        % (datetime.date.today().isoformat(), platform.processor() or platform.machine(), cores,
           platform.platform(), before, after),
        "Best of %d runs. Window: the real main window (offscreen), from the click on \"Convert files\" to the "
        "closing box. "
        "Library: bench/harness.c calling the library in a loop, on one core and in one process per core. "
        "JPEG at quality %d. Files in a memory file system." % (repeat, QUALITY),
        "",
        "| batch | files | window s | window, one at a time s | library, one core s | library, %d cores s "
        "| window / library on %d cores | window adds ms a file | same report and files |" % (cores, cores),
        "|---|---:|---:|---:|---:|---:|---:|---:|---|",
    ]
    for title, n, win, serial, one, every, ratio, added, same in rows:
        lines.append("| %s | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.3f | %s |"
                     % (title, n, win, serial, one, every, ratio, added, "yes" if same else "no"))
    return "\n".join(lines)


def write_readme(path, table):
    start, end = "<!-- window-bench:start -->", "<!-- window-bench:end -->"
    text = open(path).read()
    if start not in text:
        sys.exit("README has no window-bench markers")
    head, rest = text.split(start, 1)
    _, tail = rest.split(end, 1)
    with open(path, "w") as f:
        f.write(head + start + "\n" + table + "\n" + end + tail)


main()
