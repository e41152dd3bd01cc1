#!/usr/bin/env bash
# Sets up, builds and runs the measurement program against the balance
# simulator, in a program folder of its own (build/demo) so that a user's
# own settings are never touched.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
demo=$build/demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  cat >&2 <<MSG
No display found. Run the demo under a virtual X server instead:
  xvfb-run -a -s "-screen 0 1280x800x24" bash scripts/run-demo.sh
MSG
  exit 1
fi

bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target Pomiar balance-sim

mkdir -p "$demo/program" "$demo/ports" "$demo/config"
export MORDAL_PORTS=$demo/ports MORDAL_NO_SYSTEM_PORTS=1 XDG_CONFIG_HOME=$demo/config

# The simulated balance answers on COM1 of the demo's own port folder.
coproc SIM { exec "$build/bin/balance-sim" --com 1 --port-dir "$demo/ports" \
  --mass 12.3456 --noise 0.0004 --unstable; }
trap 'echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true' EXIT
read -r ready <&"${SIM[0]}"
echo "balance simulator: $ready"

ini=$demo/program/ustawienia.ini
if [ ! -f "$ini" ]; then
  printf '[ustawienia]\r\nType=2\r\nComm=1\r\nSpeed=9600\r\nHostIP=127.0.0.1\r\nHostPort=4001\r\n' >"$ini"
fi

"$build/bin/Pomiar" --dir "$demo/program" "$@"
