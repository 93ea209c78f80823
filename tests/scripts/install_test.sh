#!/usr/bin/env bash
# scripts/install into a scratch prefix and home (from this build tree, building nothing), then
# scripts/uninstall: nothing of ours is left, neither a file nor the tindra:// handler line, and
# the user's own files, settings and logs stay. Prints what is left.
# Usage: install_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
for tool in xdg-mime update-desktop-database; do
  if ! command -v "$tool" >/dev/null; then
    echo "install_test: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/prefix
home=$root/home
mkdir -p "$home/.config" "$home/.local/share/applications" "$home/Documentos"
# The user's own: a document, a handler of another scheme, a desktop entry of another program.
echo "datos" >"$home/Documentos/carta.txt"
printf '[Default Applications]\nx-scheme-handler/mailto=correo.desktop\n' >"$home/.config/mimeapps.list"
printf '[Desktop Entry]\nType=Application\nName=Correo\nExec=correo %%u\nMimeType=x-scheme-handler/mailto;\n' \
  >"$home/.local/share/applications/correo.desktop"

# A session of no particular desktop, so that xdg-mime writes the user's mimeapps.list.
run() {
  env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
    -u XDG_DATA_DIRS -u XDG_CONFIG_DIRS \
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_STATE_HOME="$home/.local/state" XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$root/run" \
    QT_QPA_PLATFORM=offscreen "$@"
}
mkdir -m 700 "$root/run"

failures=0
fail() { echo "install_test: $*"; failures=$((failures + 1)); }

run env TINDRA_BUILD_DIR="$build_dir" bash "$source_dir/scripts/install" "$prefix" >"$root/install.log" 2>&1 ||
  { cat "$root/install.log"; fail "scripts/install failed"; }
# What the installation put there, so that its removal means something.
[ -x "$prefix/lib/tindra/tindra" ] || fail "no installed program"
[ -f "$home/.local/share/applications/es.calverin.Tindra.desktop" ] || fail "no desktop entry"
[ -L "$home/.local/bin/tindra" ] || fail "no command link"
[ -L "$home/.local/share/nautilus/scripts/Firmar con Tindra" ] || fail "no Nautilus script"
grep -q '^x-scheme-handler/tindra=es.calverin.Tindra.desktop' "$home/.config/mimeapps.list" ||
  fail "no tindra:// handler line: $(cat "$home/.config/mimeapps.list")"

run bash "$source_dir/scripts/uninstall" "$prefix" >"$root/uninstall.log" 2>&1 ||
  { cat "$root/uninstall.log"; fail "scripts/uninstall failed"; }

echo "install_test: left after scripts/uninstall:"
(cd "$root" && find prefix home \( -type f -o -type l \) -print 2>/dev/null | sort | sed 's/^/  /')
# Files of ours left: anything under the prefix, and anything outside the user's settings and logs
# that names the application.
left=$(cd "$root" && find prefix \( -type f -o -type l \) 2>/dev/null)
[ -z "$left" ] && [ ! -e "$prefix/lib/tindra" ] || fail "left in the prefix: $left"
named=$(cd "$root" && find home -path home/.config/tindra -prune -o -path home/.local/state/tindra -prune -o \
  \( -type f -o -type l \) -print | while read -r file; do
    case "$file" in *[Tt]indra*) echo "$file" ;; *) grep -lqi tindra "$root/$file" && echo "$file" ;; esac
  done)
[ -z "$named" ] || fail "files of ours left: $named"
grep -q 'x-scheme-handler/tindra' "$home/.config/mimeapps.list" && fail "the tindra:// handler line is left"
# The user's own stay.
grep -qx 'x-scheme-handler/mailto=correo.desktop' "$home/.config/mimeapps.list" || fail "the user's mailto handler is gone"
[ -f "$home/.local/share/applications/correo.desktop" ] || fail "the user's desktop entry is gone"
[ "$(cat "$home/Documentos/carta.txt" 2>/dev/null)" = datos ] || fail "the user's document is gone"
[ -f "$home/.config/tindra/defaults.json" ] || fail "the settings are gone"

if [ "$failures" -gt 0 ]; then
  echo "--- install"; cat "$root/install.log"; echo "--- uninstall"; cat "$root/uninstall.log"
  exit 1
fi
echo "install_test: correcto"
