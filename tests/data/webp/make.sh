#!/usr/bin/env bash
# Makes the WebP sample files of the decoder tests (tests/picture/WebpTest.cpp) in this folder. The
# pictures are drawn with PIL and numpy, encoded with libwebp's cwebp and put into animations with
# webpmux; the broken and hostile files are those samples with bytes changed or cut. Encoders differ
# between versions, so the bytes may differ from run to run; the tests compare the decoder with itself
# and with what the files are known to hold, not with fixed bytes.
#
# Needs: cwebp and webpmux (Debian's webp), /usr/bin/python3 with PIL and numpy.
# Usage: tests/data/webp/make.sh
#
# Pictures (a colourful pattern of gradients, stripes and noise, so every column differs):
#   lossy.webp           128x96, lossy (cwebp -q 80: the strong loop filter)
#   lossy-odd.webp       157x93, lossy with the simple loop filter (-nostrong -f 80 -sharpness 3)
#   lossless-alpha.webp  96x64, lossless with alpha (-exact): the left third fully transparent over red,
#                        the middle third blue at alpha 128, the right third opaque green, each third with
#                        the pattern in its top quarter at alpha 255
#   lossy-alpha.webp     128x96, lossy with alpha: the pattern under an alpha ramp across
#   icc.webp             128x96, lossy with an ICCP chunk holding icc.icc, put in by webpmux: libpng, which
#                        reads the PNG for cwebp -metadata icc, refuses a profile of that size
#   icc.icc              the profile: an sRGB profile from lcms, with one byte added (its size says so),
#                        so the ICCP chunk has an odd size and is padded
#   plain.webp           64x48, lossless, from a JPEG
#   exif6.webp           the same JPEG with EXIF orientation 6 (cwebp -metadata exif): upright 48x64
#   exif3.webp           the same with orientation 3: upright 64x48, turned half round
#   frame.webp           64x40, lossless with alpha: the first frame of anim.webp
#   anim.webp            a 96x64 animation of two frames (webpmux): frame.webp at (10, 6), then lossy.webp
#                        cut to 96x64 over the whole canvas; its background colour is red, which the
#                        decoder does not use
#   anim-lossy.webp      a 128x96 animation: lossy-alpha.webp, then lossy.webp, both over the whole canvas
#   alpha-unflagged.webp lossy-alpha.webp with the alpha flag of its VP8X chunk cleared: libwebp's demuxer
#                        then passes over the ALPH chunk, and the picture is opaque
# Broken and hostile files:
#   cut-riff.webp        lossy.webp cut to 6 bytes, inside the RIFF header
#   cut-header.webp      cut to 24 bytes, inside the VP8 frame header
#   cut-half.webp        lossless-alpha.webp cut in the middle of its data
#   cut-end.webp         anim.webp without its last byte
#   riff-long.webp       lossy.webp with a RIFF size 64 bytes larger than the file
#   riff-short.webp      lossy.webp with a RIFF size that ends inside the VP8 chunk
#   riff-tiny.webp       lossy.webp with a RIFF size of 4
#   huge-canvas.webp     icc.webp with a VP8X canvas of 100000x100000
#   wide-canvas.webp     icc.webp with a canvas of 65535x8192 (each side within the limits, too many pixels)
#   flags.webp           icc.webp with a reserved VP8X flag set
#   no-frame.webp        an animation's VP8X and ANIM chunks without any frame
#   frame-outside.webp   anim.webp with the first frame moved to (40, 6), past the canvas's right edge
#   vp8-signature.webp   lossy.webp with the VP8 start code broken
#   vp8l-damaged.webp    lossless-alpha.webp with 64 bytes in the middle of its data overwritten
#   wave.webp            a RIFF WAVE sound named .webp
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$here" "$work" <<'PY'
import io
import os
import struct
import subprocess
import sys
import wave

import numpy as np
from PIL import Image, ImageCms

out, work = sys.argv[1], sys.argv[2]


def path(name):
    return os.path.join(work, name)


def save(name, data):
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)


def load(name):
    with open(os.path.join(out, name), 'rb') as f:
        return f.read()


def cwebp(source, target, *options, keep=True):
    subprocess.run(['cwebp', '-quiet', *options, path(source), '-o', path(target)], check=True)
    with open(path(target), 'rb') as f:
        data = f.read()
    if keep:
        save(target, data)
    return data


def webpmux(target, *options):
    subprocess.run(['webpmux', *options, '-o', path(target)], check=True, stdout=subprocess.DEVNULL)
    with open(path(target), 'rb') as f:
        data = f.read()
    save(target, data)
    return data


