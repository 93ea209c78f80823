#!/usr/bin/env bash
# The application under a real X server and window manager (Xvfb and openbox) signing a batch of
# three large files started from the command line: Ctrl+Q pressed on the progress window while a
# copy is being written ends the application within the quit limit, and once it has ended no
# temporary file of the run («.tindra-UUID.pdf») is left beside the documents, nor a prepared
# input in the private folder, nor anything in the list of temporary files in flight.
# Usage: desktop_batch_quit.sh path/to/tindra
set -uo pipefail

tindra=$1
name=desktop_batch_quit
tools="certutil pdfsig python3"
source "$(dirname "$0")/desktop_common.sh"

make_certificate

docs=$HOME/Documentos
mkdir -p "$docs"
# One page of text and a stream of 150 MB that no page uses: copying and hashing the file keeps
# the run's hidden copy beside it for a while.
for plain in a-memoria b-anexo c-planos; do
  python3 - "$docs/$plain.pdf" "$plain" <<'PY'
import sys
text = sys.argv[2].encode()
content = b"BT /F1 14 Tf 72 760 Td (" + text + b") Tj 0 -40 Td (Fdo.: El interesado) Tj ET"
bulk = bytes(range(256)) * (150 * 4096)
objects = [
    b"<< /Type /Catalog /Pages 2 0 R >>",
    b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
    b"/Resources << /Font << /F1 5 0 R >> >> >>",
    b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream",
    b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    b"<< /Length %d >>\nstream\n" % len(bulk) + bulk + b"\nendstream",
]
with open(sys.argv[1], "wb") as out:
    written = out.write(b"%PDF-1.4\n")
    offsets = []
    for i, body in enumerate(objects, 1):
        offsets.append(written)
        written += out.write(b"%d 0 obj\n" % i + body + b"\nendobj\n")
    xref = written
    out.write(b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1))
    for o in offsets:
        out.write(b"%010d 00000 n \n" % o)
    out.write(b"trailer << /Root 1 0 R /Size %d >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref))
PY
done
files=("$docs/a-memoria.pdf" "$docs/b-anexo.pdf" "$docs/c-planos.pdf")
temporaries() {
  find "$docs" "$XDG_STATE_HOME/tindra/preparados" -name '*tindra-*' 2>/dev/null
}

start "${files[@]}"
panel=$(window 'Firmar 3 documentos' 300)
if [ -z "$panel" ]; then fail "no signing window for the three files within 30 s"; else
  focus "$panel"
  xdotool key --clearmodifiers Return
  progress=$(window 'Firmando' 300)
  if [ -z "$progress" ]; then fail "no progress window"; else
    focus "$progress"
    # Ctrl+Q the moment a copy is being written beside its document.
    writing=""
    for _ in $(seq 1500); do
      writing=$(find "$docs" -name '.tindra-*' 2>/dev/null | head -1)
      [ -n "$writing" ] && break
      sleep 0.02
    done
    if [ -z "$writing" ]; then fail "no copy was written beside the documents within 30 s"; else
      echo "$name: Ctrl+Q with $(basename "$writing") being written"
      quit_ends 1000 "the progress window"
      left=$(temporaries)
      [ -n "$left" ] && fail "temporary files left once the application had ended: $left"
      list=$XDG_STATE_HOME/tindra/temporales
      [ -s "$list" ] && fail "the list of temporary files in flight is not empty: $(tr '\0' '\n' <"$list")"
      # Whatever was signed before the end is a whole, valid copy.
      for f in "${files[@]}"; do
        signed=${f%.pdf}-firmado.pdf
        [ -e "$signed" ] || continue
        pdfsig "$signed" 2>&1 | grep -q "Signature is Valid" || fail "$(basename "$signed") is not valid"
      done
    fi
  fi
fi

finish
