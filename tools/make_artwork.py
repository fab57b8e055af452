#!/usr/bin/python3
"""Draws Deckwright's bitmaps and icon into res/ (standard library only).

Run from anywhere: /usr/bin/python3 tools/make_artwork.py
The output is checked in; rerun after changing a picture.
Shapes are drawn 4x4 supersampled so that edges are smooth; the toolbar strips keep a hard
magenta mask (the image lists treat magenta as transparent), so their edge pixels are blended
against the toolbar's light grey instead of magenta.
"""
import math
import os
import struct
import zlib

SS = 4  # subpixels per pixel along each axis
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")

MAGENTA = (255, 0, 255)
ORANGE = (240, 140, 40)
ORANGE_DARK = (196, 96, 16)
ORANGE_LIGHT = (255, 196, 120)


def scaled(n, scale):
    """A 100% size at a scale, rounded as Windows' MulDiv rounds (halves up)."""
    return int(n * scale + 0.5)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Canvas:
    """RGB plus coverage at SS x SS subpixels per pixel. Shapes are given at 100%; with a scale
    the canvas is that many times larger and every shape grows with it."""

    def __init__(self, w, h, scale=1.0):
        self.scale = scale
        self.w, self.h = scaled(w, scale), scaled(h, scale)
        self.W, self.H = self.w * SS, self.h * SS
        self.rgb = [[0.0, 0.0, 0.0] for _ in range(self.W * self.H)]
        self.alpha = [0.0] * (self.W * self.H)

    def _paint(self, x0, y0, x1, y1, inside, color, opacity=1.0):
        unit = SS * self.scale  # subpixels per drawing unit
        X0 = max(0, int(math.floor(x0 * unit)))
        Y0 = max(0, int(math.floor(y0 * unit)))
        X1 = min(self.W, int(math.ceil(x1 * unit)) + 1)
        Y1 = min(self.H, int(math.ceil(y1 * unit)) + 1)
        for Y in range(Y0, Y1):
            y = (Y + 0.5) / unit
            row = Y * self.W
            for X in range(X0, X1):
                x = (X + 0.5) / unit
                if not inside(x, y):
                    continue
                c = color(x, y) if callable(color) else color
                i = row + X
                p = self.rgb[i]
                a = self.alpha[i]
                # "over" compositing with straight colour
                na = opacity + a * (1 - opacity)
                for k in range(3):
                    p[k] = (c[k] * opacity + p[k] * a * (1 - opacity)) / na if na else c[k]
                self.alpha[i] = na

    def fill(self, color):
        self.rect(0, 0, self.w / self.scale, self.h / self.scale, color)

    def rect(self, x0, y0, x1, y1, color, opacity=1.0):
        self._paint(x0, y0, x1, y1, lambda x, y: x0 <= x < x1 and y0 <= y < y1, color, opacity)

    def rrect(self, x0, y0, x1, y1, r, color, opacity=1.0):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

        self._paint(x0, y0, x1, y1, inside, color, opacity)

    def circle(self, cx, cy, r, color, opacity=1.0):
        self._paint(cx - r, cy - r, cx + r, cy + r,
                    lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color, opacity)

    def ring(self, cx, cy, r0, r1, color, opacity=1.0):
        self._paint(cx - r1, cy - r1, cx + r1, cy + r1,
                    lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1, color,
                    opacity)

    def poly(self, pts, color, opacity=1.0):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]

        def inside(x, y):
            c = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c

        self._paint(min(xs), min(ys), max(xs), max(ys), inside, color, opacity)

    def line(self, x0, y0, x1, y1, width, color, opacity=1.0):
        r = width / 2.0
        dx, dy = x1 - x0, y1 - y0
        ll = dx * dx + dy * dy or 1e-9

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
            px, py = x0 + t * dx - x, y0 + t * dy - y
            return px * px + py * py <= r * r

        self._paint(min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r, inside,
                    color, opacity)

    def polyline(self, pts, width, color, opacity=1.0):
        for a, b in zip(pts, pts[1:]):
            self.line(a[0], a[1], b[0], b[1], width, color, opacity)

    def pixels(self, background=None, mask=None):
        """Averages the subpixels. With mask, pixels less than half covered become the mask
        colour and the others are blended against background."""
        out = []
        n = SS * SS
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r = g = b = a = 0.0
                for Y in range(y * SS, y * SS + SS):
                    for X in range(x * SS, x * SS + SS):
                        i = Y * self.W + X
                        al = self.alpha[i]
                        p = self.rgb[i]
                        r += p[0] * al
                        g += p[1] * al
                        b += p[2] * al
                        a += al
                a /= n
                if mask is not None and a < 0.5:
                    row.append(mask)
                    continue
                bg = background or (0, 0, 0)
                cov = a
                col = (r / n + bg[0] * (1 - cov), g / n + bg[1] * (1 - cov),
                       b / n + bg[2] * (1 - cov))
                row.append(tuple(max(0, min(255, int(round(c)))) for c in col))
            out.append(row)
        return out


