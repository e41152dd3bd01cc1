#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Safe to run again; skips apt when everything is already present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite qt6-translations-l10n
  libsqlite3-dev sqlite3 libssl-dev  # libssl-dev: SHA-256 of the series journal
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core xvfb xauth
  clang-format
  poppler-utils
  postgresql libqt6sql6-psql libpq-dev  # shared lab database: the server tests' own server, Qt's PostgreSQL driver, libpq to read connection settings
  qt6-svg-dev desktop-file-utils appstream dpkg-dev file  # SVG icons; menu entry and metainfo validators; .deb building (cpack)
  qt6-httpserver-dev qt6-websockets-dev openssl  # lab web view: HTTP and WebSocket server; a test certificate
  chromium  # lab web view's browser tests (playwright-core drives Debian's chromium)
  firefox-esr  # the same page in Firefox ESR (puppeteer-core drives it over WebDriver BiDi)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js and npm drive the browser tests. A machine may already have a
# Node.js that carries its own npm (and conflicts with Debian's npm): use it.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi

# The browser tests' drivers, pinned by package-lock.json. Never a browser
# download: the tests launch Debian's chromium and firefox-esr.
here=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -d "$here/tests/browser/node_modules/playwright-core" ] ||
   [ ! -d "$here/tests/browser/node_modules/puppeteer-core" ]; then
  echo "setup: npm ci in tests/browser"
  (cd "$here/tests/browser" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 \
    npm ci --no-audit --no-fund)
fi
