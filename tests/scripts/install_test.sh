#!/usr/bin/env bash
# scripts/install into scratch prefixes and a scratch home (from this build tree, building
# nothing), then scripts/uninstall, as the user's desktop sees it:
# 1. One installation over a home whose mimeapps.list is a link into a dotfiles folder and names
#    another program for tindra:// links, with a file of the user's put in the program's folder.
#    Afterwards nothing of ours is left, the user's file, settings and mimeapps.list link stay, and
#    tindra:// links go to the other program again.
# 2. Two installations, in ~/.local and in another prefix: removing the first leaves the second
#    registered (desktop entry, tindra:// handler, file-manager entries, command).
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
home=$root/home
applications=$home/.local/share/applications
mkdir -p "$root/run" && chmod 700 "$root/run"

# A session of no particular desktop, so that xdg-mime reads the user's mimeapps.list.
run() {
  env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
    -u XDG_DATA_DIRS -u XDG_CONFIG_DIRS \
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_STATE_HOME="$home/.local/state" XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$root/run" \
    QT_QPA_PLATFORM=offscreen "$@"
}
handler() { run xdg-mime query default x-scheme-handler/tindra 2>/dev/null; }

failures=0
fail() { echo "install_test: $*"; failures=$((failures + 1)); }
install_into() {
  run env TINDRA_BUILD_DIR="$build_dir" bash "$source_dir/scripts/install" "$1" >>"$root/install.log" 2>&1 ||
    fail "scripts/install $1 failed"
}
uninstall_from() {
  run bash "$source_dir/scripts/uninstall" "$1" >>"$root/uninstall.log" 2>&1 || fail "scripts/uninstall $1 failed"
}
# Where the link at $1 leads.
leads() { readlink -f "$1" 2>/dev/null; }

# --- 1. One installation --------------------------------------------------------------------------
prefix=$root/prefix
mkdir -p "$home/.config" "$home/dotfiles" "$applications" "$home/Documentos"
echo "datos" >"$home/Documentos/carta.txt"
# The user's own: a handler of another scheme, another program for tindra:// links, both in a
# mimeapps.list kept in a dotfiles folder.
printf '[Default Applications]\nx-scheme-handler/mailto=correo.desktop\nx-scheme-handler/tindra=otro.desktop\n' \
  >"$home/dotfiles/mimeapps.list"
ln -s ../dotfiles/mimeapps.list "$home/.config/mimeapps.list"
for program in correo otro; do
  printf '[Desktop Entry]\nType=Application\nName=%s\nExec=/bin/true %%u\nMimeType=x-scheme-handler/mailto;\n' \
    "$program" >"$applications/$program.desktop"
done
[ "$(handler)" = otro.desktop ] || fail "the scratch home does not start with otro.desktop for tindra:// links"

install_into "$prefix"
folder=$prefix/lib/tindra
# What the installation put there, so that its removal means something.
for program in tindra ostrel pellon tindra-pages; do
  [ -x "$folder/$program" ] || fail "no installed $program"
done
[ "$(handler)" = es.calverin.Tindra.desktop ] || fail "tindra:// links do not go to Tindra: $(handler)"
[ "$(leads "$home/.local/bin/tindra")" = "$(leads "$folder/tindra")" ] || fail "no command link"
[ -L "$home/.local/share/nautilus/scripts/Firmar con Tindra" ] || fail "no Nautilus script"
[ -L "$home/.config/mimeapps.list" ] || fail "the installation replaced the mimeapps.list link with a file"
echo "mío" >"$folder/notas.txt"

uninstall_from "$prefix"
echo "install_test: left after scripts/uninstall:"
(cd "$root" && find prefix home \( -type f -o -type l \) -print 2>/dev/null | sort | sed 's/^/  /')
left=$(cd "$prefix" && find . \( -type f -o -type l \) ! -path ./lib/tindra/notas.txt 2>/dev/null)
[ -z "$left" ] || fail "left in the prefix: $left"
[ "$(cat "$folder/notas.txt" 2>/dev/null)" = mío ] || fail "the user's file in the program's folder is gone"
# Files of ours left in the home: anything outside the user's settings, logs and mimeapps.list that
# names the application.
named=$(cd "$root" && find home -path home/.config/tindra -prune -o -path home/.local/state/tindra -prune -o \
  -path home/dotfiles -prune -o -path home/.config/mimeapps.list -prune -o \( -type f -o -type l \) -print |
  while read -r file; do
    case "$file" in *[Tt]indra*) echo "$file" ;; *) grep -lqi tindra "$root/$file" && echo "$file" ;; esac
  done)
[ -z "$named" ] || fail "files of ours left: $named"
[ -L "$home/.config/mimeapps.list" ] || fail "the uninstallation replaced the mimeapps.list link with a file"
[ "$(handler)" = otro.desktop ] || fail "tindra:// links do not go back to the other program: '$(handler)'"
[ "$(run xdg-mime query default x-scheme-handler/mailto)" = correo.desktop ] || fail "the user's mailto handler is gone"
[ "$(cat "$home/Documentos/carta.txt" 2>/dev/null)" = datos ] || fail "the user's document is gone"
[ -f "$home/.config/tindra/defaults.json" ] || fail "the settings are gone"

# --- 2. Two installations ---------------------------------------------------------------------------
local_prefix=$home/.local
other=$root/otro
install_into "$local_prefix"
install_into "$other"
uninstall_from "$local_prefix"
[ ! -e "$local_prefix/lib/tindra/tindra" ] || fail "the ~/.local copy is still there"
[ -x "$other/lib/tindra/tindra" ] || fail "the other copy's program is gone"
[ "$(handler)" = es.calverin.Tindra.desktop ] || fail "with the other copy installed, tindra:// links lost Tindra: '$(handler)'"
entry=$applications/es.calverin.Tindra.desktop
grep -q "^Exec=.*$other/lib/tindra/tindra" "$entry" 2>/dev/null || fail "the other copy's desktop entry is gone"
[ "$(leads "$home/.local/bin/tindra")" = "$(leads "$other/lib/tindra/tindra")" ] || fail "the other copy's command is gone"
[ "$(leads "$home/.local/share/nautilus/scripts/Firmar con Tindra")" = "$(leads "$other/lib/tindra/ostrel")" ] ||
  fail "the other copy's Nautilus script is gone"
for menu in kio/servicemenus/tindra-firmar.desktop nemo/actions/tindra-firmar.nemo_action; do
  grep -q "$other/lib/tindra/pellon" "$home/.local/share/$menu" 2>/dev/null || fail "the other copy's $menu is gone"
done

if [ "$failures" -gt 0 ]; then
  echo "--- install"; cat "$root/install.log"; echo "--- uninstall"; cat "$root/uninstall.log"
  exit 1
fi
echo "install_test: correcto"