# ---------------------------------------------------------------- stroke font for the captions
# Letters on a 0..1 wide, 0..1 high box (y down, baseline at 1, x-height at 0.45).
GLYPHS = {
    "N": ([[(0, 1), (0, 0), (0.62, 1), (0.62, 0)]], 0.62),
    "P": ([[(0, 1), (0, 0), (0.36, 0), (0.5, 0.08), (0.54, 0.24), (0.5, 0.4), (0.36, 0.48),
            (0, 0.48)]], 0.56),
    "F": ([[(0.5, 0), (0, 0), (0, 1)], [(0, 0.48), (0.4, 0.48)]], 0.5),
    "e": ([[(0.02, 0.72), (0.46, 0.72), (0.44, 0.56), (0.34, 0.46), (0.18, 0.46), (0.06, 0.55),
            (0.02, 0.72), (0.06, 0.9), (0.2, 1.0), (0.36, 1.0), (0.46, 0.94)]], 0.48),
    "x": ([[(0, 0.45), (0.44, 1)], [(0.44, 0.45), (0, 1)]], 0.44),
    "t": ([[(0.14, 0.12), (0.14, 0.9), (0.22, 1.0), (0.34, 1.0)], [(0, 0.45), (0.32, 0.45)]],
          0.34),
    "r": ([[(0, 1), (0, 0.45)], [(0, 0.62), (0.1, 0.5), (0.24, 0.45), (0.34, 0.46)]], 0.34),
    "v": ([[(0, 0.45), (0.22, 1), (0.44, 0.45)]], 0.44),
    "i": ([[(0, 0.45), (0, 1)], [(0, 0.2), (0, 0.22)]], 0.0),
    "n": ([[(0, 1), (0, 0.45)], [(0, 0.6), (0.1, 0.49), (0.24, 0.45), (0.36, 0.48), (0.42, 0.58),
                                  (0.42, 1)]], 0.42),
    "s": ([[(0.4, 0.5), (0.28, 0.45), (0.12, 0.46), (0.02, 0.55), (0.06, 0.66), (0.36, 0.78),
            (0.42, 0.88), (0.32, 0.99), (0.14, 1.0), (0.0, 0.94)]], 0.42),
    "h": ([[(0, 0), (0, 1)], [(0, 0.6), (0.1, 0.49), (0.24, 0.45), (0.36, 0.48), (0.42, 0.58),
                               (0.42, 1)]], 0.42),
}


def text_width(text, size, stroke):
    return sum(GLYPHS[c][1] * size + stroke + size * 0.16 for c in text) - size * 0.16


def draw_text(cv, text, x, y, size, stroke, color, italic=0.0):
    """Draws text with its top-left at (x, y) and cap height size."""
    pen = x + stroke / 2
    for ch in text:
        strokes, adv = GLYPHS[ch]
        for s in strokes:
            pts = [(pen + px * size + (1 - py) * size * italic, y + py * size) for px, py in s]
            cv.polyline(pts, stroke, color)
        pen += adv * size + stroke + size * 0.16


