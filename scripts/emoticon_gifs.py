"""The 15 emoticons (GIF resources 230 to 244): 19 x 19 animated GIFs, a
figure per name, written by make_artwork.py. The encoder writes every pixel
as a literal code and clears the code table before it would widen, so the
data is plain to read and every decoder takes it."""
import struct

SIZE = 19

# One palette of 16 colours for every emoticon; index 0 is the background.
PALETTE = [
    (255, 255, 255), (0, 0, 0), (255, 214, 40), (214, 120, 0),
    (220, 30, 30), (255, 150, 170), (40, 90, 220), (30, 150, 60),
    (150, 150, 150), (70, 70, 70), (120, 70, 20), (150, 200, 255),
    (140, 0, 0), (0, 200, 200), (140, 60, 180), (255, 250, 190),
]
# The sparkles of the rose carry their own table.
SPARKLE = [(255, 255, 255), (255, 255, 0), (255, 128, 0), (255, 0, 255)] + [(0, 0, 0)] * 12

W, K, Y, O, R, P, B, G, GREY, DARK, BROWN, SKY, MAROON, CYAN, PURPLE, CREAM = range(16)


def lzw(indices, bits=4):
    """Literal codes of bits + 1 bits, a clear code before the table would grow."""
    clear, end = 1 << bits, (1 << bits) + 1
    width = bits + 1
    chunk = (1 << bits) - 3
    codes = []
    for i in range(0, len(indices), chunk):
        codes.append(clear)
        codes.extend(indices[i:i + chunk])
    codes.append(end)
    acc = nbits = 0
    out = bytearray()
    for c in codes:
        acc |= c << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
    if nbits:
        out.append(acc & 0xFF)
    data = bytearray([bits])
    for i in range(0, len(out), 255):
        piece = out[i:i + 255]
        data += bytes([len(piece)]) + piece
    return bytes(data + b"\x00")


def table(colours):
    return b"".join(bytes(c) for c in colours)


def gif(frames):
    """frames: (left, top, rows, disposal, delay, local table or None)."""
    out = bytearray(b"GIF89a" + struct.pack("<HHBBB", SIZE, SIZE, 0x80 | 0x30 | 3, 0, 0))
    out += table(PALETTE)
    out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    for left, top, rows, disposal, delay, local in frames:
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, disposal << 2, delay, 0, 0)
        packed = (0x80 | 3) if local else 0
        out += struct.pack("<BHHHHB", 0x2C, left, top, len(rows[0]), len(rows), packed)
        if local:
            out += table(local)
        out += lzw([i for row in rows for i in row])
    return bytes(out + b"\x3b")


