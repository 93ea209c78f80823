#!/usr/bin/env bash
# The application under a real X server and window manager (Xvfb and openbox), laid out as it is
# installed, with a page program beside it that never asks to end with its parent and ignores
# SIGTERM (tests/tools/pagestandin as tindra-pages, as a page process taken over by a file would
# behave): with a document open, Ctrl+Q ends the application within the quit limit, and no page
# process it started is left behind it, reparented and alive.
# Usage: desktop_quit_page_processes.sh path/to/tindra path/to/pagestandin
set -uo pipefail

built=$1
standin=$2
name=desktop_quit_page_processes
tools="certutil python3 pgrep"
source "$(dirname "$0")/desktop_common.sh"

make_certificate

# An installed copy: the executable with its page program beside it.
mkdir -p "$root/lib/tindra"
cp "$built" "$root/lib/tindra/tindra"
cp "$standin" "$root/lib/tindra/tindra-pages"
tindra=$root/lib/tindra/tindra

mkdir -p "$HOME/Documentos"
python3 - "$HOME/Documentos/carta.pdf" <<'PY'
import sys
content = b"BT /F1 14 Tf 72 760 Td (Carta) Tj 0 -40 Td (Fdo.: El interesado) Tj ET"
objects = [
    b"<< /Type /Catalog /Pages 2 0 R >>",
    b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
    b"/Resources << /Font << /F1 5 0 R >> >> >>",
    b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
    b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
]
out = b"%PDF-1.4\n"
offsets = []
for i, body in enumerate(objects, 1):
    offsets.append(len(out))
    out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
xref = len(out)
out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
for o in offsets:
    out += b"%010d 00000 n \n" % o
out += b"trailer << /Root 1 0 R /Size %d >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
open(sys.argv[1], "wb").write(out)
PY

start "$HOME/Documentos/carta.pdf"
panel=$(window 'carta.pdf' 300)
if [ -z "$panel" ]; then fail "no signing window for the document within 30 s"; else
  # The page processes the application started, reading the document or waiting for the next, and
  # the zygote that made them.
  children=""
  for _ in $(seq 50); do
    children=$(pgrep -f "^$root/lib/tindra/tindra-pages (--zygote )?$app\$" | tr '\n' ' ')
    [ -n "$children" ] && break
    sleep 0.1
  done
  if [ -z "$children" ]; then fail "the application started no page process"; else
    echo "$name: page processes $children"
    # One second for the application, one for the key's way through the X server.
    ctrl_q_ends "$panel" 2000 "the signing window"
    sleep 0.3
    for pid in $children; do
      if [ -e "/proc/$pid/stat" ] && ! awk '{exit !($3 == "Z")}' "/proc/$pid/stat" 2>/dev/null; then
        fail "page process $pid outlived the application (parent now $(awk '{print $4}' "/proc/$pid/stat"))"
        kill -9 "$pid" 2>/dev/null
      fi
    done
  fi
fi

finish