# ---------------------------------------------------------------- file writers
def write_bmp24(name, px):
    h, w = len(px), len(px[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(px):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(header + info + data)


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def nearest16(c):
    return min(range(16), key=lambda i: sum((c[k] - VGA16[i][k]) ** 2 for k in range(3)))


def dib4(px):
    """Palette and bottom-up 4-bit rows of px."""
    h, w = len(px), len(px[0])
    stride = ((w + 7) // 8) * 4
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA16)
    data = bytearray()
    for row in reversed(px):
        idx = [nearest16(c) for c in row]
        if len(idx) % 2:
            idx.append(0)
        line = bytearray((idx[i] << 4) | idx[i + 1] for i in range(0, len(idx), 2))
        line += b"\0" * (stride - len(line))
        data += line
    return pal, bytes(data)


def write_bmp4(name, px):
    h, w = len(px), len(px[0])
    pal, data = dib4(px)
    off = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", off + len(data), 0, 0, off)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 16)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(header + info + pal + data)


def png(px):
    """An RGBA picture as PNG bytes (what an icon's 256-pixel image is stored as)."""
    h, w = len(px), len(px[0])
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in px)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib32(px):
    """A 32-bit icon image: BGRA rows bottom-up, then an empty AND mask (alpha decides)."""
    h, w = len(px), len(px[0])
    xor = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(px) for p in row)
    andm = bytes(((w + 31) // 32) * 4 * h)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(andm), 0, 0, 0, 0)
    return info + xor + andm


def write_ico(name, images, rgba_images=()):
    """images: 4-bit (pixels, opaque) pairs, opaque[y][x] False for transparent pixels;
    rgba_images: full-colour pictures with alpha, 256 pixels stored as PNG."""
    entries = b""
    blobs = []
    offset = 6 + 16 * (len(images) + len(rgba_images))
    for px in rgba_images:
        size = len(px)
        blob = png(px) if size >= 256 else dib32(px)
        entries_rgba = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), 0)
        blobs.append((entries_rgba, blob))
    four = []
    for px, opaque in images:
        h, w = len(px), len(px[0])
        pal, xor = dib4([[c if opaque[y][x] else (0, 0, 0) for x, c in enumerate(r)]
                         for y, r in enumerate(px)])
        mstride = ((w + 31) // 32) * 4
        andm = bytearray()
        for y in reversed(range(h)):
            line = bytearray(mstride)
            for x in range(w):
                if not opaque[y][x]:
                    line[x // 8] |= 0x80 >> (x % 8)
            andm += line
        info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 4, 0, len(xor) + len(andm), 0, 0,
                           16, 0)
        blob = info + pal + xor + bytes(andm)
        four.append((struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(blob), 0), blob))
    # The 4-bit images first, as they always were; then the larger ones.
    data = b""
    for entry, blob in four + blobs:
        entries += entry[:12] + struct.pack("<I", offset)
        offset += len(blob)
        data += blob
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(four) + len(blobs)) + entries + data)


# ---------------------------------------------------------------- pictures
def vgrad(top, bottom, y0, y1):
    return lambda x, y: mix(top, bottom, max(0.0, min(1.0, (y - y0) / max(1e-9, y1 - y0))))


def page(cv, x, y, w, h, fold, paper=(255, 255, 255), edge=(110, 110, 120)):
    pts = [(x, y), (x + w - fold, y), (x + w, y + fold), (x + w, y + h), (x, y + h)]
    cv.poly([(px - 1.2, py - 1.2) for px, py in pts[:1]] + [(x + w - fold + 0.6, y - 1.2),
            (x + w + 1.2, y + fold - 0.6), (x + w + 1.2, y + h + 1.2), (x - 1.2, y + h + 1.2)],
            edge)
    cv.poly(pts, paper)
    cv.poly([(x + w - fold, y), (x + w - fold, y + fold), (x + w, y + fold)], (214, 214, 222))
    cv.polyline([(x + w - fold, y), (x + w - fold, y + fold), (x + w, y + fold)], 1.0, edge)


def text_lines(cv, x, y, w, n, gap, color):
    for i in range(n):
        ln = w if i % 3 != 2 else w * 0.6
        cv.line(x, y + i * gap, x + ln, y + i * gap, 1.6, color)


