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

The form reader is measured against the text extraction of the same file:
  forms  BUILD/tests/tools/pdfform FILE         against  pdftotext FILE /dev/null
on two more generated files:
  text-2400.pdf  2,400 pages of running text in Helvetica, no form widgets;
  flat-200.pdf   a flat form of 200 pages: on every page labelled boxes, a tick column and a fill
                 line drawn into the page, no widgets;
  printed-200.pdf  a printed flat form of 200 pages (grey bands under the labels, a logo of
                 curves, boxes with rounded corners), written by BUILD/tests/tools/flatformpdf;
  rounded-200.pdf  the same with every box rounded by 4 pt and more and rounded tick boxes
                 (flatformpdf 200 FILE redondeado);
  tables-200.pdf   ruled two-column tables, grey header rows and section bars, a row of 24
                 boxes, a ruled tick column, a crop box offset in its media box (… tablas).
pdfform is given a time limit long enough to read every page, and the pages it read are printed.
--only open,sign,forms picks the groups of cases (all by default).
A benchmark, not a test: it never fails on a number.
"""

import argparse
import hashlib
import json
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


def pdf_text(text):
    """A PDF literal string of a Latin-1 text."""
    raw = text.encode("latin-1")
    return b"(" + raw.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)") + b")"


def pages_pdf(path, contents):
    """A PDF of A4 pages, one per content stream (bytes), with Helvetica as /F1."""
    pages = len(contents)
    objects = {1: b"<< /Type /Catalog /Pages 2 0 R >>",
               3: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                  b"/Encoding /WinAnsiEncoding >>"}
    kids = b" ".join(b"%d 0 R" % (4 + 2 * i) for i in range(pages))
    objects[2] = b"<< /Type /Pages /Kids [" + kids + b"] /Count %d >>" % pages
    for i, content in enumerate(contents):
        page = 4 + 2 * i
        objects[page] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                         b"/Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>" % (page + 1))
        objects[page + 1] = (b"<< /Length %d >>\nstream\n" % len(content) + content +
                             b"\nendstream")
    with open(path, "wb") as f:
        f.write(classic_pdf(objects, 1))


WORDS = ("el la de que en los del se las por un para con una su al lo como más pero sus le ya "
         "o este sí porque esta entre cuando muy sin sobre también me hasta hay donde quien desde "
         "todo nos durante todos uno les ni contra otros ese eso ante ellos e esto mí antes "
         "algunos qué unos yo otro otras otra él tanto esa estos mucho quienes nada muchos cual "
         "solicitud expediente administración resolución procedimiento interesado documento "
         "plazo notificación registro").split()


def text_pdf(path, pages=2400):
    """Running text: 50 lines of about 95 characters a page."""
    rng = random.Random(11)
    contents = []
    for i in range(pages):
        lines = [b"BT /F1 10 Tf 12 TL 60 790 Td"]
        lines.append(pdf_text("Capítulo %d. Página %d" % (i // 20 + 1, i + 1)) + b" Tj T*")
        for _ in range(50):
            words, size = [], 0
            while size < 90:
                w = rng.choice(WORDS)
                words.append(w)
                size += len(w) + 1
            lines.append(pdf_text(" ".join(words)) + b" Tj T*")
        lines.append(b"ET")
        contents.append(b"\n".join(lines))
    pages_pdf(path, contents)


LABELS = ("Nombre", "Primer apellido", "Segundo apellido", "NIF/NIE", "Domicilio", "Municipio",
          "Provincia", "Código postal", "Teléfono", "Correo electrónico")


def flat_form_pdf(path, pages=200):
    """A flat form: per page a heading, ten labelled boxes, a tick column under «Sí» and «No»,
    a fill line and a paragraph, all drawn into the page."""
    rng = random.Random(13)
    contents = []
    for i in range(pages):
        text = [b"BT /F1 12 Tf 60 790 Td " + pdf_text("ANEXO %d. SOLICITUD" % (i + 1)) +
                b" Tj ET",
                b"BT /F1 11 Tf 60 765 Td " + pdf_text("1. Datos del solicitante") + b" Tj ET"]
        graphics = [b"0.8 w"]
        y = 730
        for label in LABELS:
            text.append(b"BT /F1 10 Tf 60 %d Td " % y + pdf_text(label) + b" Tj ET")
            graphics.append(b"200 %d 330 20 re S" % (y - 6))
            y -= 28
        text.append(b"BT /F1 10 Tf 400 %d Td " % y + pdf_text("Sí") + b" Tj ET")
        text.append(b"BT /F1 10 Tf 460 %d Td " % y + pdf_text("No") + b" Tj ET")
        for k in range(4):
            row = y - 22 - 20 * k
            text.append(b"BT /F1 10 Tf 60 %d Td " % (row + 2) +
                        pdf_text("Declaración %d del interesado" % (k + 1)) + b" Tj ET")
            graphics.append(b"400 %d 12 12 re S 460 %d 12 12 re S" % (row, row))
        y -= 120
        text.append(b"BT /F1 10 Tf 60 %d Td " % y +
                    pdf_text("Observaciones: " + "_" * 70) + b" Tj ET")
        y -= 30
        paragraph = [b"BT /F1 9 Tf 11 TL 60 %d Td" % y]
        for _ in range(12):
            paragraph.append(pdf_text(" ".join(rng.choice(WORDS) for _ in range(16))) + b" Tj T*")
        paragraph.append(b"ET")
        contents.append(b"\n".join(graphics + text + paragraph))
    pages_pdf(path, contents)


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


def compare_forms(form, work, runs):
    """The form reader on a long text document and on long flat forms, against pdftotext."""
    text, flat = os.path.join(work, "text-2400.pdf"), os.path.join(work, "flat-200.pdf")
    designs = [(os.path.join(work, name + "-200.pdf"), design)
               for name, design in (("printed", "impreso"), ("rounded", "redondeado"),
                                    ("tables", "tablas"))]
    if not os.path.exists(text):
        text_pdf(text)
    if not os.path.exists(flat):
        flat_form_pdf(flat)
    for path, design in designs:
        if not os.path.exists(path):
            subprocess.run([os.path.join(os.path.dirname(form), "flatformpdf"), "200", path,
                            design], check=True)
    files = [text, flat] + [path for path, _ in designs]
    print("files: %s; %d runs each, medians" %
          (", ".join("%s (%.1f MB)" % (p, os.path.getsize(p) / 1e6) for p in files), runs))
    print("%-32s %23s | %23s |" % ("case", "ours", "pdftotext"))
    for label, path, note in (("form reader, text 2,400 pages", text, "target <= 2x time"),
                              ("form reader, flat form 200 pp.", flat, "target <= 6x time"),
                              ("form reader, printed form 200", designs[0][0], "target <= 6x time"),
                              ("form reader, rounded form 200", designs[1][0], "target <= 6x time"),
                              ("form reader, tables form 200", designs[2][0], "target <= 6x time")):
        reader = [form, path, "--time-limit", "600"]
        out = subprocess.run(reader, capture_output=True, check=True).stdout
        reading = json.loads(out)
        print("%s: %d of %d pages read, %d fields" %
              (os.path.basename(path), reading["reading"]["pagesRead"],
               reading["reading"]["pageCount"], len(reading["fields"])))
        compare(label, reader, ["pdftotext", path, "/dev/null"], runs, note)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", help="the build folder (holds tests/tools)")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--work", help="scratch folder (default: a new temporary one)")
    parser.add_argument("--previous", help="another build folder whose pdfsign to compare with")
    parser.add_argument("--only", default="open,sign,forms",
                        help="groups of cases, comma-separated: open, sign, forms")
    args = parser.parse_args()
    groups = set(args.only.split(","))
    tools = os.path.join(os.path.abspath(args.build), "tests", "tools")
    inspect, sign = os.path.join(tools, "pdfinspect"), os.path.join(tools, "pdfsign")
    form, flatform = os.path.join(tools, "pdfform"), os.path.join(tools, "flatformpdf")
    needed = ([inspect] if "open" in groups else []) + ([sign] if "sign" in groups else []) + \
        ([form, flatform] if "forms" in groups else [])
    for tool in needed:
        if not os.access(tool, os.X_OK):
            sys.exit("missing %s: build the pdfinspect, pdfsign, pdfform and flatformpdf targets"
                     % tool)

    work = args.work or tempfile.mkdtemp(prefix="tindra-compare-")
    os.makedirs(work, exist_ok=True)
    if "forms" in groups:
        compare_forms(form, work, args.runs)
        if groups == {"forms"}:
            if not args.work:
                shutil.rmtree(work)
            return
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
    if "open" in groups:
        compare("open many-objects (vs qpdf)", [inspect, many], ["qpdf", "--show-npages", many],
                args.runs, "target <= 1.5x time, <= 2x memory")
        compare("open large (vs qpdf)", [inspect, large], ["qpdf", "--show-npages", large],
                args.runs, "target <= 1.0x time")
    if "sign" not in groups:
        if not args.work:
            shutil.rmtree(work)
        return
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
