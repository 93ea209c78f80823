#!/usr/bin/env bash
# The application under a real X server and window manager (Xvfb and openbox) with long ordinary
# documents: a letter of 2,400 pages, each ending with «Fdo.: El interesado», is signed from
# opening to signed copy in at most 1.5 times what its 3-page cut takes, with the card beside the
# last page's «Fdo.» as on the cut; a flat form of 300 pages (grey bands under its labels, a
# logo, rounded boxes) is read whole: the log says nothing of a reading left in part; and, with
# «Rellenar con mis datos» off, that form is signed from opening to signed copy in at most 1.5
# times what a 3-page letter takes: signing does not wait for a reading nobody asked for.
# Usage: desktop_long_documents.sh path/to/tindra path/to/flatformpdf
set -uo pipefail

tindra=$1
flatformpdf=$2
name=desktop_long_documents
tools="certutil qpdf pdfsig python3"
source "$(dirname "$0")/desktop_common.sh"

make_certificate
docs=$HOME/Documentos
mkdir -p "$docs"

letter() { # pages, path
  python3 - "$1" "$2" <<'PY'
import sys, zlib
pages, path = int(sys.argv[1]), sys.argv[2]
objects = {1: b"<< /Type /Catalog /Pages 2 0 R >>", 3: b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}
kids = []
for p in range(pages):
    lines = [b"Expediente 2026/%d, pagina %d" % (p + 1, p + 1)]
    lines += [b"Texto de la solicitud, linea %d, que el interesado firma." % l for l in range(30)]
    body = b"BT /F1 11 Tf 72 770 Td 14 TL " + b" ".join(b"(" + l + b") '" for l in lines) + b" ET\n"
    body += b"BT /F1 11 Tf 300 250 Td (En Madrid, a 9 de diciembre de 2026) Tj ET\n"
    body += b"BT /F1 11 Tf 72 200 Td (Fdo.: El interesado) Tj ET\n"
    body += b"BT /F1 8 Tf 72 40 Td (Ayuntamiento de Ejemplo - Plaza Mayor 1 - 28001 Madrid) Tj ET\n"
    data = zlib.compress(body)
    n = 10 + 2 * p
    objects[n] = b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>" % (n + 1)
    objects[n + 1] = b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(data) + data + b"\nendstream"
    kids.append(b"%d 0 R" % n)
objects[2] = b"<< /Type /Pages /Kids [" + b" ".join(kids) + b"] /Count %d >>" % pages
out = bytearray(b"%PDF-1.7\n")
offsets = {}
for n in sorted(objects):
    offsets[n] = len(out)
    out += b"%d 0 obj\n" % n + objects[n] + b"\nendobj\n"
size = max(objects) + 1
xref = len(out)
out += b"xref\n0 %d\n" % size
for n in range(size):
    out += b"%010d 00000 n \n" % offsets[n] if n in offsets else b"0000000000 65535 f \n"
out += b"trailer << /Root 1 0 R /Size %d >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref)
open(path, "wb").write(out)
PY
}

# Page number (1-based) and rectangle of the signature widget of a signed copy, as qpdf reads it.
card() {
  qpdf --json=2 --json-key=pages --json-key=qpdf "$1" 2>/dev/null | python3 -c '
import json, sys
doc = json.load(sys.stdin)
objects = doc["qpdf"][1]
def value(ref):
    return objects.get("obj:" + ref, {}).get("value", {}) if isinstance(ref, str) else ref
for i, page in enumerate(doc["pages"], 1):
    annots = value(value(page["object"]).get("/Annots", []))
    for ref in annots if isinstance(annots, list) else []:
        a = value(ref)
        if a.get("/FT") == "/Sig" or value(a.get("/Parent", {})).get("/FT") == "/Sig":
            print(i, " ".join("%.1f" % float(v) for v in a["/Rect"]))
            sys.exit(0)
print("none")'
}