def toolbar_cell(cv, i, ox, strong):
    k = 1.0 if strong else 0.0

    def s(normal, hot):
        return mix(normal, hot, k)

    if i == 0:  # Add File: page with a green plus
        page(cv, ox + 9, 4, 28, 37, 9)
        text_lines(cv, ox + 14, 17, 16, 5, 4.5, s((160, 170, 190), (90, 110, 150)))
        cv.circle(ox + 35, 35, 11.5, (255, 255, 255))
        cv.circle(ox + 35, 35, 10, vgrad(s((110, 200, 90), (80, 230, 50)),
                                         s((40, 140, 40), (0, 150, 0)), 25, 45))
        cv.line(ox + 29.5, 35, ox + 40.5, 35, 3.4, (255, 255, 255))
        cv.line(ox + 35, 29.5, ox + 35, 40.5, 3.4, (255, 255, 255))
    elif i == 1:  # Remove: red disc with a white cross
        cv.circle(ox + 25, 25, 20.5, s((150, 30, 30), (170, 0, 0)))
        cv.circle(ox + 25, 25, 19, vgrad(s((240, 100, 90), (255, 70, 50)),
                                         s((190, 30, 30), (210, 0, 0)), 6, 44))
        cv.circle(ox + 25, 18, 13, (255, 255, 255), 0.18)
        cv.line(ox + 17, 17, ox + 33, 33, 5, (255, 255, 255))
        cv.line(ox + 33, 17, ox + 17, 33, 5, (255, 255, 255))
    elif i == 2:  # Repair File: page with a magnifier
        page(cv, ox + 6, 3, 28, 37, 9)
        text_lines(cv, ox + 11, 16, 16, 5, 4.5, s((160, 170, 190), (90, 110, 150)))
        cv.line(ox + 33, 33, ox + 44, 45, 6, s((120, 70, 20), (150, 70, 0)))
        cv.ring(ox + 28, 27, 7.5, 11, s((80, 90, 110), (40, 50, 80)))
        cv.circle(ox + 28, 27, 7.5, s((190, 225, 250), (150, 210, 255)), 0.75)
        cv.circle(ox + 25.5, 24.5, 3, (255, 255, 255), 0.7)
    elif i == 3:  # Save File: green diskette
        body = vgrad(s((80, 170, 80), (40, 190, 40)), s((30, 110, 40), (0, 120, 20)), 5, 45)
        cv.rrect(ox + 5, 5, ox + 45, 45, 4, s((20, 80, 30), (0, 80, 10)))
        cv.rrect(ox + 6.5, 6.5, ox + 43.5, 43.5, 3, body)
        cv.rect(ox + 13, 6.5, ox + 37, 20, (225, 230, 235))
        cv.rect(ox + 29, 9, ox + 34, 18, s((60, 80, 70), (40, 60, 50)))
        cv.rrect(ox + 11, 26, ox + 39, 43.5, 2, (255, 255, 255))
        text_lines(cv, ox + 14, 31, 22, 3, 4.5, (150, 160, 170))
    elif i == 4:  # Setting: crossed tools (wrench and screwdriver)
        steel = s((150, 155, 165), (120, 130, 150))
        cv.line(ox + 12, 38, ox + 33, 17, 5.5, steel)
        cv.circle(ox + 36, 14, 8.5, steel)
        cv.poly([(ox + 36, 14), (ox + 44, 4), (ox + 48, 10)], (0, 0, 0), 0.0)
        cv.circle(ox + 38.5, 11.5, 4, MAGENTA_HOLE)
        cv.circle(ox + 12, 38, 3.5, steel)
        cv.line(ox + 15, 15, ox + 29, 29, 3, (200, 205, 210))
        cv.line(ox + 29, 29, ox + 40, 40, 7, s((240, 140, 40), (255, 120, 0)))
        cv.line(ox + 30, 30, ox + 39, 39, 2, (255, 210, 160), 0.8)
        cv.line(ox + 11, 11, ox + 15, 15, 2.2, (90, 95, 105))
    elif i == 5:  # Help: blue disc with a question mark
        cv.circle(ox + 25, 25, 20.5, s((30, 60, 150), (0, 40, 170)))
        cv.circle(ox + 25, 25, 19, vgrad(s((100, 150, 240), (70, 140, 255)),
                                         s((30, 80, 190), (0, 60, 210)), 6, 44))
        cv.circle(ox + 25, 18, 13, (255, 255, 255), 0.18)
        cv.polyline([(ox + 18, 19), (ox + 19.5, 14), (ox + 25, 11.5), (ox + 30.5, 14),
                     (ox + 31.5, 19), (ox + 29, 23), (ox + 25, 26), (ox + 25, 30)], 4.6,
                    (255, 255, 255))
        cv.circle(ox + 25, 36.5, 3, (255, 255, 255))


