"""Drawing primitives of the art generator (make_art.py).

Textures carry no alpha: a sprite with a mask is drawn as
    background * mask + image
so a shape with coverage a and colour c is stored as
    image = c * a        (black where transparent)
    mask  = 1 - a        (white where transparent)
Shapes are drawn on RGBA canvases SS times larger than the result and reduced
with premultiplied alpha, which yields exactly that pair with smooth edges.
"""
import math

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

SS = 4  # supersampling of shapes


# ------------------------------------------------------------------ colours

def mix(a, b, t):
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def scale(c, k):
    return tuple(max(0, min(255, int(round(v * k)))) for v in c)


def add(c, d):
    return tuple(max(0, min(255, int(round(v + d)))) for v in c)


# ------------------------------------------------------------------ canvases

def layer(w, h):
    """A transparent supersampled canvas for a w x h result."""
    return Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))


def flatten(big, w, h):
    """(image on black, alpha) of a supersampled canvas."""
    small = big.convert("RGBa").resize((w, h), Image.BOX)
    r, g, b, a = small.split()
    return Image.merge("RGB", (r, g, b)), a


def mask_of(alpha):
    inverse = ImageChops.invert(alpha)
    return Image.merge("RGB", (inverse, inverse, inverse))


def over(base, top):
    return Image.alpha_composite(base, top)


def blurred(big, radius):
    """A soft copy of a supersampled canvas (radius in result pixels)."""
    return big.filter(ImageFilter.GaussianBlur(radius * SS))


def shade(big, box, fn):
    """Colours every supersampled pixel of the box (result pixels) with
    fn(u, v) -> (r, g, b, a) or None, where (u, v) is the pixel centre in result
    pixels. Pixels where fn returns None are left alone."""
    x0, y0, x1, y1 = (int(math.floor(v * SS)) for v in box)
    px = big.load()
    w, h = big.size
    for y in range(max(0, y0), min(h, y1)):
        v = (y + 0.5) / SS
        for x in range(max(0, x0), min(w, x1)):
            c = fn((x + 0.5) / SS, v)
            if c is not None:
                px[x, y] = c


def _drawn_over(big, draw):
    """Draws on a clear layer and composes it over the canvas, so translucent
    strokes blend instead of punching translucent holes."""
    top = Image.new("RGBA", big.size, (0, 0, 0, 0))
    draw(ImageDraw.Draw(top))
    big.alpha_composite(top)


def ellipse(big, cx, cy, rx, ry, fill=None, outline=None, width=1.0):
    box = ((cx - rx) * SS, (cy - ry) * SS, (cx + rx) * SS, (cy + ry) * SS)
    _drawn_over(big, lambda d: d.ellipse(box, fill=fill, outline=outline,
                                         width=max(1, int(round(width * SS)))))


def disc(big, cx, cy, r, fill=None, outline=None, width=1.0):
    ellipse(big, cx, cy, r, r, fill, outline, width)


def rounded(big, box, radius, fill=None, outline=None, width=1.0):
    x0, y0, x1, y1 = box
    _drawn_over(big, lambda d: d.rounded_rectangle(
        (x0 * SS, y0 * SS, x1 * SS - 1, y1 * SS - 1), radius=radius * SS, fill=fill,
        outline=outline, width=max(1, int(round(width * SS)))))


def polygon(big, points, fill):
    _drawn_over(big, lambda d: d.polygon([(x * SS, y * SS) for x, y in points], fill=fill))


def line(big, points, fill, width):
    _drawn_over(big, lambda d: d.line([(x * SS, y * SS) for x, y in points], fill=fill,
                                      width=max(1, int(round(width * SS))), joint="curve"))


def vertical_gradient(big, box, radius, top, bottom):
    """A rounded box filled with a vertical gradient."""
    x0, y0, x1, y1 = box
    shape = layer(big.size[0] // SS, big.size[1] // SS)
    rounded(shape, box, radius, fill=(255, 255, 255, 255))
    fill = Image.new("RGBA", big.size, (0, 0, 0, 0))
    d = ImageDraw.Draw(fill)
    for y in range(int(y0 * SS), int(y1 * SS)):
        t = (y - y0 * SS) / max(1.0, (y1 - y0) * SS - 1)
        d.line((0, y, big.size[0], y), fill=mix(top, bottom, t) + (255,))
    fill.putalpha(shape.split()[3])
    return over(big, fill)


# ------------------------------------------------------------------ text

class Fonts:
    """The DejaVu faces copied into data/Fonts."""

    def __init__(self, directory):
        self.directory = directory
        self.cache = {}

    def get(self, face, size):
        key = (face, size)
        if key not in self.cache:
            files = {
                "sans": "DejaVuSans.ttf",
                "bold": "DejaVuSans-Bold.ttf",
                "mono": "DejaVuSansMono.ttf",
                "mono_bold": "DejaVuSansMono-Bold.ttf",
                "condensed_bold": "DejaVuSansCondensed-Bold.ttf",
            }
            self.cache[key] = ImageFont.truetype(f"{self.directory}/{files[face]}", size)
        return self.cache[key]


def text(image, xy, string, font, fill, anchor="mm"):
    """Text at result resolution (hinted, sharp at small sizes)."""
    ImageDraw.Draw(image).text(xy, string, font=font, fill=fill, anchor=anchor)


def text_width(string, font):
    return ImageDraw.Draw(Image.new("L", (1, 1))).textlength(string, font=font)


def glow_text(image, xy, string, font, colour, glow_radius=1.2, anchor="mm"):
    """Lit text on a dark display: the text over a soft halo of its colour."""
    halo = Image.new("RGB", image.size, (0, 0, 0))
    text(halo, xy, string, font, colour, anchor)
    halo = halo.filter(ImageFilter.GaussianBlur(glow_radius))
    image.paste(ImageChops.add(image, scale_image(halo, 0.8)))
    text(image, xy, string, font, colour, anchor)


def scale_image(image, k):
    return image.point(lambda v: max(0, min(255, int(v * k))))


# ------------------------------------------------------------------ noise

def noise(rng, w, h, spread):
    """A grey image around 128 with uniform noise of +-spread."""
    data = bytes(128 + rng.randint(-spread, spread) for _ in range(w * h))
    return Image.frombytes("L", (w, h), data)


def add_grey(image, grey):
    """Adds (grey - 128) to every channel of an RGB image."""
    g = Image.merge("RGB", (grey, grey, grey))
    return ImageChops.add(image, g, scale=1.0, offset=-128)
