#!/usr/bin/env bash
# Rewrites the generated block of docs/administrators.md (every registry key and value, file and
# link the setup writes, per family and per choice, and what a removal leaves) from what silent
# setups and removals really do under Wine: builds the win32 tree and runs
# tests/e2e/test_admin_page.py with KVX_ADMIN_PAGE=write (about two minutes). Installs what it needs.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32
cd "$build/win32"
KVX_ADMIN_PAGE=write ctest -R "^e2e_test_(admin_page|run_log)$" --output-on-failure
git -C "$root" diff --stat -- docs/administrators.md