MAGENTA_HOLE = (236, 236, 236)  # the wrench's jaw opening shows the toolbar's grey


def toolbar(strong, scale=1.0):
    cv = Canvas(350, 50, scale)
    for i in range(6):
        toolbar_cell(cv, i, i * 50, strong)
    return cv.pixels(background=(236, 236, 236), mask=MAGENTA)


def logo(scale=1.0):
    cv = Canvas(76, 76, scale)
    cv.fill(vgrad((252, 250, 246), (244, 236, 226), 0, 76))
    # the document: orange, folded corner
    cv.poly([(9, 4), (55, 4), (68, 17), (68, 73), (9, 73)], ORANGE_DARK)
    cv.poly([(10.5, 5.5), (54.5, 5.5), (66.5, 17.5), (66.5, 71.5), (10.5, 71.5)],
            vgrad(ORANGE_LIGHT, ORANGE, 5, 72))
    cv.poly([(54.5, 5.5), (54.5, 17.5), (66.5, 17.5)], (255, 226, 190))
    cv.polyline([(54.5, 5.5), (54.5, 17.5), (66.5, 17.5)], 1.0, ORANGE_DARK)
    # the slide
    cv.rrect(16, 24, 61, 62, 2, (255, 255, 255))
    cv.rect(16, 24, 61, 31, (200, 80, 20))
    cv.line(20, 27.5, 42, 27.5, 2, (255, 255, 255))
    for i, w in enumerate((14, 11, 13, 9)):
        cv.line(20, 37 + i * 6, 20 + w, 37 + i * 6, 2, (110, 110, 120))
    # pie chart
    cx, cy, r = 47.5, 46, 10
    cv.circle(cx, cy, r, (90, 140, 210))
    a0, a1 = -math.pi / 2, -math.pi / 2 + 2 * math.pi * 0.38
    pts = [(cx, cy)] + [(cx + r * math.cos(a0 + (a1 - a0) * t / 24),
                         cy + r * math.sin(a0 + (a1 - a0) * t / 24)) for t in range(25)]
    cv.poly(pts, (240, 120, 30))
    b1 = a1 + 2 * math.pi * 0.22
    pts = [(cx, cy)] + [(cx + r * math.cos(a1 + (b1 - a1) * t / 16),
                         cy + r * math.sin(a1 + (b1 - a1) * t / 16)) for t in range(17)]
    cv.poly(pts, (120, 190, 90))
    return cv.pixels()


CORNER = (240, 153, 67)


def button(w, h, caption, arrow, pressed, italic=0.0, scale=1.0):
    """A glossy orange face; the corner pixels stay the panel colour CORNER."""
    cv = Canvas(w, h, scale)
    cv.fill(CORNER)
    inset = 1.0 if not pressed else 1.5
    r = 8
    cv.rrect(inset, inset, w - inset, h - inset, r, (170, 80, 10))
    top, bottom = ((255, 190, 110), (226, 110, 10)) if not pressed else \
        ((236, 150, 60), (214, 100, 10))
    cv.rrect(inset + 1, inset + 1, w - inset - 1, h - inset - 1, r - 1,
             vgrad(top, bottom, inset, h - inset))
    # gloss on the upper half
    cv.rrect(inset + 3, inset + 2, w - inset - 3, h / 2, r - 3, (255, 255, 255),
             0.28 if not pressed else 0.16)
    size = 13.0
    stroke = 2.3
    tw = text_width(caption, size, stroke) + size * 0.5 * italic
    aw = 9 if arrow else 0
    gap = 6 if arrow else 0
    total = tw + aw + gap
    x = (w - total) / 2 + (0.6 if pressed else 0)
    y = (h - size) / 2 + (0.6 if pressed else 0)
    shadow = (150, 60, 0)
    if arrow == "left":
        for dx, col in ((0.8, shadow), (0, (255, 255, 255))):
            cv.poly([(x + dx + aw, y + dx), (x + dx + aw, y + size + dx),
                     (x + dx, y + size / 2 + dx)], col)
        x += aw + gap
    for dx, col in ((0.8, shadow), (0, (255, 255, 255))):
        draw_text(cv, caption, x + dx, y + dx, size, stroke, col, italic)
    if arrow == "right":
        ax = x + tw + gap
        for dx, col in ((0.8, shadow), (0, (255, 255, 255))):
            cv.poly([(ax + dx, y + dx), (ax + dx, y + size + dx), (ax + aw + dx, y + size / 2 + dx)],
                    col)
    px = cv.pixels()
    for (cx, cy) in ((0, 0), (cv.w - 1, 0), (0, cv.h - 1), (cv.w - 1, cv.h - 1)):
        px[cy][cx] = CORNER
    return px


