#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs the browser test of the HTML report; exits with 77 (skipped) when
# Node.js or Chromium is not installed.
command -v node >/dev/null 2>&1 || { echo "SKIP: node is not installed"; exit 77; }
[ -x "${CHROMIUM:-/usr/bin/chromium}" ] || { echo "SKIP: ${CHROMIUM:-/usr/bin/chromium} is not installed"; exit 77; }
exec node "$(dirname "$0")/browser-test.js" "$@"
