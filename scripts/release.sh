#!/usr/bin/env bash
# The release package: installs what it needs, builds the shipped (win32) tree and writes
#   build/release/korvex-uninstall-<version>.zip   Uninstall.exe, the English language file, the
#                                                  translator's kit, README-admin.txt, SHA256SUMS
#   build/release/SHA256SUMS                       the zip's own sum
# The version is the one of project() in CMakeLists.txt (the build tree's version.txt); it is also
# in the program's version resource, which the packager checks. Entries carry the last commit's time
# (or SOURCE_DATE_EPOCH), so the same sources give the same zip.
# Given a certificate, the zip holds an Authenticode-signed copy of the program (osslsigncode, SHA-256),
# verified before it is packed; build/win32/src/Uninstall.exe stays unsigned. Either of
#   KVX_SIGN_PKCS12=cert.p12 [KVX_SIGN_PASSWORD_FILE=pass.txt]
#   KVX_SIGN_PKCS11_MODULE=module.so KVX_SIGN_KEY_ID=<pkcs11: URI or id> KVX_SIGN_CERTS=chain.pem
#     [KVX_SIGN_PASSWORD_FILE=pin.txt]
# and optionally KVX_SIGN_TIMESTAMP_URL=<RFC 3161 server>, KVX_SIGN_CAFILE=roots.pem (the check's
# trust anchors; default the system's CA bundle). See tools/release/authenticode.py.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kvx_build_win32 Uninstall
version=$(cat "$build/win32/version.txt")
date=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 946684800)}
rm -rf "$build/release"
python3 "$root/tools/release/make_release.py" --exe "$build/win32/src/Uninstall.exe" --version "$version" \
  --out "$build/release" --date "$date"