def small_toolbar():
    """Six 16 x 15 generic pictures on grey, for the toolbar resource's own bitmap."""
    cv = Canvas(96, 15)
    cv.fill((192, 192, 192))
    # new page
    cv.poly([(3, 1), (10, 1), (13, 4), (13, 14), (3, 14)], (0, 0, 0))
    cv.poly([(4, 2), (10, 2), (12, 4), (12, 13), (4, 13)], (255, 255, 255))
    # scissors
    o = 16
    cv.line(o + 4, 1, o + 10, 9, 1.2, (0, 0, 0))
    cv.line(o + 11, 1, o + 5, 9, 1.2, (0, 0, 0))
    cv.ring(o + 5, 11.5, 1.2, 2.4, (0, 0, 128))
    cv.ring(o + 10.5, 11.5, 1.2, 2.4, (0, 0, 128))
    # copy
    o = 32
    for dx, dy in ((2, 1), (6, 5)):
        cv.rect(o + dx, dy, o + dx + 8, dy + 9, (0, 0, 0))
        cv.rect(o + dx + 1, dy + 1, o + dx + 7, dy + 8, (255, 255, 255))
    # paste
    o = 48
    cv.rect(o + 2, 2, o + 12, 14, (128, 128, 0))
    cv.rect(o + 5, 1, o + 9, 4, (0, 0, 0))
    cv.rect(o + 7, 6, o + 14, 14, (0, 0, 0))
    cv.rect(o + 8, 7, o + 13, 13, (255, 255, 255))
    # printer
    o = 64
    cv.rect(o + 4, 1, o + 12, 6, (255, 255, 255))
    cv.rect(o + 1, 6, o + 15, 12, (0, 0, 0))
    cv.rect(o + 2, 7, o + 14, 11, (128, 128, 128))
    cv.rect(o + 4, 10, o + 12, 14, (255, 255, 255))
    cv.rect(o + 12, 8, o + 13, 9, (0, 255, 0))
    # question mark
    o = 80
    cv.polyline([(o + 5, 4.5), (o + 6, 2), (o + 8, 1.5), (o + 10, 2), (o + 11, 4.5), (o + 8, 7.5),
                 (o + 8, 10)], 1.6, (0, 0, 128))
    cv.rect(o + 7, 12, o + 9, 14, (0, 0, 128))
    return cv.pixels()


