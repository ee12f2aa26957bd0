#!/usr/bin/env python3
"""Writes examples/sample-update, the files of a small sample update, and
examples/sample-icon.ico, the game's icon for the updater.

Everything is generated the same way every time (no clocks, no randomness),
so the committed files can be checked against this script. Text meant for the
updater is written in Shift-JIS (code page 932) with CRLF line ends, as the
game's players' systems read it. Every file gets the same fixed time stamp,
so a package made from a fresh clone is the same as one made here.
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "sample-update")
STAMP = 1767268800  # 2026-01-01 12:00:00 UTC

UPDATE_INI = r"""; Example Story 1.02 のアップデート
[SETUP]
CompanyName=Example Works
GameTitle=Example Story
GameClass=ExampleStoryWnd
GameDir=Example Story
UpdaterVersion=1.02
UpdateMessage=Example Story を 1.02 に更新します。\nゲームを終了してから続けてください。

[UPDATE]
RequiredDiskSpace=1048576
UpdateFile00=u,Data\SCRIPT.TXT
UpdateFile01=TITLE.BMP
UpdateFile02=o,Voice\VOICE.WAV
UpdateFile03=2,d,Save\CONFIG.DAT
UpdateFile04=Doc\ソフト説明.txt
"""

SCRIPT = """; 第一話
*start
@bg TITLE.BMP
@voice VOICE.WAV
「おはよう。今日もいい天気だね」
「うん。……あれ、ソフトの表示が変わった？」
@wait 30
*end
"""

README = """Example Story 更新内容 (1.02)

・第一話のスクリプトを修正しました。
・タイトル画面を差し替えました。
・ボイスの音量を調整しました。
"""

CONFIG = """[CONFIG]
Volume=80
TextSpeed=2
"""


def shift_jis(text):
    return text.replace("\n", "\r\n").encode("cp932")


def bmp(width, height):
    """A 24-bit bottom-up bitmap with a colour gradient."""
    row = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height):
        line = bytearray()
        for x in range(width):
            line += bytes((x * 255 // (width - 1), y * 255 // (height - 1), 128))
        pixels += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def wav(rate, samples):
    """16-bit mono PCM: a short 440 Hz tone that fades out."""
    data = b"".join(
        struct.pack("<h", round(8000 * (1 - i / samples) *
                                math.sin(2 * math.pi * 440 * i / rate)))
        for i in range(samples))
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    body = (b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt +
            b"data" + struct.pack("<I", len(data)) + data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def icon(sizes):
    """An .ico of 32-bit images, one per size: a shaded disc on a clear
    ground, each image a bottom-up bitmap with its mask after it."""
    images = []
    for size in sizes:
        pixels = bytearray()
        centre = (size - 1) / 2
        for y in reversed(range(size)):
            for x in range(size):
                r = math.hypot(x - centre, y - centre) / (size / 2)
                alpha = max(0, min(255, round((1 - r) * 4 * 255)))
                light = max(0.0, 1 - math.hypot(x - size * 0.35, y - size * 0.3) / size)
                pixels += bytes((round(120 + 135 * light), round(60 + 120 * light),
                                 round(30 + 60 * light), alpha))
        mask = bytes(((size + 31) // 32 * 4) * size)
        header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                             len(pixels) + len(mask), 0, 0, 0, 0)
        images.append((size, header + bytes(pixels) + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


FILES = {
    "UPDATE.INI": shift_jis(UPDATE_INI),
    "SCRIPT.TXT": shift_jis(SCRIPT),
    "TITLE.BMP": bmp(32, 24),
    "VOICE.WAV": wav(11025, 1100),
    "CONFIG.DAT": shift_jis(CONFIG),
    "ソフト説明.txt": shift_jis(README),
}


# Beside the update, not in it: the icon `updpack build --icon` puts on the
# updater.
ICON = ("sample-icon.ico", icon((16, 24, 32, 48)))


def main():
    os.makedirs(OUT, exist_ok=True)
    outputs = [(os.path.join(OUT, name), data) for name, data in FILES.items()]
    outputs.append((os.path.join(HERE, ICON[0]), ICON[1]))
    for path, data in outputs:
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (STAMP, STAMP))
    return 0


if __name__ == "__main__":
    sys.exit(main())