class Face:
    def __init__(self, skin=Y):
        self.px = [[W] * SIZE for _ in range(SIZE)]
        for y in range(SIZE):
            for x in range(SIZE):
                d = (x - 9) ** 2 + (y - 9) ** 2
                if d <= 81:
                    self.px[y][x] = O if d > 64 else skin

    def put(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.put(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def eyes(self, dx=0, dy=0, c=K, shut=False):
        for x in (6, 12):
            if shut:
                self.line(x - 1 + dx, 7 + dy, x + 1 + dx, 7 + dy, c)
            else:
                self.put(x + dx, 6 + dy, c)
                self.put(x + dx, 7 + dy, c)

    def mouth(self, c=K, width=3, row=13):
        self.line(9 - width, row, 9 + width, row, c)

    def smile(self):
        self.line(6, 12, 7, 13, K)
        self.line(8, 14, 10, 14, K)
        self.line(11, 13, 12, 12, K)

    def rows(self, left=0, top=0, w=SIZE, h=SIZE):
        return [r[left:left + w] for r in self.px[top:top + h]]


def full(face, delay, disposal=1):
    return (0, 0, face.rows(), disposal, delay, None)


def shy():          # 230: cheeks that blush and fade, eyes turned down
    frames = []
    for k in range(8):
        f = Face()
        f.eyes(dy=1)
        f.mouth(width=1)
        cheek = P if k in (0, 1, 6, 7) else R
        for x in (4, 5, 13, 14):
            f.put(x, 10, cheek)
        frames.append(full(f, 15))
    return frames


def shout():        # 231: the mouth opens wide, then the face shuts it again
    f = Face()
    f.eyes()
    f.mouth()
    o = Face()
    o.eyes()
    for y in range(9, 16):
        for x in range(6, 13):
            if (x - 9) ** 2 + (y - 12) ** 2 <= 9:
                o.put(x, y, MAROON)
    return [full(f, 40), (6, 9, o.rows(6, 9, 7, 7), 2, 30, None)]


def rose():         # 232: a flower that sparkles over its bloom
    f = Face(skin=W)
    for y in range(SIZE):
        for x in range(SIZE):
            f.px[y][x] = W
    for y in range(3, 11):
        for x in range(5, 14):
            if (x - 9) ** 2 + (y - 7) ** 2 <= 14:
                f.put(x, y, R)
    f.line(9, 11, 9, 17, G)
    f.line(9, 14, 12, 12, G)
    frames = [full(f, 50)]
    for k in range(2):
        s = [[0] * 7 for _ in range(7)]
        for i in range(7):
            s[3][i] = s[i][3] = 1 + k
        s[3][3] = 3
        frames.append((6, 6, s, 3, 20, SPARKLE))
    return frames


def sunglasses():   # 233: dark glasses that glint
    frames = []
    for k in range(3):
        f = Face()
        f.line(4, 7, 14, 7, K)
        for x in (5, 6, 7, 11, 12, 13):
            f.put(x, 8, K)
        f.put(5 + 3 * k, 7, W)
        f.smile()
        frames.append(full(f, 30))
    return frames


def angry():        # 234: glares, shakes twice, glares again
    frames = []
    for k, delay in enumerate((80, 10, 10, 80)):
        f = Face(skin=R if k in (1, 2) else Y)
        f.line(4, 4, 7, 6, K)
        f.line(14, 4, 11, 6, K)
        f.eyes(dx=(1 if k == 1 else -1 if k == 2 else 0))
        f.line(6, 14, 12, 13, K)
        frames.append(full(f, delay))
    return frames


def hammer():       # 235: a hammer that swings down
    frames = []
    for k in range(3):
        f = Face()
        f.eyes(shut=k == 2)
        f.mouth(width=2)
        x = 13 - 2 * k
        f.line(x, 0, x + 4, 4 - k, BROWN)
        f.line(x - 1, 1, x + 1, 0, DARK)
        frames.append(full(f, 25))
    return frames


def crow():         # 236: a black bird that flaps
    frames = []
    for k in range(2):
        f = Face(skin=W)
        for y in range(SIZE):
            for x in range(SIZE):
                f.px[y][x] = W
        for y in range(7, 14):
            for x in range(5, 14):
                if (x - 9) ** 2 + 2 * (y - 10) ** 2 <= 18:
                    f.put(x, y, K)
        f.put(14, 9, O)
        f.put(11, 9, W)
        wing = 4 if k == 0 else 14
        f.line(6, 9, 2, wing - 2 if k else wing, DARK)
        frames.append(full(f, 20))
    return frames


def furious():      # 237: a red face that steams
    frames = []
    for k in range(3):
        f = Face(skin=R)
        f.line(4, 5, 8, 7, K)
        f.line(14, 5, 10, 7, K)
        f.line(6, 13, 12, 13, K)
        f.line(5, 12, 5, 13, K)
        f.line(13, 12, 13, 13, K)
        for i in range(k + 1):
            f.put(2 + i, 2 - i + 1, GREY)
            f.put(16 - i, 2 - i + 1, GREY)
        frames.append(full(f, 20))
    return frames


def look_up_down():     # 238
    frames = []
    for dy in (-2, 0, 2, 0):
        f = Face()
        f.eyes(dy=dy)
        f.mouth(width=2)
        frames.append(full(f, 30))
    return frames


def look_left_right():  # 239
    frames = []
    for dx in (-2, 0, 2, 0):
        f = Face()
        f.eyes(dx=dx)
        f.mouth(width=2)
        frames.append(full(f, 30))
    return frames


def doze():         # 240: shut eyes and a rising Z
    frames = []
    for k in range(3):
        f = Face()
        f.eyes(shut=True)
        f.mouth(width=1, row=14)
        y = 5 - 2 * k
        f.line(13, y, 16, y, SKY)
        f.line(16, y, 13, y + 3, SKY)
        f.line(13, y + 3, 16, y + 3, SKY)
        frames.append(full(f, 40))
    return frames


def smoke():        # 241: a cigarette and its smoke
    frames = []
    for k in range(3):
        f = Face()
        f.eyes()
        f.mouth(width=1)
        f.line(10, 13, 15, 13, CREAM)
        f.put(16, 13, R)
        f.put(16, 11 - k, GREY)
        f.put(17 - (k % 2), 9 - k, GREY)
        frames.append(full(f, 30))
    return frames


def laugh():        # 242
    frames = []
    for k in range(2):
        f = Face()
        f.eyes(shut=True)
        if k == 0:
            f.smile()
        else:
            for y in range(11, 15):
                f.line(6, y, 12, y, MAROON)
        frames.append(full(f, 25))
    return frames


def tongue():       # 243
    frames = []
    for k in range(2):
        f = Face()
        f.eyes()
        f.mouth()
        if k:
            f.line(8, 14, 10, 14, P)
            f.line(8, 15, 10, 15, P)
        frames.append(full(f, 35))
    return frames


def spark():        # 244: eyes that flash
    frames = []
    for k in range(3):
        f = Face()
        for x in (6, 12):
            f.put(x, 7, PURPLE)
            if k:
                f.put(x - 1, 7, CYAN)
                f.put(x + 1, 7, CYAN)
                f.put(x, 6, CYAN)
                f.put(x, 8, CYAN)
        f.smile()
        frames.append(full(f, 20))
    return frames


EMOTICONS = [shy, shout, rose, sunglasses, angry, hammer, crow, furious,
             look_up_down, look_left_right, doze, smoke, laugh, tongue, spark]


def emoticon_files():
    return {f"emoticon{230 + i}.gif": gif(draw()) for i, draw in enumerate(EMOTICONS)}
