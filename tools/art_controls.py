"""Controls of the editor's art: knobs, buttons, jacks, cable plugs, lamps and
toggles. Every function returns a dict of pictures: name -> (image, alpha);
make_art.py turns alphas into masks. Shapes of one widget share one alpha, so
all its states can share one mask."""
import math

from art_draw import (SS, Image, ImageChops, ImageDraw, add, blurred, disc, ellipse, flatten, glow_text, layer,
                      line, mix, over, polygon, rounded, scale, shade, text, vertical_gradient)

# One palette for the whole instrument.
ACCENT = (240, 140, 40)
SIGNAL = (225, 228, 232)
GATE = (225, 55, 50)
SYNC = (60, 130, 240)
TEXT = (200, 204, 210)
TEXT_HOVER = (250, 250, 250)

FAMILIES = {
    "source": (240, 140, 40),
    "filter": (40, 190, 180),
    "amp": (110, 200, 80),
    "effect": (170, 110, 230),
    "utility": (120, 150, 190),
}


def halo(big, cx, cy, r_in, r_out, strength):
    """A soft dark ring around a round shape: a shadow that stays right however
    the shape is rotated."""
    def fn(u, v):
        d = math.hypot(u - cx, v - cy)
        if d < r_in or d > r_out:
            return None
        t = 1.0 - (d - r_in) / (r_out - r_in)
        return (0, 0, 0, int(255 * strength * t * t))
    shade(big, (cx - r_out, cy - r_out, cx + r_out, cy + r_out), fn)


# ------------------------------------------------------------------ knobs

def knob(size, cap_light, cap_dark, pointer=(245, 245, 245)):
    """A knob seen from above, pointer at 12 o'clock (angle 0). Only the
    pointer breaks the rotational symmetry, so the knob looks right at any
    angle."""
    big = layer(size, size)
    c = size / 2.0
    r_skirt = size * (0.46 if size <= 16 else 0.44)
    r_cap = size * (0.31 if size > 16 else 0.30)
    ridges = 0 if size <= 16 else (24 if size <= 32 else 36)
    halo(big, c, c, r_skirt - 0.5, size * 0.5, 0.55)

    def fn(u, v):
        dx, dy = u - c, v - c
        d = math.hypot(dx, dy)
        if d > r_skirt:
            return None
        if d > r_cap:
            t = (d - r_cap) / (r_skirt - r_cap)
            base = 46 - 18 * t
            if ridges:
                k = 0.5 + 0.5 * math.cos(ridges * math.atan2(dy, dx))
                base += 9 * k
            if t > 0.88:
                base -= 14
            col = (base, base, base + 3)
        else:
            t = d / r_cap
            col = mix(cap_light, cap_dark, t ** 1.6)
            if t > 0.86:
                col = scale(col, 0.72)
            elif t > 0.78:
                col = add(col, 14)
        return tuple(int(v) for v in col) + (255,)
    shade(big, (0, 0, size, size), fn)

    width = max(1.1, size * 0.07)
    line(big, [(c, c - r_skirt + size * 0.03), (c, c - r_cap * 0.25)], pointer + (255,), width)
    image, alpha = flatten(big, size, size)
    return image, alpha


def knobs():
    black_light, black_dark = (78, 80, 88), (22, 23, 26)
    orange_light, orange_dark = (255, 176, 90), (170, 84, 18)
    return {
        "SLD1": knob(64, black_light, black_dark),
        "SLD2": knob(32, black_light, black_dark),
        "SLD3": knob(16, black_light, black_dark),
        "SLD4": knob(32, orange_light, orange_dark),
    }


# ------------------------------------------------------------------ buttons

STATES = ("OFF", "ON", "TOUCHED")


def cap_colours(state):
    if state == "ON":
        return (38, 40, 44), (58, 60, 66)       # pressed in: lit from below
    if state == "TOUCHED":
        return (96, 100, 108), (60, 62, 68)
    return (76, 79, 86), (46, 48, 53)


