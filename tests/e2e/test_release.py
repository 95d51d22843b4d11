"""End to end: the release package (tools/release/make_release.py, what scripts/release.sh runs).

The package is made from the tree's Uninstall.exe twice (same bytes), its sums are checked, then it
is unpacked into the installation folder of a fresh Wine prefix as an installer would (with the
archiver's stand-ins and an Uninstall.lst naming every file), set up silently and removed silently
from there: what the setup wrote goes, and so does the folder. Signed, with a throwaway CA, a
code-signing certificate (in a PKCS#12 file and on a SoftHSM token) and a time-stamp authority on
127.0.0.1, all made here with openssl: the signature verifies, breaks with one byte, comes off without
a trace, and the signed program runs; a signing that fails leaves no package. Run by ctest
(tests/e2e/CMakeLists.txt).
"""
import hashlib
import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tools" / "driver"))
sys.path.insert(0, str(HERE.parents[1] / "tools" / "release"))
sys.path.insert(0, str(HERE))
import authenticode  # noqa: E402
import fixtures as F  # noqa: E402
import make_release  # noqa: E402
import pe_version  # noqa: E402
import rig as R  # noqa: E402
import rigs  # noqa: E402

CONTENTS = ["README-admin.txt", "SHA256SUMS", "Uninstall.exe", "lang/english/uninstall.lng",
            "lngkit/README.md", "lngkit/lngkit.py"]
FOLDER = "C:\\Programmi\\Korvex"


def parse_sums(data):
    return {line.split("  ", 1)[1]: line.split("  ", 1)[0] for line in data.decode("ascii").splitlines()}


class ReleasePackage(rigs.RemovalRig):
    NAME = "release"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.version = (Path(F.BUILD) / "version.txt").read_text().strip()
        cls.out = [cls.rig.files / "package-a", cls.rig.files / "package-b"]
        cls.zips = [make_release.make(F.EXE, cls.version, out, 1262304000) for out in cls.out]

    def test_1_package_contents_sums_and_reproducibility(self):
        zip_a, zip_b = self.zips
        self.assertEqual(zip_a.name, "korvex-uninstall-%s.zip" % self.version)
        self.assertEqual(zip_a.read_bytes(), zip_b.read_bytes(), "same inputs, different zips")
        self.assertEqual(parse_sums((self.out[0] / "SHA256SUMS").read_bytes()),
                         {zip_a.name: hashlib.sha256(zip_a.read_bytes()).hexdigest()})
        with zipfile.ZipFile(zip_a) as z:
            self.assertEqual(z.namelist(), CONTENTS)
            self.assertEqual({i.date_time for i in z.infolist()}, {(2010, 1, 1, 0, 0, 0)})
            files = {name: z.read(name) for name in z.namelist()}
        inner = parse_sums(files["SHA256SUMS"])
        self.assertEqual(sorted(inner), sorted(set(CONTENTS) - {"SHA256SUMS"}))
        for name, digest in inner.items():
            self.assertEqual(hashlib.sha256(files[name]).hexdigest(), digest, name)
        self.assertEqual(files["Uninstall.exe"], Path(F.EXE).read_bytes())
        self.assertEqual(pe_version.problems(pe_version.read(F.EXE), self.version, "Uninstall.exe"), [])
        admin = files["README-admin.txt"].decode("cp1252")
        self.assertIn("Uninstall.exe %s" % self.version, admin)
        self.assertNotIn("\n", admin.replace("\r\n", ""), "lines end in CRLF")
        for needed in ("/setup /s", "/remove /s", "docs/administrators.md"):
            self.assertIn(needed, admin)

    def test_2_unpacked_setup_and_silent_removal(self):
        inst = self.rig.linuxpath(FOLDER)
        inst.mkdir(parents=True)
        with zipfile.ZipFile(self.zips[0]) as z:
            z.extractall(inst)
        # The installer's part: the archiver and its shell extension, and the list of what it put there.
        shutil.copy(F.STUB, inst / "Korvex.exe")
        (inst / "kvxext.dll").write_bytes(b"MZ not a real library")
        listing = [name.replace("/", "\\") for name in CONTENTS] + ["lngkit", "lang\\english", "lang",
                                                                      "Korvex.exe", "kvxext.dll"]
        (inst / "Uninstall.lst").write_bytes(("\r\n".join(listing) + "\r\n").encode("cp1252"))
        for name, digest in parse_sums((inst / "SHA256SUMS").read_bytes()).items():
            self.assertEqual(hashlib.sha256((inst / name).read_bytes()).hexdigest(), digest, name)

        program = FOLDER + "\\Uninstall.exe"
        self.setup(FOLDER, program)
        reg = self.registry()
        self.assertEqual(reg.get(F.UNINSTALL_KEY, "QuietUninstallString"), '"%s" /remove /s' % program)  # always quoted
        self.assertEqual(reg.get("HKCR\\.zip"), "Korvex.ZIP")
        self.assertEqual(reg.get("HKCR\\CLSID\\" + F.CLSID + "\\InProcServer32"), FOLDER + "\\kvxext.dll")
        self.assertTrue(self.links[2].exists(), "program group")

        rec = self.rig.run_script(["starthex " + R.hexarg(reg.get(F.UNINSTALL_KEY, "QuietUninstallString")),
                                   "wait-exit 60000"], timeout=180).exit()
        self.assertEqual((rec.int("code"), rec.int("windows")), (0, 0))
        self.wait_until(lambda: not inst.exists(), "installation folder gone", timeout=60)
        self.wait_until(lambda: not self.batches(), "batch file gone")
        self.expect_integration_gone()


