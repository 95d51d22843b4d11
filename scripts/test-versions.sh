#!/usr/bin/env bash
# The whole life (setup, interactive setup, removal, what is left) on every Windows version Wine
# emulates and on 64-bit Windows, one ctest test per version, two side by side. Installs what it needs.
#   scripts/test-versions.sh                  all versions
#   scripts/test-versions.sh win95 nt40       some (win95 win98 winme nt40 win2k winxp win7 win10 win64)
# scripts/test.sh runs the CI subset (tests/e2e/CMakeLists.txt); KVX_E2E_VERSIONS=all there runs all.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export KVX_E2E_VERSIONS=${*:-all}
# The version list is read when CMake configures the tree, which kvx_build_win32 always does.
kvx_build_win32 || exit 1
start=$(date +%s)
(cd "$build/win32" && ctest -R '^e2e_test_versions_' -j2 --output-on-failure --timeout 1200)
rc=$?
echo "versions ($KVX_E2E_VERSIONS): $(( $(date +%s) - start )) s"
exit $rc