def pattern(width, height, seed):
    """Gradients, stripes of every colour and noise: no two neighbouring columns alike."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width].astype(np.float64)
    r = 255 * x / max(width - 1, 1)
    g = 128 + 100 * np.sin(x * 0.7 + y * 0.2)
    b = 255 * y / max(height - 1, 1)
    rgb = np.stack([r, g, b], axis=2)
    rgb[(x.astype(int) // 5) % 3 == 0] = rgb[(x.astype(int) // 5) % 3 == 0][:, ::-1]
    rgb += rng.normal(0, 18, rgb.shape)
    return np.clip(rgb, 0, 255).astype(np.uint8)


def rgba(rgb, alpha):
    return Image.fromarray(np.dstack([rgb, alpha.astype(np.uint8)]), 'RGBA')


# --- Pictures

Image.fromarray(pattern(128, 96, 1)).save(path('lossy.png'))
cwebp('lossy.png', 'lossy.webp', '-q', '80')
Image.fromarray(pattern(157, 93, 2)).save(path('odd.png'))
cwebp('odd.png', 'lossy-odd.webp', '-q', '70', '-nostrong', '-f', '80', '-sharpness', '3')

thirds = np.zeros((64, 96, 4), np.uint8)
thirds[:, :32] = (255, 0, 0, 0)
thirds[:, 32:64] = (0, 0, 255, 128)
thirds[:, 64:] = (0, 255, 0, 255)
thirds[:16, :, :3] = pattern(96, 16, 3)
thirds[:16, :, 3] = 255
Image.fromarray(thirds, 'RGBA').save(path('thirds.png'))
cwebp('thirds.png', 'lossless-alpha.webp', '-lossless', '-exact')

ramp = np.linspace(0, 255, 128)[None, :].repeat(96, axis=0)
rgba(pattern(128, 96, 4), ramp).save(path('ramp.png'))
cwebp('ramp.png', 'lossy-alpha.webp', '-q', '80')

srgb = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes() + b'\0'
icc = struct.pack('>I', len(srgb)) + srgb[4:]
save('icc.icc', icc)
with open(path('icc.icc'), 'wb') as f:
    f.write(icc)
Image.fromarray(pattern(128, 96, 5)).save(path('icc.png'))
cwebp('icc.png', 'untagged.webp', '-q', '80', keep=False)
webpmux('icc.webp', '-set', 'icc', path('icc.icc'), path('untagged.webp'))


def jpeg_with_orientation(name, orientation):
    exif = Image.Exif()
    if orientation:
        exif[0x0112] = orientation
    Image.fromarray(pattern(64, 48, 6)).save(path(name), quality=95, exif=exif.tobytes())


jpeg_with_orientation('plain.jpg', 0)
cwebp('plain.jpg', 'plain.webp', '-lossless')
for orientation in (6, 3):
    jpeg_with_orientation(f'exif{orientation}.jpg', orientation)
    cwebp(f'exif{orientation}.jpg', f'exif{orientation}.webp', '-lossless', '-metadata', 'exif')

alpha = np.full((40, 64), 255)
alpha[:, :16] = 0
alpha[:, 16:32] = 100
rgba(pattern(64, 40, 7), alpha).save(path('frame.png'))
cwebp('frame.png', 'frame.webp', '-lossless', '-exact')
Image.fromarray(pattern(128, 96, 1)[:64, :96]).save(path('second.png'))
cwebp('second.png', 'second.webp', '-q', '80', keep=False)
webpmux('anim.webp', '-frame', path('frame.webp'), '+100+10+6', '-frame', path('second.webp'), '+100+0+0',
        '-loop', '0', '-bgcolor', '255,255,0,0')
webpmux('anim-lossy.webp', '-frame', path('lossy-alpha.webp'), '+100', '-frame', path('lossy.webp'), '+100',
        '-loop', '0')

# --- Broken and hostile files


def chunks(data):
    """(fourcc, header offset, payload size) of each top-level chunk."""
    found = []
    at = 12
    while at + 8 <= len(data):
        fourcc, size = struct.unpack('<4sI', data[at:at + 8])
        found.append((fourcc, at, size))
        at += 8 + size + (size & 1)
    return found


def chunk(data, fourcc):
    return [c for c in chunks(data) if c[0] == fourcc][0]


def patched(data, at, value):
    data = bytearray(data)
    data[at:at + len(value)] = value
    return bytes(data)


lossy = load('lossy.webp')
save('cut-riff.webp', lossy[:6])
save('cut-header.webp', lossy[:24])
lossless = load('lossless-alpha.webp')
save('cut-half.webp', lossless[:len(lossless) // 2])
anim = load('anim.webp')
save('cut-end.webp', anim[:-1])

save('riff-long.webp', patched(lossy, 4, struct.pack('<I', len(lossy) - 8 + 64)))
save('riff-short.webp', patched(lossy, 4, struct.pack('<I', len(lossy) // 2)))
save('riff-tiny.webp', patched(lossy, 4, struct.pack('<I', 4)))

extended = load('icc.webp')
_, vp8x, _ = chunk(extended, b'VP8X')


def canvas(width, height):
    return struct.pack('<I', width - 1)[:3] + struct.pack('<I', height - 1)[:3]


save('huge-canvas.webp', patched(extended, vp8x + 12, canvas(100000, 100000)))
save('wide-canvas.webp', patched(extended, vp8x + 12, canvas(65535, 8192)))
translucent = load('lossy-alpha.webp')
_, flagged, _ = chunk(translucent, b'VP8X')
save('alpha-unflagged.webp', patched(translucent, flagged + 8, bytes([translucent[flagged + 8] & ~0x10])))
save('flags.webp', patched(extended, vp8x + 8, bytes([extended[vp8x + 8] | 0x01])))

body = (b'VP8X' + struct.pack('<I', 10) + bytes([0x02, 0, 0, 0]) + canvas(64, 48) +
        b'ANIM' + struct.pack('<I', 6) + struct.pack('<IH', 0xFFFFFFFF, 0))
save('no-frame.webp', b'RIFF' + struct.pack('<I', 4 + len(body)) + b'WEBP' + body)

_, anmf, _ = chunk(anim, b'ANMF')
save('frame-outside.webp', patched(anim, anmf + 8, struct.pack('<I', 20)[:3]))

_, vp8, _ = chunk(lossy, b'VP8 ')
save('vp8-signature.webp', patched(lossy, vp8 + 8 + 3, b'\0\0\0'))
_, vp8l, size = chunk(lossless, b'VP8L')
save('vp8l-damaged.webp', patched(lossless, vp8l + 8 + size // 2, b'\xa5' * 64))

sound = io.BytesIO()
with wave.open(sound, 'wb') as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(bytes(800))
save('wave.webp', sound.getvalue())
PY
ls -l "$here"
