#!/usr/bin/env bash
# The application under a real X server and window manager (Xvfb and openbox), driven with
# xdotool as a user would: started without files it shows a window, "Salir de Tindra" (Ctrl+Q)
# ends it, closing its home window ends it, started again while its home window is minimised
# behind another application's window it brings that window back to the front, the window
# manager offers no minimise, maximise or full screen for the progress window of a signing,
# Ctrl+Q on the progress window of a batch ends it within a second, and the window manager offers
# neither those nor resizing for the welcome window of a first start, which its own button
# closes. Each other end within 10 s.
# Usage: desktop_session.sh path/to/tindra
set -uo pipefail

tindra=$1
name=desktop_session
tools="xprop xwininfo xmessage certutil qpdf"
source "$(dirname "$0")/desktop_common.sh"
# Whether window $1 is minimised or unmapped: not viewable, or hidden in the window manager's state.
hidden() {
  ! xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable' ||
    xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_HIDDEN
}

# 1. Ctrl+Q on the home window.
start
home=$(window Tindra)
if [ -z "$home" ]; then fail "no window after the first start"; else
  focus "$home"
  xdotool key --clearmodifiers ctrl+q
  ends "$app" || { fail "Ctrl+Q did not end the application"; kill -9 "$app"; }
fi

# 2. Closing the home window (the window manager's close).
start
home=$(window Tindra)
if [ -z "$home" ]; then fail "no window after the second start"; else
  focus "$home"
  xdotool key --clearmodifiers alt+F4
  ends "$app" || { fail "closing the home window did not end the application"; kill -9 "$app"; }
fi

# 3. Started again while its home window is minimised and another window is active: the home
# window comes back, mapped, not hidden, and in front.
start
home=$(window Tindra)
if [ -z "$home" ]; then fail "no window after the third start"; else
  # A window of another application, made active.
  xmessage -name otra -title Otra "otra" &
  pids+=($!)
  other=$(window Otra)
  if [ -z "$other" ]; then fail "the other application's window did not show"; else
    focus "$other"
    xdotool windowminimize --sync "$home" >/dev/null 2>&1
    if ! hidden "$home"; then fail "the home window could not be minimised"; fi
    timeout 10 "$tindra" >/dev/null 2>&1
    back=""
    for _ in $(seq 50); do
      if ! hidden "$home" && [ "$(xdotool getactivewindow 2>/dev/null)" = "$home" ]; then back=1; break; fi
      sleep 0.1
    done
    if [ -z "$back" ]; then
      fail "started again, the minimised home window did not come back to the front ($(xprop -id "$home" WM_STATE _NET_WM_STATE 2>&1 | tr '\n' ' '))"
    fi
  fi
  focus "$home"
  xdotool key --clearmodifiers ctrl+q
  ends "$app" || { fail "Ctrl+Q did not end the application"; kill -9 "$app"; }
fi

# 4. A signing with a certificate of the user's: the window manager offers neither minimise nor
# maximise nor full screen for the progress window.
make_certificate
mkdir -p "$HOME/Documentos"
printf '%s\n' '%PDF-1.4' '1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj' \
  '2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj' \
  '3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >> endobj' \
  'trailer << /Root 1 0 R >>' '%%EOF' >"$root/rough.pdf"
