"""Runs the conversion benchmark: tessaplex against libvips, ImageMagick, Pillow and
GraphicsMagick on the same files in the same run, and reports ratios.

Called by run.sh, which installs the peers and builds the harnesses. Every pair of
input (bmp, png, jpg, gif) and output (bmp, png, jpg at quality 75) is converted on
each set (kodak: 24 photos, large: 3 photos of 2-6 MP, mosaic: 8000x8000) by

  in-process: tessaplex (its C function), libvips (C API, sequential access),
              ImageMagick (MagickWand), Pillow (one interpreter);
  one process per file: tpx-convert (bench/tpx-convert.c), vips copy, convert,
              gm convert.

Per set and pair it prints tessaplex's wall time per file, output size and peak
memory as ratios to each peer's, checks that tessaplex's outputs are the same in
two runs, and with --readme writes the summary table into README.md.
"""
import argparse
import datetime
import glob
import hashlib
import json
import os
import platform
import subprocess
import sys
import time

INPUTS = ["bmp", "png", "jpg", "gif"]
OUTPUTS = ["bmp", "png", "jpg"]
QUALITY = 75
IN_PROCESS = ["tessaplex", "vips", "magick", "pillow"]
ONE_PER_FILE = ["tpx-cli", "vips-cli", "convert", "gm"]
PEERS = ["vips", "magick", "pillow", "vips-cli", "convert", "gm"]
MIB = 1024 * 1024


