#!/usr/bin/env bash
# Starts devservice with its demo accounts on 127.0.0.1 and the client against it.
# Without a display the client runs under Xvfb and a screenshot is saved to
# build/demo-screenshot.png after a few seconds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVIX_BUILD_DIR:-$here/build}
port=${ZAVIX_DEMO_PORT:-18080}
bash "$here/scripts/build.sh"

data=$(mktemp -d /tmp/zavix-demo.XXXXXX)
log="$data/devservice.log"
"$build/devservice/devservice" --port "$port" --data "$data" >"$log" 2>&1 &
svc=$!
trap 'kill $svc 2>/dev/null || true; [ -n "${xvfb:-}" ] && kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  grep -q '^ZAVIX_SERVICE_URL=' "$log" 2>/dev/null && break
  sleep 0.1
done
cat "$log"
# The demo never powers the machine off: the automatic shutdown runs a harmless program.
export ZAVIX_SHUTDOWN_COMMAND=/bin/true
export ZAVIX_SERVICE_URL=$(sed -n 's/^ZAVIX_SERVICE_URL=//p' "$log" | head -n 1)
[ -n "$ZAVIX_SERVICE_URL" ] || { echo "devservice did not start" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:${ZAVIX_DEMO_DISPLAY:-97}
  Xvfb "$DISPLAY" -screen 0 1280x800x24 >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  "$build/bin/ZavixUploadClient" &
  client=$!
  sleep "${ZAVIX_DEMO_SECONDS:-5}"
  import -display "$DISPLAY" -window root "$build/demo-screenshot.png" && echo "screenshot: $build/demo-screenshot.png"
  if [ -n "${ZAVIX_DEMO_KEEP:-}" ]; then wait $client; else kill $client 2>/dev/null || true; fi
else
  "$build/bin/ZavixUploadClient"
fi
