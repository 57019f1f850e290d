#!/usr/bin/env bash
# Makes the README's picture of GIMP with Marlo open on its layer: GIMP, with a profile of its own
# and the plug-in from the build, runs under Xvfb; Script-Fu paints a layer and starts
# plug-in-marlo; once Marlo's windows are up the whole screen is grabbed and Marlo is closed
# with SIGTERM, which sends the image back to GIMP.
#   bash scripts/gimp-screenshot.sh [BUILD_DIR] [OUTPUT]   (default: build/dev docs/marlo-gimp.png)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/dev}")
out=$(realpath -m "${2:-docs/marlo-gimp.png}")
for f in "$build/src/marlo" "$build/gimp-plug-in/marlo-gimp/marlo-gimp" "$build/tests/gimp_test_client"; do
  [ -x "$f" ] || { echo "gimp-screenshot: $f is missing: build first" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "gimp-screenshot: Xvfb is missing (apt-get install xvfb xdotool)" >&2; exit 1; }

tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
sleep 1

plugdir=$(pkg-config --variable=gimplibdir gimp-2.0)/plug-ins
mkdir -p "$tmp/profile/gradients" "$tmp/plug-ins"
ln -s "$plugdir/script-fu" "$plugdir/file-png" "$build/gimp-plug-in/marlo-gimp" "$tmp/plug-ins/"
cat > "$tmp/profile/gimprc" <<RC
(plug-in-path "$tmp/plug-ins")
(single-window-mode yes)
(show-tips no)
RC
cat > "$tmp/profile/sessionrc" <<RC
(session-info "toplevel" (factory-entry "gimp-single-image-window") (position 720 0) (size 880 900))
RC
cat > "$tmp/marlo" <<SH
#!/bin/sh
echo \$\$ > "$tmp/marlo.pid"
exec "$build/src/marlo" "\$@"
SH
chmod +x "$tmp/marlo"

export GIMP2_DIRECTORY="$tmp/profile" MARLO_EXECUTABLE="$tmp/marlo"
gimp -f -b '
(let* ((image (car (gimp-image-new 560 400 RGB)))
       (layer (car (gimp-layer-new image 560 400 RGB-IMAGE "Sky" 100 LAYER-MODE-NORMAL))))
  (gimp-image-insert-layer image layer 0 0)
  (gimp-context-set-foreground (list 70 110 190))
  (gimp-context-set-background (list 250 236 200))
  (gimp-drawable-edit-gradient-fill layer GRADIENT-LINEAR 0 FALSE 1 0 TRUE 0 0 0 400)
  (gimp-image-clean-all image)
  (gimp-display-new image)
  (gimp-displays-flush)
  (plug-in-marlo RUN-INTERACTIVE image layer))' -b '(gimp-quit 1)' >"$tmp/gimp.log" 2>&1 &
gimp_pid=$!
pids+=($gimp_pid)

for _ in $(seq 1 120); do [ -s "$tmp/marlo.pid" ] && break; sleep 0.5; done
[ -s "$tmp/marlo.pid" ] || { cat "$tmp/gimp.log" >&2; echo "gimp-screenshot: Marlo did not start" >&2; exit 1; }
sleep 4  # Marlo's windows and GIMP's display settle
if command -v xdotool >/dev/null; then
  # A Gel brush stroke and a wider Pen stroke, then "Send image to Tarnwick": GIMP shows them too.
  palette=$(xdotool search --name '^Tools$' | head -1)
  canvas=$(xdotool search --name '^Marlo for Tarnwick' | head -1)
  stroke() {
    xdotool mousemove --window "$canvas" "$1" "$2" mousedown 1
    for i in $(seq 0 40); do
      xdotool mousemove --window "$canvas" $(($1 + i * $3 / 40)) $(($2 + (i % 20 - 10) * (i % 20 - 10) * $4 / 100))
      sleep 0.02
    done
    xdotool mouseup 1
  }
  click() { xdotool mousemove --window "$palette" "$1" "$2" click 1; sleep 0.2; }
  click 126 430; click 70 452; click 62 474; click 118 22; click 84 126   # red, Gel brush, size
  stroke 60 150 440 90
  click 58 430; click 84 452; click 120 474; click 22 22; click 100 126   # blue, Pen, size
  stroke 80 330 400 -60
  click 54 87   # Send image to Tarnwick
  sleep 2
fi
"$build/tests/gimp_test_client" --grab "$out"
kill -TERM "$(cat "$tmp/marlo.pid")"
wait "$gimp_pid" || true
echo "gimp-screenshot: wrote $out"
