"""Surfaces of the editor's art: panel faces, the world background, the LCD
displays (waveforms and filter responses), LED digits and the logo."""
import cmath
import math

from art_draw import (SS, Image, ImageChops, ImageDraw, ImageFilter, add_grey, flatten,
                      glow_text, layer, mask_of, mix, noise, scale, scale_image, text)
from art_controls import ACCENT

FACE_TOP, FACE_BOTTOM = (60, 63, 70), (40, 42, 47)
BACK_TOP, BACK_BOTTOM = (38, 40, 44), (26, 27, 30)
BACK_ACCENT = (95, 125, 160)


def stamp(dst, picture, xy):
    """Composes a (image, alpha) picture onto dst exactly as the editor does:
    dst * mask + image."""
    image, alpha = picture
    x, y = xy
    box = (x, y, x + image.size[0], y + image.size[1])
    region = dst.crop(box)
    region = ImageChops.add(ImageChops.multiply(region, mask_of(alpha)), image)
    dst.paste(region, box)


def gradient_rows(w, h, top, bottom):
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line((0, y, w, y), fill=mix(top, bottom, y / max(1, h - 1)))
    return img


def screw(rng):
    """A cross-head screw (10 x 10) with a random turn."""
    big = layer(10, 10)
    px = big.load()
    angle = rng.uniform(0, math.pi)
    for y in range(10 * SS):
        for x in range(10 * SS):
            u, v = (x + 0.5) / SS - 5, (y + 0.5) / SS - 5
            d = math.hypot(u, v)
            if d > 4.6:
                if d < 5.0:
                    px[x, y] = (0, 0, 0, 90)
                continue
            t = (u + v + 6) / 12.0
            col = mix((205, 208, 214), (86, 89, 95), t)
            cu = u * math.cos(angle) + v * math.sin(angle)
            cv = -u * math.sin(angle) + v * math.cos(angle)
            if (abs(cu) < 0.55 and abs(cv) < 3.0) or (abs(cv) < 0.55 and abs(cu) < 3.0):
                col = (34, 35, 38)
            px[x, y] = col + (255,)
    return flatten(big, 10, 10)


