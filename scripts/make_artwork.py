#!/usr/bin/env python3
"""Draws the control's artwork: the two skin bitmaps with their skin sets,
the two icons, the toolbox bitmap and the emoticons (emoticon_gifs.py). Run
by the build; the output depends on nothing but these two files, so every run
writes the same bytes.

usage: make_artwork.py OUTDIR
"""
import struct
import sys
from pathlib import Path

from emoticon_gifs import emoticon_files

KEY = (255, 0, 255)          # the transparent key: pixel (0, 0) of both skins
BAR_TOP = (58, 62, 70)
BAR_BOTTOM = (22, 24, 28)

# The four looks of one button shape: normal, hover, pressed, disabled.
TINTS = {
    "N": (200, 204, 212),
    "H": (255, 255, 255),
    "S": (120, 190, 255),
    "D": (96, 98, 104),
}


class Canvas:
    def __init__(self, width, height, keyed=True):
        self.width, self.height, self.keyed = width, height, keyed
        self.rows = [[KEY] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            # The key colour must never appear in an opaque picture.
            # In a skin the key colour is pixel (0, 0) and the untouched
            # areas only, never a part of a picture.
            assert not self.keyed or (colour != KEY and (x, y) != (0, 0))
            self.rows[y][x] = colour

    def fill(self, l, t, r, b, colour):
        for y in range(t, b):
            for x in range(l, r):
                self.put(x, y, colour)

    def vgradient(self, l, t, r, b, top, bottom):
        h = max(b - t - 1, 1)
        for y in range(t, b):
            k = (y - t) / h
            c = tuple(round(top[i] + (bottom[i] - top[i]) * k) for i in range(3))
            self.fill(l, y, r, y + 1, c)

    def bmp(self):
        stride = (self.width * 3 + 3) & ~3
        pixels = bytearray()
        for row in reversed(self.rows):
            line = bytearray()
            for (r, g, b) in row:
                line += bytes((b, g, r))
            line += bytes(stride - len(line))
            pixels += line
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0,
                           len(pixels), 2835, 2835, 0, 0)
        head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
        return head + info + pixels


def inside_circle(x, y, w, h):
    cx, cy = (w - 1) / 2, (h - 1) / 2
    rad = min(w, h) / 2 - 0.5
    return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad


