#!/usr/bin/env bash
# The libraries' layers, read from their includes: the engines (pdf, pages, signing, profile, forms,
# platform) include neither Qt nor a header of the windows; the shared window library (ui)
# includes no window or pane; nothing outside app/ includes a header of the application shell.
# Prints each include that crosses a layer and fails if there is one.
set -uo pipefail
root=${1:?usage: layering.sh SOURCE_DIR}
cd "$root" || exit 2

bad=0
check() { # description, pattern, folders...
  local what=$1 pattern=$2; shift 2
  local dirs=()
  for d in "$@"; do [ -e "$d" ] && dirs+=("$d"); done
  [ ${#dirs[@]} -eq 0 ] && return
  local hits
  hits=$(grep -rnE --include='*.h' --include='*.cpp' --include='*.hpp' --include='*.cc' \
    "^[[:space:]]*#[[:space:]]*include[[:space:]]*($pattern)" "${dirs[@]}")
  if [ -n "$hits" ]; then
    echo "$what:"
    echo "$hits"
    bad=1
  fi
}

engines=(pdf pages signing profile forms platform)
windows='"(ui|document|settings|profilepane|app)/'
check "Un motor incluye Qt" '<Q[A-Za-z]*[>/.]' "${engines[@]}"
check "Un motor incluye una cabecera de las ventanas" "$windows" "${engines[@]}"
check "La biblioteca común de ventanas incluye una ventana o un panel" \
  '"(document|settings|profilepane|app)/' ui
# Poppler runs only in the page process: no other folder includes it.
poppler_outside=$(find . -path ./build\* -prune -o -path ./pages/server -prune -o -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.hpp' -o -name '*.cc' \) -print | sed 's#^\./##')
# shellcheck disable=SC2086
[ -n "$poppler_outside" ] && check "Una carpeta fuera de pages/server/ incluye Poppler" \
  '<(poppler/|poppler-|Poppler|GlobalParams|PDFDoc|SplashOutputDev|TextOutputDev|goo/|splash/|fofi/)' $poppler_outside
shell_outside=$(ls -d */ | sed 's#/$##' | grep -vxE 'app|tests|bench|build.*|cmake|scripts')
# shellcheck disable=SC2086
check "Una carpeta fuera de app/ incluye una cabecera de app/" '"app/' $shell_outside

if [ $bad -ne 0 ]; then
  exit 1
fi
echo "Capas en orden."
