"""The editor's RC layout files, from one table of panels.

Each entry of LAYOUTS is a file of data/RC: its size, its background picture
and its elements. Module panels come in pairs: the back face (BACK_<TYPE>.RC,
shown while cables are edited) carries the jacks, the front face (<TYPE>.RC)
the controls; both have the same size, and a type's panels all share it.
Widths stay within the editor's column of the type (128, 256, 416 or 512).
make_art.py writes the files and a face picture for every size used here.
"""
import os

ACCENT = 0xF08C28
CAPTION = 0xA0A4AA
VALUE = 0x78FFAF
NAME = 0xD8DADE
KIND_COLOUR = {"SIGNAL": 0xE1E4E8, "GATE": 0xE13732, "SYNC": 0x3C82F0}

TITLE_FONT, CAPTION_FONT, VALUE_FONT = 2, 0, 1


class Face:
    """One layout file: THIS record, IMAGE_FOND, then the elements in order."""

    def __init__(self, w, h, back, title):
        self.w, self.h, self.back = w, h, back
        self.records = []
        fond = f"FOND_{'BACK' if back else 'PANEL'}_{w}x{h}"
        self.sprite("IMAGE_FOND", fond, "0", 0, 0)
        if title:
            self.label("TITLE", title, 8, 8, TITLE_FONT, 12, ACCENT)

    def sprite(self, name, image, mask, x, y):
        self.records.append(f"SPRITE\t{name}\t{image}\t{mask}\t{x}\t{y}\t0\t0\t0\t1.000000\t0\t255")

    def button(self, name, base, x, y, off=None):
        # switches (CHK_n) have no hover picture: they show their off state
        hover = "OFF" if base and base.startswith("CHK_") else "TOUCHED"
        images = (off or f"{base}_OFF", off or f"{base}_ON", off or f"{base}_{hover}")
        self.records.append(f"BUTTON\t{name}\t" + "\t".join(images) +
                            f"\t{x}\t{y}\t0\t0\t0\t1.000000\t0")

    def slider(self, name, image, x, y, angle=0):
        self.records.append(f"SLIDER\t{name}\t{image}\t{x}\t{y}\t0\t0\t0\t1.000000\t{angle}")

    def label(self, name, caption, x, y, font=CAPTION_FONT, size=9, colour=CAPTION):
        self.records.append(f"LABEL\t{name}\t{caption}\t{x}\t{y}\t{font}\t{size}\t{colour}")

    def caption(self, name, text, cx, y, size=9, colour=CAPTION):
        """A caption centred on cx (a label's box is len x size / 2 wide)."""
        self.label(name, text, int(cx - len(text) * size / 4), y, CAPTION_FONT, size, colour)

    # --- compound controls

    def name_lcd(self, x=8, y=22, w=None):
        """The module's name on a small display: label_NAME."""
        w = w or min(112, self.w - 16)
        self.sprite("LCD_NAME", f"LCD_{w}x14", "0", x, y)
        self.label("label_NAME", "-", x + 4, y + 2, VALUE_FONT, 10, NAME)

    def knob(self, word, text, cx, y, value="0.000", slider=None, label=None, image="SLD2"):
        """Caption, knob and its value on a display, centred on cx."""
        size = 32 if image in ("SLD2", "SLD4") else 16
        self.caption(f"TXT_{word}", text, cx, y)
        self.slider(slider or f"SLD_{word}", image, cx - size // 2, y + 12)
        self.value(label or f"LABEL_{word}", value, cx, y + 14 + size)

    def value(self, name, text, cx, y, w=56):
        self.sprite(f"LCD_{name}", f"LCD_{w}x14", "0", cx - w // 2, y)
        self.label(name, text, cx - w // 2 + 3, y + 2, VALUE_FONT, 10, VALUE)

    def power(self, x, y):
        self.button("POWER", "BTN_POWER", x, y)

    def jacks(self, plugs, top=26, pitch=40, row=50):
        """Jacks in rows, each with its caption below, coloured by kind."""
        per_row = max(1, (self.w - 8) // pitch)
        left = (self.w - per_row * pitch) // 2 + (pitch - 32) // 2
        for i, (name, kind, text) in enumerate(plugs):
            x = left + (i % per_row) * pitch
            y = top + (i // per_row) * row
            side = "OUT" if name.startswith("OUTPUT") else "IN"
            mask = "JACK_OUT_MASK" if side == "OUT" else "JACK_IN_MASK"
            self.sprite(name, f"JACK_{side}_{kind}", mask, x, y)
            colour = ACCENT if side == "OUT" else KIND_COLOUR[kind]
            self.caption(f"TXT_{name}", text, x + 16, y + 34, 8, colour)

    def text(self):
        head = f"THIS\nCOLOR=3158064;WIDTH={self.w};HEIGHT={self.h};ALPHA=255;\n"
        return head + "".join(r + "\r\n" for r in self.records)


def jack_rows(count, w, pitch=40, row=50, top=26):
    per_row = max(1, (w - 8) // pitch)
    return top + ((count + per_row - 1) // per_row) * row


# ------------------------------------------------------------------ plugs

def S(name, text):
    return (name, "SIGNAL", text)


OUT = S("OUTPUT", "OUT")
GATE_OUTS = [("OUTPUT_GATE", "GATE", "GATE"), ("OUTPUT_SYNC", "SYNC", "SYNC")]
GATE_IN, SYNC_IN = ("INPUT_GATE", "GATE", "GATE"), ("INPUT_SYNC", "SYNC", "SYNC")
OSC_INS = [S("INPUT", "IN"), S("INPUT_MOD_AMP", "M.AMP"), S("INPUT_MOD_FREQ", "M.FRQ"),
           S("INPUT_MOD_PHASE", "M.PHS"), S("INPUT_MOD_PWM", "M.PWM"), S("INPUT_AMP", "AMP"),
           S("INPUT_FREQ", "FREQ"), S("INPUT_PHASE", "PHASE"), S("INPUT_PWM", "PWM"),
           GATE_IN, SYNC_IN]
FILTER_INS = [S("INPUT", "IN"), S("INPUT_MOD_AMP", "M.AMP"), S("INPUT_MOD_FREQ", "M.FRQ"),
              S("INPUT_MOD_Q", "M.Q"), S("INPUT_MOD_GAIN", "M.GAIN"), S("INPUT_ALT_AMP", "AMP"),
              S("INPUT_ALT_FREQ", "FREQ"), S("INPUT_ALT_Q", "Q"), S("INPUT_ALT_GAIN", "GAIN"),
              GATE_IN, SYNC_IN]

# ------------------------------------------------------------------ panels

# type file stem -> (title, width, plugs of the back face)
MODULES = {
    "VCO": ("VCO", 256, OSC_INS + [OUT]),
    "FAKE303": ("FAKE303", 256, OSC_INS + [OUT]),
    "VCF": ("VCF", 256, FILTER_INS + [OUT]),
    "VCF_303": ("VCF303", 256, FILTER_INS + [OUT]),
    "FORMANT_VCF": ("FORMANT", 128, [S("INPUT", "IN"), S("INPUT_MOD_AMP", "M.AMP"),
                                     S("INPUT_MOD_FREQ", "M.FRQ"), S("INPUT_MOD_PHASE", "M.PHS"),
                                     GATE_IN, SYNC_IN, OUT]),
    "VCA": ("VCA", 256, [S("INPUT", "IN"), GATE_IN, OUT]),
    "MIXER": ("MIXER", 256, [S(f"INPUT_{n}", str(n)) for n in range(1, 13)] + [OUT]),
    "SAMPLER": ("SAMPLER", 416, [S("INPUT", "IN"), S("INPUT_MOD_AMP", "M.AMP"),
                                 S("INPUT_MOD_FREQ", "M.FRQ"), S("INPUT_MOD_PHASE", "M.PHS"),
                                 GATE_IN, SYNC_IN, OUT]),
    "SEQUENCEUR": ("SEQUENCER", 512, [S("INPUT_PART", "PART"), OUT] + GATE_OUTS),
    "KEYBOARD": ("KEYBOARD", 128, [OUT] + GATE_OUTS),
    "GENERATOR": ("GENERATOR", 416, [S("INPUT", "IN"), GATE_IN, SYNC_IN, OUT]),
    "SOUND_OUTPUT": ("SOUND OUT", 128, [S("INPUT", "IN"), OUT]),
    "SOUND_INPUT": ("SOUND IN", 128, [S("INPUT", "IN"), OUT] + GATE_OUTS),
    "VARIABLE": ("VARIABLE", 128, [S("INPUT", "IN"), S("INPUT_ASSIGN", "SET"), OUT]),
    "OPERATION": ("OPERATION", 128, [S("INPUT1", "IN1"), S("INPUT2", "IN2"),
                                     S("INPUT_IF", "IF"), OUT]),
    "CONSTANTE": ("CONSTANTE", 128, [OUT]),
    "AFFICHAGE": ("DISPLAY", 128, [S("INPUT", "IN"), OUT]),
    "SFX_DELAY": ("DELAY", 128, [S("INPUT", "IN"), S("INPUT_MOD_FREQ", "M.FRQ"),
                                 S("INPUT_ALT_FREQ", "FREQ"), OUT]),
}


def osc_front(f, display):
    """Oscillator controls: waveform display, frequency, volume, phase, width."""
    f.name_lcd(w=112)
    f.power(f.w - 40, 22)
    first = "MINI_DISP_SIN" if display == "mini" else "DISP_SIN"
    if display == "mini":
        f.button("AFFICHAGE_TYPE_ONDE", None, 136, 24, off=first)
    for i, (word, text, value) in enumerate((("FREQUENCE", "FREQ", "110.000"),
                                             ("VOLUME", "VOLUME", "1.000"),
                                             ("PHASE", "PHASE", "0"), ("PWM", "PWM", "0.500"))):
        f.knob(word, text, 34 + 62 * i, 58, value)
    return first


def vco(f):
    osc_front(f, "big")
    f.button("AFFICHAGE_TYPE_ONDE", None, 64, 140, off="DISP_SIN")
    f.caption("TXT_WAVE", "WAVE_(click)", 128, 208)


def fake303(f):
    osc_front(f, "mini")
    for i, (word, text) in enumerate((("ENV_LVL", "ENV"), ("FILTER_LVL", "FILTER"),
                                      ("FILTER_HI", "CUTOFF"))):
        f.knob(word, text, 34 + 62 * i, 126, "0.500")
    for i, word in enumerate(("NOISE", "FILTER", "DIST", "ENV")):
        f.button(f"{word}_TOGGLE", f"BTN_{word}", 4 + 62 * i, 196)


def multi_vco(f):
    f.name_lcd(w=112)
    f.power(f.w - 40, 22)
    f.button("AFFICHAGE_TYPE_ONDE", None, 136, 24, off="MINI_DISP_SIN")
    f.knob("NBR_VCO", "VOICES", 34, 58, "4", slider="SLIDER_NBR_VCO")
    for i, (word, text, value) in enumerate((("VOLUME", "VOLUME", "1.000"), ("PHASE", "PHASE", "0"),
                                             ("PWM", "PWM", "0.500"))):
        f.knob(word, text, 96 + 58 * i, 58, value)
    f.caption("TXT_VOICES", "VOICE_FREQUENCIES", 128, 126)
    for v in range(16):
        cx, y = 32 + 64 * (v % 4), 140 + 28 * (v // 4)
        f.slider(f"SLD_FREQ_{v + 1:02d}", "SLD3", cx - 30, y + 2)
        f.sprite(f"LCD_FREQ_{v + 1:02d}", "LCD_42x14", "0", cx - 12, y + 3)
        f.label(f"LABEL_FREQ_{v + 1:02d}", "110.0", cx - 10, y + 5, VALUE_FONT, 8, VALUE)


def filter_display(f, x, y):
    f.button("AFFICHAGE_TYPE_FILTRE", None, x, y, off="DISP_FILTRE_LOWPASS")
    f.caption("TXT_TYPE", "TYPE_(click)", x + 180, y + 14)
    f.value("LABEL_TYPE", "LOWPASS", x + 180, y + 28, w=72)


def vcf(f):
    f.name_lcd(w=112)
    f.power(f.w - 40, 22)
    f.button("BYPASS", "BTN_BYPASS", f.w - 112, 22)
    for i, (word, text, value) in enumerate((("HICUTOFF", "CUTOFF", "1000"), ("GAIN", "GAIN", "1.000"),
                                             ("QRATIO", "Q", "0.707"), ("LEVEL", "LEVEL", "1.0"))):
        f.knob(word, text, 34 + 62 * i, 58, value)
    filter_display(f, 8, 128)


def vcf303(f):
    f.name_lcd(w=112)
    f.power(f.w - 40, 22)
    f.button("BYPASS", "BTN_BYPASS", f.w - 112, 22)
    for i, (word, text, value) in enumerate((("HICUTOFF", "CUTOFF", "1000"), ("RESO", "RESO", "0.50000"),
                                             ("LEVEL", "LEVEL", "1.000"))):
        f.knob(word, text, 48 + 80 * i, 58, value)


def formant(f):
    f.name_lcd(w=80)
    f.power(f.w - 40, 22)
    f.button("BYPASS", "BTN_BYPASS", 8, 44)
    f.knob("GAIN", "VOWEL", 98, 60, "0.00")
    f.button("AFFICHAGE_TYPE_FILTRE", None, 0, 128, off="DISP_FILTRE_LOWPASS")
    f.value("LABEL_TYPE", "A", 96, 194, w=52)


def phaser(f):
    f.name_lcd(w=80)
    f.power(f.w - 40, 22)
    for i, (word, text, value) in enumerate((("DEPTH", "DEPTH", "0.5"), ("FEEDBACK", "FEEDBK", "0.5"),
                                             ("RANGE_LOW", "LOW", "440.0"), ("RANGE_HI", "HIGH", "1600.0"))):
        f.knob(word, text, 34 + 60 * (i % 2), 58 + 64 * (i // 2), value)
    f.caption("TXT_RATE", "RATE", 100, 186)
    f.slider("SLD_RATE", "SLD3", 92, 198)
    f.value("LABEL_RATE", "0.50", 100, 216, w=40)
    f.button("BYPASS", "BTN_BYPASS", 8, 190)


def vca(f):
    f.name_lcd(w=112)
    f.power(f.w - 40, 22)
    for i, (word, text, value) in enumerate((("ATTACK", "ATTACK", "10.0"), ("DECAY", "DECAY", "10.0"),
                                             ("SUSTAIN", "SUSTAIN", "0.50"), ("RELEASE", "RELEASE", "10.0"))):
        f.knob(word, text, 34 + 62 * i, 58, value)


def mixer(f):
    f.name_lcd(w=112)
    f.power(f.w - 40, 22)
    f.caption("TXT_CHANNELS", "CHANNELS", 128, 44)


def sampler(f):
    f.name_lcd(w=160)
    f.power(f.w - 40, 22)
    f.button("VIEW", "BTN_VIEW", f.w - 112, 22)
    for i, (word, text, value) in enumerate((("FREQUENCE", "FREQ", "1.000"), ("VOLUME", "VOLUME", "1.000"),
                                             ("PHASE", "PHASE", "0"))):
        f.knob(word, text, 34 + 62 * i, 58, value)
    f.knob("LOOP_BEGIN", "LOOP_START", 230, 58, "0.000", slider="SLD_LOOP_BEGIN_TIME",
           label="LABEL_LOOP_BEGIN_TIME")
    f.knob("LOOP_END", "LOOP_END", 300, 58, "1.000", slider="SLD_LOOP_END_TIME",
           label="LABEL_LOOP_END_TIME")
    f.button("LOOP_MODE", "BTN_LOOP", 340, 70)
    f.caption("TXT_FILE", "SAMPLE_FILE", 60, 132)
    f.button("FILE_DOWN", "BTN_DOWN", 8, 146)
    f.button("FILE_UP", "BTN_UP", 28, 146)
    f.sprite("LCD_LABEL_FILENAME", "LCD_200x14", "0", 48, 147)
    f.label("LABEL_FILENAME", "NONE", 52, 149, VALUE_FONT, 10, VALUE)
    f.caption("TXT_PLAY", "PLAY", 328, 132)
    for i, (name, base) in enumerate((("SMP_PLAY_AV", "BTN_FWD"), ("SMP_PLAY_AR", "BTN_REV"),
                                      ("SMP_PLAY_LOOPAV", "BTN_LOOP_FWD"),
                                      ("SMP_PLAY_LOOPAR", "BTN_LOOP_REV"))):
        f.button(name, base, 256 + 38 * i, 146)


def sequencer(f):
    f.name_lcd(w=112)
    f.power(f.w - 40, 22)
    f.button("VIEW", "BTN_VIEW", f.w - 112, 22)
    f.caption("TXT_PATTERN", "PATTERN", 194, 22)
    for n in range(8):
        f.button(f"BUTTON_PATTERN_{n}", f"BTN_PAT_{n}", 130 + 17 * n, 36)
    f.caption("TXT_DIVIDER", "DIVIDER", 300, 22)
    f.button("BUTTON_DIVIDER_DOWN", "BTN_DOWN", 270, 36)
    f.button("BUTTON_DIVIDER_UP", "BTN_UP", 314, 36)
    f.value("LABEL_DIVIDER", "1.000", 300, 54, w=48)
    f.value("LABEL_WISHED_DIVIDER", "1.000", 300, 70, w=48)
    f.caption("TXT_STEPS", "STEPS", 360, 22)
    f.button("BUTTON_MAX_STEP_DOWN", "BTN_DOWN", 340, 36)
    f.button("BUTTON_MAX_STEP_UP", "BTN_UP", 364, 36)
    f.value("LABEL_MAX_STEP", "16", 360, 54, w=32)
    f.button("FILE_DOWN", "BTN_DOWN", 8, 42)
    f.button("FILE_UP", "BTN_UP", 26, 42)
    f.sprite("LCD_LABEL_FILENAME", "LCD_76x14", "0", 44, 43)
    f.label("LABEL_FILENAME", "NONE", 47, 45, VALUE_FONT, 9, VALUE)
    f.button("BT_LOAD", "BTN_LOAD", 8, 62)
    f.button("BT_SAVE", "BTN_SAVE", 74, 62)
    # the 32 step strips, 16 pixels apart
    rows = [("LAMPE_STEP_%d", "sprite", "LAMP_LED_1_0", "LAMP_LED_1_MASK"),
            ("BUTTON_OCT_%d_UP", "button", "BTN_UP"), ("SPRITE_OCT_%d", "sprite", "LED_NUMERIC_1_4", "0"),
            ("BUTTON_OCT_%d_DOWN", "button", "BTN_DOWN"), ("BUTTON_NOTE_%d_UP", "button", "BTN_UP"),
            ("SPRITE_NOTE_%d", "sprite", "LED_NUMERIC_2_10", "0"), ("BUTTON_NOTE_%d_DOWN", "button", "BTN_DOWN"),
            ("SLD_VOL_%d", "slider", "SLD3"), ("LABEL_TXT_%d_VOL", "label", "1.0"),
            ("SLD_LENGHT_%d", "slider", "SLD3"), ("LABEL_TXT_%d_LENGHT", "label", "1.0"),
            ("BUTTON_BYPASS_%d", "button", "CHK_4"), ("BUTTON_ACCENT_%d", "button", "CHK_2"),
            ("BUTTON_SLIDE_%d", "button", "CHK_3")]
    top = 100
    for i in range(1, 33):
        x = 16 * (i - 1)
        y = top
        for row in rows:
            name = row[0] % i
            if row[1] == "sprite":
                f.sprite(name, row[2], row[3], x, y)
            elif row[1] == "button":
                f.button(name, row[2], x, y)
            elif row[1] == "slider":
                f.slider(name, row[2], x, y)
            else:
                f.label(name, row[2], x + 1, y, VALUE_FONT, 7, VALUE)
            y += 10 if row[1] == "label" else 16


def keyboard(f):
    f.name_lcd(w=112)
    f.power(8, 44)
    f.caption("TXT_OCT", "OCTAVE", 88, 40)
    f.button("BUTTON_OCT_DOWN", "BTN_DOWN", 58, 56)
    f.sprite("SPRITE_OCT", "LED_NUMERIC_1_4", "0", 80, 56)
    f.button("BUTTON_OCT_UP", "BTN_UP", 102, 56)


def generator(f):
    f.name_lcd(w=160)
    f.caption("TXT_PATCH", "NESTED PATCH", 60, 44)
    f.button("AFFICHAGE_TYPE_ONDE", "BTN_LOAD", 8, 58)
    f.sprite("LCD_label_TSY_NAME", "LCD_200x14", "0", 80, 67)
    f.label("label_TSY_NAME", "-", 84, 69, VALUE_FONT, 10, VALUE)


def value_panel(word):
    def build(f):
        f.name_lcd(w=112)
        f.value(word, "0.000", 64, 48, w=80)
    return build


def constante(f):
    f.name_lcd(w=112)
    f.knob("VALUE", "VALUE", 40, 40, "4.000", label="LABEL_CST_VALUE")
    f.caption("TXT_OCT", "+/-1", 100, 44)
    f.button("BUTTON_OCT_UP", "BTN_UP", 92, 58)
    f.button("BUTTON_OCT_DOWN", "BTN_DOWN", 92, 78)


def affichage(f):
    value_panel("LABEL_CST_VALUE")(f)
    f.sprite("LAMPE", "CHK_1_OFF", "CHK_1_MASK", 104, 48)


def operation(f):
    f.name_lcd(w=112)
    f.button("BUTTON_TYPE", "BTN_PUSH", 8, 44)
    f.caption("TXT_TYPE", "OPERATION", 84, 42)
    f.value("LABEL_OPERATION", "addition", 84, 56, w=76)


def delay(f):
    f.name_lcd(w=80)
    f.power(f.w - 40, 22)
    f.knob("DELAY", "TIME", 64, 44, "0.2500")


def plain(f):
    f.name_lcd(w=112)


# file stem -> (front builder, front height); the back face shares the height
FRONTS = {
    "VCO": (vco, 256), "FAKE303": (fake303, 232), "VCF": (vcf, 200), "VCF_303": (vcf303, 128),
    "FORMANT_VCF": (formant, 240), "VCA": (vca, 128), "MIXER": (mixer, 256),
    "SAMPLER": (sampler, 184), "SEQUENCEUR": (sequencer, 320), "KEYBOARD": (keyboard, 128),
    "GENERATOR": (generator, 96), "SOUND_OUTPUT": (plain, 128), "SOUND_INPUT": (plain, 176),
    "VARIABLE": (value_panel("LABEL_VAR_VALUE"), 128), "OPERATION": (operation, 128),
    "CONSTANTE": (constante, 128), "AFFICHAGE": (affichage, 128), "SFX_DELAY": (delay, 128),
}
# Fronts that share another type's back face: stem -> (builder, title, back stem)
SHARED = {"MULTI_VCO": (multi_vco, "MULTI VCO", "VCO"),
          "PHASER": (phaser, "PHASER", "FORMANT_VCF")}


def module_faces():
    faces = {}
    for stem, (title, w, plugs) in MODULES.items():
        build, h = FRONTS[stem]
        h = max(h, jack_rows(len(plugs), w) + 4)
        back = Face(w, h, True, title)
        back.jacks(plugs)
        faces[f"BACK_{stem}.RC"] = back
        front = Face(w, h, False, title)
        build(front)
        faces[f"{stem}.RC"] = front
    for stem, (build, title, back_stem) in SHARED.items():
        back = faces[f"BACK_{back_stem}.RC"]
        front = Face(back.w, back.h, False, title)
        build(front)
        faces[f"{stem}.RC"] = front
    return faces


PALETTE_ORDER = ["AFFICHAGE", "BASIC_OPERATION", "CONSTANTE", "FAKE303", "GENERATOR", "KEYBOARD",
                 "MIXER", "MICRO", "PHASER", "SEQUENCER", "SAMPLER", "SFX_DELAY", "SOUND_INPUT",
                 "SOUND_OUTPUT", "VARIABLE", "VCA", "FORMANT_VCF", "VCF303", "VCF", "MULTI_VCO",
                 "VCO"]


def dashboards():
    faces = {}
    mod = Face(256, 128, False, "MODULES")
    for i, word in enumerate(PALETTE_ORDER):
        mod.button(f"BUTTON_{word}", f"BTN_{word}", 8 + 80 * (i % 3), 22 + 15 * (i // 3) - 0)
    faces["MODULE_DASH.RC"] = mod
    # docked at x = 775: at most 248 wide to stay on a 1024 screen
    sysd = Face(240, 64, False, "SYSTEM")
    for i, word in enumerate(("LOAD", "SAVE")):
        sysd.button(f"BUTTON_{word}", f"BTN_{word}", 6 + 68 * i, 20)
    sysd.button("BUTTON_FILS", "BTN_EDIT", 142, 20)
    sysd.caption("TXT_FILS", "cables", 174, 52, 8)
    faces["SYSTEM_DASH.RC"] = sysd
    info = Face(512, 128, False, "T_MODULAR")
    info.sprite("LOGO", "LOGO_TMODULAR", "LOGO_TMODULAR_MASK", 250, 62)
    info.sprite("LCD_INFO", "LCD_500x38", "0", 6, 22)
    info.sprite("LCD_TARGET", "LCD_236x40", "0", 6, 64)
    info.caption("TXT_TARGET", "UNDER_THE_POINTER", 124, 108)
    faces["DASH.RC"] = info
    load = Face(512, 256, False, "LOAD A PATCH")
    load.caption("TXT_HINT", "click_a_name_-_Esc_leaves", 256, 22)
    load.sprite("LCD_LIST", "LCD_400x168", "0", 56, 44)
    load.button("BUTTON_OCT_UP", "BTN_UP", 470, 50)
    load.button("BUTTON_OCT_DOWN", "BTN_DOWN", 470, 196)
    faces["LOAD.RC"] = load
    # small forms
    seq = Face(512, 64, False, "SEQUENCER")
    seq.name_lcd(x=96, y=3, w=112)
    seq.power(472, 20)
    seq.button("VIEW", "BTN_VIEW", 400, 20)
    for n in range(8):
        seq.button(f"BUTTON_PATTERN_{n}", f"BTN_PAT_{n}", 8 + 17 * n, 28)
    seq.sprite("LCD_LABEL_FILENAME", "LCD_200x14", "0", 160, 29)
    seq.label("LABEL_FILENAME", "NONE", 164, 31, VALUE_FONT, 10, VALUE)
    faces["SEQUENCEUR_MINI.RC"] = seq
    smp = Face(256, 64, False, "SAMPLER")
    smp.name_lcd(x=96, y=3, w=112)
    smp.power(216, 24)
    smp.button("VIEW", "BTN_VIEW", 144, 24)
    smp.sprite("LCD_LABEL_FILENAME", "LCD_124x14", "0", 8, 30)
    smp.label("LABEL_FILENAME", "NONE", 12, 32, VALUE_FONT, 10, VALUE)
    faces["SAMPLER_MINI.RC"] = smp
    return faces


def all_faces():
    faces = module_faces()
    faces.update(dashboards())
    return dict(sorted(faces.items()))


def sizes(faces):
    """Face sizes by kind of background: {(w, h, back)}."""
    return sorted({(f.w, f.h, f.back) for f in faces.values()})


def lcd_sizes(faces):
    out = set()
    for f in faces.values():
        for r in f.records:
            image = r.split("\t")[2]
            if r.startswith("SPRITE") and image.startswith("LCD_"):
                w, h = image[4:].split("x")
                out.add((int(w), int(h)))
    return sorted(out)


def write(faces, directory):
    os.makedirs(directory, exist_ok=True)
    for old in os.listdir(directory):
        if old.endswith(".RC"):
            os.remove(os.path.join(directory, old))
    for name, face in faces.items():
        with open(os.path.join(directory, name), "w", newline="") as out:
            out.write(face.text())
