#!/usr/bin/env python3
"""arxunzip over the zip archives that other projects ship in their own test suites.

usage: peers_conformance.py ARXUNZIP PEERS_DIR [--jobs N] [--timeout SECONDS] [--only NAME...]

PEERS_DIR holds MANIFEST.tsv and files/ (read-only; nothing is written there). For every
archive arxunzip runs as `arxunzip -o [-P PASSWORD] -d <jail>/out ARCHIVE` with no standard
input, in a sandbox of its own (a private copy of the test prefix named by WINEPREFIX, its own
working and temporary folders, the jail a few folders deep), and must:
  - neither crash (signal, abort, sanitizer report) nor hang (--timeout, 30 s by default);
  - write nothing outside <jail>/out: the rest of the sandbox must stay as it was, and the
    concrete places outside it that the archive's names aim at (../ chains, absolute paths,
    Unicode-path extras, names below a link entry) must not appear or change;
  - exit 0 only with every regular file that a reference extractor wrote present with the
    same bytes. The references are Info-ZIP unzip and Python's zipfile (entry by entry); a
    file counts as extracted by a reference only if its CRC-32 is one the archive declares,
    so a reference's own half-written or corrupt output never becomes the yardstick. Folder
    entries (by name or by attributes) and links are not compared. Where the references
    disagree, matching either is enough; two files that only one reference each wrote, with
    the same bytes in the same folder, are one entry whose name they read differently (a
    Unicode-path extra, control characters), and matching either is enough too. A reference
    file with a non-ASCII name may match a file of identical content at the same depth, in
    folders of the same names where those are plain ASCII: the engine reads unflagged names
    as code page 936 and may refuse or convert flagged UTF-8 ones, while the references read
    them as code page 437 or UTF-8.
Exit 0 when no archive crashed, hung, wrote outside or broke the rule above; 1 otherwise; 77
(skipped) without the fixtures folder or Info-ZIP unzip; 2 on a bad command line.
"""
import argparse
import concurrent.futures
import csv
import hashlib
import os
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                   "ERROR: UndefinedBehaviorSanitizer", "runtime error:")
# The jail sits this many folders below the sandbox's top, so that short ../ chains land
# inside the sandbox where the snapshot sees them; longer ones are resolved to the concrete
# places they name.
JAIL_PARTS = ("j1", "j2", "j3", "j4", "jail")
REF_TIMEOUT = 60


# ---------------------------------------------------------------------------------------
# Reference extraction with Python's zipfile (run in a child process so that a reference that
# loops or blows up is bounded by a timeout like everything else).

def python_target(dest, info):
    """Where ZipFile.extract puts an entry, computed the way zipfile does on this system."""
    arcname = info.filename.replace("/", os.path.sep)
    arcname = os.path.splitdrive(arcname)[1]
    parts = [p for p in arcname.split(os.path.sep) if p not in ("", os.path.curdir, os.path.pardir)]
    return os.path.normpath(os.path.join(dest, os.path.sep.join(parts)))


def python_reference(archive, dest, password):
    try:
        z = zipfile.ZipFile(archive)
    except Exception as e:  # noqa: BLE001 - any refusal just means no reference files
        print(f"zipfile cannot open: {e!r}", file=sys.stderr)
        return 2
    if password:
        z.setpassword(password.encode())
    failed = 0
    for info in z.infolist():
        mode = info.external_attr >> 16
        if (info.is_dir() or info.external_attr & 0x10 or
                (info.create_system == 3 and (stat.S_ISLNK(mode) or stat.S_ISDIR(mode)))):
            continue  # folders and links are not compared as files
        target = python_target(dest, info)
        try:
            z.extract(info, dest)
        except Exception as e:  # noqa: BLE001
            failed += 1
            print(f"entry {info.filename[:200]!r}: {e!r}"[:400], file=sys.stderr)
            # zipfile checks the CRC only at the end, after writing the data: whatever this
            # entry left behind is not a reference.
            if os.path.isfile(target) and not os.path.islink(target):
                os.unlink(target)
    return 1 if failed else 0


# ---------------------------------------------------------------------------------------
# What the archive itself declares, from a raw scan (works where zipfile cannot open it).

