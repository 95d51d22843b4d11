"""Checks the .ico files written by tools/make_icons.py.

The files are parsed here from scratch rather than through the generator's
own code, so a mistake in its writer cannot hide behind the same mistake
in a shared reader.
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))))
SCRIPT = os.path.join(REPO, "tools", "make_icons.py")

VGA16 = {(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128),
         (128, 0, 128), (0, 128, 128), (192, 192, 192), (128, 128, 128),
         (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)}

EXPECTED = {
    "delicon.ico": [(16, 4), (32, 4), (48, 4), (16, 8), (32, 8), (48, 8)],
    "kvxicon.ico": [(32, 4), (48, 4), (16, 8), (32, 8), (48, 8)],
}


def run_generator(outdir, hash_seed="0"):
    env = dict(os.environ, PYTHONHASHSEED=hash_seed)
    return subprocess.run([sys.executable, SCRIPT, outdir],
                          capture_output=True, text=True, env=env)


def stride(bits):
    return (bits + 31) // 32 * 4


def parse_ico(data):
    """Return (entries, images).  Each image carries its header fields and
    rows of (colour, index), colour being None where the AND mask lets the
    screen through; rows are top-down."""
    assert struct.unpack_from("<HH", data) == (0, 1)
    entries = []
    for i in range(struct.unpack_from("<H", data, 4)[0]):
        keys = ("w", "h", "colours", "res", "planes", "bpp", "nbytes",
                "offset")
        entries.append(dict(zip(keys, struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i))))
    images = []
    for e in entries:
        blob = data[e["offset"]:e["offset"] + e["nbytes"]]
        keys = ("hsize", "width", "height", "planes", "bpp", "compression",
                "size_image", "xppm", "yppm", "used", "important")
        img = dict(zip(keys, struct.unpack_from("<IiiHHIIiiII", blob)))
        w, bpp = img["width"], img["bpp"]
        ncolours = img["used"] or (1 << bpp)
        pal = [tuple(blob[40 + 4 * k:43 + 4 * k][::-1])
               for k in range(ncolours)]
        xor_at = 40 + 4 * ncolours
        xstride, astride = stride(w * bpp), stride(w)
        and_at = xor_at + xstride * w
        rows = []
        for y in reversed(range(w)):                # stored bottom-up
            xrow = blob[xor_at + y * xstride:]
            arow = blob[and_at + y * astride:]
            row = []
            for x in range(w):
                idx = xrow[x] if bpp == 8 else \
                    (xrow[x // 2] >> (0 if x % 2 else 4)) & 15
                clear = arow[x // 8] & (0x80 >> (x % 8))
                row.append((None if clear else pal[idx], idx))
            rows.append(row)
        img.update(palette=pal, rows=rows, end=and_at + astride * w)
        images.append(img)
    return entries, images


class IconFilesTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        result = run_generator(cls.tmp.name)
        if result.returncode != 0:
            raise RuntimeError("make_icons.py failed: " + result.stderr)
        cls.parsed = {}
        for name in EXPECTED:
            with open(os.path.join(cls.tmp.name, name), "rb") as f:
                data = f.read()
            cls.parsed[name] = (len(data),) + parse_ico(data)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def all_images(self):
        return [("%s[%d]" % (name, i), entries[i], img)
                for name, (_, entries, images) in self.parsed.items()
                for i, img in enumerate(images)]

    def test_directory_and_layout(self):
        for name, (length, entries, images) in self.parsed.items():
            with self.subTest(name):
                self.assertEqual([(e["w"], e["bpp"]) for e in entries],
                                 EXPECTED[name])
                # Images follow the directory back to back, up to EOF.
                pos = 6 + 16 * len(entries)
                for e, img in zip(entries, images):
                    self.assertEqual(e["offset"], pos)
                    self.assertEqual(e["nbytes"], img["end"])
                    pos += e["nbytes"]
                self.assertEqual(pos, length)

    def test_images_are_plain_dibs(self):
        for label, e, img in self.all_images():
            with self.subTest(label):
                w = e["w"]
                self.assertEqual((e["h"], e["planes"], e["res"]), (w, 1, 0))
                # 16-colour entries say so; 256 is written as 0.
                self.assertEqual(e["colours"], 16 if e["bpp"] == 4 else 0)
                self.assertEqual((img["hsize"], img["planes"],
                                  img["compression"]), (40, 1, 0))
                # Height covers XOR and AND bitmaps together.
                self.assertEqual((img["width"], img["height"], img["bpp"]),
                                 (w, 2 * w, e["bpp"]))
                # 16-colour images carry the whole VGA table; 256-colour ones only the
                # colours they use, each pixel indexing inside that table.
                if img["bpp"] == 4:
                    self.assertEqual(len(img["palette"]), 16)
                else:
                    self.assertTrue(16 <= len(img["palette"]) <= 256)
                    self.assertLess(max(i for row in img["rows"] for _, i in row),
                                    len(img["palette"]))
                self.assertIn(img["size_image"],
                              (0, (stride(w * img["bpp"]) + stride(w)) * w))

    def test_masks(self):
        for label, _, img in self.all_images():
            with self.subTest(label):
                flat = [px for row in img["rows"] for px in row]
                opaque = sum(c is not None for c, _ in flat)
                # Mostly drawn, but not a solid square.
                self.assertGreater(opaque, len(flat) // 2)
                self.assertLess(opaque, len(flat))
                # Anything but black under a set AND bit inverts the desktop.
                under = {img["palette"][i] for c, i in flat if c is None}
                self.assertEqual(under, {(0, 0, 0)})
                # Both pictures stand on the bottom edge with an empty
                # top-left corner; a DIB written top-down flips that.
                rows = img["rows"]
                self.assertIsNone(rows[0][0][0])
                self.assertIsNotNone(rows[-1][0][0])

    def test_colours_fit_the_depth(self):
        for label, _, img in self.all_images():
            with self.subTest(label):
                used = {c for row in img["rows"] for c, _ in row
                        if c is not None}
                if img["bpp"] == 4:
                    self.assertLessEqual(used, VGA16)
                else:
                    # Otherwise the 16-colour image would do.
                    self.assertTrue(used - VGA16)

    def test_same_silhouette_at_both_depths(self):
        for name, (_, _, images) in self.parsed.items():
            shapes = {}
            for img in images:
                shapes.setdefault(img["width"], []).append(
                    [[c is None for c, _ in row] for row in img["rows"]])
            for size, variants in shapes.items():
                with self.subTest(name=name, size=size):
                    self.assertTrue(all(v == variants[0] for v in variants))


class GeneratorRunTest(unittest.TestCase):

    def test_output_is_deterministic(self):
        with tempfile.TemporaryDirectory() as a, \
                tempfile.TemporaryDirectory() as b:
            # Different hash seeds shake out any set/dict ordering leaks.
            self.assertEqual(run_generator(a, "1").returncode, 0)
            self.assertEqual(run_generator(b, "2").returncode, 0)
            for name in EXPECTED:
                with self.subTest(name):
                    with open(os.path.join(a, name), "rb") as fa, \
                            open(os.path.join(b, name), "rb") as fb:
                        self.assertEqual(fa.read(), fb.read())


if __name__ == "__main__":
    unittest.main()
