#!/usr/bin/env bash
# scripts/setup under a fake PATH: dpkg-query reports the packages named in STUB_MISSING as absent,
# apt-get, sudo, id, locale and locale-gen are stubs that record their calls.
set -uo pipefail
setup=${1:?usage: setup_test.sh PATH/TO/scripts/setup}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stubs=$work/bin
mkdir -p "$stubs"
failures=0

stub() { # name, body
  printf '#!/usr/bin/env bash\n%s\n' "$2" >"$stubs/$1"
  chmod +x "$stubs/$1"
}
stub dpkg-query 'shift 2; status=0
for p in "$@"; do
  if [[ " $STUB_MISSING " == *" $p "* ]]; then
    echo "dpkg-query: no packages found matching $p" >&2; status=1
  elif [ "$p" = libssl-dev ]; then echo "$p:amd64 install ok installed"
  else echo "$p install ok installed"; fi
done
exit $status'
stub apt-get 'echo "apt-get $*" >>"$STUB_LOG"; [ "${1:-}" = install ] && exit "${STUB_APT_STATUS:-0}"; exit 0'
stub sudo 'echo "sudo $1" >>"$STUB_LOG"; exec "$@"'
stub id 'echo "${STUB_UID:-0}"'
stub locale 'echo es_ES.utf8'
stub locale-gen 'echo "locale-gen" >>"$STUB_LOG"'

run() { # expected status, missing packages, uid, apt status
  : >"$work/log"
  STUB_MISSING=$2 STUB_UID=$3 STUB_APT_STATUS=$4 STUB_LOG=$work/log PATH="$stubs:/usr/bin:/bin" \
    bash "$setup" >"$work/out" 2>"$work/err"
  local status=$?
  if [ "$status" -ne "$1" ]; then
    echo "FALLO: estado $status, se esperaba $1 (faltan: '$2')"; cat "$work/out" "$work/err"; failures=$((failures + 1))
  fi
}
expect() { # description, command
  if ! eval "$2"; then
    echo "FALLO: $1"; echo "-- registro:"; cat "$work/log"; echo "-- salida:"; cat "$work/out" "$work/err"
    failures=$((failures + 1))
  fi
}

run 0 "" 0 0
expect "nothing to install when all are present" '[ ! -s "$work/log" ] && [ ! -s "$work/out" ]'

run 0 "qt6-base-dev libcurl4-openssl-dev" 0 0  # installed in the list's order
expect "apt-get update once" '[ "$(grep -c "^apt-get update" "$work/log")" -eq 1 ]'
expect "exactly the missing packages installed" \
  'grep -q -- "--no-install-recommends libcurl4-openssl-dev qt6-base-dev$" "$work/log"'
expect "one line says what is installed" 'grep -qx "Instalando 2 paquetes: libcurl4-openssl-dev qt6-base-dev" "$work/out"'
expect "root does not use sudo" '! grep -q "^sudo" "$work/log"'

all=$(sed -n '/^packages=(/,/^)/p' "$setup" | sed '1d;$d' | tr -s ' \n' ' ')
run 0 "$all" 0 0
expect "every package installed on an empty machine" \
  '[ "$(grep "^apt-get install" "$work/log" | wc -w)" -eq $(( $(wc -w <<<"$all") + 6 )) ]'

run 1 "libsecret-1-dev" 0 100
expect "a failing apt-get is reported with the packages and its status" \
  'grep -q "No se han podido instalar los paquetes libsecret-1-dev: apt-get terminó con el estado 100." "$work/err"'

run 0 "qpdf" 1000 0
expect "a user who is not root goes through sudo" \
  '[ "$(grep -c "^sudo " "$work/log")" -eq 2 ] && grep -q "install .* qpdf$" "$work/log"'

if [ "$failures" -eq 0 ]; then echo "setup: correcto"; fi
exit $((failures > 0))