def scan_headers(data):
    """What the archive declares, from every local header, central header and data descriptor
    found: (crcs, empty_file_declared, names, folder_names). names include those of
    Unicode-path extras; folder_names are the central entries that are folders by their name or
    by their attributes (MS-DOS folder bit, Unix folder mode)."""
    crcs, names, folders = set(), set(), set()
    empties = []

    def extras(buf):
        i = 0
        while i + 4 <= len(buf):
            tag, size = struct.unpack_from("<HH", buf, i)
            body = buf[i + 4:i + 4 + size]
            if tag == 0x7075 and len(body) > 5:
                names.add(body[5:])
            i += 4 + size

    for sig, crc_at, usize_at, fixed in ((b"PK\x03\x04", 14, 22, 30), (b"PK\x01\x02", 16, 24, 46)):
        i = data.find(sig)
        while i != -1:
            if i + fixed <= len(data):
                crc = struct.unpack_from("<I", data, i + crc_at)[0]
                usize = struct.unpack_from("<I", data, i + usize_at)[0]
                if sig == b"PK\x03\x04":
                    nlen, xlen = struct.unpack_from("<HH", data, i + 26)
                else:
                    nlen, xlen = struct.unpack_from("<HH", data, i + 28)
                name = data[i + fixed:i + fixed + nlen]
                crcs.add(crc)
                names.add(name)
                extras(data[i + fixed + nlen:i + fixed + nlen + xlen])
                if sig == b"PK\x01\x02":
                    host = data[i + 5]
                    attrs = struct.unpack_from("<I", data, i + 38)[0]
                    if attrs & 0x10 or (host == 3 and stat.S_ISDIR(attrs >> 16)):
                        folders.add(name)
                if name.endswith((b"/", b"\\")):
                    folders.add(name)
                elif crc == 0 and usize in (0, 0xFFFFFFFF) and name and (
                        sig == b"PK\x01\x02" or not data[i + 6] & 8):
                    # An empty file (its size may be in a zip64 extra). A local header whose
                    # sizes follow in a data descriptor says nothing yet.
                    empties.append(name)
            i = data.find(sig, i + 1)
    i = data.find(b"PK\x07\x08")
    while i != -1:
        if i + 8 <= len(data):
            crcs.add(struct.unpack_from("<I", data, i + 4)[0])
        i = data.find(b"PK\x07\x08", i + 1)
    empty_file = any(n not in folders for n in empties)
    return crcs, empty_file, names, folders


def name_variants(raw):
    """The spellings an entry name may take on disk (GBK, UTF-8, code page 437 readings)."""
    out = set()
    for enc in ("ascii", "gbk", "utf-8", "cp437"):
        try:
            out.add(raw.decode(enc))
        except UnicodeDecodeError:
            pass
    return out


def escape_targets(names, out_dir, sandbox):
    """Concrete places outside the sandbox that an entry name aims at."""
    targets = set()
    for raw in names:
        for name in name_variants(raw):
            n = name.replace("\\", "/")
            if n.startswith("//"):
                continue  # a network path: nothing local to look at
            cands = []
            if len(n) >= 2 and n[1] == ":" and n[0].isalpha():
                if n[0] in "zZ":
                    cands.append("/" + n[2:].lstrip("/"))
                # Other drives map into the private prefix, which the snapshot covers.
            elif n.startswith("/"):
                cands.append(n)  # the root of the current drive, Z: = /
            elif ".." in n.split("/"):
                cands.append(os.path.join(out_dir, n))
            for c in cands:
                for form in (c, "/".join(p.rstrip(". ") or p for p in c.split("/"))):
                    t = os.path.normpath(form)
                    if t != sandbox and not t.startswith(sandbox + os.sep) and t != "/":
                        targets.add(t)
    return sorted(targets)


def link_targets(archive, out_dir, sandbox):
    """Places outside the sandbox that entries stored below a symbolic-link entry would reach
    through the link, had the link been made (link-dir -> /tmp, then link-dir/file)."""
    try:
        z = zipfile.ZipFile(archive)
        infos = z.infolist()
        links = {}
        for info in infos:
            if info.create_system == 3 and stat.S_ISLNK(info.external_attr >> 16) \
                    and info.file_size < 4096:
                links[info.filename.rstrip("/")] = z.read(info).decode("utf-8", "replace")
    except Exception:  # noqa: BLE001 - unreadable archives have no links to follow
        return []
    targets = set()
    for info in infos:
        for link, dest in links.items():
            if info.filename.startswith(link + "/"):
                rest = info.filename[len(link) + 1:]
                base = dest if dest.startswith("/") else \
                    os.path.join(out_dir, os.path.dirname(link), dest)
                t = os.path.normpath(os.path.join(base, rest))
                if not t.startswith(sandbox + os.sep):
                    targets.add(t)
    return sorted(targets)