# --- signed ----------------------------------------------------------------------------------------

SOFTHSM_MODULE = Path("/usr/lib/softhsm/libsofthsm2.so")
VERIFIED = "Signature verification: ok"


def openssl(folder, *args):
    subprocess.run(["openssl"] + list(args), cwd=folder, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)


def make_pki(folder):
    """Two roots (code signing, time stamps), a code-signing certificate (PEM key, PKCS#12 with a
    password) and a time-stamp authority with its openssl ts configuration."""
    folder.mkdir(parents=True)

    def root(name, cn):
        openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out",
                name + ".pem", "-days", "2", "-subj", "/CN=" + cn, "-addext", "basicConstraints=critical,CA:true",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def leaf(name, cn, issuer, usage):
        (folder / (name + ".ext")).write_text("basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\n"
                                              "extendedKeyUsage=" + usage + "\n")
        openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
                "-subj", "/CN=" + cn)
        openssl(folder, "x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
                "-set_serial", "0x" + os.urandom(8).hex(), "-days", "1", "-extfile", name + ".ext",
                "-out", name + ".pem")

    root("ca", "Korvex Test Code Signing Root")
    root("tsaroot", "Korvex Test Time Stamp Root")
    leaf("signer", "Korvex Test Signer", "ca", "codeSigning")
    leaf("tsa", "Korvex Test Time Stamp Authority", "tsaroot", "critical,timeStamping")
    (folder / "pass.txt").write_text("correct horse\n")
    (folder / "wrong.txt").write_text("battery staple\n")
    openssl(folder, "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile", "ca.pem",
            "-passout", "file:pass.txt", "-out", "signer.p12")
    (folder / "roots.pem").write_bytes((folder / "ca.pem").read_bytes() + (folder / "tsaroot.pem").read_bytes())
    (folder / "tsa.cnf").write_text("[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = %s\n"
                                    "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                                    "digests = sha256, sha384, sha512, sha1\naccuracy = secs:1\n"
                                    "ess_cert_id_alg = sha256\n" % (folder / "tsaserial"))
    return folder


class TimeStampServer(http.server.ThreadingHTTPServer):
    """An RFC 3161 responder on 127.0.0.1: each POSTed query goes through `openssl ts -reply`."""

    def __init__(self, pki):
        self.pki = pki
        self.replies = 0
        self.lock = threading.Lock()
        super().__init__(("127.0.0.1", 0), TimeStampHandler)
        self.url = "http://127.0.0.1:%d/" % self.server_address[1]
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def stop(self):
        self.shutdown()
        self.server_close()


class TimeStampHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        pki = self.server.pki
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory(dir=pki) as tmp, self.server.lock:  # one serial file
            (Path(tmp) / "query.tsq").write_bytes(query)
            p = subprocess.run(["openssl", "ts", "-reply", "-config", "tsa.cnf", "-section", "tsa_config",
                                "-queryfile", str(Path(tmp) / "query.tsq"), "-inkey", "tsa.key", "-signer",
                                "tsa.pem", "-chain", "tsaroot.pem"], cwd=pki, stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=60)
        if p.returncode != 0 or not p.stdout:
            self.send_error(500, p.stderr.decode(errors="replace")[:200])
            return
        self.server.replies += 1
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(p.stdout)))
        self.end_headers()
        self.wfile.write(p.stdout)

    def log_message(self, *args):
        pass


def osslsigncode(*args):
    return subprocess.run(["osslsigncode"] + [str(a) for a in args], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)