def icon(size):
    cv = Canvas(size, size)
    k = size / 32.0
    cv.poly([(4 * k, 1 * k), (21 * k, 1 * k), (28 * k, 8 * k), (28 * k, 31 * k), (4 * k, 31 * k)],
            (128, 0, 0))
    cv.poly([(5 * k, 2 * k), (21 * k, 2 * k), (27 * k, 8 * k), (27 * k, 30 * k), (5 * k, 30 * k)],
            (255, 128, 0))
    cv.rect(8 * k, 11 * k, 24 * k, 26 * k, (255, 255, 255))
    cv.rect(8 * k, 11 * k, 24 * k, 14 * k, (128, 0, 0))
    if size > 16:
        cv.line(10, 17, 15, 17, 1.2, (0, 0, 0))
        cv.line(10, 20, 14, 20, 1.2, (0, 0, 0))
        cv.line(10, 23, 15, 23, 1.2, (0, 0, 0))
    cv.circle(19 * k, 20.5 * k, 3.6 * k, (0, 0, 255))
    cv.poly([(19 * k, 20.5 * k), (19 * k, 16.9 * k), (22.6 * k, 20.5 * k)], (255, 0, 0))
    px = cv.pixels(background=(255, 255, 255))
    opaque = []
    for y in range(size):
        row = []
        for x in range(size):
            i = [(y * SS + j) * cv.W + (x * SS + m) for j in range(SS) for m in range(SS)]
            row.append(sum(cv.alpha[t] for t in i) / (SS * SS) >= 0.5)
        opaque.append(row)
    # 4 bits per pixel: snap to the 16 standard colours; the orange body has no such colour,
    # so it becomes a red and yellow checkerboard, which reads as orange at icon size.
    def snap(x, y, c):
        if sum((c[k] - (255, 128, 0)[k]) ** 2 for k in range(3)) < 40 ** 2:
            return (255, 255, 0) if (x + y) % 2 else (255, 0, 0)
        return VGA16[nearest16(c)]

    px = [[snap(x, y, c) for x, c in enumerate(r)] for y, r in enumerate(px)]
    return px, opaque


def icon_rgba(size):
    """The icon's picture in full colour with soft edges, for the larger sizes."""
    cv = Canvas(32, 32, size / 32.0)
    cv.poly([(4, 1), (21, 1), (28, 8), (28, 31), (4, 31)], (150, 60, 0))
    cv.poly([(5, 2), (21, 2), (27, 8), (27, 30), (5, 30)], vgrad(ORANGE_LIGHT, ORANGE, 2, 30))
    cv.poly([(21, 2), (21, 8), (27, 8)], (255, 226, 190))
    cv.rect(8, 11, 24, 26, (255, 255, 255))
    cv.rect(8, 11, 24, 14, (200, 80, 20))
    for y, w in ((17, 5), (20, 4), (23, 5)):
        cv.line(10, y, 10 + w, y, 1.2, (90, 90, 100))
    cv.circle(19, 20.5, 3.6, (90, 140, 210))
    cv.poly([(19, 20.5), (19, 16.9), (22.6, 20.5)], (240, 120, 30))
    rgb = cv.pixels()
    out = []
    for y in range(cv.h):
        row = []
        for x in range(cv.w):
            cells = [(y * SS + j) * cv.W + (x * SS + m) for j in range(SS) for m in range(SS)]
            a = sum(cv.alpha[t] for t in cells) / (SS * SS)
            # pixels() blended against black: undo it to keep straight colour with alpha
            c = tuple(min(255, int(round(v / a))) if a > 0 else 0 for v in rgb[y][x])
            row.append(c + (int(round(a * 255)),))
        out.append(row)
    return out


def main():
    write_bmp4("toolbar.bmp", small_toolbar())
    # The pictures at 100%, and for screens scaled 150% and 200% (names ending _150, _200).
    for scale, tail in ((1.0, ""), (1.5, "_150"), (2.0, "_200")):
        write_bmp24("toolbar_normal%s.bmp" % tail, toolbar(False, scale))
        write_bmp24("toolbar_hot%s.bmp" % tail, toolbar(True, scale))
        write_bmp24("logo%s.bmp" % tail, logo(scale))
        write_bmp24("next%s.bmp" % tail, button(85, 40, "Next", "right", False, scale=scale))
        write_bmp24("next_pressed%s.bmp" % tail, button(82, 39, "Next", "right", True, scale=scale))
        write_bmp24("previous%s.bmp" % tail, button(85, 40, "Prev", "left", False, scale=scale))
        write_bmp24("previous_pressed%s.bmp" % tail,
                    button(82, 39, "Prev", "left", True, scale=scale))
        write_bmp24("finished%s.bmp" % tail,
                    button(82, 39, "Finish", None, False, italic=0.22, scale=scale))
        write_bmp24("finished_pressed%s.bmp" % tail,
                    button(82, 39, "Finish", None, True, italic=0.22, scale=scale))
    write_ico("deckwright.ico", [icon(32), icon(16)],
              [icon_rgba(n) for n in (24, 48, 64, 128, 256)])


if __name__ == "__main__":
    main()