def resolve_ci(path):
    """The existing path that `path` names when compared without regard to case (the way a
    Windows machine finds it), or None."""
    cur = "/"
    for part in [p for p in path.split("/") if p]:
        nxt = os.path.join(cur, part)
        if not os.path.lexists(nxt):
            try:
                match = sorted(e for e in os.listdir(cur) if e.lower() == part.lower())
            except OSError:
                return None
            if not match:
                return None
            nxt = os.path.join(cur, match[0])
        cur = nxt
    return cur


def target_state(path):
    found = resolve_ci(path)
    if found is None:
        return None
    st = os.lstat(found)
    return (found, st.st_ino, st.st_size, st.st_mtime_ns)


# ---------------------------------------------------------------------------------------
# Files on disk.

def regular_files(root):
    """relative path (bytes) -> (size, sha256) of every regular file below root."""
    out = {}
    broot = os.fsencode(root)
    for dirpath, _dirs, files in os.walk(broot):
        for f in files:
            p = os.path.join(dirpath, f)
            st = os.lstat(p)
            if not stat.S_ISREG(st.st_mode):
                continue
            with open(p, "rb") as fh:
                data = fh.read()
            out[os.path.relpath(p, broot)] = (len(data), hashlib.sha256(data).digest(),
                                              zlib.crc32(data))
    return out


def vouched(files, crcs, empty_declared, folder_paths):
    """Keep the reference files whose content the archive vouches for by its CRC-32, and
    that are not folder entries which a reference wrote as empty files (an entry whose
    folder attribute is set but whose name has no trailing slash)."""
    kept, dropped = {}, 0
    for rel, (size, digest, crc) in files.items():
        if size == 0 and sanitized(rel) in folder_paths:
            continue
        if (size == 0 and empty_declared) or (size > 0 and crc in crcs):
            kept[rel] = (size, digest)
        else:
            dropped += 1
    return kept, dropped


def snapshot(root, skip):
    """Everything below root except the subtree skip: relative path -> (kind, size, mtime),
    only the kind for folders."""
    out = {}
    for dirpath, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if os.path.join(dirpath, d) != skip]
        for name in dirs + files:
            p = os.path.join(dirpath, name)
            st = os.lstat(p)
            if stat.S_ISDIR(st.st_mode):
                # A folder's times change with what is made inside it; what is made there
                # shows as a path of its own.
                out[os.path.relpath(p, root)] = (stat.S_IFDIR,)
            else:
                out[os.path.relpath(p, root)] = (stat.S_IFMT(st.st_mode), st.st_size,
                                                 st.st_mtime_ns)
    return out


def make_prefix(template, dest):
    """A private copy of the test prefix: its drive links, its hives and its folders (no
    files), so that what the program leaves in drive C: or in its Temp folder shows."""
    os.makedirs(dest)
    for entry in os.listdir(template):
        src = os.path.join(template, entry)
        if os.path.isfile(src) and not os.path.islink(src):
            shutil.copy2(src, os.path.join(dest, entry))
    dd = os.path.join(template, "dosdevices")
    os.makedirs(os.path.join(dest, "dosdevices"))
    for link in os.listdir(dd):
        if os.path.islink(os.path.join(dd, link)):
            os.symlink(os.readlink(os.path.join(dd, link)), os.path.join(dest, "dosdevices", link))
    drive_c = os.path.join(template, "drive_c")
    for dirpath, dirs, _files in os.walk(drive_c):
        rel = os.path.relpath(dirpath, drive_c)
        os.makedirs(os.path.normpath(os.path.join(dest, "drive_c", rel)), exist_ok=True)
        if rel.count(os.sep) >= 3:
            dirs[:] = []


def run_bounded(argv, timeout, **kw):
    """Runs argv in a session of its own (no controlling terminal, so nothing can ask for a
    password there) with no standard input. Returns (status, stdout, stderr, timed_out)."""
    p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, start_new_session=True, **kw)
    try:
        out, err = p.communicate(timeout=timeout)
        return p.returncode, out, err, False
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, err = p.communicate()
        return p.returncode, out, err, True


