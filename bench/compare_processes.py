#!/usr/bin/env python3
"""Whole-process comparison of the PDF drivers with qpdf and with the physical floor.

    bench/compare_processes.py BUILD_DIR [--runs 10] [--work DIR] [--previous BUILD_DIR]

Generates, in a scratch folder:
  many-objects.pdf  1,000 pages and about 90,000 small objects, nearly all in object streams
                    (the shape of a large typeset manual);
  large.pdf         about 10 MB and 2,000 pages, a classic table, uncompressed content;
and an NSS database with a throw-away RSA-2048 identity. Then, run after run, each pair of
programs one right after the other (so both see the same machine load), it measures wall time
and peak resident memory of the whole process:
  open   BUILD/tests/tools/pdfinspect FILE     against  qpdf --show-npages FILE
  sign   BUILD/tests/tools/pdfsign (invisible) against  the floor: sha256sum FILE; cp FILE OUT
and prints the medians side by side with their ratios and the targets. With --previous, the
pdfsign of another build (an earlier version) is measured against this one in the same way.
A benchmark, not a test: it never fails on a number.
"""

import argparse
import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def classic_pdf(objects, root):
    """A PDF with a classic cross-reference table; objects: {number: body bytes}."""
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for number in sorted(objects):
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + objects[number] + b"\nendobj\n"
    size = max(objects) + 1
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for number in range(1, size):
        if number in offsets:
            out += b"%010d 00000 n \n" % offsets[number]
        else:
            out += b"0000000000 65535 f \n"
    out += b"trailer\n<< /Root %d 0 R /Size %d >>\nstartxref\n%d\n%%%%EOF\n" % (root, size, xref)
    return bytes(out)


def many_objects_pdf(path):
    pages, per_page = 1000, 89
    objects = {1: b"<< /Type /Catalog /Pages 2 0 R >>"}
    kids = b" ".join(b"%d 0 R" % (3 + i) for i in range(pages))
    objects[2] = b"<< /Type /Pages /Kids [" + kids + b"] /Count %d >>" % pages
    following = 3 + pages
    for i in range(pages):
        extra = b" ".join(b"%d 0 R" % (following + k) for k in range(per_page))
        objects[3 + i] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Extra [" +
                          extra + b"] >>")
        for k in range(per_page):
            objects[following + k] = (b"<< /Kind /Nota /Number %d /Box [0 0 10 10] "
                                      b"/Text (objeto peque\xf1o) >>" % k)
        following += per_page
    plain = path + ".plain"
    with open(plain, "wb") as f:
        f.write(classic_pdf(objects, 1))
    subprocess.run(["qpdf", "--object-streams=generate", plain, path], check=True)
    os.unlink(plain)


def large_pdf(path, pages=2000, megabytes=10):
    rng = random.Random(7)
    per_page = megabytes * 1_000_000 // pages
    objects = {1: b"<< /Type /Catalog /Pages 2 0 R >>"}
    kids = b" ".join(b"%d 0 R" % (3 + 2 * i) for i in range(pages))
    objects[2] = b"<< /Type /Pages /Kids [" + kids + b"] /Count %d >>" % pages
    for i in range(pages):
        page = 3 + 2 * i
        objects[page] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                         b"/Contents %d 0 R >>" % (page + 1))
        lines = []
        size = 0
        while size < per_page:
            line = b"%d %d m %d %d l S\n" % (rng.randrange(595), rng.randrange(842),
                                             rng.randrange(595), rng.randrange(842))
            lines.append(line)
            size += len(line)
        content = b"".join(lines)
        objects[page + 1] = (b"<< /Length %d >>\nstream\n" % len(content) + content +
                             b"\nendstream")
    with open(path, "wb") as f:
        f.write(classic_pdf(objects, 1))


def make_identity(folder):
    """An NSS database in folder/nssdb with one RSA-2048 identity; returns its SHA-1."""
    key, cert, p12 = (os.path.join(folder, n) for n in ("key.pem", "cert.pem", "id.p12"))
    db = os.path.join(folder, "nssdb")
    if os.path.exists(cert) and os.path.isdir(db):
        der = subprocess.run(["openssl", "x509", "-in", cert, "-outform", "DER"],
                             capture_output=True, check=True).stdout
        return db, hashlib.sha1(der).hexdigest().upper()
    shutil.rmtree(db, ignore_errors=True)
    os.makedirs(db)
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL,
             "stderr": subprocess.DEVNULL, "check": True}
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
                    "-subj", "/CN=PRUEBA BANCO", "-keyout", key, "-out", cert], **quiet)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
                    "-passout", "pass:p12", "-name", "banco"], **quiet)
    subprocess.run(["certutil", "-N", "-d", "sql:" + db, "--empty-password"], **quiet)
    subprocess.run(["pk12util", "-i", p12, "-d", "sql:" + db, "-W", "p12"], **quiet)
    der = subprocess.run(["openssl", "x509", "-in", cert, "-outform", "DER"],
                         capture_output=True, check=True).stdout
    return db, hashlib.sha1(der).hexdigest().upper()


