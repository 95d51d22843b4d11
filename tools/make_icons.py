#!/usr/bin/env python3
"""Draw the program's icons and write them as classic BMP-style .ico files.

    python3 tools/make_icons.py OUTDIR

writes OUTDIR/delicon.ico (16/32/48 px in 16 and 256 colours) and
OUTDIR/kvxicon.ico (the same minus the 16 px 16-colour image).

Images are stored as BITMAPINFOHEADER + palette + XOR bitmap + AND mask,
never PNG, so Windows 95/98 and NT4 can load them.  Everything is drawn
from plain geometry, so the output is byte-for-byte reproducible.
"""

import os
import struct
import sys

# The standard 16-colour VGA palette; 4-bit images may only use these.
BLACK = (0, 0, 0)
MAROON = (128, 0, 0)
GREEN = (0, 128, 0)
OLIVE = (128, 128, 0)
NAVY = (0, 0, 128)
PURPLE = (128, 0, 128)
TEAL = (0, 128, 128)
SILVER = (192, 192, 192)
GREY = (128, 128, 128)
RED = (255, 0, 0)
LIME = (0, 255, 0)
YELLOW = (255, 255, 0)
BLUE = (0, 0, 255)
FUCHSIA = (255, 0, 255)
AQUA = (0, 255, 255)
WHITE = (255, 255, 255)

VGA16 = [BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER,
         GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE]

# Artwork is laid out on a 16x16 design grid and scaled to each size.
GRID = 16.0