# ---------------------------------------------------------------------------------------
# Comparison.

def is_ascii(b):
    return all(c < 0x80 for c in b)


def sanitized(rel):
    """The path a sanitising extractor writes for a stored name: '\\' as separator, no drive,
    no '.', '..' or empty parts."""
    n = rel.replace(b"\\", b"/")
    if len(n) >= 2 and n[1:2] == b":":
        n = n[2:]
    return b"/".join(p for p in n.split(b"/") if p not in (b"", b".", b".."))


def same_folder(ref_parts, cand_parts):
    """Whether a file of ours sits where a reference file with a non-ASCII name does: the
    same depth, and the same name in every part that is plain ASCII in the reference."""
    return len(ref_parts) == len(cand_parts) and all(
        r == c for r, c in zip(ref_parts[:-1], cand_parts[:-1]) if is_ascii(r))


def same_place(a, b):
    """Whether two reference names put a file in the same folder: the same depth, and the
    same folder names wherever both are plain ASCII."""
    pa, pb = sanitized(a).split(b"/"), sanitized(b).split(b"/")
    return len(pa) == len(pb) and all(
        x == y for x, y in zip(pa[:-1], pb[:-1]) if is_ascii(x) and is_ascii(y))


def compare(refs, ours):
    """Returns (problems, matched_by_other_name). refs: list of {rel: (size, digest)}."""

    def find(rel):
        for cand in (rel, sanitized(rel)):
            if cand in ours:
                return cand
        return None

    by_digest = {}
    for rel, (_size, digest, _crc) in ours.items():
        by_digest.setdefault(digest, []).append(rel)
    # A file of ours that a reference names exactly is not free to stand, in that same
    # reference, for another of its files under a different name. (The other reference may
    # have read the entry's name differently, so it may take it.)
    claimed = [{f for f in map(find, r) if f is not None} for r in refs]

    # Part lists a name may have: with '\' as a separator, and without, since in a name of
    # code page 932 or 936 the byte 0x5C can be the second half of a character.
    def part_lists(rel):
        slash_only = rel[2:] if len(rel) >= 2 and rel[1:2] == b":" else rel
        return {tuple(sanitized(rel).split(b"/")),
                tuple(p for p in slash_only.split(b"/") if p not in (b"", b".", b".."))}

    def verdict(rel):
        """'exact', 'other-name' or None for one reference file (in any reference)."""
        holders = [i for i, r in enumerate(refs) if rel in r]
        found = find(rel)
        if found is not None and any(ours[found][1] == refs[i][rel][1] for i in holders):
            return "exact"
        if not is_ascii(rel) and any(
                same_folder(parts, c.split(b"/"))
                for i in holders for c in by_digest.get(refs[i][rel][1], [])
                if c not in claimed[i] for parts in part_lists(rel)):
            return "other-name"
        return None

    # The references can read one entry's name differently (one honours a Unicode-path extra
    # or drops control characters, the other does not): a file that only one reference has
    # and a file of the same bytes in the same folder that only the other has are one entry,
    # and arxunzip matching either of them is enough.
    partners = {}
    if len(refs) == 2:
        only = [{rel: v for rel, v in refs[i].items() if rel not in refs[1 - i]} for i in (0, 1)]
        for a, (_sa, da) in only[0].items():
            for b, (_sb, db) in only[1].items():
                if da == db and same_place(a, b):
                    partners.setdefault(a, set()).add(b)
                    partners.setdefault(b, set()).add(a)

    verdicts = {rel: verdict(rel) for rel in set().union(*refs)}
    problems, other_name = [], 0
    for rel in sorted(verdicts):
        v = verdicts[rel]
        if v == "other-name":
            other_name += 1
        if v is not None or any(verdicts[p] is not None for p in partners.get(rel, ())):
            continue
        holders = [i for i, r in enumerate(refs) if rel in r]
        size = max(refs[i][rel][0] for i in holders)
        found = find(rel)
        if found is not None:
            what = "empty" if ours[found][0] == 0 and size > 0 else "different"
            problems.append(f"{what}: {os.fsdecode(rel)}")
            continue
        elsewhere = sorted(c for i in holders for c in by_digest.get(refs[i][rel][1], []))
        hint = f" (these bytes are at {os.fsdecode(elsewhere[0])})" if elsewhere and size else ""
        problems.append(f"missing: {os.fsdecode(rel)}{hint}")
    return problems, other_name


