#!/usr/bin/env bash
# Runs browser_test.mjs with its npm packages installed from the lock file into WORK.
#   run.sh ZORVAN_SCORES_PROGRAM WORK
# Exit 77 (skipped) when Chromium or Node.js is missing and cannot be installed here; under
# CI (CI=true), where scripts/packages-test.txt installs them, that is a failure instead.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$1
work=$2
mkdir -p "$work"

have() { command -v "$1" >/dev/null 2>&1; }
# npm comes with some Node.js builds and as Debian's own package with others.
if ! have npm && [[ $(id -u) -eq 0 ]]; then
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends npm >/dev/null
fi
chromium=${CHROMIUM:-/usr/bin/chromium}
for need in node npm "$chromium"; do
  if ! have "$need"; then
    echo "browser test skipped: $need not found (scripts/packages-test.txt installs it)"
    [[ "${CI:-}" == true ]] && exit 1
    exit 77
  fi
done

cp "$here/package.json" "$here/package-lock.json" "$here/browser_test.mjs" "$work/"
# npm ci only when the lock file changed since the last install.
if ! cmp -s "$here/package-lock.json" "$work/node_modules/.installed-lock.json" 2>/dev/null; then
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$here/package-lock.json" "$work/node_modules/.installed-lock.json"
fi
cd "$work"
exec node browser_test.mjs "$program" "$work/screenshots"