class Canvas:
    """A square RGB pixel grid; None marks a transparent pixel."""

    def __init__(self, size):
        self.size = size
        self.scale = size / GRID
        self.px = [[None] * size for _ in range(size)]

    # -- masks: sets of (x, y) pixel coordinates ---------------------------

    def poly_mask(self, points):
        """Pixels whose centre lies inside the polygon (design units)."""
        pts = [(x * self.scale, y * self.scale) for x, y in points]
        n = len(pts)
        mask = set()
        for y in range(self.size):
            cy = y + 0.5
            # Even-odd scanline crossings, then fill between pairs.
            xs = []
            for i in range(n):
                x0, y0 = pts[i]
                x1, y1 = pts[(i + 1) % n]
                if (y0 <= cy < y1) or (y1 <= cy < y0):
                    xs.append(x0 + (cy - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(self.size):
                    if a <= x + 0.5 < b:
                        mask.add((x, y))
        return mask

    def rect_mask(self, x0, y0, x1, y1):
        return self.poly_mask([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])

    def stroke_mask(self, p0, p1, width):
        """A straight stroke of the given width (design units), square ends."""
        (x0, y0), (x1, y1) = p0, p1
        dx, dy = x1 - x0, y1 - y0
        length = (dx * dx + dy * dy) ** 0.5
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        return self.poly_mask([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny),
                               (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)])

    def dilate(self, mask, steps=1, diagonal=True):
        if diagonal:
            near = [(dx, dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)]
        else:
            near = [(0, 0), (1, 0), (-1, 0), (0, 1), (0, -1)]
        for _ in range(steps):
            grown = set()
            for x, y in mask:
                for dx, dy in near:
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < self.size and 0 <= ny < self.size:
                        grown.add((nx, ny))
            mask = grown
        return mask

    @staticmethod
    def edge(mask):
        """Pixels of the mask that touch (4-way) something outside it."""
        return {(x, y) for x, y in mask
                if any((x + dx, y + dy) not in mask
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))}

    # -- painting ----------------------------------------------------------

    def paint(self, mask, colour):
        """colour is an RGB tuple or a function (x, y) -> RGB in pixels."""
        for x, y in mask:
            self.px[y][x] = colour(x, y) if callable(colour) else colour

    def pixel(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = colour


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def gradient(c, top, bottom, y0, y1, steps=6):
    """Vertical ramp over design rows y0..y1, quantised so the 256-colour
    palette stays small."""
    def f(x, y):
        span = max(1e-6, (y1 - y0) * c.scale)
        t = min(1.0, max(0.0, (y + 0.5 - y0 * c.scale) / span))
        return mix(top, bottom, round(t * (steps - 1)) / (steps - 1))
    return f


# -- artwork ---------------------------------------------------------------

def draw_box(c, front, top, side, x0, y0, x1, y1, depth):
    """A box in oblique view: front face (x0,y0)-(x1,y1), with top and
    side receding up and to the right by depth.  Returns the silhouette."""
    d = depth
    m_front = c.rect_mask(x0, y0, x1, y1)
    m_top = c.poly_mask([(x0, y0), (x0 + d, y0 - d), (x1 + d, y0 - d),
                         (x1, y0)])
    m_side = c.poly_mask([(x1, y0), (x1 + d, y0 - d), (x1 + d, y1 - d),
                          (x1, y1)])
    c.paint(m_top, top)
    c.paint(m_side, side)
    c.paint(m_front, front)
    return m_front | m_top | m_side


def draw_outline(c, mask, colour):
    c.paint(Canvas.edge(mask), colour)


def draw_cross(c, hi, x0, y0, x1, y1, width):
    """A bold red removal cross in the corner box (design units), with a
    light halo so it reads over the artwork behind it."""
    if c.size <= 16:
        # Hand-placed 3-pixel diagonals: a scaled polygon turns to mush here.
        px0, py1 = int(x0 * c.scale), int(y1 * c.scale)
        cols = int(x1 * c.scale) - px0
        rows = cols - 2
        cross = set()
        for i in range(rows):
            y = py1 - rows + i
            for k in (0, 1, 2):
                cross.add((px0 + i + k, y))
                cross.add((px0 + cols - 1 - i - k, y))
    else:
        m = width * 0.36
        a, b, e, f = x0 + m, y0 + m, x1 - m, y1 - m
        cross = (c.stroke_mask((a, b), (e, f), width) |
                 c.stroke_mask((a, f), (e, b), width))
    # At 16 px a 4-way halo breaks into dots along the diagonals.
    c.paint(c.dilate(cross, 1, diagonal=c.size <= 16) - cross, WHITE)
    if hi:
        c.paint(cross, gradient(c, (255, 80, 64), (192, 0, 0), y0, y1))
    else:
        c.paint(cross, RED)
    if c.size > 16:
        c.paint(Canvas.edge(cross), (150, 0, 0) if hi else MAROON)


def draw_delicon(c, hi):
    """Packed parcel with a removal cross.  hi: 256-colour version."""
    s = c.size
    if hi:
        front = gradient(c, (214, 168, 96), (150, 104, 48), 5, 15)
        top = (240, 208, 150)
        side = gradient(c, (160, 112, 56), (112, 72, 32), 2, 15)
        strap, strap_dark = (96, 64, 40), (64, 40, 24)
        outline = (48, 32, 16)
    else:
        front, top, side = OLIVE, YELLOW, GREY
        strap, strap_dark = BLACK, BLACK
        outline = BLACK
    box = draw_box(c, front, top, side, 0, 5, 12, 16, 4)
    # Tape across the lid and down the front: reads as a packed parcel.
    c.paint(c.poly_mask([(4.5, 5), (8.5, 1), (10.5, 1), (6.5, 5)]) & box,
            strap)
    c.paint(c.rect_mask(4.5, 5, 6.5, 16) & box, strap)
    if s >= 32:
        # The line where lid meets front.
        c.paint(c.rect_mask(0, 5, 12, 5 + 1.0 / c.scale), strap_dark)
    draw_outline(c, box, outline)
    draw_cross(c, hi, 7 if s <= 16 else 8, 8, 16, 16, 2.25)


def draw_k(c, x0, y0, x1, y1, colour, shade):
    """A heavy sans-serif K filling the box (design units)."""
    if c.size <= 16:
        # Pixel-placed glyph; geometry at this size loses the diagonals.
        m = {(int(x0) + x, int(y0) + y)
             for y, line in enumerate(K16) for x, ch in enumerate(line)
             if ch == "#"}
    else:
        m = k_mask(c, x0, y0, x1, y1)
    ring = c.dilate(m, 1, diagonal=c.size >= 32) - m
    c.paint(ring, shade)
    c.paint(m, colour)
    return m


K16 = ["##..##",
       "##.##.",
       "####..",
       "###...",
       "####..",
       "##.##.",
       "##..##"]


def k_mask(c, x0, y0, x1, y1):
    w, h = x1 - x0, y1 - y0
    stem = 0.36 * w
    mid = y0 + h * 0.55
    m = c.rect_mask(x0, y0, x0 + stem, y1)
    m |= c.poly_mask([(x0 + stem, mid - 0.22 * h), (x1 - 0.36 * w, y0),
                      (x1, y0), (x0 + stem + 0.16 * w, mid + 0.05 * h),
                      (x0 + stem, mid + 0.18 * h)])
    m |= c.poly_mask([(x0 + stem + 0.05 * w, mid - 0.12 * h),
                      (x0 + stem + 0.28 * w, mid - 0.30 * h),
                      (x1, y1), (x1 - 0.38 * w, y1)])
    return m


def draw_kvxicon(c, hi):
    """Archive box with a bold K; its side shows the packed layers."""
    s = c.size
    if hi:
        layers = [((232, 72, 56), (150, 24, 16)),
                  ((72, 184, 72), (24, 110, 32)),
                  ((80, 136, 232), (24, 64, 160))]
        front = gradient(c, (40, 80, 190), (10, 30, 110), 5, 16)
        top = (120, 160, 240)
        side = (8, 20, 80)                  # hidden under the layers
        outline = (0, 0, 48)
        k_fill = gradient(c, (255, 240, 120), (232, 168, 0), 6.5, 14)
        k_shade = (0, 0, 40)
    else:
        layers = [(RED, MAROON), (LIME, GREEN), (AQUA, TEAL)]
        front, top, side = BLUE, AQUA, NAVY
        outline = BLACK
        k_fill, k_shade = YELLOW, BLACK
    box = draw_box(c, front, top, side, 0, 5, 12, 16, 4)
    # The side of the box shows the squeezed layers of an archive.
    n = len(layers)
    for i, (light, dark) in enumerate(layers):
        ya = 5 + i * 11.0 / n
        yb = 5 + (i + 1) * 11.0 / n
        band = c.poly_mask([(12, ya), (16, ya - 4), (16, yb - 4), (12, yb)])
        c.paint(band & box, dark)
        if s >= 32:
            # Thin light line on top of each layer.
            hl = c.poly_mask([(12, ya), (16, ya - 4),
                              (16, ya - 4 + 1.2 / c.scale),
                              (12, ya + 1.2 / c.scale)])
            c.paint(hl & box, light)
        elif i % 2 == 0:
            c.paint(band & box, light)
    if s >= 32:
        c.paint(c.rect_mask(0, 5, 12, 5 + 1.0 / c.scale), outline)
    draw_outline(c, box, outline)
    if s <= 16:
        draw_k(c, 3, 7, 9, 14, k_fill, k_shade)
    else:
        draw_k(c, 2.5, 7, 9.5, 14, k_fill, k_shade)


# -- ICO writing -----------------------------------------------------------

def render(draw, size, bpp):
    c = Canvas(size)
    draw(c, bpp == 8)
    return c.px


def build_palette(pixels, bpp):
    """VGA colours first (nearest match for anything drawn outside the
    standard set in 16 colours), then the image's extra colours."""
    palette = list(VGA16)
    used = sorted({p for row in pixels for p in row if p is not None})
    if bpp == 4:
        stray = [p for p in used if p not in VGA16]
        if stray:
            raise ValueError("non-VGA colours in 16-colour image: %r" % stray)
    else:
        palette += [p for p in used if p not in VGA16]
        if len(palette) > 256:
            raise ValueError("too many colours: %d" % len(palette))
    if bpp == 4:
        palette += [BLACK] * ((1 << bpp) - len(palette))
    # An 8-bit image carries only the colours it uses (biClrUsed): a full 256-entry table would
    # cost the program a kilobyte per image.
    return palette


def row_bytes(bits):
    return ((bits + 31) // 32) * 4


def encode_image(pixels, bpp):
    size = len(pixels)
    palette = build_palette(pixels, bpp)
    index = {}
    for i, p in enumerate(palette):
        index.setdefault(p, i)

    xor_stride = row_bytes(size * bpp)
    and_stride = row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):           # DIBs are stored bottom-up
        xr = bytearray(xor_stride)
        ar = bytearray(and_stride)
        for x, p in enumerate(row):
            if p is None:
                ar[x >> 3] |= 0x80 >> (x & 7)   # screen shows through
                i = 0                           # and XOR with black
            else:
                i = index[p]
            if bpp == 8:
                xr[x] = i
            else:
                xr[x >> 1] |= i << (4 if x % 2 == 0 else 0)
        xor += xr
        mask += ar

    used = len(palette) if bpp == 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, used, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + pal + bytes(xor) + bytes(mask)


def build_ico(images):
    """images: list of (size, bpp, dib bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, bpp, dib in images:
        colours = (1 << bpp) if bpp < 8 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0,
                           1, bpp, len(dib), offset)
        offset += len(dib)
        blobs.append(dib)
    return out + b"".join(blobs)


ICONS = {
    "delicon.ico": (draw_delicon,
                    [(16, 4), (32, 4), (48, 4), (16, 8), (32, 8), (48, 8)]),
    "kvxicon.ico": (draw_kvxicon,
                    [(32, 4), (48, 4), (16, 8), (32, 8), (48, 8)]),
}


def make_icon(name):
    draw, formats = ICONS[name]
    return build_ico([(size, bpp, encode_image(render(draw, size, bpp), bpp))
                      for size, bpp in formats])


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: %s OUTDIR\n" % argv[0])
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name in sorted(ICONS):
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(make_icon(name))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