# Milliseconds from starting the application on $1 to its signed copy, Return pressed as soon as
# the window shows.
sign_time() {
  local file=$1 started panel done_window
  started=$(now_ms)
  start "$file"
  panel=$(window "$(basename "$file")" 300)
  [ -n "$panel" ] || { fail "no signing window for $(basename "$file")"; echo 0; return; }
  focus "$panel"
  xdotool key --clearmodifiers Return
  local signed=${file%.pdf}-firmado.pdf
  while [ ! -s "$signed" ] && [ "$(now_ms)" -le $((started + 60000)) ]; do sleep 0.05; done
  local took=$(($(now_ms) - started))
  done_window=$(window Firmado 100)
  [ -n "$done_window" ] && { focus "$done_window"; xdotool key --clearmodifiers Return; }
  ends "$app" 10000 || { fail "the application did not end after signing $(basename "$file")"; kill -9 "$app"; }
  [ -s "$signed" ] || fail "no signed copy of $(basename "$file") within 60 s"
  echo "$took"
}

letter 3 "$docs/carta-3.pdf"
letter 2400 "$docs/carta-2400.pdf"
short=$(sign_time "$docs/carta-3.pdf")
long=$(sign_time "$docs/carta-2400.pdf")
echo "$name: 3 pages $short ms, 2400 pages $long ms"
# (A sanitizer build runs the engine's own work many times slower: the ratio is the users' build's.)
if grep -qa "AddressSanitizer" "$tindra"; then
  echo "$name: a sanitizer build: the times are not compared"
elif [ "$short" -gt 0 ] && [ $((long * 10)) -gt $((short * 15)) ]; then
  fail "2400 pages took $long ms, more than 1.5 times the $short ms of 3 pages"
fi
short_card=$(card "$docs/carta-3-firmado.pdf")
long_card=$(card "$docs/carta-2400-firmado.pdf")
echo "$name: card of the 3-page letter: $short_card; of the 2400-page one: $long_card"
[ "${short_card%% *}" = 3 ] || fail "the 3-page letter's card is not on its last page: $short_card"
[ "${long_card%% *}" = 2400 ] || fail "the 2400-page letter's card is not on its last page: $long_card"
[ "${short_card#* }" = "${long_card#* }" ] ||
  fail "the cards differ in place: $short_card against $long_card"
for f in "$docs/carta-3-firmado.pdf" "$docs/carta-2400-firmado.pdf"; do
  pdfsig "$f" 2>&1 | grep -q "Signature Validation: Signature is Valid" || fail "pdfsig does not find $(basename "$f") valid"
done

# The flat form: opened, read whole, closed.
"$flatformpdf" 300 "$docs/formulario-300.pdf" || fail "flatformpdf could not write the form"
start "$docs/formulario-300.pdf"
panel=$(window formulario-300.pdf 300)
if [ -z "$panel" ]; then fail "no signing window for the flat form"; else
  log=$XDG_STATE_HOME/tindra/Tindra.log
  # The reading ends with a line of the log: read whole, or in part.
  for _ in $(seq 600); do
    grep -q "Formulario leído" "$log" 2>/dev/null && break
    sleep 0.1
  done
  grep "Formulario leído" "$log" 2>/dev/null | tail -1
  grep -q "leído en parte" "$log" 2>/dev/null && fail "the flat form was read in part: $(grep 'leído en parte' "$log")"
  focus "$panel"
  xdotool key --clearmodifiers ctrl+q
fi
ends "$app" 10000 || { fail "the application did not end after the flat form"; kill -9 "$app"; }

# The flat form signed with the filling switched off (the defaults say nothing of it), against a
# 3-page letter signed just before it, under the same load.
cp "$docs/carta-3.pdf" "$docs/otra-carta-3.pdf"
letter_ms=$(sign_time "$docs/otra-carta-3.pdf")
form_ms=$(sign_time "$docs/formulario-300.pdf")
echo "$name: 3-page letter $letter_ms ms, 300-page flat form with the filling off $form_ms ms"
if grep -qa "AddressSanitizer" "$tindra"; then
  echo "$name: a sanitizer build: the times are not compared"
elif [ "$letter_ms" -gt 0 ] && [ $((form_ms * 10)) -gt $((letter_ms * 15)) ]; then
  fail "the 300-page flat form took $form_ms ms to sign, more than 1.5 times the $letter_ms ms of a 3-page letter"
fi
pdfsig "$docs/formulario-300-firmado.pdf" 2>&1 | grep -q "Signature Validation: Signature is Valid" ||
  fail "pdfsig does not find formulario-300-firmado.pdf valid"

finish