# ---------------------------------------------------------------------------------------

def check_archive(cfg, row):
    name = row["file"]
    archive = os.path.join(cfg.files, name)
    password = row.get("password", "") or ""
    res = {"name": name, "expects": row.get("peer_expects", "") or "?", "status": None,
           "crash": [], "hang": [], "outside": [], "violation": [], "notes": [],
           "other_name": 0, "dropped": 0, "ref_files": 0}
    with open(archive, "rb") as fh:
        data = fh.read()
    crcs, empty_declared, names, folders = scan_headers(data)
    folder_paths = {sanitized(os.fsencode(v)) for f in folders for v in name_variants(f)}

    refroot = tempfile.mkdtemp(prefix="peers-ref-")
    sandbox = tempfile.mkdtemp(prefix="peers-run-")
    try:
        # References.
        refs = []
        uz = os.path.join(refroot, "unzip")
        argv = ["unzip", "-o", "-qq"] + (["-P", password] if password else []) + [archive, "-d", uz]
        env = dict(os.environ, LC_ALL="C.UTF-8")
        _st, _o, _e, to = run_bounded(argv, REF_TIMEOUT, env=env)
        if to:
            res["notes"].append("unzip timed out (not used)")
        elif os.path.isdir(uz):
            refs.append(regular_files(uz))
        py = os.path.join(refroot, "zipfile")
        os.makedirs(py)
        argv = [sys.executable, os.path.abspath(__file__), "--python-ref", archive, py, password]
        _st, _o, _e, to = run_bounded(argv, REF_TIMEOUT)
        if to:
            res["notes"].append("zipfile timed out (not used)")
        else:
            refs.append(regular_files(py))
        kept = []
        for r in refs:
            k, dropped = vouched(r, crcs, empty_declared, folder_paths)
            res["dropped"] += dropped
            kept.append(k)
        refs = kept
        res["ref_files"] = len(set().union(*refs)) if refs else 0

        # The run under test.
        prefix = os.path.join(sandbox, "prefix")
        make_prefix(cfg.prefix, prefix)
        cwd = os.path.join(sandbox, "cwd")
        tmp = os.path.join(sandbox, "tmp")
        jail = os.path.join(sandbox, *JAIL_PARTS)
        out = os.path.join(jail, "out")
        for d in (cwd, tmp, jail):
            os.makedirs(d)
        targets = sorted(set(escape_targets(names, out, sandbox)) |
                         set(link_targets(archive, out, sandbox)))
        before_targets = {t: target_state(t) for t in targets}
        before = snapshot(sandbox, out)
        argv = [cfg.arxunzip, "-o"] + (["-P", password] if password else []) + ["-d", out, archive]
        env = dict(os.environ, WINEPREFIX=prefix, TMPDIR=tmp)
        status, _stdout, stderr, timed_out = run_bounded(argv, cfg.timeout, cwd=cwd, env=env)
        res["status"] = status
        err = stderr.decode("utf-8", "replace")
        if timed_out:
            res["status"] = "timeout"
            res["hang"].append(f"no exit within {cfg.timeout:g} s")
        elif status < 0:
            res["crash"].append(f"killed by signal {-status} ({signal.Signals(-status).name})")
        for mark in SANITIZER_MARKS:
            if mark in err:
                line = next(ln for ln in err.splitlines() if mark in ln)
                res["crash"].append(f"sanitizer: {line.strip()[:160]}")
                break

        after = snapshot(sandbox, out)
        changed = sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))
        for k in changed:
            res["outside"].append(f"{'new' if k not in before else 'changed'}: <sandbox>/{k}")
        for t in targets:
            now = target_state(t)
            if now != before_targets[t]:
                res["outside"].append(f"{'new' if before_targets[t] is None else 'changed'}: "
                                      f"{now[0] if now else t}")
            elif now is not None:
                res["notes"].append(f"{now[0]} existed before the run (unchanged)")

        if not timed_out and status not in (0, 1, 9, 11) and not res["crash"]:
            res["violation"].append(f"unexpected exit status {status}")
        if status == 0 and not timed_out:
            ours = regular_files(out) if os.path.isdir(out) else {}
            problems, res["other_name"] = compare(refs, ours) if refs else ([], 0)
            if problems:
                shown = "; ".join(problems[:4])
                more = f" (+{len(problems) - 4} more)" if len(problems) > 4 else ""
                res["violation"].append(f"exit 0 but {shown}{more}")
    finally:
        for d in (refroot, sandbox):
            shutil.rmtree(d, ignore_errors=True)
    return res


