#!/usr/bin/env bash
# The application under a real X server and window manager (Xvfb and openbox) with a PDF whose
# one page draws a 200,000 x 200,000 image: its signing window comes up within seconds, Return
# signs it into a copy that pdfsig finds valid, and opened again, Ctrl+Q ends the application
# within the quit limit although its page workers may still be busy.
# Usage: desktop_heavy_page.sh path/to/tindra
set -uo pipefail

tindra=$1
name=desktop_heavy_page
tools="certutil qpdf pdfsig python3"
source "$(dirname "$0")/desktop_common.sh"

make_certificate

# One page that draws a grey image of 200,000 x 200,000 samples from a few bytes of Flate data.
mkdir -p "$HOME/Documentos"
python3 - "$root/rough.pdf" <<'EOF'
import sys, zlib
data = zlib.compress(b"\x80" * 4096)
content = b"q 495 0 0 742 50 50 cm /Im1 Do Q"
objects = [
    b"<< /Type /Catalog /Pages 2 0 R >>",
    b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
    b"/Resources << /XObject << /Im1 5 0 R >> >> >>",
    b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
    b"<< /Type /XObject /Subtype /Image /Width 200000 /Height 200000 /BitsPerComponent 8 "
    b"/ColorSpace /DeviceGray /Filter /FlateDecode /Length %d >>\nstream\n" % len(data)
    + data + b"\nendstream",
]
out = b"%PDF-1.4\n"
for i, body in enumerate(objects, 1):
    out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
out += b"trailer << /Root 1 0 R /Size 6 >>\n%%EOF\n"
open(sys.argv[1], "wb").write(out)
EOF
# qpdf writes the cross-reference table of the hand-written file (status 3: with warnings).
qpdf "$root/rough.pdf" "$HOME/Documentos/grande.pdf" >/dev/null 2>&1
[ -s "$HOME/Documentos/grande.pdf" ] || fail "qpdf could not write the test PDF"

# 1. The signing window comes up at once, and Return signs into a valid copy.
started=$(now_ms)
start "$HOME/Documentos/grande.pdf"
panel=$(window grande.pdf 300)
if [ -z "$panel" ]; then fail "no signing window for the PDF within 30 s"; else
  echo "desktop_heavy_page: signing window after $(($(now_ms) - started)) ms"
  focus "$panel"
  # Return signs once the card has its place (the button waits for the placement search).
  progress=""
  asked=$(now_ms)
  for _ in $(seq 60); do
    xdotool key --clearmodifiers Return
    progress=$(window 'Firma(ndo|do)' 5)
    [ -n "$progress" ] && break
  done
  if [ -z "$progress" ]; then fail "Return did not sign within 30 s"; else
    echo "desktop_heavy_page: signing began $(($(now_ms) - asked)) ms after the first Return"
    done_window=$(window Firmado 300)
    if [ -z "$done_window" ]; then fail "the signing did not end within 30 s"; else
      focus "$done_window"
      xdotool key --clearmodifiers Return
    fi
  fi
fi
ends "$app" 10000 || { fail "the application did not end after the signing"; kill -9 "$app"; }
signed=$HOME/Documentos/grande-firmado.pdf
if [ ! -s "$signed" ]; then fail "no signed copy"; else
  verdict=$(pdfsig "$signed" 2>&1)
  grep -q "Signature Validation: Signature is Valid" <<<"$verdict" ||
    fail "pdfsig does not find the signature valid: $verdict"
  qpdf --check "$signed" >/dev/null 2>&1 || [ $? -eq 3 ] || fail "qpdf finds the signed copy damaged"
fi

# 2. Opened again, Ctrl+Q ends it within the quit limit, whatever its workers are doing.
start "$HOME/Documentos/grande.pdf"
panel=$(window grande.pdf 300)
if [ -z "$panel" ]; then fail "no signing window the second time"; else
  # One second for the application, one for the key's way through the X server on a busy machine.
  ctrl_q_ends "$panel" 2000 "the signing window"
fi

finish
