#!/usr/bin/env bash
# The application under a real X server and window manager (Xvfb and openbox) signing a batch of
# four files started from the command line, two of them with a first page that would hold a
# renderer for minutes (forms nested nine deep; a million glyphs drawn over one another): every
# copy is signed and valid within 30 s. Started again, Ctrl+Q pressed while the progress window
# has the focus ends the application within the quit limit.
# Usage: desktop_hostile_batch.sh path/to/tindra path/to/hostilepdf
set -uo pipefail

tindra=$1
hostilepdf=$2
name=desktop_hostile_batch
tools="certutil qpdf pdfsig python3"
source "$(dirname "$0")/desktop_common.sh"

make_certificate

docs=$HOME/Documentos
mkdir -p "$docs"
"$hostilepdf" nestedForms "$docs/b-formas.pdf" || fail "hostilepdf could not write nestedForms"
"$hostilepdf" backwardGlyphs "$docs/d-glifos.pdf" || fail "hostilepdf could not write backwardGlyphs"
for plain in a-carta c-recibo; do
  python3 - "$docs/$plain.pdf" "$plain" <<'PY'
import sys
text = sys.argv[2].encode()
content = b"BT /F1 14 Tf 72 760 Td (" + text + b") Tj 0 -40 Td (Fdo.: El interesado) Tj ET"
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
done
files=("$docs/a-carta.pdf" "$docs/b-formas.pdf" "$docs/c-recibo.pdf" "$docs/d-glifos.pdf")

# 1. The batch from the command line: every copy valid within 30 s of Return.
start "${files[@]}"
panel=$(window 'Firmar 4 documentos' 300)
if [ -z "$panel" ]; then fail "no signing window for the four files within 30 s"; else
  focus "$panel"
  asked=$(now_ms)
  xdotool key --clearmodifiers Return
  all=0
  while [ "$(now_ms)" -le $((asked + 30000)) ]; do
    all=1
    for f in "${files[@]}"; do [ -s "${f%.pdf}-firmado.pdf" ] || all=0; done
    [ $all -eq 1 ] && break
    sleep 0.2
  done
  if [ $all -ne 1 ]; then fail "the batch did not sign the four files within 30 s"; else
    echo "$name: four copies $(($(now_ms) - asked)) ms after Return"
  fi
  done_window=$(window Firmado 300)
  [ -n "$done_window" ] && { focus "$done_window"; xdotool key --clearmodifiers Return; }
fi
ends "$app" 10000 || { fail "the application did not end after the batch"; kill -9 "$app"; }
for f in "${files[@]}"; do
  signed=${f%.pdf}-firmado.pdf
  [ -s "$signed" ] || continue
  verdict=$(pdfsig "$signed" 2>&1)
  grep -q "Signature Validation: Signature is Valid" <<<"$verdict" ||
    fail "pdfsig does not find $(basename "$signed") valid: $verdict"
  rm -f "$signed"
done

# 2. Again, and Ctrl+Q while the progress window has the focus.
start "${files[@]}"
panel=$(window 'Firmar 4 documentos' 300)
if [ -z "$panel" ]; then fail "no signing window the second time"; else
  focus "$panel"
  xdotool key --clearmodifiers Return
  progress=$(window 'Firmando' 300)
  if [ -z "$progress" ]; then fail "no progress window"; else
    # The quit limit: a second from the key.
    ctrl_q_ends "$progress" 1000 "the progress window"
  fi
fi
# No page process outlives the application.
sleep 0.5
if pgrep -f "tindra-pages $app\$" >/dev/null; then fail "a page process outlived the application"; fi

finish