# qpdf rebuilds the cross-reference table of the hand-written file (status 3: with warnings).
qpdf "$root/rough.pdf" "$HOME/Documentos/solicitud.pdf" >/dev/null 2>&1
[ -s "$HOME/Documentos/solicitud.pdf" ] || fail "qpdf could not write the test PDF"
start "$HOME/Documentos/solicitud.pdf"
panel=$(window solicitud.pdf)
if [ -z "$panel" ]; then fail "no signing window for the PDF"; else
  focus "$panel"
  xdotool key --clearmodifiers Return
  progress=""
  for _ in $(seq 100); do
    progress=$(xdotool search --onlyvisible --name '^Firma(ndo|do)$' 2>/dev/null | head -1)
    [ -n "$progress" ] && break
    sleep 0.1
  done
  if [ -z "$progress" ]; then fail "no progress window after signing"; else
    sleep 0.5  # the window manager has set its allowed actions
    properties=$(xprop -id "$progress" _NET_WM_ALLOWED_ACTIONS _NET_WM_WINDOW_TYPE 2>&1)
    echo "desktop_session: the progress window as the window manager sees it:"
    echo "$properties"
    if grep -Eq '_NET_WM_ACTION_(MINIMIZE|MAXIMIZE_HORZ|MAXIMIZE_VERT|FULLSCREEN)' <<<"$properties"; then
      fail "the window manager offers minimise, maximise or full screen for the progress window"
    fi
    if ! grep -q '_NET_WM_ALLOWED_ACTIONS(ATOM) = ' <<<"$properties"; then
      fail "the window manager set no allowed actions for the progress window"
    fi
    # Dismissed, it ends the run, and with no other window the application ends.
    xdotool windowactivate --sync "$progress" >/dev/null 2>&1
    for _ in $(seq 100); do
      xdotool search --onlyvisible --name '^Firmado$' >/dev/null 2>&1 && break
      sleep 0.1
    done
    xdotool key --clearmodifiers Return
  fi
fi
ends "$app" || { fail "the application did not end after the signing"; kill -9 "$app"; }

# 5. A batch handed over on the command line shows no window with a menu once it signs: Ctrl+Q on
# its progress window ends the application within a second, its worker still signing.
batch=$HOME/Documentos/lote
mkdir -p "$batch"
for i in $(seq -w 200); do cp "$HOME/Documentos/solicitud.pdf" "$batch/acta-$i.pdf"; done
start "$batch"/acta-*.pdf
panel=$(window 'Firmar 200 documentos')
if [ -z "$panel" ]; then fail "no signing window for the batch"; else
  focus "$panel"
  xdotool key --clearmodifiers Return
  progress=$(window Firmando)
  if [ -z "$progress" ]; then fail "no progress window for the batch"; else
    if ctrl_q_ends "$progress" 1000 "the progress window"; then
      [ -e "$batch/acta-200-firmado.pdf" ] &&
        fail "the batch had ended before Ctrl+Q: nothing was left to stop"
    fi
  fi
fi

# 6. A first start shows the welcome window: the window manager offers neither resizing nor
# minimise, maximise or full screen for it, and its own close button (top right) closes it and
# opens the home window.
echo '{}' >"$XDG_CONFIG_HOME/tindra/defaults.json"
start
welcome=$(window "Bienvenida a Tindra")
if [ -z "$welcome" ]; then fail "no welcome window on a first start"; else
  sleep 0.5  # the window manager has set its allowed actions
  properties=$(xprop -id "$welcome" _NET_WM_ALLOWED_ACTIONS 2>&1)
  echo "desktop_session: the welcome window as the window manager sees it:"
  echo "$properties"
  if grep -Eq '_NET_WM_ACTION_(RESIZE|MINIMIZE|MAXIMIZE_HORZ|MAXIMIZE_VERT|FULLSCREEN)' <<<"$properties"; then
    fail "the window manager offers resizing, minimise, maximise or full screen for the welcome window"
  fi
  grep -q '_NET_WM_ALLOWED_ACTIONS(ATOM) = ' <<<"$properties" ||
    fail "the window manager set no allowed actions for the welcome window"
  width=$(xwininfo -id "$welcome" | awk '/^ +Width:/ {print $2}')
  xdotool mousemove --window "$welcome" $((width - 30)) 30 click 1
  home=$(window Tindra)
  if [ -z "$home" ]; then fail "the welcome window's close button did not close it and open the home window"; else
    xdotool search --onlyvisible --name '^Bienvenida a Tindra$' >/dev/null 2>&1 && fail "the welcome window is still shown"
    focus "$home"
    xdotool key --clearmodifiers ctrl+q
  fi
fi
ends "$app" || { fail "the application did not end after the welcome window"; kill -9 "$app"; }

finish