def button_base(w, h, radius, state, inset=1.0):
    """The rubber cap every button shares, with its shadow; hover adds an
    accent outline."""
    big = layer(w, h)
    shadow = layer(w, h)
    rounded(shadow, (inset - 0.5, inset, w - inset + 0.5, h - inset + 1.0), radius + 0.5,
            fill=(0, 0, 0, 150))
    big = over(big, blurred(shadow, 0.6))
    top, bottom = cap_colours(state)
    big = vertical_gradient(big, (inset, inset, w - inset, h - inset), radius, top, bottom)
    edge = ACCENT + (230,) if state == "TOUCHED" else (18, 19, 21, 255)
    rounded(big, (inset, inset, w - inset, h - inset), radius, outline=edge,
            width=1.0 if state == "TOUCHED" else 0.8)
    if state != "ON":
        line(big, [(inset + radius, inset + 1.1), (w - inset - radius, inset + 1.1)],
             (255, 255, 255, 40), 0.8)
    return big


def text_button(w, h, label, fonts, state, face="bold", size=9):
    big = button_base(w, h, 4 if h >= 24 else 2.5, state)
    image, alpha = flatten(big, w, h)
    colour = ACCENT if state == "ON" else TEXT_HOVER if state == "TOUCHED" else TEXT
    font = fonts.get(face, size)
    if state == "ON":
        glow_text(image, (w / 2, h / 2 + 0.5), label, font, colour, 1.0)
        # the lit state also shows a small LED in the corner
    else:
        text(image, (w / 2, h / 2), label, font, colour)
    return image, alpha