def run_in_process(tool, bindir, outdir, ext, files):
    if tool == "pillow":
        cmd = ["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "pillow_harness.py")]
    else:
        cmd = [os.path.join(bindir, "harness-" + tool)]
    cmd += [outdir, ext, str(QUALITY)] + files
    proc = subprocess.run(cmd, capture_output=True, text=True)
    times, sizes, peak = [], [], None
    for line in proc.stdout.splitlines():
        parts = line.split("\t")
        if parts[0] == "peak_kb":
            peak = int(parts[1]) * 1024
        elif len(parts) == 3:
            times.append(float(parts[1]))
            sizes.append(int(parts[2]))
    ok = proc.returncode == 0 and len(times) == len(files) and all(s >= 0 for s in sizes)
    if not ok:
        sys.stderr.write("%s failed: %s\n" % (tool, proc.stderr.strip()[:400]))
    return {"ok": ok, "ms": times, "bytes": sizes, "peak": peak}


def cli_command(tool, bindir, src, dst):
    jpg = dst.endswith(".jpg")
    if tool == "tpx-cli":
        return [os.path.join(bindir, "tpx-convert"), src, dst, str(QUALITY)]
    if tool == "vips-cli":
        return ["vips", "copy", src, dst + ("[Q=%d]" % QUALITY if jpg else "")]
    if tool == "convert":
        return ["/usr/bin/convert-im6.q16", src, "-quality", str(QUALITY), dst]
    if tool == "gm":
        return ["gm", "convert", src, "-quality", str(QUALITY), dst]
    raise ValueError(tool)


def run_one_per_file(tool, bindir, outdir, ext, files):
    times, sizes, peak, ok = [], [], 0, True
    for src in files:
        dst = os.path.join(outdir, os.path.splitext(os.path.basename(src))[0] + "." + ext)
        # GNU time reports the command's own peak; the wall time is taken here, and
        # includes starting the process, as a user of the command sees it.
        t0 = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-f", "peak_kb %M"] + cli_command(tool, bindir, src, dst),
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        t1 = time.perf_counter()
        err = proc.stderr.decode(errors="replace")
        kb = [int(l.split()[1]) for l in err.splitlines() if l.startswith("peak_kb ")]
        if proc.returncode != 0 or not os.path.exists(dst):
            sys.stderr.write("%s failed on %s: %s\n" % (tool, src, err.strip()[:300]))
            ok = False
            sizes.append(-1)
        else:
            sizes.append(os.path.getsize(dst))
        times.append((t1 - t0) * 1000)
        peak = max(peak, (kb[-1] if kb else 0) * 1024)
    return {"ok": ok, "ms": times, "bytes": sizes, "peak": peak}


def digest(folder):
    h = hashlib.sha256()
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            h.update(name.encode() + b"\0" + f.read())
    return h.hexdigest()


def megapixels(set_name):
    return {"kodak": 0.393, "large": 3.87, "mosaic": 64.0}[set_name]


def ratio(a, b):
    return a / b if b else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", default=os.environ.get("BENCH_WORK", "/tmp/vornask-bench"))
    ap.add_argument("--bin", required=True, help="folder of the built harnesses")
    ap.add_argument("--sets", default="kodak,large,mosaic")
    ap.add_argument("--cli-sets", default="kodak,large,mosaic", help="sets that also run one process per file")
    ap.add_argument("--pairs", default="", help="only these pairs, e.g. jpg-png,png-jpg")
    ap.add_argument("--readme", default="", help="README.md to write the summary into")
    ap.add_argument("--repeat", type=int, default=1,
                    help="rounds over all tools, taking each file's fastest time (for a machine that is not idle)")
    ap.add_argument("--update", action="store_true",
                    help="keep the rows of the previous run (results.json) that this run does not measure")
    args = ap.parse_args()

    results = {}
    saved = os.path.join(args.work, "results.json")
    if args.update and os.path.exists(saved):
        with open(saved) as f:
            results = {tuple(k.split("/")): v for k, v in json.load(f).items()}
    for set_name in args.sets.split(","):
        for src in INPUTS:
            files = sorted(glob.glob(os.path.join(args.work, set_name, src, "*." + src)))
            if not files:
                sys.exit("no %s files in %s; run bench/prepare.sh" % (src, os.path.join(args.work, set_name)))
            for dst in OUTPUTS:
                pair = "%s-%s" % (src, dst)
                if args.pairs and pair not in args.pairs.split(","):
                    continue
                row = {}
                tools = IN_PROCESS + (ONE_PER_FILE if set_name in args.cli_sets.split(",") else [])
                # Rounds take turns over the tools, so that a busy machine slows them alike.
                for _ in range(args.repeat):
                    for tool in tools:
                        outdir = os.path.join(args.work, "out", tool, set_name, pair)
                        os.makedirs(outdir, exist_ok=True)
                        for old in glob.glob(os.path.join(outdir, "*")):
                            os.remove(old)
                        runner = run_in_process if tool in IN_PROCESS else run_one_per_file
                        result = runner(tool, args.bin, outdir, dst, files)
                        if tool in row:
                            result = {"ok": row[tool]["ok"] and result["ok"], "bytes": result["bytes"],
                                      "ms": [min(a, b) for a, b in zip(row[tool]["ms"], result["ms"])],
                                      "peak": max(row[tool]["peak"] or 0, result["peak"] or 0)}
                        row[tool] = result
                # Determinism: a second run of tessaplex must give the same bytes.
                again = os.path.join(args.work, "out", "tessaplex-again", set_name, pair)
                os.makedirs(again, exist_ok=True)
                run_in_process("tessaplex", args.bin, again, dst, files)
                row["identical"] = digest(again) == digest(os.path.join(args.work, "out", "tessaplex", set_name, pair))
                results[(set_name, pair)] = row
                report_row(set_name, pair, row, len(files))
                sys.stdout.flush()

    with open(saved, "w") as f:
        json.dump({"%s/%s" % k: v for k, v in results.items()}, f)
    table = summary(results, args.repeat)
    if args.update:
        table = table.replace("; all tools in the same run", "; all tools side by side in the same run (rows not"
                              " measured again were kept from the previous run)", 1)
    print()
    print(table)
    if args.readme:
        write_readme(args.readme, table)


def mean(values):
    return sum(values) / len(values) if values else float("nan")


def report_row(set_name, pair, row, count):
    t = row["tessaplex"]
    parts = ["%-6s %-7s tessaplex %8.1f ms/file %6.1f MiB" % (set_name, pair, mean(t["ms"]), (t["peak"] or 0) / MIB)]
    for peer in PEERS:
        p = row.get(peer)
        if not p:
            continue
        if not p["ok"]:
            parts.append("%s failed" % peer)
            continue
        parts.append("%s t%.2f s%.2f m%.2f" % (peer, ratio(mean(t["ms"]), mean(p["ms"])),
                                              ratio(sum(t["bytes"]), sum(p["bytes"])), ratio(t["peak"], p["peak"])))
    if "tpx-cli" in row:
        parts.append("tpx-cli %.1f ms" % mean(row["tpx-cli"]["ms"]))
    parts.append("same bytes twice: %s" % ("yes" if row["identical"] else "NO"))
    print(" | ".join(parts))


def summary(results, repeat=1):
    lines = []
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    lines.append("Measured %s on %s, %d cores, %s (load average %.1f at the end: the machine was shared);"
                 " all tools in the same run%s, JPEG at quality 75."
                 % (datetime.date.today().isoformat(), cpu, os.cpu_count(), platform.platform(terse=True),
                    os.getloadavg()[0],
                    "" if repeat == 1 else ", taking turns over %d rounds with each file's fastest time" % repeat))
    lines.append("Ratios are tessaplex / peer: below 1.00 tessaplex is faster, smaller or leaner. Time is wall"
                 " time per file; \"fastest\" is the fastest peer of the row (in-process or one process per"
                 " file); size is compared with Pillow for PNG, ImageMagick for JPEG and the fastest peer for BMP;"
                 " peak memory with the leanest peer.")
    lines.append("")
    lines.append("| set | pair | tessaplex ms/file | fastest peer | time ratio | size ratio | tessaplex peak MiB"
                 " | peak ratio | same bytes twice |")
    lines.append("|---|---|---:|---|---:|---:|---:|---:|---|")
    order = {name: i for i, name in enumerate(["kodak", "large", "mosaic"])}
    pairs = ["%s-%s" % (i, o) for i in INPUTS for o in OUTPUTS]
    for (set_name, pair), row in sorted(results.items(), key=lambda kv: (order.get(kv[0][0], 9), pairs.index(kv[0][1]))):
        t = row["tessaplex"]
        if not t["ok"]:
            lines.append("| %s | %s | failed | | | | | | |" % (set_name, pair))
            continue
        # A peer whose output is a fraction or a multiple of ours did not convert the
        # image (ImageMagick writes a two-colour image when it runs out of resources).
        peers = {k: v for k, v in row.items() if k in PEERS and v["ok"]
                 and 0.25 <= ratio(sum(v["bytes"]), sum(t["bytes"])) <= 4}
        if not peers:
            continue
        fastest = min(peers, key=lambda k: mean(peers[k]["ms"]))
        out = pair.split("-")[1]
        size_peer = {"png": "pillow", "jpg": "magick"}.get(out, fastest)
        size_ratio = ratio(sum(t["bytes"]), sum(peers[size_peer]["bytes"])) if size_peer in peers else float("nan")
        leanest = min(peers, key=lambda k: peers[k]["peak"] or float("inf"))
        lines.append("| %s | %s | %.1f | %s %.1f | %.2f | %.3f | %.1f | %.2f | %s |" % (
            set_name, pair, mean(t["ms"]), fastest, mean(peers[fastest]["ms"]),
            ratio(mean(t["ms"]), mean(peers[fastest]["ms"])), size_ratio, (t["peak"] or 0) / MIB,
            ratio(t["peak"], peers[leanest]["peak"]), "yes" if row["identical"] else "no"))
    return "\n".join(lines)


def write_readme(path, table):
    with open(path) as f:
        text = f.read()
    start, end = "<!-- bench:start -->", "<!-- bench:end -->"
    head, rest = text.split(start, 1)
    _, tail = rest.split(end, 1)
    with open(path, "w") as f:
        f.write(head + start + "\n" + table + "\n" + end + tail)


if __name__ == "__main__":
    main()
