#!/usr/bin/python3
"""Zelvic and Kestrin's font model against the tools users would pick instead,
on the same files in the same run: afdko's otf2otc/otc2otf, fontTools, and
cat/cp as the physical limit of moving the bytes at all.

Every tool is a separate process timed from spawn to exit, so interpreter
start-up counts for the Python peers exactly as it does for a user typing the
command. Tools take turns within each round, so load from other work on the
machine falls on all of them alike."""
import argparse
import datetime
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import sfnt  # noqa: E402

REPO = HERE.parent.parent
PYTHON = "/usr/bin/python3"
TIME = "/usr/bin/time"
FTPEER = str(HERE / "ftpeer.py")
AFDKO = Path("/usr/libexec/afdko")
DEJAVU = Path("/usr/share/fonts/truetype/dejavu")
NOTO_CJK = Path("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
NOTO_CORE = Path("/usr/share/fonts/truetype/noto")
NEW_FAMILY = "Bench Family"

NOTO = Path("/usr/share/fonts/truetype/noto")
IPA = Path("/usr/share/fonts/opentype/ipafont-gothic")
LIBERATION2 = Path("/usr/share/fonts/truetype/liberation2")

# About twenty assorted TrueType fonts from three foundries' packages.
MEDIUM = (
    [DEJAVU / f"DejaVuSerif{s}.ttf" for s in ("", "-Bold", "-Italic", "-BoldItalic")]
    + [Path("/usr/share/fonts/truetype/liberation2") / f"Liberation{f}-{s}.ttf"
       for f in ("Sans", "Serif", "Mono") for s in ("Regular", "Bold", "Italic", "BoldItalic")]
    + [Path("/usr/share/fonts/truetype/crosextra") / f"Carlito-{s}.ttf"
       for s in ("Regular", "Bold", "Italic", "BoldItalic")]
)
# Twenty fonts of 19 MB whose tables mostly don't lie in directory order
# (Liberation, IPA) beside ones that do, two of them large CJK fonts.
MIXED = (
    MEDIUM[:4]
    + [LIBERATION2 / f"Liberation{f}-{s}.ttf"
       for f in ("Sans", "Serif", "Mono") for s in ("Regular", "Bold", "Italic", "BoldItalic")]
    + [NOTO / "NotoSans-Regular.ttf", NOTO / "NotoSerif-Regular.ttf",
       IPA / "ipag.ttf", IPA / "ipagp.ttf"]
)
# Five fonts of one family, 3 MB: the fixed costs per font weigh most.
FIVE = [DEJAVU / f"DejaVuSans{s}.ttf"
        for s in ("", "-Bold", "-Oblique", "-BoldOblique", "-ExtraLight")]

# Ours over the limit at most: the limit moves the same bytes as plainly as
# the system allows (cat into one new file, cp into an empty folder, dd
# syncing the copy as the model's save does).
TARGETS = {
    "make": 1.1,
    "split": 1.1,
    "rename": 1.25,
    # Into an empty folder, so no save replaces a file and none syncs: the
    # limit is cp of the fonts.
    "folder": 1.5,
    # In place: every save syncs the new font and its folder; the limit is cp
    # with the same syncs (bench/copy-sync).
    "folder-sync": 1.5,
}
# Ours at least this many times faster than every peer.
# Not in place: fontTools writes its fonts over the old ones without a sync,
# which a save that must never lose a font can't match.
PEER_TARGETS = {"folder": 10}
# Peak memory at most this plus the largest input font's table directory.
MEMORY_BUDGET_KIB = 32 * 1024
OPERATIONS = {"make": "make collection", "split": "split collection",
              "rename": "rename family + save", "folder": "rename family, folder",
              "folder-sync": "rename family, folder in place"}
# Which operations each corpus is measured with: every font of fonts-noto-core
# only as a folder renamed with kestrin-names.
CORPUS_OPERATIONS = {"small": ("make", "split", "rename"),
                     "medium": ("make", "split", "rename", "folder", "folder-sync"),
                     "large": ("make", "split", "rename"),
                     "mixed": ("make", "split", "rename"),
                     "five": ("make", "split", "rename"),
                     "noto": ("folder", "folder-sync")}


@dataclass
class Corpus:
    name: str
    fonts: list  # paths, in collection order
    rename_font: Path
    collection: Path = None  # the split input every tool gets
    operations: tuple = ("make", "split", "rename")

    @property
    def largest_directory(self):
        """Bytes of the largest offset table and table records among the fonts."""
        return max(sfnt.directory_size(p) for p in self.fonts)

    @property
    def input_bytes(self):
        return sum(p.stat().st_size for p in self.fonts)


@dataclass
class Tool:
    name: str
    role: str  # "ours", "peer", "limit" or "reference" (shown, not judged)
    argv: object  # (corpus, folder) -> argv list
    stdout: str = None  # file name in the run folder receiving standard output
    order: str = "sorted"  # how output fonts line up with the inputs
    checked: bool = True


@dataclass
class Result:
    times: list = field(default_factory=list)
    cpu: list = field(default_factory=list)  # user + system seconds of each timed run
    peak_kib: int = 0
    output_bytes: int = 0
    findings: list = field(default_factory=list)
    error: str = None


def tools_for(operation, zelvic, driver, names=None, copy_sync=None, copy_read=None):
    z = [zelvic] if zelvic else None
    if operation == "make":
        return [
            Tool("Zelvic", "ours", z and (lambda c, d: z + ["coll.ttc"] + [str(p) for p in c.fonts])),
            Tool("otf2otc", "peer", lambda c, d: [str(AFDKO / "otf2otc"), "-o", "coll.ttc"]
                 + [str(p) for p in c.fonts]),
            Tool("fontTools", "peer", lambda c, d: [PYTHON, FTPEER, "make", "coll.ttc"]
                 + [str(p) for p in c.fonts]),
            Tool("cat", "limit", lambda c, d: ["/bin/cat"] + [str(p) for p in c.fonts],
                 stdout="coll.ttc", checked=False),
        ]
    if operation == "split":
        return [
            Tool("Zelvic", "ours", z and (lambda c, d: z + ["coll.ttc"])),
            Tool("otc2otf", "peer", lambda c, d: [str(AFDKO / "otc2otf"), "coll.ttc"], order="psname"),
            Tool("fontTools", "peer", lambda c, d: [PYTHON, FTPEER, "split", "coll.ttc"]),
            # The files a split must write: the member fonts, copied into the
            # run's folder (empty but for the collection, as for every tool).
            Tool("cp", "limit", lambda c, d: ["/bin/cp"] + [str(p) for p in c.fonts] + ["."],
                 checked=False),
            # The same copies with the collection read into the process once,
            # as summing its tables must, by a program that does nothing else.
            Tool("cp + read", "reference", copy_read and (
                lambda c, d: [copy_read, "."] + [str(p) for p in c.fonts] + ["--read", "coll.ttc"]),
                 checked=False),
        ]
    if operation == "folder":
        n = [names] if names else None
        return [
            Tool("kestrin-names", "ours", n and (lambda c, _: n + [
                "rename-family", NEW_FAMILY, "-q", "-o", ".", str(c.fonts[0].parent)])),
            Tool("fontTools", "peer", lambda c, _: [PYTHON, FTPEER, "rename-folder", NEW_FAMILY, "."]
                 + [str(p) for p in c.fonts]),
            Tool("cp", "limit", lambda c, _: ["/bin/cp"] + [str(p) for p in c.fonts] + ["."],
                 checked=False),
            # The same copies with each font read into the process once, as
            # summing what is written must.
            Tool("cp + read", "reference", copy_read and (
                lambda c, _: [copy_read, "."] + [str(p) for p in c.fonts]), checked=False),
        ]
    if operation == "folder-sync":
        n = [names] if names else None
        return [
            Tool("kestrin-names", "ours", n and (lambda c, _: n + [
                "rename-family", NEW_FAMILY, "-q", "."])),
            Tool("fontTools", "peer", lambda c, _: [PYTHON, FTPEER, "rename-folder", NEW_FAMILY, "."]
                 + [str(p) for p in c.fonts]),
            Tool("cp + fsync", "limit", copy_sync and (
                lambda c, _: [copy_sync, "."] + [str(p) for p in c.fonts]), checked=False),
        ]
    d = [driver] if driver else None
    return [
        # The font edited in place, as Kestrin saves it.
        Tool("Kestrin model", "ours",
             d and (lambda c, _: d + ["rename-family", "out.ttf", NEW_FAMILY, "out.ttf"])),
        Tool("fontTools", "peer", lambda c, _: [PYTHON, FTPEER, "rename-family", str(c.rename_font),
                                                 NEW_FAMILY, "out.ttf"]),
        # The model's save syncs the new file to disk before it replaces the
        # old one; the limit is the same copy made just as durable over it.
        Tool("dd fsync", "limit", lambda c, _: ["/bin/dd", f"if={c.rename_font}", "of=out.ttf",
                                                 "bs=1M", "conv=fsync", "status=none"],
             checked=False),
        Tool("cp", "reference", lambda c, _: ["/bin/cp", str(c.rename_font), "out.ttf"],
             checked=False),
    ]


# --- corpora -------------------------------------------------------------------


def fresh_copy(sources, folder):
    folder.mkdir(parents=True, exist_ok=True)
    wanted = {p.name for p in sources}
    for old in folder.iterdir():
        if old.name not in wanted:
            old.unlink()
    copies = []
    for source in sources:
        target = folder / source.name
        if not target.exists() or target.stat().st_size != source.stat().st_size:
            shutil.copyfile(source, target)
        copies.append(target)
    return copies


def split_noto(folder):
    """The members of the Noto CJK collection as single fonts, written once by
    fontTools (no tool under test makes the corpus it is measured on)."""
    from fontTools.ttLib import TTCollection

    stamp = folder / ".complete"
    if stamp.exists() and stamp.read_text() == str(NOTO_CJK.stat().st_mtime_ns):
        return sorted(p for p in folder.iterdir() if p.suffix == ".otf")
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    fonts = []
    for number, font in enumerate(TTCollection(NOTO_CJK)):
        path = folder / f"{number + 1:02d}-{font['name'].getDebugName(6)}.otf"
        font.save(path)
        fonts.append(path)
    stamp.write_text(str(NOTO_CJK.stat().st_mtime_ns))
    return fonts


def prepare_corpora(work, names):
    base = work / "corpora"
    corpora = []
    for name in names:
        if name == "small":
            fonts = fresh_copy(sorted(DEJAVU.glob("DejaVuSans*.ttf")), base / name)
            rename = base / name / "DejaVuSans.ttf"
        elif name == "medium":
            fonts = fresh_copy(MEDIUM, base / name)
            rename = base / name / "LiberationSans-Regular.ttf"
        elif name == "mixed":
            fonts = fresh_copy(MIXED, base / name)
            rename = base / name / "LiberationSerif-Regular.ttf"
        elif name == "five":
            fonts = fresh_copy(FIVE, base / name)
            rename = base / name / "DejaVuSans-Bold.ttf"
        elif name == "noto":
            fonts = fresh_copy(sorted(NOTO_CORE.glob("*.ttf")), base / name)
            rename = fonts[0]
        else:
            fonts = split_noto(base / name)
            rename = fonts[0]
        corpus = Corpus(name, fonts, rename, base / f"{name}.ttc", CORPUS_OPERATIONS[name])
        if "make" in corpus.operations or "split" in corpus.operations:
            sfnt.write_collection(corpus.collection, [sfnt.raw_tables(p) for p in fonts])
        corpora.append(corpus)
    return corpora


# --- running ---------------------------------------------------------------------


def clear(folder):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)