def led_dot(big, cx, cy, r, lit, colour, clip):
    """A small LED; its glow stays within the `clip` shape so that every state
    of the button keeps the same outline."""
    if lit:
        glow = layer(big.size[0] // SS, big.size[1] // SS)
        disc(glow, cx, cy, r * 2.2, fill=colour + (150,))
        glow = blurred(glow, r * 0.9)
        glow.putalpha(ImageChops.multiply(glow.split()[3], clip.split()[3]))
        big = over(big, glow)
        disc(big, cx, cy, r, fill=mix(colour, (255, 255, 255), 0.45) + (255,))
    else:
        disc(big, cx, cy, r, fill=scale(colour, 0.25) + (255,))
    return big


def icon_button(size, draw_icon, state):
    big = button_base(size, size, 4, state)
    colour = ACCENT if state == "ON" else TEXT_HOVER if state == "TOUCHED" else TEXT
    big = draw_icon(big, size, colour + (255,))
    return flatten(big, size, size)


def arrow(up):
    def draw(big, size, colour):
        c = size / 2.0
        k = size * 0.24
        pts = [(c - k, c + k * 0.55), (c + k, c + k * 0.55), (c, c - k * 0.75)]
        if not up:
            pts = [(x, size - y) for x, y in pts]
        polygon(big, pts, colour)
        return big
    return draw


def play_icon(forward, loop):
    def draw(big, size, colour):
        c = size / 2.0
        k = size * 0.2
        pts = [(c - k * 0.8, c - k), (c - k * 0.8, c + k), (c + k, c)]
        if not forward:
            pts = [(size - x, y) for x, y in pts]
        if loop:
            ellipse(big, c, c, size * 0.33, size * 0.33, outline=colour, width=size * 0.045)
            pts = [(c + (x - c) * 0.7, c + (y - c) * 0.7) for x, y in pts]
        polygon(big, pts, colour)
        return big
    return draw


def power_icon(big, size, colour):
    c = size / 2.0
    r = size * 0.2
    w = size * 0.07
    ImageDraw.Draw(big).arc(((c - r) * SS, (c - r) * SS, (c + r) * SS, (c + r) * SS), -60, 240,
                            fill=colour, width=int(w * SS))
    line(big, [(c, c - r * 1.25), (c, c - r * 0.1)], colour, w)
    return big


def power_button(state):
    size = 32
    big = layer(size, size)
    halo(big, 16, 16, 14.0, 16.0, 0.6)
    # chrome bezel, then the rubber cap
    def bezel(u, v):
        d = math.hypot(u - 16, v - 16)
        if d > 14.5:
            return None
        t = (v - 1.5) / 29.0
        return mix((205, 208, 214), (90, 93, 98), t) + (255,)
    shade(big, (0, 0, 32, 32), bezel)
    top, bottom = cap_colours(state)
    def cap(u, v):
        d = math.hypot(u - 16, v - 16)
        if d > 11.8:
            return None
        return mix(top, bottom, (v - 4.2) / 23.6) + (255,)
    shade(big, (0, 0, 32, 32), cap)
    if state == "TOUCHED":
        disc(big, 16, 16, 12.3, outline=ACCENT + (255,), width=0.9)
    colour = {"ON": (255, 70, 50), "TOUCHED": TEXT_HOVER, "OFF": TEXT}[state]
    if state == "ON":
        glow = layer(size, size)
        glow = power_icon(glow, size, colour + (255,))
        big = over(big, blurred(glow, 1.4))
    big = power_icon(big, size, colour + (255,))
    return flatten(big, size, size)


def push_button(state):
    big = button_base(32, 32, 5, state)
    cap = layer(32, 32)
    rounded(cap, (1, 1, 31, 31), 5, fill=(255, 255, 255, 255))
    big = led_dot(big, 16, 9, 2.3, state == "ON", ACCENT, cap)
    return flatten(big, 32, 32)


def palette_button(label, family, fonts, state):
    """Module palette key: a family colour stripe and the module's name."""
    w, h = 64, 16
    big = button_base(w, h, 2.5, state, inset=0.5)
    colour = FAMILIES[family]
    stripe = colour if state != "OFF" else scale(colour, 0.7)
    rounded(big, (1.5, 2.0, 5.0, h - 2.0), 1.0, fill=stripe + (255,))
    image, alpha = flatten(big, w, h)
    font = fonts.get("condensed_bold", 8 if len(label) > 8 else 9)
    ink = colour if state == "ON" else TEXT_HOVER if state == "TOUCHED" else TEXT
    text(image, (6 + (w - 7) / 2.0, h / 2.0), label, font, ink)
    return image, alpha


def pattern_button(number, fonts, state):
    big = button_base(16, 16, 2.5, state, inset=0.5)
    image, alpha = flatten(big, 16, 16)
    font = fonts.get("bold", 9)
    colour = ACCENT if state == "ON" else TEXT_HOVER if state == "TOUCHED" else TEXT
    if state == "ON":
        glow_text(image, (8, 8.5), str(number), font, colour, 0.8)
    else:
        text(image, (8, 8), str(number), font, colour)
    return image, alpha


# ------------------------------------------------------------------ jacks and plugs

def hex_points(cx, cy, r, rotation=0.0):
    return [(cx + r * math.cos(rotation + i * math.pi / 3),
             cy + r * math.sin(rotation + i * math.pi / 3)) for i in range(6)]


def jack(kind_colour, output):
    """A 3.5 mm socket with a hex nut and a ring in the colour of its signal
    kind; outputs sit on a plate of that colour."""
    size, c = 32, 16.0
    big = layer(size, size)
    if output:
        shadow = layer(size, size)
        rounded(shadow, (1, 1.5, 31, 31.5), 6, fill=(0, 0, 0, 160))
        big = over(big, blurred(shadow, 0.6))
        big = vertical_gradient(big, (1, 1, 31, 31), 6, scale(kind_colour, 0.62),
                                scale(kind_colour, 0.38))
        rounded(big, (1, 1, 31, 31), 6, outline=scale(kind_colour, 0.85) + (255,), width=0.8)
    else:
        halo(big, c, c, 12.0, 16.0, 0.55)
    outline = layer(size, size)
    polygon(outline, hex_points(c, c, 12.6, math.pi / 6), (255, 255, 255, 255))
    nut = layer(size, size)
    shade(nut, (0, 0, size, size),
          lambda u, v: mix((215, 218, 224), (96, 99, 106), ((u - 4) + (v - 4)) / 48.0) + (255,))
    nut.putalpha(outline.split()[3])
    big = over(big, nut)
    disc(big, c, c, 9.6, fill=kind_colour + (255,))
    disc(big, c, c, 9.6, outline=scale(kind_colour, 0.6) + (255,), width=0.7)
    disc(big, c, c, 7.4, fill=(62, 64, 68, 255))
    disc(big, c, c, 5.4, fill=(6, 6, 7, 255))
    ellipse(big, c - 1.6, c - 1.8, 1.6, 1.0, fill=(80, 82, 86, 200))
    return flatten(big, size, size)


def plug(plugged):
    """A cable plug seen from above. Unplugged (a loose end being carried) it
    is ringed in the accent colour."""
    size, c = 32, 16.0
    big = layer(size, size)
    if plugged:
        halo(big, c, c, 11.5, 16.0, 0.7)
    else:
        halo(big, c, c + 1.5, 10.5, 15.0, 0.5)

    def body(u, v):
        dx, dy = u - c, v - c
        d = math.hypot(dx, dy)
        if d > 12.0:
            return None
        if d > 8.5:
            k = 0.5 + 0.5 * math.cos(20 * math.atan2(dy, dx))
            g = 30 + 16 * k - 10 * (d - 8.5) / 3.5
            return (int(g), int(g), int(g + 2), 255)
        t = ((u - c + 8) + (v - c + 8)) / 32.0
        return mix((92, 95, 102), (18, 19, 22), t) + (255,)
    shade(big, (0, 0, size, size), body)
    disc(big, c, c, 2.6, fill=(190, 194, 200, 255))
    ellipse(big, c - 3.2, c - 3.8, 2.6, 1.4, fill=(255, 255, 255, 90))
    if not plugged:
        for i in range(12):
            a0 = i * math.pi / 6
            pts = [(c + 14.0 * math.cos(a0 + t * 0.32), c + 14.0 * math.sin(a0 + t * 0.32))
                   for t in (0.0, 0.5, 1.0)]
            line(big, pts, ACCENT + (255,), 1.5)
    return flatten(big, size, size)


# ------------------------------------------------------------------ lamps and toggles

def lamp(colour, lit):
    """A round indicator lamp behind a chrome bezel (16 x 16)."""
    size, c = 16, 8.0
    big = layer(size, size)

    def fn(u, v):
        d = math.hypot(u - c, v - c)
        if d > 7.6:
            return None
        if d > 5.9:
            return mix((200, 204, 210), (80, 82, 88), (v - 0.4) / 15.2) + (255,)
        t = d / 5.9
        if lit:
            core = mix((255, 255, 255), colour, min(1.0, t * 1.6))
            return mix(core, scale(colour, 0.75), max(0.0, t - 0.6) * 2.5) + (255,)
        return mix(scale(colour, 0.32), scale(colour, 0.12), t) + (255,)
    shade(big, (0, 0, size, size), fn)
    ellipse(big, c - 1.8, c - 2.2, 1.8, 1.1, fill=(255, 255, 255, 150 if lit else 70))
    return flatten(big, size, size)


def toggle(colour, lit):
    """A small square latching switch (16 x 16)."""
    size = 16
    big = layer(size, size)
    shadow = layer(size, size)
    rounded(shadow, (1, 1.6, 15, 15.6), 3, fill=(0, 0, 0, 170))
    big = over(big, blurred(shadow, 0.5))
    if lit:
        big = vertical_gradient(big, (1, 1, 15, 15), 3, mix(colour, (255, 255, 255), 0.35),
                                scale(colour, 0.8))
    else:
        big = vertical_gradient(big, (1, 1, 15, 15), 3, (70, 72, 78), (44, 46, 50))
        rounded(big, (4.5, 6.8, 11.5, 9.2), 1, fill=scale(colour, 0.45) + (255,))
    rounded(big, (1, 1, 15, 15), 3, outline=(16, 17, 19, 255), width=0.8)
    return flatten(big, size, size)