class SignedRelease(unittest.TestCase):
    """The package made as scripts/release.sh makes it (make_release.py with KVX_SIGN_* set)."""
    @classmethod
    def setUpClass(cls):
        F.skip_unless_set(F.REMOVAL_NEEDED)
        missing = [tool for tool in ("osslsigncode", "openssl") if not shutil.which(tool)]
        if missing:
            raise unittest.SkipTest("not installed: %s (scripts/install-deps.sh)" % ", ".join(missing))
        cls.version = (Path(F.BUILD) / "version.txt").read_text().strip()
        cls.unsigned = Path(F.EXE).read_bytes()
        cls.rig = R.Rig(F.BUILD, "release-signed")
        cls.addClassCleanup(cls.rig.stop)  # also when this set-up fails
        cls.rig.fresh()
        cls.pki = make_pki(cls.rig.files / "pki")
        cls.tsa = TimeStampServer(cls.pki)
        cls.addClassCleanup(cls.tsa.stop)
        cls.made = cls.release("signed", KVX_SIGN_PKCS12="signer.p12", KVX_SIGN_PASSWORD_FILE="pass.txt",
                               KVX_SIGN_TIMESTAMP_URL=cls.tsa.url, KVX_SIGN_CAFILE="roots.pem")
        if cls.made.returncode != 0:
            raise AssertionError("the signed release failed:\n" + cls.made.stdout + cls.made.stderr)
        with zipfile.ZipFile(cls.made.out / ("korvex-uninstall-%s.zip" % cls.version)) as z:
            cls.signed = z.read("Uninstall.exe")

    @classmethod
    def release(cls, name, env=None, **signing):
        """make_release.py run with these KVX_SIGN_* (files named relative to the PKI) into OUT=name."""
        env = dict({k: v for k, v in os.environ.items() if not k.startswith("KVX_SIGN_")}, **(env or {}))
        env["no_proxy"] = env["NO_PROXY"] = "127.0.0.1"
        for key, value in signing.items():
            env[key] = value if "://" in value or value.startswith("pkcs11:") else str(cls.pki / value)
        out = cls.rig.files / name
        p = subprocess.run([sys.executable, str(HERE.parents[1] / "tools/release/make_release.py"), "--exe", F.EXE,
                            "--version", cls.version, "--out", str(out), "--date", "1262304000"], env=env,
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
        p.out = out
        return p

    def program(self, made):
        """The program in the package made (which must have been)."""
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        with zipfile.ZipFile(made.out / ("korvex-uninstall-%s.zip" % self.version)) as z:
            return z.read("Uninstall.exe")

    def verify(self, data, *args):
        path = self.rig.files / "verify.exe"
        path.write_bytes(data)
        return osslsigncode("verify", *args, "-in", path)

    def test_1_signed_package_verifies_with_its_time_stamp_and_sums(self):
        made = self.made
        self.assertIn("Uninstall.exe %d bytes unsigned" % len(self.unsigned), made.stdout)
        self.assertIn("time stamp from " + self.tsa.url, made.stdout)
        self.assertEqual(Path(F.EXE).read_bytes(), self.unsigned, "the build tree's program was changed")
        self.assertEqual(sorted(p.name for p in made.out.iterdir()),
                         sorted(["SHA256SUMS", "korvex-uninstall-%s.zip" % self.version]), "a signing leftover")
        self.assertTrue(self.signed != self.unsigned, "the package holds the unsigned program")
        self.assertGreaterEqual(self.tsa.replies, 1)

        v = self.verify(self.signed, "-CAfile", self.pki / "roots.pem", "-TSA-CAfile", self.pki / "roots.pem")
        report = v.stdout.decode(errors="replace")
        self.assertEqual(v.returncode, 0, report)
        for line in (VERIFIED, authenticode.TIMESTAMP_OK, "SHA256", "Korvex Test Signer"):
            self.assertIn(line, report)
        untrusted = self.verify(self.signed)  # the system's roots do not know the throwaway CA
        self.assertNotEqual(untrusted.returncode, 0, untrusted.stdout)

        zip_path = made.out / ("korvex-uninstall-%s.zip" % self.version)
        self.assertEqual(parse_sums((made.out / "SHA256SUMS").read_bytes()),
                         {zip_path.name: hashlib.sha256(zip_path.read_bytes()).hexdigest()})
        with zipfile.ZipFile(zip_path) as z:
            self.assertEqual(z.namelist(), CONTENTS)
            inner = parse_sums(z.read("SHA256SUMS"))
        self.assertEqual(inner["Uninstall.exe"], hashlib.sha256(self.signed).hexdigest())
        signed_path = self.rig.files / "Uninstall-signed.exe"
        signed_path.write_bytes(self.signed)
        self.assertEqual(pe_version.problems(pe_version.read(signed_path), self.version, "Uninstall.exe"), [])

    def test_2_one_byte_breaks_it_and_removal_gives_the_program_back(self):
        roots = self.pki / "roots.pem"
        broken = bytearray(self.signed)
        broken[len(self.unsigned) // 2] ^= 0x01  # section data, well inside the hashed image
        v = self.verify(bytes(broken), "-CAfile", roots, "-TSA-CAfile", roots)
        self.assertNotEqual(v.returncode, 0, v.stdout)
        self.assertNotIn(VERIFIED, v.stdout.decode(errors="replace"))

        signed = self.rig.files / "removal-in.exe"
        signed.write_bytes(self.signed)
        bare = self.rig.files / "removal-out.exe"
        r = osslsigncode("remove-signature", "-in", signed, "-out", bare)
        self.assertEqual(r.returncode, 0, r.stdout)
        self.assertTrue(bare.read_bytes() == self.unsigned, "remove-signature did not give the unsigned bytes back")

    def test_3_signed_program_runs_under_wine(self):
        folder = self.rig.drive_c / "Korvex"
        folder.mkdir()
        (folder / "Uninstall.exe").write_bytes(self.signed)
        exe = "C:\\Korvex\\Uninstall.exe"
        # An unknown option ends at once with 0; a silent removal without Uninstall.lst ends with 2.
        res = self.rig.run_script([R.run(30000, exe, "/x"), R.run(30000, exe, "/remove", "/s")], timeout=180)
        exits = res.all("exit")
        self.assertEqual([(e.int("code"), e.int("windows")) for e in exits], [(0, 0), (2, 0)], res.stdout)
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["Uninstall.exe"])

    def test_4_a_failed_signing_leaves_no_package(self):
        with socket.socket() as s:  # a port nobody listens on
            s.bind(("127.0.0.1", 0))
            closed = "http://127.0.0.1:%d/" % s.getsockname()[1]
        p12 = {"KVX_SIGN_PKCS12": "signer.p12", "KVX_SIGN_PASSWORD_FILE": "pass.txt"}
        cases = {
            "wrong password": (dict(p12, KVX_SIGN_PASSWORD_FILE="wrong.txt", KVX_SIGN_CAFILE="roots.pem"),
                               "signing failed"),
            "no time-stamp server": (dict(p12, KVX_SIGN_TIMESTAMP_URL=closed, KVX_SIGN_CAFILE="roots.pem"),
                                     "signing failed"),
            "untrusted signer": (dict(p12, KVX_SIGN_CAFILE="tsaroot.pem"), "verifying the signature"),
            # The signature verifies, the time stamp's root is unknown: osslsigncode 2.9 calls that a success.
            "untrusted time stamp": (dict(p12, KVX_SIGN_TIMESTAMP_URL=self.tsa.url, KVX_SIGN_CAFILE="ca.pem"),
                                     "signing failed"),
            "token without its key": ({"KVX_SIGN_PKCS11_MODULE": "ca.pem", "KVX_SIGN_CERTS": "signer.pem"},
                                      "KVX_SIGN_PKCS11_MODULE needs KVX_SIGN_KEY_ID"),
        }
        for number, (name, (signing, message)) in enumerate(cases.items()):
            with self.subTest(name):
                made = self.release("failed-%d" % number, **signing)
                self.assertNotEqual(made.returncode, 0, made.stdout)
                self.assertIn("not released", made.stderr)
                self.assertIn(message, made.stderr)
                self.assertEqual(list(made.out.iterdir()) if made.out.exists() else [], [])

    def test_5_signed_through_a_pkcs11_token(self):
        if not (shutil.which("softhsm2-util") and SOFTHSM_MODULE.exists()):
            self.skipTest("softhsm2 not installed (scripts/install-deps.sh)")
        tokens = self.pki / "tokens"
        tokens.mkdir()
        conf = self.pki / "softhsm2.conf"
        conf.write_text("directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n" % tokens)
        env = dict(os.environ, SOFTHSM2_CONF=str(conf))
        (self.pki / "pin.txt").write_text("4711\n")
        openssl(self.pki, "pkcs8", "-topk8", "-nocrypt", "-in", "signer.key", "-out", "signer.p8")
        for args in (["--init-token", "--free", "--label", "kvx", "--pin", "4711", "--so-pin", "0815"],
                     ["--import", "signer.p8", "--token", "kvx", "--label", "signer", "--id", "01", "--pin", "4711"]):
            subprocess.run(["softhsm2-util"] + args, cwd=self.pki, env=env, check=True, capture_output=True, timeout=60)
        made = self.release("token", env={"SOFTHSM2_CONF": str(conf)}, KVX_SIGN_PKCS11_MODULE=str(SOFTHSM_MODULE),
                            KVX_SIGN_KEY_ID="pkcs11:token=kvx;object=signer;type=private",
                            KVX_SIGN_CERTS="signer.pem", KVX_SIGN_PASSWORD_FILE="pin.txt", KVX_SIGN_CAFILE="ca.pem")
        signed = self.program(made)
        v = self.verify(signed, "-CAfile", self.pki / "ca.pem")
        self.assertEqual(v.returncode, 0, v.stdout)
        self.assertIn("Korvex Test Signer", v.stdout.decode(errors="replace"))


if __name__ == "__main__":
    unittest.main()