def spawn(argv, folder, stdout="/dev/null", stderr="/dev/null"):
    """Runs argv in `folder`: (seconds from spawn to exit, exit status, CPU seconds)."""
    actions = [(os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, stdout, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
               (os.POSIX_SPAWN_OPEN, 2, stderr, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    # Dirty pages of the previous run are flushed first, so no run pays for another's writes.
    os.sync()
    previous = os.getcwd()
    os.chdir(folder)
    try:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
        return seconds, os.waitstatus_to_exitcode(status), usage.ru_utime + usage.ru_stime
    finally:
        os.chdir(previous)


def python_floor(runs, work):
    """Median time of the interpreter starting and importing fontTools: no
    Python peer finishes sooner, whatever the fonts."""
    argv = [PYTHON, "-c", "import fontTools.ttLib.ttCollection"]
    spawn(argv, work)
    return statistics.median(spawn(argv, work)[0] for _ in range(runs))


def run_once(tool, corpus, operation, folder, measure_memory=False):
    """One run in a fresh folder: (seconds, peak RSS in KiB or 0, status, stderr, CPU seconds)."""
    clear(folder)
    if operation == "split":
        os.link(corpus.collection, folder / "coll.ttc")
    if operation == "rename":
        # Every tool writes over a copy of the font, as a user's edit does;
        # the model's save replaces it, syncing the new file and its folder,
        # and dd syncs its copy over it. Synced first, so that no tool's sync
        # flushes what the copy left.
        shutil.copyfile(corpus.rename_font, folder / "out.ttf")
        os.sync()
    if operation == "folder-sync":
        # The fonts every tool rewrites in place, synced as above.
        for font in corpus.fonts:
            shutil.copyfile(font, folder / font.name)
        os.sync()
    rss = folder.parent / f"{folder.name}.rss"
    stderr_path = folder.parent / f"{folder.name}.stderr"
    argv = tool.argv(corpus, folder)
    if measure_memory:
        # GNU time reads the peak RSS: a child spawned straight from this
        # interpreter would report the interpreter's own memory, which the
        # kernel carries over into the peak of a process that execs. Its own
        # fork and exec would blur short runs, so timed runs go without it.
        argv = [TIME, "-q", "-f", "%M", "-o", str(rss)] + argv
    stdout = str(folder / tool.stdout) if tool.stdout else "/dev/null"
    seconds, status, cpu = spawn(argv, folder, stdout, str(stderr_path))
    peak = 0
    if measure_memory:
        lines = rss.read_text().split()
        peak = int(lines[-1]) if lines and lines[-1].isdigit() else 0
    return seconds, peak, status, stderr_path.read_text(errors="replace"), cpu


def split_files(tool, corpus, folder):
    """The font files a split left, lined up with the corpus fonts."""
    files = [p for p in folder.iterdir() if p.name != "coll.ttc"]
    if tool.order == "psname":
        # otc2otf names each font after its PostScript name.
        from fontTools.ttLib import TTFont

        by_name = {TTFont(p, lazy=True)["name"].getDebugName(6): p for p in files}
        names = [TTFont(p, lazy=True)["name"].getDebugName(6) for p in corpus.fonts]
        files = [by_name[n] for n in names if n in by_name]
    else:
        files.sort()
    return files


def check(tool, corpus, operation, folder, inputs):
    try:
        if operation == "rename":
            return sfnt.check_rename(corpus.rename_font, folder / "out.ttf", NEW_FAMILY)
        if operation in ("folder", "folder-sync"):
            return [f"{p.name}: {finding}" for p in corpus.fonts
                    for finding in sfnt.check_family_rename(p, folder / p.name, NEW_FAMILY)]
        if operation == "make":
            return sfnt.check_fonts(inputs, sfnt.all_fonts(folder / "coll.ttc"))
        # A single font must sum to 0xB1B0AFBA, which a collection can't hold
        # for its members: a split sets checkSumAdjustment and nothing else.
        files = split_files(tool, corpus, folder)
        findings = sfnt.check_fonts([sfnt.without_adjustment(t) for t in inputs],
                                    [sfnt.without_adjustment(sfnt.raw_tables(p)) for p in files])
        wrong = [n for n, p in enumerate(files, start=1) if not sfnt.sums_right(p)]
        if wrong:
            findings.append(f"{sfnt.describe(wrong, len(inputs))}: whole-font sum not 0xB1B0AFBA")
        return findings
    except Exception as error:  # output fontTools cannot read at all
        return [f"output unreadable by fontTools: {error}"]


def output_size(folder, operation):
    files = [p for p in folder.iterdir() if not (operation == "split" and p.name == "coll.ttc")]
    return sum(p.stat().st_size for p in files)


def measure(corpus, operation, tools, runs, work):
    inputs = [sfnt.raw_tables(p) for p in corpus.fonts]
    results = {}
    live = []
    for tool in tools:
        result = results[tool.name] = Result()
        if tool.argv is None:
            result.error = "not built"
            continue
        folder = work / "runs" / corpus.name / operation / tool.name.replace(" ", "-")
        # The warm-up run fills the page cache, measures the peak memory and
        # yields the output to check.
        seconds, peak, status, stderr, _ = run_once(tool, corpus, operation, folder, True)
        if status != 0:
            result.error = f"exit status {status}: {stderr.strip()[-300:]}"
            continue
        result.output_bytes = output_size(folder, operation)
        result.peak_kib = peak
        if tool.checked:
            result.findings = check(tool, corpus, operation, folder, inputs)
        live.append((tool, folder))
    for _ in range(runs):
        for tool, folder in live:
            seconds, peak, status, stderr, cpu = run_once(tool, corpus, operation, folder)
            result = results[tool.name]
            if status != 0:
                result.error = f"exit status {status} in a timed run: {stderr.strip()[-300:]}"
            result.times.append(seconds)
            result.cpu.append(cpu)
        print(".", end="", flush=True)
    return results


# --- reporting ----------------------------------------------------------------------


def median(result):
    return statistics.median(result.times) if result.times and not result.error else None


def paired_spread(ours, limit):
    """The middle half of ours over the limit's time run by run: the tools take
    turns within a round, so each pair saw the machine in the same state, and
    the spread shows how far one median ratio can be trusted here."""
    if ours.error or limit.error or len(ours.times) < 4 or len(ours.times) != len(limit.times):
        return None
    quartiles = statistics.quantiles([a / b for a, b in zip(ours.times, limit.times)], n=4)
    return quartiles[0], quartiles[2]


def ms(seconds):
    return "—" if seconds is None else f"{seconds * 1000:.1f}"


def mib(kib):
    return f"{kib / 1024:.1f}"


def ratio_rows(corpora, table):
    rows = []
    for corpus in corpora:
        for operation in corpus.operations:
            results, tools = table[corpus.name][operation]
            ours = next(t for t in tools if t.role == "ours")
            mine = median(results[ours.name])
            peers = [t for t in tools if t.role == "peer"]
            limit = next(t for t in tools if t.role == "limit")
            cells = []
            for peer in peers:
                theirs = median(results[peer.name])
                if mine and theirs:
                    cells.append(f"{peer.name} {theirs / mine:.1f}x")
                else:
                    cells.append(f"{peer.name} —")
            limit_time = median(results[limit.name])
            to_limit = mine / limit_time if mine and limit_time else None
            limit_cell = "—" if to_limit is None else f"{to_limit:.2f}x {limit.name}"
            spread = paired_spread(results[ours.name], results[limit.name])
            if to_limit is not None and spread:
                limit_cell += f" [{spread[0]:.2f}–{spread[1]:.2f}]"
            for reference in (t for t in tools if t.role == "reference"):
                other = median(results[reference.name])
                if mine and other:
                    limit_cell += f" ({mine / other:.2f}x {reference.name})"
            peer_peaks = [results[p.name].peak_kib for p in peers if results[p.name].peak_kib]
            my_peak = results[ours.name].peak_kib
            want_limit = TARGETS[operation]
            budget = MEMORY_BUDGET_KIB + corpus.largest_directory / 1024
            if mine is None:
                verdict = results[ours.name].error or "no result"
            else:
                missed = []
                if to_limit is None or to_limit > want_limit:
                    missed.append(f">{want_limit}x {limit.name}")
                for peer in peers:
                    theirs = median(results[peer.name])
                    if operation in PEER_TARGETS and (not theirs or theirs / mine < PEER_TARGETS[operation]):
                        missed.append(f"<{PEER_TARGETS[operation]}x faster than {peer.name}")
                if not my_peak or my_peak > budget:
                    missed.append(f"memory >{mib(budget)} MiB")
                if results[ours.name].findings:
                    missed.append("table bytes")
                verdict = "met" if not missed else "missed: " + ", ".join(missed)
            rows.append([
                corpus.name, OPERATIONS[operation], ms(mine), ", ".join(cells),
                limit_cell,
                "—" if not my_peak or not peer_peaks
                else f"{mib(my_peak)} vs {mib(min(peer_peaks))}",
                verdict,
            ])
    return rows


def detail_rows(corpora, table):
    rows = []
    for corpus in corpora:
        for operation in corpus.operations:
            results, tools = table[corpus.name][operation]
            for tool in tools:
                result = results[tool.name]
                size = "—"
                if result.output_bytes and operation == "make":
                    saved = 1 - result.output_bytes / corpus.input_bytes
                    size = f"{result.output_bytes / 2**20:.2f} ({saved:.1%} saved)"
                elif result.output_bytes:
                    size = f"{result.output_bytes / 2**20:.2f}"
                if result.error:
                    bytes_ok = result.error
                elif not tool.checked:
                    bytes_ok = f"({tool.role})"
                else:
                    bytes_ok = "same" if not result.findings else f"DIFFER ({len(result.findings)})"
                rows.append([
                    corpus.name, OPERATIONS[operation], tool.name,
                    ms(min(result.times)) if result.times and not result.error else "—",
                    ms(median(result)),
                    ms(statistics.median(result.cpu)) if result.cpu and not result.error else "—",
                    mib(result.peak_kib) if result.peak_kib else "—",
                    size, bytes_ok,
                ])
    return rows


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def package_version(name):
    try:
        return subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True,
                              text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return "?"


def machine():
    model = "?"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    memory = next(int(l.split()[1]) for l in Path("/proc/meminfo").read_text().splitlines()
                  if l.startswith("MemTotal"))
    commit = subprocess.run(["git", "-C", str(REPO), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip() or "?"
    return (f"{os.cpu_count()} cores ({model}), {memory / 2**20:.0f} GiB memory, "
            f"Linux {platform.release()}; commit {commit}; afdko {package_version('afdko')}, "
            f"fontTools {package_version('python3-fonttools')}, Python {platform.python_version()}")


def size_rows(corpora, table):
    rows = []
    tools = []
    for corpus in (c for c in corpora if "make" in c.operations):
        results, tools = table[corpus.name]["make"]
        cells = []
        for tool in tools:
            size = results[tool.name].output_bytes
            saved = 1 - size / corpus.input_bytes if size else 0
            cells.append(f"{size / 2**20:.2f} ({saved:.1%})" if size else "—")
        rows.append([corpus.name, f"{corpus.input_bytes / 2**20:.2f}", *cells])
    return [t.name for t in tools], rows


def report(corpora, table, runs, seconds, floor, load):
    """The whole report, and the shorter one the README shows."""
    corpus_lines = [f"- {c.name}: {len(c.fonts)} fonts, {c.input_bytes / 2**20:.1f} MiB "
                    f"({', '.join(p.name for p in c.fonts[:3])}{', ...' if len(c.fonts) > 3 else ''}); "
                    f"renamed: {c.rename_font.name}; runs: {runs[c.name]}"
                    for c in corpora]
    findings, summary = [], {}
    for corpus in corpora:
        for operation in corpus.operations:
            results, tools = table[corpus.name][operation]
            for tool in tools:
                for finding in results[tool.name].findings:
                    findings.append(f"- {corpus.name}, {OPERATIONS[operation]}, {tool.name}: {finding}")
                    what = finding.split(": ", 1)[-1] if operation != "rename" else finding
                    summary.setdefault((tool.name, OPERATIONS[operation]), {})[what] = None
    if len(findings) > 40:
        findings = findings[:40] + [f"- ... {len(findings) - 40} more"]
    size_tools, sizes = size_rows(corpora, table)
    head = [
        f"Measured {datetime.date.today().isoformat()} on {machine()}; "
        f"the whole comparison took {seconds:.0f} s, with a load average of {load[0]:.1f} "
        f"before and {os.getloadavg()[0]:.1f} after (other work sharing the cores).",
        "",
        *corpus_lines,
        f"- Python start-up with fontTools imported, the least any Python peer can take: "
        f"{ms(floor)} ms (median)",
        "",
        "Ratios (medians; peer columns: the peer's time over ours, so 30x means ours is 30 times "
        "faster; limit column: our time over the limit's, in brackets the middle half of that ratio "
        "taken run by run (the tools take turns within each run), the target being at most "
        f"{TARGETS['make']}x cat for make, {TARGETS['split']}x cp for split and "
        f"{TARGETS['rename']}x dd fsync for the name edit, {TARGETS['folder']}x cp for "
        f"kestrin-names renaming a folder's family into an empty folder and "
        f"{TARGETS['folder-sync']}x cp with each save's syncs renaming it in place (and, into "
        f"an empty folder, at least {PEER_TARGETS['folder']}x faster than fontTools); memory: our peak RSS vs the lowest "
        f"peer's, MiB, the target being at most {MEMORY_BUDGET_KIB // 1024} MiB plus the largest "
        "font's table directory):",
        "",
        markdown_table(["corpus", "operation", "ours ms", "peers", "vs limit", "peak RSS",
                        "targets"], ratio_rows(corpora, table)),
        "",
        "Collection sizes in MiB (what sharing saves against the fonts' own sizes):",
        "",
        markdown_table(["corpus", "input fonts", *size_tools], sizes),
        "",
    ]
    full = head + [
        "Every tool (wall times in ms over whole processes; CPU: median user + system ms, "
        "which other work on the machine disturbs less; peak RSS and output in MiB; "
        "'table bytes': fontTools reads the output and compares each table's bytes with the input's):",
        "",
        markdown_table(["corpus", "operation", "tool", "min", "median", "CPU", "peak RSS", "output",
                        "table bytes"], detail_rows(corpora, table)),
        "",
        "Outputs whose table bytes differ from their inputs:" if findings
        else "Every tool's output holds the input table bytes.",
        "",
        *findings,
    ]
    short = head + [
        "Outputs whose table bytes differ from their inputs:" if summary
        else "Every tool's output holds the input table bytes.",
        "",
        *(f"- {tool}, {operation}: {'; '.join(whats)}" for (tool, operation), whats in summary.items()),
        "",
        "Every tool's minimum, median, CPU time, peak memory and output: "
        "[bench/results/latest.md](bench/results/latest.md).",
    ]
    return "\n".join(full).rstrip() + "\n", "\n".join(short).rstrip() + "\n"


def update_readme(text, readme=REPO / "README.md"):
    """Replaces the text between the README's benchmark markers."""
    begin, end = "<!-- compare:begin -->", "<!-- compare:end -->"
    old = readme.read_text()
    if begin not in old or end not in old:
        print("README.md has no benchmark markers; not updated", file=sys.stderr)
        return
    head, rest = old.split(begin, 1)
    _, tail = rest.split(end, 1)
    readme.write_text(head + begin + "\n" + text + end + tail)


def built(build, program, folder):
    for path in (build / "bin" / program, build / folder / program):
        if path.is_file() and os.access(path, os.X_OK):
            return str(path)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=REPO / "build" / "bench")
    parser.add_argument("--work", type=Path, help="corpora and outputs (default: BUILD/compare)")
    parser.add_argument("--corpora", default="small,medium,large,mixed,five,noto")
    parser.add_argument("--runs", type=int, help="timed runs per tool for every corpus")
    parser.add_argument("--operations", default=",".join(OPERATIONS),
                        help=f"which of {', '.join(OPERATIONS)} to measure, where a corpus has them")
    parser.add_argument("--out", type=Path, default=REPO / "bench" / "results" / "latest.md")
    parser.add_argument("--zelvic", help="Zelvic to measure (default: the build's)")
    parser.add_argument("--driver", help="name-edit-driver to measure (default: the build's)")
    parser.add_argument("--names", help="kestrin-names to measure (default: the build's)")
    parser.add_argument("--readme", action="store_true", help="put the table into README.md")
    args = parser.parse_args()

    # Runs start in their own folders: every path handed to them is absolute.
    args.build = args.build.resolve()
    work = (args.work or args.build / "compare").resolve()
    zelvic = args.zelvic or built(args.build, "Zelvic", "collection-tool")
    driver = args.driver or built(args.build, "name-edit-driver", "bench")
    names_tool = args.names or built(args.build, "kestrin-names", "name-editor/cli")
    copy_sync = built(args.build, "copy-sync", "bench")
    copy_read = built(args.build, "copy-read", "bench")
    for name, path in (("Zelvic", zelvic), ("name-edit-driver", driver),
                       ("kestrin-names", names_tool)):
        if not path:
            print(f"note: {name} is not built; its rows stay empty", file=sys.stderr)

    started, load = time.monotonic(), os.getloadavg()
    names = [n for n in args.corpora.split(",") if n]
    print("preparing corpora ...", flush=True)
    corpora = prepare_corpora(work, names)
    wanted = set(args.operations.split(","))
    for corpus in corpora:
        corpus.operations = tuple(o for o in corpus.operations if o in wanted)
    # The large corpus costs the peers seconds a run; nine runs keep the whole
    # comparison within a few minutes on two cores.
    runs = {c.name: args.runs or {"large": 9, "noto": 5}.get(c.name, 21) for c in corpora}
    floor = python_floor(max(runs.values()), work)
    table = {}
    for corpus in corpora:
        table[corpus.name] = {}
        for operation in corpus.operations:
            print(f"{corpus.name}: {OPERATIONS[operation]} ", end="", flush=True)
            tools = tools_for(operation, zelvic, driver, names_tool, copy_sync, copy_read)
            results = measure(corpus, operation, tools, runs[corpus.name], work)
            table[corpus.name][operation] = (results, tools)
            print()
    text, short = report(corpora, table, runs, time.monotonic() - started, floor, load)
    print()
    print(text)
    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(text)
    print(f"written to {args.out}")
    if args.readme:
        update_readme(short)


if __name__ == "__main__":
    main()