def outcome(res):
    if res["crash"]:
        return "CRASH"
    if res["hang"]:
        return "HANG"
    if res["outside"]:
        return "WRITE-OUTSIDE"
    if res["violation"]:
        return "VIOLATION"
    if res["status"] == 0:
        return "ok-match"
    if res["status"] == 9:
        return "refused"
    return "failed-honestly"


def read_manifest(path):
    with open(path, newline="", encoding="utf-8") as fh:
        return list(csv.DictReader(fh, delimiter="\t", quoting=csv.QUOTE_NONE))


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "--python-ref":
        return python_reference(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else "")
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("arxunzip")
    ap.add_argument("peers")
    ap.add_argument("--jobs", type=int, default=min(4, os.cpu_count() or 1))
    ap.add_argument("--timeout", type=float, default=30.0)
    ap.add_argument("--only", nargs="*", default=None, help="archive names to check")
    cfg = ap.parse_args()

    manifest = os.path.join(cfg.peers, "MANIFEST.tsv")
    cfg.files = os.path.join(cfg.peers, "files")
    if not os.path.isfile(manifest) or not os.path.isdir(cfg.files):
        print(f"SKIPPED: no peer archives at {cfg.peers}")
        return 77
    if shutil.which("unzip") is None:
        print("SKIPPED: Info-ZIP unzip is not installed (scripts/setup-debian.sh installs it)")
        return 77
    cfg.prefix = os.environ.get("WINEPREFIX", "")
    if not cfg.prefix or not os.path.isdir(os.path.join(cfg.prefix, "dosdevices")):
        print("peers_conformance: WINEPREFIX must name a test prefix (scripts/make-test-prefix.sh)")
        return 2
    cfg.arxunzip = os.path.abspath(cfg.arxunzip)

    rows = sorted(read_manifest(manifest), key=lambda r: r["file"])
    if cfg.only:
        rows = [r for r in rows if r["file"] in cfg.only]
    missing = [r["file"] for r in rows if not os.path.isfile(os.path.join(cfg.files, r["file"]))]
    if missing:
        print(f"peers_conformance: listed in the manifest but absent: {', '.join(missing)}")
        return 1

    counts, bad = {}, []
    other_name = dropped = unverified = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, cfg.jobs)) as pool:
        futures = [pool.submit(check_archive, cfg, r) for r in rows]
        for fut in futures:
            res = fut.result()
            oc = outcome(res)
            counts[oc] = counts.get(oc, 0) + 1
            other_name += res["other_name"]
            dropped += res["dropped"]
            if oc == "ok-match" and res["ref_files"] == 0:
                unverified += 1
            reasons = res["crash"] + res["hang"] + res["outside"] + res["violation"]
            line = f"{res['name']}  expects={res['expects']}  exit={res['status']}  {oc}"
            if reasons:
                line += "  -- " + " | ".join(reasons)
                bad.append(line)
            if res["other_name"]:
                res["notes"].append(f"{res['other_name']} matched under another name")
            if res["dropped"]:
                res["notes"].append(f"{res['dropped']} reference file(s) not vouched by a CRC-32")
            if oc == "ok-match" and res["ref_files"] == 0:
                res["notes"].append("no reference file to compare")
            if res["notes"]:
                line += "  [" + "; ".join(res["notes"]) + "]"
            print(line, flush=True)

    print()
    print(f"summary over {len(rows)} archives: " +
          ", ".join(f"{k} {counts[k]}" for k in
                    ("ok-match", "failed-honestly", "refused", "VIOLATION", "WRITE-OUTSIDE",
                     "HANG", "CRASH") if k in counts))
    print(f"  reference files matched under another (non-ASCII) name: {other_name}")
    print(f"  reference files not used because the archive's CRC-32s do not vouch for them: "
          f"{dropped}")
    print(f"  ok-match archives where neither reference extracted a file: {unverified}")
    if bad:
        print(f"{len(bad)} archive(s) failed the checks:")
        for line in bad:
            print("  " + line)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