def panel_face(w, h, rng, back):
    top, bottom = (BACK_TOP, BACK_BOTTOM) if back else (FACE_TOP, FACE_BOTTOM)
    img = gradient_rows(w, h, top, bottom)
    # brushed aluminium: long horizontal streaks and a fine grain
    streaks = noise(rng, max(2, w // 32), h, 6).resize((w, h), Image.BILINEAR)
    img = add_grey(img, streaks)
    img = add_grey(img, noise(rng, w, h, 3))
    d = ImageDraw.Draw(img)
    band = 16 if h <= 64 else 20
    title = gradient_rows(w, band, scale(top, 0.82), scale(top, 0.74))
    img.paste(Image.blend(img.crop((0, 0, w, band)), title, 0.6), (0, 0))
    accent = BACK_ACCENT if back else ACCENT
    d.line((8, band, w - 9, band), fill=scale(accent, 0.85))
    d.line((8, band + 1, w - 9, band + 1), fill=scale(accent, 0.35))
    if back:
        # rear panel: a field of vent holes below the title band
        for yy in range(band + 10, h - 8, 8):
            for xx in range(10, w - 8, 8):
                d.rectangle((xx, yy, xx + 1, yy + 1), fill=scale(bottom, 0.55))
    # bevel: light from above
    d.line((0, 0, w - 1, 0), fill=scale(top, 1.6))
    d.line((0, 1, w - 1, 1), fill=scale(top, 1.25))
    d.line((0, 0, 0, h - 1), fill=scale(top, 1.3))
    d.line((0, h - 1, w - 1, h - 1), fill=scale(bottom, 0.45))
    d.line((w - 1, 0, w - 1, h - 1), fill=scale(bottom, 0.6))
    for sx, sy in ((3, 3), (w - 13, 3), (3, h - 13), (w - 13, h - 13)):
        if h <= 64 and sy > 3:
            continue
        stamp(img, screw(rng), (sx, sy))
    return img


def circuit_board(rng, size, base, trace, via):
    """A seamless printed-circuit tile: faint grid, traces and vias."""
    k = 2  # drawn at twice the size, then reduced
    big = Image.new("RGB", (size * k, size * k), base)
    big = add_grey(big, noise(rng, size * k, size * k, 3))
    d = ImageDraw.Draw(big)
    step = 16
    for y in range(0, size, step):
        for x in range(0, size, step):
            d.rectangle((x * k, y * k, x * k + 1, y * k + 1), fill=scale(base, 1.6))
    dirs = [(1, 0), (0, 1), (-1, 0), (0, -1), (1, 1), (1, -1), (-1, 1), (-1, -1)]
    for _ in range(70):
        x, y = rng.randrange(0, size, step), rng.randrange(0, size, step)
        dx, dy = rng.choice(dirs[:4])
        pts = [(x, y)]
        for _ in range(rng.randint(3, 9)):
            if rng.random() < 0.35:
                dx, dy = rng.choice(dirs)
            n = rng.randint(1, 4)
            x, y = x + dx * step * n, y + dy * step * n
            pts.append((x, y))
        width = rng.choice((2, 2, 3, 4))
        for ox in (-size, 0, size):
            for oy in (-size, 0, size):
                shifted = [((px + ox) * k, (py + oy) * k) for px, py in pts]
                d.line(shifted, fill=trace, width=width * k, joint="curve")
                for px, py in (shifted[0], shifted[-1]):
                    r = (width + 2.5) * k
                    d.ellipse((px - r, py - r, px + r, py + r), fill=via)
                    r2 = 1.3 * k
                    d.ellipse((px - r2, py - r2, px + r2, py + r2), fill=base)
    return big.resize((size, size), Image.LANCZOS)


# ------------------------------------------------------------------ displays

LCD_TOP, LCD_BOTTOM = (14, 34, 26), (6, 16, 12)
LCD_GRID = (24, 60, 42)
WAVE = (120, 255, 175)
RESPONSE = (255, 190, 70)


def lcd(w, h, grid):
    img = gradient_rows(w, h, LCD_TOP, LCD_BOTTOM)
    d = ImageDraw.Draw(img)
    if grid:
        for x in range(0, w, grid):
            d.line((x, 0, x, h), fill=LCD_GRID)
        for y in range(0, h, grid):
            d.line((0, y, w, y), fill=LCD_GRID)
        d.line((0, h // 2, w, h // 2), fill=scale(LCD_GRID, 1.35))
    return img


def bezel(img):
    """An inset frame: dark above and left, light below and right."""
    w, h = img.size
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, w - 1, h - 1), outline=(10, 10, 12))
    d.line((1, 1, w - 2, 1), fill=(0, 0, 0))
    d.line((1, 1, 1, h - 2), fill=(0, 0, 0))
    d.line((1, h - 2, w - 2, h - 2), fill=(70, 73, 80))
    d.line((w - 2, 1, w - 2, h - 2), fill=(70, 73, 80))
    return img


def trace(img, points, colour, width):
    """A glowing line over the display (points in pixels)."""
    w, h = img.size
    big = Image.new("RGB", (w * SS, h * SS), (0, 0, 0))
    ImageDraw.Draw(big).line([(x * SS, y * SS) for x, y in points], fill=colour,
                             width=int(width * SS), joint="curve")
    sharp = big.resize((w, h), Image.BOX)
    glow = sharp.filter(ImageFilter.GaussianBlur(2.0))
    img = ImageChops.add(img, scale_image(glow, 0.9))
    return ImageChops.lighter(img, sharp)


def caption(img, label, fonts, colour, left):
    """The display's name in a corner, on a dark plate so the trace never
    crosses it."""
    font = fonts.get("mono_bold", 8)
    from art_draw import text_width
    w = int(text_width(label, font)) + 6
    x0 = 3 if left else img.size[0] - 3 - w
    ImageDraw.Draw(img).rectangle((x0, 3, x0 + w, 13), fill=LCD_BOTTOM, outline=scale(colour, 0.35))
    glow_text(img, (x0 + 3, 4), label, font, colour, 0.8, anchor="lt")


def waveform_samples(kind, rng, n):
    """n values in -1..1 over two cycles of the oscillator's waveform."""
    xs = [2.0 * i / (n - 1) for i in range(n)]
    frac = [x - math.floor(x) for x in xs]
    if kind == "SIN":
        return [math.sin(2 * math.pi * x) for x in xs]
    if kind == "TRI":
        return [1 - 4 * abs(f - 0.5) for f in frac]
    if kind == "SAW":
        return [2 * f - 1 for f in frac]
    if kind == "SQR":
        return [1.0 if f < 0.5 else -1.0 for f in frac]
    if kind == "PULSE":
        return [1.0 if f < 0.2 else -1.0 for f in frac]
    if kind == "NOISE_WHITE":
        held = [rng.uniform(-0.9, 0.9) for _ in range(25)]
        return [held[min(24, int(x * 12))] for x in xs]
    if kind == "NOISE_TAM":
        signs = [rng.choice((-0.85, 0.85)) for _ in range(49)]
        return [signs[min(48, int(x * 24))] for x in xs]
    if kind in ("NOISE_ROSSLER", "NOISE_LORENZ"):
        return attractor(kind, n)
    raise ValueError(kind)


def attractor(kind, n):
    x, y, z = 1.0, 1.0, 1.0
    values = []
    dt = 0.01 if kind == "NOISE_LORENZ" else 0.05
    for step in range(n * 4 + 2000):
        if kind == "NOISE_LORENZ":
            dx, dy, dz = 10 * (y - x), x * (28 - z) - y, x * y - 8.0 / 3.0 * z
        else:
            dx, dy, dz = -y - z, x + 0.2 * y, 0.2 + z * (x - 5.7)
        x, y, z = x + dx * dt, y + dy * dt, z + dz * dt
        if step >= 2000 and step % 4 == 0:
            values.append(x)
    top = max(abs(v) for v in values) or 1.0
    return [v / top * 0.9 for v in values[:n]]


def wave_display(kind, label, rng, fonts, w, h):
    img = lcd(w, h, 16 if w >= 64 else 8)
    n = w * 3
    values = waveform_samples(kind, rng, n)
    margin = 6 if h >= 32 else 3
    amp = h / 2.0 - margin
    pts = [(1.5 + (w - 3) * i / (n - 1), h / 2.0 - v * amp) for i, v in enumerate(values)]
    img = trace(img, pts, WAVE, 1.6 if w >= 64 else 1.0)
    if label:
        caption(img, label, fonts, scale(WAVE, 0.85), left=True)
    return bezel(img)


def biquad_db(kind, f, f0=1000.0, q=1.1, gain_db=9.0, rate=44100.0):
    """Magnitude in dB of the audio-cookbook biquads at frequency f."""
    a = 10 ** (gain_db / 40.0)
    w0 = 2 * math.pi * f0 / rate
    cw, sw = math.cos(w0), math.sin(w0)
    alpha = sw / (2 * q)
    if kind == "LOWPASS":
        b, aa = [(1 - cw) / 2, 1 - cw, (1 - cw) / 2], [1 + alpha, -2 * cw, 1 - alpha]
    elif kind == "HIGHPASS":
        b, aa = [(1 + cw) / 2, -(1 + cw), (1 + cw) / 2], [1 + alpha, -2 * cw, 1 - alpha]
    elif kind == "BANDPASS":
        b, aa = [alpha, 0, -alpha], [1 + alpha, -2 * cw, 1 - alpha]
    elif kind == "NOTCH":
        b, aa = [1, -2 * cw, 1], [1 + alpha, -2 * cw, 1 - alpha]
    elif kind == "PEAKING":
        b = [1 + alpha * a, -2 * cw, 1 - alpha * a]
        aa = [1 + alpha / a, -2 * cw, 1 - alpha / a]
    else:
        s = 2 * math.sqrt(a) * alpha
        if kind == "LOWSHELF":
            b = [a * ((a + 1) - (a - 1) * cw + s), 2 * a * ((a - 1) - (a + 1) * cw),
                 a * ((a + 1) - (a - 1) * cw - s)]
            aa = [(a + 1) + (a - 1) * cw + s, -2 * ((a - 1) + (a + 1) * cw),
                  (a + 1) + (a - 1) * cw - s]
        else:
            b = [a * ((a + 1) + (a - 1) * cw + s), -2 * a * ((a - 1) + (a + 1) * cw),
                 a * ((a + 1) + (a - 1) * cw - s)]
            aa = [(a + 1) - (a - 1) * cw + s, 2 * ((a - 1) - (a + 1) * cw),
                  (a + 1) - (a - 1) * cw - s]
    z = cmath.exp(-1j * 2 * math.pi * f / rate)
    h = (b[0] + b[1] * z + b[2] * z * z) / (aa[0] + aa[1] * z + aa[2] * z * z)
    return 20 * math.log10(max(abs(h), 1e-6))


def filter_display(kind, fonts, w=128, h=64):
    img = lcd(w, h, 16)
    top_db, bottom_db = 15.0, -33.0
    pts = []
    for i in range(w * 2):
        f = 20.0 * (1000.0 ** (i / (w * 2 - 1.0)))
        db = max(bottom_db, min(top_db, biquad_db(kind, f)))
        pts.append((1.5 + (w - 3) * i / (w * 2 - 1.0),
                    2 + (h - 4) * (top_db - db) / (top_db - bottom_db)))
    # a translucent fill under the response, then the line
    fill = Image.new("RGB", (w * SS, h * SS), (0, 0, 0))
    poly = [(x * SS, y * SS) for x, y in pts] + [(w * SS, h * SS), (0, h * SS)]
    ImageDraw.Draw(fill).polygon(poly, fill=scale(RESPONSE, 0.22))
    img = ImageChops.add(img, fill.resize((w, h), Image.BOX))
    img = trace(img, pts, RESPONSE, 1.6)
    caption(img, kind, fonts, scale(RESPONSE, 0.9), left=False)
    return bezel(img)


# ------------------------------------------------------------------ LED digits

SEGMENTS = {
    "0": "abcdef", "1": "bc", "2": "abged", "3": "abgcd", "4": "fgbc",
    "5": "afgcd", "6": "afgedc", "7": "abc", "8": "abcdefg", "9": "abcdfg",
}


def seven_segment(big, x0, y0, w, h, digit, lit, unlit, thickness):
    """One digit of bars with pointed ends, slightly slanted like a real LED
    display."""
    t = thickness
    half = t / 2.0
    gap = 0.3
    mid = y0 + h / 2.0
    bars = {
        "a": ((x0 + gap, y0), (x0 + w - gap, y0)),
        "g": ((x0 + gap, mid), (x0 + w - gap, mid)),
        "d": ((x0 + gap, y0 + h), (x0 + w - gap, y0 + h)),
        "f": ((x0, y0 + gap), (x0, mid - gap)),
        "b": ((x0 + w, y0 + gap), (x0 + w, mid - gap)),
        "e": ((x0, mid + gap), (x0, y0 + h - gap)),
        "c": ((x0 + w, mid + gap), (x0 + w, y0 + h - gap)),
    }
    slant = 0.1
    d = ImageDraw.Draw(big)
    for name, ((xa, ya), (xb, yb)) in bars.items():
        colour = lit if name in SEGMENTS[digit] else unlit
        if ya == yb:
            poly = [(xa, ya), (xa + half, ya - half), (xb - half, yb - half), (xb, yb),
                    (xb - half, yb + half), (xa + half, ya + half)]
        else:
            poly = [(xa, ya), (xa + half, ya + half), (xb + half, yb - half), (xb, yb),
                    (xb - half, yb - half), (xa - half, ya + half)]
        poly = [((x + (mid - y) * slant) * SS, y * SS) for x, y in poly]
        d.polygon(poly, fill=colour)


def digits(big, chars, lit, unlit):
    if len(chars) == 1:
        seven_segment(big, 4.6, 2.6, 6.4, 10.8, chars, lit, unlit, 1.7)
    else:
        seven_segment(big, 2.3, 2.6, 4.0, 10.8, chars[0], lit, unlit, 1.4)
        seven_segment(big, 9.1, 2.6, 4.0, 10.8, chars[1], lit, unlit, 1.4)


def led_cell(chars, lit, unlit, window):
    """A 16 x 16 LED window showing one or two seven-segment digits."""
    size = 16
    big = Image.new("RGB", (size * SS, size * SS), window)
    digits(big, chars, lit, unlit)
    img = big.resize((size, size), Image.BOX)
    only_lit = Image.new("RGB", big.size, (0, 0, 0))
    digits(only_lit, chars, lit, (0, 0, 0))
    glow = only_lit.resize((size, size), Image.BOX).filter(ImageFilter.GaussianBlur(1.0))
    img = ImageChops.add(img, scale_image(glow, 0.5))
    return bezel(img)


def note_cell(name, colour, window, fonts):
    """A note name on an LED window; a sharp is a small raised sign."""
    img = Image.new("RGB", (16, 16), window)
    letter, sharp = name[0], len(name) > 1
    glow_text(img, (7.0 if sharp else 8.5, 8.5), letter, fonts.get("mono_bold", 11), colour, 0.9)
    if sharp:
        glow_text(img, (12.5, 5.0), "#", fonts.get("mono_bold", 7), colour, 0.6)
    return bezel(img)


def sheet(cells, gap):
    """Cells side by side in one row, `gap` pixels apart."""
    w = sum(c.size[0] for c in cells) + gap * (len(cells) - 1)
    h = max(c.size[1] for c in cells)
    out = Image.new("RGB", (w, h), (255, 0, 255))  # gaps in magenta: never shown
    x = 0
    for c in cells:
        out.paste(c, (x, 0))
        x += c.size[0] + gap
    return out


# ------------------------------------------------------------------ logo

def logo(fonts):
    w, h = 256, 64
    big = layer(w, h)
    d = ImageDraw.Draw(big)
    font = fonts.get("bold", 30 * SS)
    small = fonts.get("sans", 10 * SS)
    d.text((10 * SS, 34 * SS), "T_", font=font, fill=ACCENT + (255,), anchor="ls")
    x = 10 * SS + d.textlength("T_", font=font)
    d.text((x, 34 * SS), "MODULAR", font=font, fill=(232, 234, 238, 255), anchor="ls")
    d.text((12 * SS, 52 * SS), "MODULAR SYNTHESIZER", font=small, fill=(160, 165, 172, 255),
           anchor="ls")
    pts = [((150 + i) * SS, (48 + 4 * math.sin(i / 96.0 * 4 * math.pi)) * SS) for i in range(97)]
    d.line(pts, fill=ACCENT + (255,), width=int(1.6 * SS), joint="curve")
    return flatten(big, w, h)


def placeholder(fonts):
    """IMG_001: the image every widget starts from, a small badge."""
    img = gradient_rows(64, 64, (58, 61, 68), (34, 36, 40))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((3, 3, 60, 60), radius=8, outline=ACCENT, width=2)
    text(img, (32, 33), "TM", fonts.get("bold", 24), (236, 238, 240))
    return bezel(img)