# Each glyph: (w, h, look) -> set of (x, y) in the item's own coordinates that
# take the tint; everything else stays key-coloured.
def glyph_play(w, h, look):
    dots = {(x, y) for y in range(h) for x in range(w)
            if inside_circle(x, y, w, h) and not inside_circle_shrunk(x, y, w, h, 2)}
    if look == "S":  # pressed = playing: the pause bars
        for y in range(h // 3, h - h // 3):
            for x in list(range(w // 2 - 5, w // 2 - 2)) + list(range(w // 2 + 2, w // 2 + 5)):
                dots.add((x, y))
    else:
        top, bottom = h // 3 - 1, h - h // 3
        for y in range(top, bottom + 1):
            span = min(y - top, bottom - y)
            for x in range(w // 2 - 3, w // 2 - 3 + span + 1):
                dots.add((x, y))
    return dots


def inside_circle_shrunk(x, y, w, h, by):
    cx, cy = (w - 1) / 2, (h - 1) / 2
    rad = min(w, h) / 2 - 0.5 - by
    return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad


def glyph_stop(w, h, look):
    return {(x, y) for y in range(4, h - 4) for x in range(4, w - 4)} | \
        {(x, y) for y in range(h) for x in range(w) if x in (0, w - 1) or y in (0, h - 1)}


def glyph_speaker(w, h, look):
    dots = set()
    for y in range(h // 2 - 2, h // 2 + 2):
        for x in range(0, 3):
            dots.add((x, y))
    for x in range(3, 7):
        for y in range(h // 2 - 2 - (x - 3), h // 2 + 2 + (x - 3)):
            dots.add((x, y))
    if look == "S":  # muted: crossed out
        for i in range(min(w, h)):
            dots.add((i + (w - h) // 2, i))
            dots.add((w - 1 - i - (w - h) // 2, i))
    else:
        for y in range(2, h - 2):
            dots.add((9, y))
        for y in range(0, h):
            dots.add((11, y))
    return dots


def glyph_frame(w, h, look):  # video size: a frame with a smaller one
    dots = {(x, y) for y in range(h) for x in range(w) if x in (0, w - 1) or y in (0, h - 1)}
    dots |= {(x, y) for y in range(3, h - 3) for x in range(3, w - 3)
             if x in (3, w - 4) or y in (3, h - 4)}
    return dots


def glyph_list(w, h, look):
    return {(x, y) for y in range(1, h, 4) for x in range(w)} | \
        {(x, y) for y in range(2, h, 4) for x in range(w)}


def glyph_chat(w, h, look):
    dots = {(x, y) for y in range(0, h - 3) for x in range(w)
            if x in (0, w - 1) or y in (0, h - 4)}
    dots |= {(2 + i, h - 3 + i) for i in range(3)}
    return dots


def glyph_corners(w, h, look):  # full screen: four corner marks
    dots = set()
    for (cx, cy, dx, dy) in ((0, 0, 1, 1), (w - 1, 0, -1, 1), (0, h - 1, 1, -1), (w - 1, h - 1, -1, -1)):
        for i in range(4):
            dots.add((cx + dx * i, cy))
            dots.add((cx, cy + dy * i))
    return dots


def glyph_thumb(w, h, look):
    return {(x, y) for y in range(h) for x in range(w)}


def glyph_cross(w, h, look):  # chat close
    return {(x, y) for y in range(h) for x in range(w)
            if abs((x - w / 2) - (y - h / 2)) < 1.5 or abs((x - w / 2) + (y - h / 2)) < 1.5
            if abs(x - w / 2) < h / 2 - 2}


def glyph_arrows(w, h, look):  # chat change: two opposite arrows
    dots = set()
    for x in range(6, w - 6):
        dots.add((x, h // 3))
        dots.add((x, 2 * h // 3))
    for i in range(4):
        dots.add((w - 7 - i, h // 3 - i))
        dots.add((w - 7 - i, h // 3 + i))
        dots.add((6 + i, 2 * h // 3 - i))
        dots.add((6 + i, 2 * h // 3 + i))
    return dots


def glyph_send(w, h, look):  # a paper plane: a wedge pointing right
    dots = set()
    for x in range(w // 3, 2 * w // 3):
        half = (2 * w // 3 - x) * (h // 2 - 3) // (w // 3)
        for y in range(h // 2 - half, h // 2 + half + 1):
            dots.add((x, y))
    return dots


def glyph_font(w, h, look):  # three bars of falling length
    return {(x, y) for y in range(h) for x in range(w)
            if y in (3, 4) and 2 <= x < w - 2 or y in (8, 9) and 2 <= x < w - 5
            or y in (13, 14) and 2 <= x < w - 8}


def glyph_smile(w, h, look):
    dots = {(x, y) for y in range(h) for x in range(w)
            if inside_circle(x, y, w, h) and not inside_circle_shrunk(x, y, w, h, 1.5)}
    dots |= {(w // 3, h // 3), (2 * w // 3, h // 3)}
    dots |= {(x, 2 * h // 3) for x in range(w // 3, 2 * w // 3 + 1)}
    return dots


def tinted_button(canvas, rect, glyph, look, plate=None):
    l, t, r, b = rect
    w, h = r - l, b - t
    if plate:
        # Rounded: the corner pixels stay key-coloured (the chat skin's key
        # pixel is the close button's corner).
        corners = {(l, t), (r - 1, t), (l, b - 1), (r - 1, b - 1)}
        for y in range(t, b):
            for x in range(l, r):
                if (x, y) not in corners:
                    canvas.put(x, y, plate)
    for (x, y) in glyph(w, h, look):
        if 0 <= x < w and 0 <= y < h:
            canvas.put(l + x, t + y, TINTS[look])


def signal(canvas, rect, level):
    l, t, r, b = rect
    for i in range(3):
        colour = (90, 220, 120) if i < level else (80, 84, 92)
        height = 5 + i * 4
        x = l + 3 + i * 6
        canvas.fill(x, b - 1 - height, x + 4, b - 1, colour)


MAIN_ITEMS = [
    (101, "IDB_NET_STATE_0", (105, 15, 125, 30)),
    (102, "IDB_NET_STATE_1", (7, 15, 27, 30)),
    (103, "IDB_NET_STATE_2", (38, 15, 58, 30)),
    (104, "IDB_NET_STATE_3", (72, 15, 92, 30)),
    (105, "IDB_PRO_BTN_N", (80, 233, 86, 247)),
    (106, "IDB_PRO_BTN_H", (98, 233, 104, 247)),
    (107, "IDB_PRO_BTN_S", (117, 233, 123, 247)),
    (108, "IDB_PRO_BTN_D", (136, 233, 142, 247)),
    (109, "IDB_BTN_PLAY_N", (4, 134, 32, 162)),
    (110, "IDB_BTN_PLAY_H", (46, 134, 74, 162)),
    (111, "IDB_BTN_PLAY_S", (91, 134, 119, 162)),
    (112, "IDB_BTN_PLAY_D", (134, 134, 162, 162)),
    (113, "IDB_BTN_STOP_N", (9, 179, 28, 198)),
    (114, "IDB_BTN_STOP_H", (37, 179, 56, 198)),
    (115, "IDB_BTN_STOP_S", (64, 179, 83, 198)),
    (116, "IDB_BTN_STOP_D", (90, 179, 109, 198)),
    (117, "IDB_BTN_VOL_N", (13, 208, 26, 219)),
    (118, "IDB_BTN_VOL_H", (40, 208, 53, 219)),
    (119, "IDB_BTN_VOL_S", (71, 208, 84, 219)),
    (120, "IDB_BTN_VOL_D", (100, 209, 113, 220)),
    (121, "IDB_BTN_FULL_N", (6, 88, 20, 101)),
    (122, "IDB_BTN_FULL_H", (39, 88, 53, 101)),
    (123, "IDB_BTN_FULL_S", (70, 88, 84, 101)),
    (124, "IDB_BTN_FULL_D", (100, 88, 114, 101)),
    (125, "IDB_VOL_BTN_N", (7, 235, 12, 246)),
    (126, "IDB_VOL_BTN_S", (24, 235, 29, 246)),
    (127, "IDB_VOL_LINE_S", (60, 291, 107, 299)),
    (128, "IDB_VOL_LINE_N", (7, 291, 54, 299)),
    (129, "IDB_BK_LEFT", (137, 15, 264, 63)),
    (130, "IDB_BK_MID", (174, 74, 175, 122)),
    (131, "IDB_BK_SPLIT", (127, 91, 134, 148)),
    (132, "IDB_BK_RIGHT", (189, 74, 211, 122)),
    (133, "IDB_PROG_S", (4, 253, 7, 256)),
    (134, "IDB_PROG_N", (4, 277, 7, 280)),
    (135, "IDB_PROG_H", (4, 264, 7, 269)),
    (136, "IDB_BG_TRANS", (0, 0, 1, 1)),
    (137, "IDB_BK_TIME_LEFT", (225, 77, 233, 98)),
    (138, "IDB_BK_TIME_MID", (238, 77, 239, 98)),
    (139, "IDB_BK_TIME_RIGHT", (244, 77, 252, 98)),
    (140, "IDB_HEADER_BK", (258, 74, 259, 101)),
    (141, "IDB_BTN_LIST_N", (6, 41, 20, 54)),
    (142, "IDB_BTN_LIST_H", (39, 41, 53, 54)),
    (143, "IDB_BTN_LIST_S", (71, 41, 85, 54)),
    (144, "IDB_BTN_LIST_D", (100, 41, 114, 54)),
    (145, "IDB_BTN_CHAT_N", (6, 64, 20, 76)),
    (146, "IDB_BTN_CHAT_H", (39, 64, 53, 76)),
    (147, "IDB_BTN_CHAT_S", (70, 64, 84, 76)),
    (148, "IDB_BTN_CHAT_D", (100, 64, 114, 76)),
    (149, "IDB_BTN_OUT_N", (7, 112, 20, 124)),
    (150, "IDB_BTN_OUT_H", (40, 112, 53, 124)),
    (151, "IDB_BTN_OUT_S", (71, 112, 84, 124)),
    (152, "IDB_BTN_OUT_D", (101, 112, 114, 124)),
]

CHAT_ITEMS = [
    (1001, "IDB_CT_CLOSE_N", (0, 0, 65, 22)),
    (1002, "IDB_CT_CLOST_H", (0, 29, 65, 51)),
    (1003, "IDB_CT_CLOSE_S", (0, 59, 65, 81)),
    (1004, "IDB_CT_CLOSE_D", (0, 89, 65, 111)),
    (1005, "IDB_CT_CHANGE_N", (78, 1, 129, 21)),
    (1006, "IDB_CT_CHANGE_H", (78, 29, 129, 49)),
    (1007, "IDB_CT_CHANGE_S", (78, 59, 129, 79)),
    (1008, "IDB_CT_CHANGE_D", (78, 90, 129, 110)),
    (1009, "IDB_CT_SEND_N", (0, 127, 65, 149)),
    (1010, "IDB_CT_SEND_H", (0, 158, 65, 180)),
    (1011, "IDB_CT_SEND_S", (0, 189, 65, 211)),
    (1012, "IDB_CT_SEND_D", (0, 219, 65, 241)),
    (1013, "IDB_CT_FONT_N", (85, 129, 103, 147)),
    (1014, "IDB_CT_FONT_H", (85, 159, 103, 177)),
    (1015, "IDB_CT_FONT_S", (85, 190, 103, 208)),
    (1016, "IDB_CT_FONT_D", (85, 222, 103, 240)),
    (1017, "IDB_CT_EM_N", (113, 128, 131, 146)),
    (1018, "IDB_CT_EM_H", (113, 158, 131, 176)),
    (1019, "IDB_CT_EM_S", (113, 189, 131, 207)),
    (1020, "IDB_CT_EM_D", (113, 223, 131, 241)),
    (1021, "IDB_CT_SPLIT_BK", (4, 251, 5, 273)),
    (1022, "IDB_CT_NAME_LEFT", (12, 250, 20, 279)),
    (1023, "IDB_CT_NAME_MID", (23, 250, 24, 279)),
    (1024, "IDB_CT_NAME_RIGHT", (27, 250, 97, 279)),
    (1025, "IDB_CT_BK", (70, 1, 71, 2)),
    (1026, "IDB_CT_TRANS", (0, 0, 1, 1)),
]

MAIN_GLYPHS = {"PLAY": glyph_play, "STOP": glyph_stop, "VOL": glyph_speaker,
               "FULL": glyph_frame, "LIST": glyph_list, "CHAT": glyph_chat, "OUT": glyph_corners}
CHAT_GLYPHS = {"CLOSE": glyph_cross, "CLOST": glyph_cross, "CHANGE": glyph_arrows,
               "SEND": glyph_send, "FONT": glyph_font, "EM": glyph_smile}
CHAT_PLATE = {"N": (70, 74, 84), "H": (86, 92, 104), "S": (40, 44, 52), "D": (60, 60, 62)}


def draw_main():
    c = Canvas(270, 304)
    for item_id, name, rect in MAIN_ITEMS:
        l, t, r, b = rect
        parts = name.split("_")
        look = parts[-1]
        if name.startswith("IDB_NET_STATE_"):
            signal(c, rect, item_id - 101)
        elif name.startswith("IDB_BTN_"):
            tinted_button(c, rect, MAIN_GLYPHS[parts[2]], look)
        elif name.startswith("IDB_PRO_BTN_"):
            tinted_button(c, rect, glyph_thumb, look)
            c.fill(l + 2, t + 3, r - 2, b - 3, BAR_BOTTOM)
        elif name == "IDB_VOL_BTN_N":
            tinted_button(c, rect, glyph_thumb, "N")
        elif name == "IDB_VOL_BTN_S":
            tinted_button(c, rect, glyph_thumb, "S")
        elif name.startswith("IDB_VOL_LINE_"):
            # A wedge that grows to the right: loud is tall.
            colour = (90, 170, 255) if look == "S" else (92, 96, 106)
            w, h = r - l, b - t
            for x in range(w):
                top = h - 1 - (x * (h - 1)) // (w - 1)
                c.fill(l + x, t + top, l + x + 1, b, colour)
        elif name in ("IDB_BK_LEFT", "IDB_BK_MID", "IDB_BK_RIGHT", "IDB_BK_SPLIT"):
            c.vgradient(l, t, r, b, BAR_TOP, BAR_BOTTOM)
            if name == "IDB_BK_LEFT":
                c.fill(l + 100, t + 8, l + 101, b - 8, (80, 86, 96))
            if name == "IDB_BK_SPLIT":
                c.fill(l + 3, t + 4, l + 4, b - 4, (90, 96, 108))
        elif name == "IDB_PROG_S":
            c.fill(l, t, r, b, (90, 170, 255))
        elif name == "IDB_PROG_N":
            c.fill(l, t, r, b, (150, 154, 164))
        elif name == "IDB_PROG_H":
            c.fill(l, t, r, b, (72, 76, 86))
        elif name.startswith("IDB_BK_TIME_"):
            # Light, for the dark text the display draws on it.
            c.vgradient(l, t, r, b, (222, 226, 232), (184, 190, 200))
            c.fill(l, t, r, t + 1, (120, 126, 138))
            c.fill(l, b - 1, r, b, (120, 126, 138))
            if look == "LEFT":
                c.fill(l, t, l + 1, b, (120, 126, 138))
            elif look == "RIGHT":
                c.fill(r - 1, t, r, b, (120, 126, 138))
        elif name == "IDB_HEADER_BK":
            c.vgradient(l, t, r, b, (70, 74, 84), (34, 36, 42))
    return c


def draw_chat():
    c = Canvas(131, 279)
    for item_id, name, rect in CHAT_ITEMS:
        l, t, r, b = rect
        parts = name.split("_")
        look = parts[-1]
        if parts[2] in CHAT_GLYPHS:
            tinted_button(c, rect, CHAT_GLYPHS[parts[2]], look, CHAT_PLATE[look])
        elif name == "IDB_CT_SPLIT_BK":
            c.vgradient(l, t, r, b, (96, 100, 110), (60, 64, 72))
        elif name.startswith("IDB_CT_NAME_"):
            c.vgradient(l, t, r, b, (64, 68, 78), (40, 42, 50))
            c.fill(l, t, r, t + 1, (110, 116, 128))
        elif name == "IDB_CT_BK":
            c.fill(l, t, r, b, (48, 50, 58))
    return c


def varstr(text):
    raw = text.encode("ascii")
    return struct.pack("<H", len(raw)) + raw


def skin_set(path, items):
    out = bytearray(b"\x01" + varstr(path) + struct.pack("<I", len(items)))
    for item_id, name, (l, t, r, b) in items:
        out += struct.pack("<IBIIIII", item_id, 1, item_id, l, t, r, b)
        out += varstr(name) + varstr("")
    return bytes(out)


def icon(draw):
    """A 32 x 32 icon, 24 bits per pixel, one image."""
    c = Canvas(32, 32, keyed=False)
    c.rows = [[(1, 1, 1)] * 32 for _ in range(32)]
    draw(c)
    dib = c.bmp()[14:]
    info = bytearray(dib[:40])
    struct.pack_into("<i", info, 8, 64)         # the colour and mask halves
    mask = bytes(4 * 32)                      # all opaque
    image = bytes(info) + dib[40:] + mask
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 24, len(image), 6 + 16)
    return head + entry + image


def draw_app_icon(c):
    c.fill(0, 0, 32, 32, (30, 34, 44))
    for (x, y) in glyph_play(28, 28, "N"):
        c.put(2 + x, 2 + y, (90, 170, 255))


def draw_chat_icon(c):
    c.fill(0, 0, 32, 32, (30, 34, 44))
    for (x, y) in glyph_chat(24, 20, "N"):
        c.put(4 + x, 6 + y, (90, 220, 120))


def toolbox():
    c = Canvas(16, 15, keyed=False)
    c.rows = [[(192, 192, 192)] * 16 for _ in range(15)]
    c.fill(2, 2, 14, 11, (30, 34, 44))
    for (x, y) in glyph_play(7, 7, "N"):
        c.put(5 + x, 3 + y, (90, 170, 255))
    c.fill(2, 12, 14, 13, (60, 64, 72))
    return c.bmp()


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    main_set = skin_set("..\\main.bmp", MAIN_ITEMS)
    chat_set = skin_set("..\\chat.bmp", CHAT_ITEMS)
    assert len(main_set) == 2224 and len(chat_set) == 1120
    files = {
        "main.bmp": draw_main().bmp(),
        "chat.bmp": draw_chat().bmp(),
        "main.sknset": main_set,
        "chat.sknset": chat_set,
        "control.ico": icon(draw_app_icon),
        "chat.ico": icon(draw_chat_icon),
        "toolbox.bmp": toolbox(),
    }
    files.update(emoticon_files())
    for name, data in files.items():
        target = out / name
        # Unchanged bytes keep their time stamp, so the resources are not rebuilt.
        if not target.exists() or target.read_bytes() != data:
            target.write_bytes(data)


if __name__ == "__main__":
    main()