def measure(argv):
    """Wall seconds and peak RSS (MB) of one run of argv (a shell line when a string).

    The peak comes from GNU time: a child forked straight from this (large) Python process would
    report the parent's resident size as its own peak, since Linux carries it across exec."""
    if isinstance(argv, str):
        argv = ["/bin/sh", "-c", argv]
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.perf_counter()
        process = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        if process.returncode != 0:
            sys.exit("failed: %s\n%s" % (argv, process.stderr.decode(errors="replace")))
        peak_kb = float(report.read().split()[-1])
    return elapsed, peak_kb / 1024.0


def compare(label, ours, theirs, runs, note):
    """Runs the pair alternately; prints medians, ratios and the target."""
    measure(ours), measure(theirs)  # warm the page cache and the loader
    a, b = [], []
    for _ in range(runs):
        a.append(measure(ours))
        b.append(measure(theirs))
    ta, ma = statistics.median(x[0] for x in a), statistics.median(x[1] for x in a)
    tb, mb = statistics.median(x[0] for x in b), statistics.median(x[1] for x in b)
    print("%-32s %8.1f ms %7.1f MB | %8.1f ms %7.1f MB | %5.2fx time %5.2fx mem | %s" %
          (label, ta * 1e3, ma, tb * 1e3, mb, ta / tb, ma / mb, note))
    return ta / tb, ma, mb


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", help="the build folder (holds tests/tools)")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--work", help="scratch folder (default: a new temporary one)")
    parser.add_argument("--previous", help="another build folder whose pdfsign to compare with")
    args = parser.parse_args()
    tools = os.path.join(os.path.abspath(args.build), "tests", "tools")
    inspect, sign = os.path.join(tools, "pdfinspect"), os.path.join(tools, "pdfsign")
    for tool in (inspect, sign):
        if not os.access(tool, os.X_OK):
            sys.exit("missing %s: build the pdfinspect and pdfsign targets" % tool)

    work = args.work or tempfile.mkdtemp(prefix="tindra-compare-")
    os.makedirs(work, exist_ok=True)
    many, large = os.path.join(work, "many-objects.pdf"), os.path.join(work, "large.pdf")
    if not os.path.exists(many):
        many_objects_pdf(many)
    if not os.path.exists(large):
        large_pdf(large)
    db, sha1 = make_identity(work)
    signed, copy = os.path.join(work, "signed.pdf"), os.path.join(work, "copy.pdf")

    print("files: %s (%.1f MB), %s (%.1f MB); %d runs each, medians" %
          (many, os.path.getsize(many) / 1e6, large, os.path.getsize(large) / 1e6, args.runs))
    print("%-32s %23s | %23s |" % ("case", "ours", "reference"))
    compare("open many-objects (vs qpdf)", [inspect, many], ["qpdf", "--show-npages", many],
            args.runs, "target <= 1.5x time, <= 2x memory")
    compare("open large (vs qpdf)", [inspect, large], ["qpdf", "--show-npages", large],
            args.runs, "target <= 1.0x time")
    floor = "sha256sum '%s' >/dev/null && cp '%s' '%s'" % (large, large, copy)
    _, peak, _ = compare("sign large (vs sha256+copy)",
                         [sign, "--nssdb", db, "--cert", sha1, large, signed], floor,
                         args.runs, "target <= 2.0x time")
    if args.previous:
        previous = os.path.join(os.path.abspath(args.previous), "tests", "tools", "pdfsign")
        compare("sign large (vs previous build)",
                [sign, "--nssdb", db, "--cert", sha1, large, signed],
                [previous, "--nssdb", db, "--cert", sha1, large, copy], args.runs, previous)
    size = os.path.getsize(large) / (1024.0 * 1024.0)
    print("pdfsign peak %.1f MB against file + 16 MB = %.1f MB" % (peak, size + 16))
    # An invisible signature on the last page: the page tree is walked through the whole file.
    last = [sign, "--nssdb", db, "--cert", sha1, "--page", "2000", "--rect", "0,0,0,0", large,
            signed]
    if args.previous:
        compare("sign large, last page (vs prev.)", last,
                [previous] + last[1:-1] + [copy], args.runs, previous)
    else:
        runs = [measure(last) for _ in range(5)]
        print("pdfsign on the last page: %.1f ms, peak %.1f MB" %
              (statistics.median(x[0] for x in runs) * 1e3, statistics.median(x[1] for x in runs)))
    # What pdfsign costs whatever the file: the libraries it loads and the NSS database.
    tiny = os.path.join(work, "one-page.pdf")
    with open(tiny, "wb") as f:
        f.write(classic_pdf({1: b"<< /Type /Catalog /Pages 2 0 R >>",
                             2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                             3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>"}, 1))
    tiny_signed = os.path.join(work, "one-page-signed.pdf")
    fixed = [measure([sign, "--nssdb", db, "--cert", sha1, tiny, tiny_signed]) for _ in range(5)]
    print("pdfsign on a one-page file: %.1f ms, peak %.1f MB (its fixed cost)" %
          (statistics.median(x[0] for x in fixed) * 1e3, statistics.median(x[1] for x in fixed)))
    ok = subprocess.run(["qpdf", "--check", signed], capture_output=True).returncode in (0, 3)
    print("signed output passes qpdf --check: %s" % ("yes" if ok else "NO"))
    if not args.work:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
