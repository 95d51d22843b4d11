"""Authenticode signature of the release's program, with osslsigncode, configured by the environment:

    KVX_SIGN_PKCS12=cert.p12          the certificate and its key in a PKCS#12 file, or a hardware token:
    KVX_SIGN_PKCS11_MODULE=mod.so       its PKCS#11 module (through OpenSSL's pkcs11 engine),
    KVX_SIGN_KEY_ID=...                 the key on it (a pkcs11: URI or the object's id),
    KVX_SIGN_CERTS=chain.pem            the certificate chain (PEM), or a pkcs11: URI of the certificate
    KVX_SIGN_PASSWORD_FILE=pass.txt   the PKCS#12 password or the token's PIN (optional)
    KVX_SIGN_TIMESTAMP_URL=http://..  an RFC 3161 time-stamp authority (optional)
    KVX_SIGN_CAFILE=roots.pem         the trust anchors of the check after signing, for the signer and
                                      the time-stamp authority (default: the system's CA bundle)

The signed copy is checked with `osslsigncode verify` before it is used; a signature that does not
verify, or a time stamp asked for and not verified, is an error.
"""
import os
import subprocess
from pathlib import Path

VARIABLES = ("KVX_SIGN_PKCS12", "KVX_SIGN_PKCS11_MODULE", "KVX_SIGN_KEY_ID", "KVX_SIGN_CERTS",
             "KVX_SIGN_PASSWORD_FILE", "KVX_SIGN_TIMESTAMP_URL", "KVX_SIGN_CAFILE")
FILES = ("KVX_SIGN_PKCS12", "KVX_SIGN_PKCS11_MODULE", "KVX_SIGN_CERTS", "KVX_SIGN_PASSWORD_FILE", "KVX_SIGN_CAFILE")
TOOL = "osslsigncode"
# osslsigncode 2.9 ends a check whose time stamp failed with success: the line is looked for instead.
TIMESTAMP_OK = "Timestamp Server Signature verification: ok"


class SigningError(Exception):
    pass


def settings(environ):
    """The KVX_SIGN_* variables that are set, or None when none is (an unsigned release)."""
    found = {name: environ[name] for name in VARIABLES if environ.get(name)}
    if not found:
        return None
    if ("KVX_SIGN_PKCS12" in found) == ("KVX_SIGN_PKCS11_MODULE" in found):
        raise SigningError("set either KVX_SIGN_PKCS12 or KVX_SIGN_PKCS11_MODULE (found: %s)" % ", ".join(found))
    needed = ("KVX_SIGN_KEY_ID", "KVX_SIGN_CERTS") if "KVX_SIGN_PKCS11_MODULE" in found else ()
    stray = ("KVX_SIGN_KEY_ID", "KVX_SIGN_CERTS") if "KVX_SIGN_PKCS12" in found else ()
    missing = [name for name in needed if name not in found]
    if missing:
        raise SigningError("KVX_SIGN_PKCS11_MODULE needs " + " and ".join(missing))
    unused = [name for name in stray if name in found]
    if unused:
        raise SigningError("KVX_SIGN_PKCS12 holds the key and the chain: unset " + " and ".join(unused))
    for name in FILES:
        value = found.get(name)
        if value and not value.startswith("pkcs11:") and not Path(value).is_file():
            raise SigningError("%s: no such file: %s" % (name, value))
    return found


def sign_command(s, src, dst):
    cmd = [TOOL, "sign"]
    if "KVX_SIGN_PKCS12" in s:
        cmd += ["-pkcs12", s["KVX_SIGN_PKCS12"]]
    else:
        certs = s["KVX_SIGN_CERTS"]
        cmd += ["-pkcs11module", s["KVX_SIGN_PKCS11_MODULE"], "-key", s["KVX_SIGN_KEY_ID"],
                "-pkcs11cert" if certs.startswith("pkcs11:") else "-certs", certs]
    if "KVX_SIGN_PASSWORD_FILE" in s:
        cmd += ["-readpass", s["KVX_SIGN_PASSWORD_FILE"]]  # never on the command line
    cmd += ["-h", "sha256"]
    if "KVX_SIGN_TIMESTAMP_URL" in s:
        cmd += ["-ts", s["KVX_SIGN_TIMESTAMP_URL"]]
    return cmd + ["-in", str(src), "-out", str(dst)]


def verify_command(s, path):
    cmd = [TOOL, "verify"]
    if "KVX_SIGN_CAFILE" in s:
        cmd += ["-CAfile", s["KVX_SIGN_CAFILE"], "-TSA-CAfile", s["KVX_SIGN_CAFILE"]]
    return cmd + ["-in", str(path)]


def _run(cmd, what):
    try:
        p = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=300)
    except FileNotFoundError:
        raise SigningError("%s not found (scripts/install-deps.sh installs it)" % TOOL) from None
    except subprocess.TimeoutExpired:
        raise SigningError("%s did not end within 300 s" % what) from None
    text = p.stdout.decode("utf-8", errors="replace")
    if p.returncode != 0:
        raise SigningError("%s failed (exit code %d):\n%s" % (what, p.returncode, text.rstrip()))
    return text


def sign(s, src, dst):
    """Signs src into dst (a new file) and verifies it; raises SigningError with osslsigncode's words."""
    if os.path.exists(dst):
        os.remove(dst)
    _run(sign_command(s, src, dst), "signing %s" % src)
    report = _run(verify_command(s, dst), "verifying the signature of %s" % dst)
    if "KVX_SIGN_TIMESTAMP_URL" in s and TIMESTAMP_OK not in report:
        raise SigningError("the time stamp of %s did not verify:\n%s" % (dst, report.rstrip()))
    return report
