#!/usr/bin/env bash
# Makes the HEIF and AVIF sample files of the decoder tests (tests/picture/HeifTest.cpp) in this folder.
# The pictures are drawn with PIL and numpy, encoded with libheif's heif-enc (x265 for HEIC, aom for
# AVIF), and then, for the grid, the broken and the hostile files, taken apart and put together again box
# by box. Encoders differ between versions, so the bytes may differ from run to run; the tests look at
# what the files hold, not at their bytes.
#
# Needs: heif-enc (libheif-examples), /usr/bin/python3 with PIL and numpy.
# Usage: tests/data/heif/make.sh
#
# Pictures (8-bit unless said; most are 96x64 with four coloured quarters: red top left, green top
# right, blue bottom left, white bottom right):
#   quarters.heic      HEIC
#   quarters.avif      AVIF
#   ramp10.heic        HEIC of 10 bits from a 48x32 ramp of 16 bits (every channel runs through its
#                      range); heif-enc writes it as a 1x1 grid of a 64x64 tile
#   ramp10.avif        AVIF of 10 bits (4:2:2) from the same ramp
#   ramp10-heic.ppm    the 10-bit samples libheif decodes from ramp10.heic (by heif-convert), maxval 1023
#   ramp10-avif.ppm    the same for ramp10.avif
#   ramp10-turned.heic ramp10.heic with irot 1 then imir 0 (EXIF orientation 5): upright 32x48
#   alpha.heic         HEIC with an alpha picture: the left half fully transparent (black under it), the
#                      right half opaque green
#   rotated.heic       the quarters with irot 3 (270 degrees anticlockwise) and the EXIF of a JPEG of
#                      orientation 6, which says the same: upright 64x96, blue top left, red top right
#   transposed.heic    the same with irot 1 then imir 0 and EXIF orientation 5: upright 64x96, red top
#                      left, blue top right, green bottom left
#   grid.heic          a 2x2 grid of 64x64 tiles (red, green, blue, white) on a 120x100 canvas, so the
#                      right and bottom tiles are cut
#   small-grid.heic    64x48 quarters: heif-enc itself writes a 1x1 grid with a 64x64 tile for it
#   p3.heic            an nclx box of Display P3 (primaries 12, transfer 13, matrix 6, full range) added to
#                      heif-enc's file, one colour (200, 40, 40) all over
#   icc.heic           a 'prof' ICC profile (wide.icc, wide-gamut primaries, gamma 2.2, written below)
#   gray.heic          monochrome (4:0:0) with a gray ICC profile (gray.icc, gamma 1)
#   jpeg.heic          a JPEG named .heic
#   nclx-*.heic, nclx-*.avif  an 8-bit ramp (HEIC) and ramp10.avif with an nclx box of another matrix and
#                      range: GBR full and limited, YCgCo, BT.2020 limited, derived from the primaries
#   many-tiles.heic    a 40x26 grid: 1040 tiles of 64x64, all one item's data, 2560x1664 in all
# Broken and hostile files:
#   cut-ftyp.heic      quarters.heic cut inside its ftyp box (20 bytes)
#   cut-meta.heic      cut inside the meta box
#   cut-mdat.heic      cut inside the picture's data
#   brand.heic         ftyp brands of an MP4 video ('isom', 'mp41')
#   empty-mdat.heic    the mdat box holds no bytes
#   no-primary.heic    pitm names an item that does not exist
#   no-pitm.heic       no pitm box
#   codec.heic         the picture's item is of type 'vvc1' (VVC, which no decoder here reads)
#   huge-ispe.heic     ispe of 100000x100000 (over libheif's limit on a side)
#   wide-ispe.heic     ispe of 65535x8192 (each side within the limits, too many pixels)
#   grid-claims.heic   a grid descriptor of 32x32 tiles with the four tiles of grid.heic
#   grid-holes.heic    the four 64x64 tiles on a 200x200 canvas they do not cover
#   grid-huge-tiles.heic  a 64x64 canvas of one tile that claims 65535x65535 pixels
#   grid-outside.heic  16x16 tiles of 64x64 on a 64x64 canvas: all but one lie outside it
#   grid-of-grids.heic a grid whose tiles are grids
# Not made here but kept as a fuzzer found it:
#   undecoded.heic     40x30 HEIC whose damaged HEVC stream leaves part of the picture undecoded, and
#                      libde265 says nothing of it
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

import numpy as np
from PIL import Image

out, work = sys.argv[1], sys.argv[2]


def path(name):
    return os.path.join(work, name)


def save(name, data):
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)


def encode(source, target, *options):
    subprocess.run(['heif-enc', *options, '-o', path(target), path(source)], check=True,
                   stdout=subprocess.DEVNULL)
    with open(path(target), 'rb') as f:
        return f.read()


# --- Boxes

def box(kind, payload):
    return struct.pack('>I4s', 8 + len(payload), kind) + payload


def full_box(kind, version, flags, payload):
    return box(kind, bytes([version]) + flags.to_bytes(3, 'big') + payload)


def children(data, start, end):
    """(type, payload start, box end) of each box in data[start:end]."""
    found = []
    while start + 8 <= end:
        size, kind = struct.unpack('>I4s', data[start:start + 8])
        header = 8
        if size == 1:
            size = struct.unpack('>Q', data[start + 8:start + 16])[0]
            header = 16
        elif size == 0:
            size = end - start
        found.append((kind, start + header, start + size))
        start += size
    return found


def number(data, at, size):
    return int.from_bytes(data[at:at + size], 'big') if size else 0


class Heif:
    """The parts of a HEIF file as heif-enc writes it: items, properties, references and data."""

    def __init__(self, data):
        top = {kind: (s, e) for kind, s, e in children(data, 0, len(data))}
        s, e = top[b'ftyp']
        self.brands = data[s:e]
        s, e = top[b'meta']
        meta = {kind: (s, e) for kind, s, e in children(data, s + 4, e)}
        s, e = meta[b'pitm']
        self.primary = number(data, s + 4, 2 if data[s] == 0 else 4)
        # Items and their types.
        s, e = meta[b'iinf']
        count_size = 2 if data[s] == 0 else 4
        self.items = []
        self.hidden = set()
        for kind, s2, e2 in children(data, s + 4 + count_size, e):
            version = data[s2]
            id_size = 2 if version == 2 else 4
            item = number(data, s2 + 4, id_size)
            self.items.append((item, data[s2 + 4 + id_size + 2:s2 + 4 + id_size + 6]))
            if data[s2 + 3] & 1:
                self.hidden.add(item)
        # Properties, as whole boxes, and which item has which (1-based indices, essential flag).
        s, e = meta[b'iprp']
        iprp = {kind: (s2, e2) for kind, s2, e2 in children(data, s, e)}
        s, e = iprp[b'ipco']
        self.properties = [data[s2 - 8:e2] for _, s2, e2 in children(data, s, e)]
        s, e = iprp[b'ipma']
        version, flags = data[s], number(data, s + 1, 3)
        at = s + 8
        self.associations = {}
        for _ in range(number(data, s + 4, 4)):
            id_size = 2 if version == 0 else 4
            item = number(data, at, id_size)
            at += id_size
            count = data[at]
            at += 1
            links = []
            for _ in range(count):
                size = 2 if flags & 1 else 1
                value = number(data, at, size)
                at += size
                top_bit = 1 << (8 * size - 1)
                links.append((value & (top_bit - 1), bool(value & top_bit)))
            self.associations[item] = links
        # References.
        self.references = []
        if b'iref' in meta:
            s, e = meta[b'iref']
            id_size = 2 if data[s] == 0 else 4
            for kind, s2, e2 in children(data, s + 4, e):
                source = number(data, s2, id_size)
                count = number(data, s2 + id_size, 2)
                targets = [number(data, s2 + id_size + 2 + i * id_size, id_size) for i in range(count)]
                self.references.append((kind, source, targets))
        # Each item's data, from the file or from idat.
        idat = data[meta[b'idat'][0]:meta[b'idat'][1]] if b'idat' in meta else b''
        s, e = meta[b'iloc']
        version = data[s]
        offset_size, length_size = data[s + 4] >> 4, data[s + 4] & 15
        base_size, index_size = data[s + 5] >> 4, (data[s + 5] & 15 if version else 0)
        at = s + 6
        id_size = 2 if version < 2 else 4
        self.data = {}
        self.in_idat = set()
        count = number(data, at, id_size)
        at += id_size
        for _ in range(count):
            item = number(data, at, id_size)
            at += id_size
            method = 0
            if version:
                method = number(data, at, 2) & 15
                at += 2
            at += 2  # data reference index
            base = number(data, at, base_size)
            at += base_size
            count = number(data, at, 2)
            at += 2
            bytes_ = b''
            for _ in range(count):
                at += index_size
                offset = number(data, at, offset_size)
                at += offset_size
                length = number(data, at, length_size)
                at += length_size
                source = idat if method == 1 else data
                bytes_ += source[base + offset:base + offset + length]
            self.data[item] = bytes_
            if method == 1:
                self.in_idat.add(item)

    def item_type(self, item):
        return dict(self.items)[item]

    def property(self, item, kind):
        for index, _ in self.associations[item]:
            if self.properties[index - 1][4:8] == kind:
                return self.properties[index - 1]
        return None


def write_heif(brands, items, primary, properties, associations, references, data, in_idat=(), hidden=()):
    """A HEIF file: `items` as (id, type), `properties` as whole boxes, `associations` as {id: [(1-based
    index, essential)]}, `references` as (type, from, [to]), `data` as {id: bytes}; the items of `in_idat`
    keep their data in idat, the others in mdat, where items with equal data share it; the items of
    `hidden` (tiles) are marked as not to be shown on their own."""
    wide = any(i > 0xFFFF for i, _ in items)
    id_size = 4 if wide else 2
    infe_version = 3 if wide else 2
    infes = b''.join(full_box(b'infe', infe_version, 1 if item in hidden else 0,
                              item.to_bytes(id_size, 'big') + b'\0\0' + kind + b'\0')
                     for item, kind in items)
    iinf = full_box(b'iinf', 1 if len(items) > 0xFFFF else 0, 0,
                    len(items).to_bytes(4 if len(items) > 0xFFFF else 2, 'big') + infes)
    pitm = full_box(b'pitm', 1 if wide else 0, 0, primary.to_bytes(id_size, 'big'))
    hdlr = full_box(b'hdlr', 0, 0, b'\0' * 4 + b'pict' + b'\0' * 12 + b'\0')
    large_index = len(properties) > 127
    ipma_entries = b''
    for item, links in sorted(associations.items()):
        ipma_entries += item.to_bytes(id_size, 'big') + bytes([len(links)])
        for index, essential in links:
            if large_index:
                ipma_entries += ((0x8000 if essential else 0) | index).to_bytes(2, 'big')
            else:
                ipma_entries += bytes([(0x80 if essential else 0) | index])
    ipma = full_box(b'ipma', 1 if wide else 0, 1 if large_index else 0,
                    len(associations).to_bytes(4, 'big') + ipma_entries)
    iprp = box(b'iprp', box(b'ipco', b''.join(properties)) + ipma)
    iref = b''
    if references:
        iref = full_box(b'iref', 1 if wide else 0, 0, b''.join(
            box(kind, source.to_bytes(id_size, 'big') + len(targets).to_bytes(2, 'big') +
                b''.join(t.to_bytes(id_size, 'big') for t in targets))
            for kind, source, targets in references))
    # Data: idat for some, mdat for the others (equal data written once).
    idat_bytes = b''
    mdat_bytes = b''
    places = {}
    shared = {}
    for item, _ in items:
        if item not in data:
            continue
        if item in in_idat:
            places[item] = (1, len(idat_bytes), len(data[item]))
            idat_bytes += data[item]
        else:
            if data[item] not in shared:
                shared[data[item]] = len(mdat_bytes)
                mdat_bytes += data[item]
            places[item] = (0, shared[data[item]], len(data[item]))

    def meta_box(mdat_start):
        entries = b''
        for item, (method, offset, length) in places.items():
            offset += mdat_start if method == 0 else 0
            entries += (item.to_bytes(id_size, 'big') + method.to_bytes(2, 'big') + b'\0\0' +
                        (1).to_bytes(2, 'big') + offset.to_bytes(4, 'big') + length.to_bytes(4, 'big'))
        iloc = full_box(b'iloc', 2 if wide else 1, 0, bytes([0x44, 0x00]) +
                        len(places).to_bytes(id_size, 'big') + entries)
        idat = box(b'idat', idat_bytes) if idat_bytes else b''
        return full_box(b'meta', 0, 0, hdlr + pitm + iinf + iloc + idat + iref + iprp)

    ftyp = box(b'ftyp', brands)
    start = len(ftyp) + len(meta_box(0)) + 8
    return ftyp + meta_box(start) + box(b'mdat', mdat_bytes)


def rewrite(heif, **changes):
    parts = dict(brands=heif.brands, items=heif.items, primary=heif.primary, properties=heif.properties,
                 associations=heif.associations, references=heif.references, data=heif.data,
                 in_idat=heif.in_idat, hidden=heif.hidden)
    parts.update(changes)
    return write_heif(**parts)


def ispe(width, height):
    return full_box(b'ispe', 0, 0, struct.pack('>II', width, height))


def grid_descriptor(rows, columns, width, height):
    large = width > 0xFFFF or height > 0xFFFF
    size = '>II' if large else '>HH'
    return bytes([0, 1 if large else 0, rows - 1, columns - 1]) + struct.pack(size, width, height)


def brands(major, *compatible):
    return major + b'\0\0\0\0' + b''.join(compatible)


# --- ICC profiles (matrix and curve, version 2)

def s15(value):
    return struct.pack('>i', int(round(value * 65536)))


def xyz_tag(x, y, z):
    return b'XYZ \0\0\0\0' + s15(x) + s15(y) + s15(z)


def curve_tag(gamma):
    return b'curv\0\0\0\0' + struct.pack('>IH', 1, int(round(gamma * 256))) + b'\0\0'


def text_tag(text):
    return b'desc\0\0\0\0' + struct.pack('>I', len(text) + 1) + text.encode() + b'\0' + b'\0' * 78


def icc_profile(space, tags):
    """A profile of the colour space ('RGB ' or 'GRAY') with the (signature, bytes) tags."""
    table = b''
    body = b''
    offset = 128 + 4 + 12 * len(tags)
    for signature, data in tags:
        while len(data) % 4:
            data += b'\0'
        table += signature + struct.pack('>II', offset + len(body), len(data))
        body += data
    size = 128 + 4 + len(table) + len(body)
    header = (struct.pack('>I', size) + b'none' + bytes([2, 0x10, 0, 0]) + b'mntr' + space + b'XYZ ' +
              b'\0' * 12 + b'acsp' + b'\0' * 28 + s15(0.9642) + s15(1.0) + s15(0.8249) + b'\0' * 48)
    return header + struct.pack('>I', len(tags)) + table + body


def primaries_to_d50(red, green, blue, white):
    """The colorants of an RGB space (xy primaries and white) adapted to D50 by Bradford."""
    def xyz(xy):
        return np.array([xy[0] / xy[1], 1.0, (1 - xy[0] - xy[1]) / xy[1]])
    m = np.stack([xyz(red), xyz(green), xyz(blue)], axis=1)
    m = m * np.linalg.solve(m, xyz(white))
    bradford = np.array([[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]])
    d50 = np.array([0.9642, 1.0, 0.8249])
    cone = np.diag((bradford @ d50) / (bradford @ xyz(white)))
    return np.linalg.inv(bradford) @ cone @ bradford @ m


wide_colorants = primaries_to_d50((0.7347, 0.2653), (0.1152, 0.8264), (0.1566, 0.0177), (0.3457, 0.3585))
wide_icc = icc_profile(b'RGB ', [
    (b'desc', text_tag('Wide test RGB')),
    (b'wtpt', xyz_tag(0.9642, 1.0, 0.8249)),
    (b'rXYZ', xyz_tag(*wide_colorants[:, 0])),
    (b'gXYZ', xyz_tag(*wide_colorants[:, 1])),
    (b'bXYZ', xyz_tag(*wide_colorants[:, 2])),
    (b'rTRC', curve_tag(2.2)),
    (b'gTRC', curve_tag(2.2)),
    (b'bTRC', curve_tag(2.2)),
])
gray_icc = icc_profile(b'GRAY', [
    (b'desc', text_tag('Linear test gray')),
    (b'wtpt', xyz_tag(0.9642, 1.0, 0.8249)),
    (b'kTRC', curve_tag(1.0)),
])
save('wide.icc', wide_icc)
save('gray.icc', gray_icc)


# --- Pictures

RED, GREEN, BLUE, WHITE = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)


def quarters(width, height):
    a = np.zeros((height, width, 3), np.uint8)
    a[:height // 2, :width // 2] = RED
    a[:height // 2, width // 2:] = GREEN
    a[height // 2:, :width // 2] = BLUE
    a[height // 2:, width // 2:] = WHITE
    return Image.fromarray(a)


def flat(width, height, colour):
    return Image.new('RGB', (width, height), colour)


quarters(96, 64).save(path('quarters.png'))
save('quarters.heic', encode('quarters.png', 'quarters.heic', '-q', '90'))
save('quarters.avif', encode('quarters.png', 'quarters.avif', '-q', '90', '-A'))

# A ramp of 16-bit samples: red across, green down, blue along the diagonal.
x = np.linspace(0, 65535, 48)[None, :].repeat(32, axis=0)
y = np.linspace(0, 65535, 32)[:, None].repeat(48, axis=1)
ramp = np.stack([x, y, (x + y) / 2], axis=2).astype('>u2')
with open(path('ramp.ppm'), 'wb') as f:
    f.write(b'P6 48 32 65535\n' + ramp.tobytes())
subprocess.run(['/usr/bin/convert', path('ramp.ppm'), 'PNG48:' + path('ramp.png')], check=True)
save('ramp10.heic', encode('ramp.png', 'ramp10.heic', '-q', '90', '-b', '10'))
# This aom fails an assertion on 10-bit 4:2:0 and 4:4:4; 4:2:2 it writes.
save('ramp10.avif', encode('ramp.png', 'ramp10.avif', '-q', '90', '-b', '10', '-A', '-p', 'chroma=422'))


def ten_bit_reference(name):
    """The 10-bit samples libheif decodes from the file, as a PPM of maxval 1023. heif-convert writes 16
    bits with the 10 repeated into the low bits, which a shift by 6 undoes."""
    subprocess.run(['heif-convert', '--quiet', os.path.join(out, name), path('decoded.png')], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(['/usr/bin/convert', path('decoded.png'), '-depth', '16', path('decoded.ppm')], check=True)
    with open(path('decoded.ppm'), 'rb') as f:
        data = f.read()
    magic, width, height, maxval, pixels = data.split(maxsplit=4)
    assert magic == b'P6' and maxval == b'65535'
    samples = np.frombuffer(pixels, '>u2') >> 6
    return b'P6\n%s %s\n1023\n' % (width, height) + samples.astype('>u2').tobytes()


save('ramp10-heic.ppm', ten_bit_reference('ramp10.heic'))
save('ramp10-avif.ppm', ten_bit_reference('ramp10.avif'))

rgba = np.zeros((64, 96, 4), np.uint8)
rgba[:, 48:] = (0, 255, 0, 255)
Image.fromarray(rgba, 'RGBA').save(path('alpha.png'))
save('alpha.heic', encode('alpha.png', 'alpha.heic', '-q', '90'))


def with_properties(heif, *boxes):
    """The file with more properties of its primary picture, after those it has, in order."""
    properties = list(heif.properties)
    associations = dict(heif.associations)
    links = list(associations[heif.primary])
    for b in boxes:
        properties.append(b)
        links.append((len(properties), True))
    associations[heif.primary] = links
    return rewrite(heif, properties=properties, associations=associations)


# heif-enc 1.15 keeps a JPEG's EXIF but writes no irot or imir for its orientation (only for pictures
# it pads), so the boxes are added here: irot 3 turns 270 degrees anticlockwise, irot 1 turns 90, imir 0
# exchanges top and bottom.
def with_orientation(value, name):
    exif = Image.Exif()
    exif[0x0112] = value
    quarters(96, 64).save(path(name + '.jpg'), quality=95, exif=exif.tobytes())
    return Heif(encode(name + '.jpg', name + '.heic', '-q', '90'))


with open(os.path.join(out, 'ramp10.heic'), 'rb') as f:
    save('ramp10-turned.heic', with_properties(Heif(f.read()), box(b'irot', bytes([1])), box(b'imir', bytes([0]))))
save('rotated.heic', with_properties(with_orientation(6, 'rotated'), box(b'irot', bytes([3]))))
save('transposed.heic', with_properties(with_orientation(5, 'transposed'), box(b'irot', bytes([1])),
                                        box(b'imir', bytes([0]))))

quarters(64, 48).save(path('small.png'))
save('small-grid.heic', encode('small.png', 'small-grid.heic', '-q', '90'))

# heif-enc 1.15 writes no nclx box into a HEIC (a workaround for macOS), so the box is added here.
flat(96, 64, (200, 40, 40)).save(path('p3.png'))
p3 = Heif(encode('p3.png', 'p3.heic', '-q', '90', '--colour_primaries', '12', '--transfer_characteristic', '13',
                 '--matrix_coefficients', '6', '--full_range_flag', '1'))
save('p3.heic', with_properties(p3, box(b'colr', b'nclx' + struct.pack('>HHHB', 12, 13, 6, 0x80))))

quarters(96, 64).save(path('icc.png'), icc_profile=wide_icc)
save('icc.heic', encode('icc.png', 'icc.heic', '-q', '90'))

gray = np.linspace(0, 255, 96)[None, :].repeat(64, axis=0).astype(np.uint8)
Image.fromarray(gray, 'L').save(path('gray.png'), icc_profile=gray_icc)
save('gray.heic', encode('gray.png', 'gray.heic', '-q', '90'))

jpeg = io.BytesIO()
quarters(96, 64).save(jpeg, 'JPEG', quality=90)
save('jpeg.heic', jpeg.getvalue())

# libheif converts a picture's colours by the matrix and range of its nclx box: a ramp of 8 bits and
# ramp10.avif under boxes of other matrices (H.273: 0 GBR, 8 YCgCo, 9 BT.2020, 12 derived from the
# primaries) and ranges.
x8 = np.linspace(0, 255, 96)[None, :].repeat(64, axis=0)
y8 = np.linspace(0, 255, 64)[:, None].repeat(96, axis=1)
Image.fromarray(np.stack([x8, y8, 255 - (x8 + y8) / 2], axis=2).astype(np.uint8)).save(path('ramp8.png'))
ramp8 = Heif(encode('ramp8.png', 'ramp8.heic', '-q', '90'))
with open(os.path.join(out, 'ramp10.avif'), 'rb') as f:
    ramp10 = Heif(f.read())
for name, base, (primaries, matrix, full) in [('nclx-gbr.heic', ramp8, (1, 0, 1)),
                                              ('nclx-gbr-limited.heic', ramp8, (1, 0, 0)),
                                              ('nclx-ycgco.heic', ramp8, (1, 8, 1)),
                                              ('nclx-bt2020-limited.heic', ramp8, (9, 9, 0)),
                                              ('nclx-derived.heic', ramp8, (12, 12, 1)),
                                              ('nclx-limited10.avif', ramp10, (9, 9, 0)),
                                              ('nclx-derived10.avif', ramp10, (9, 13, 1))]:
    nclx = box(b'colr', b'nclx' + struct.pack('>HHHB', primaries, 13, matrix, 0x80 if full else 0))
    save(name, with_properties(base, nclx))

# --- Grids, put together from separately encoded tiles

tiles = []
for i, colour in enumerate([RED, GREEN, BLUE, WHITE]):
    flat(64, 64, colour).save(path(f'tile{i}.png'))
    tiles.append(Heif(encode(f'tile{i}.png', f'tile{i}.heic', '-q', '90')))


def grid_file(rows, columns, width, height, tile_items, tile_ispe=(64, 64)):
    """A grid of rows x columns on a width x height canvas, whose tiles are the items `tile_items` (ids
    into `tiles`, repeated as they are listed), each with the tile's properties."""
    grid_id = 1
    items = [(grid_id, b'grid')]
    properties = [ispe(width, height), ispe(*tile_ispe)]
    associations = {grid_id: [(1, False)]}
    data = {grid_id: grid_descriptor(rows, columns, width, height)}
    first = {}
    references = []
    for n, source in enumerate(tile_items):
        item = 2 + n
        items.append((item, b'hvc1'))
        if source not in first:
            first[source] = len(properties) + 1
            properties.append(tiles[source].property(tiles[source].primary, b'hvcC'))
        associations[item] = [(first[source], True), (2, False)]
        data[item] = tiles[source].data[tiles[source].primary]
        references.append(item)
    return write_heif(brands(b'heic', b'mif1', b'heic'), items, grid_id, properties, associations,
                      [(b'dimg', grid_id, references)], data, in_idat={grid_id},
                      hidden=set(references))


save('grid.heic', grid_file(2, 2, 120, 100, [0, 1, 2, 3]))
save('many-tiles.heic', grid_file(26, 40, 40 * 64, 26 * 64, [n % 4 for n in range(1040)]))
save('grid-holes.heic', grid_file(2, 2, 200, 200, [0, 1, 2, 3]))
save('grid-huge-tiles.heic', grid_file(1, 1, 64, 64, [0], tile_ispe=(65535, 65535)))
save('grid-outside.heic', grid_file(16, 16, 64, 64, [0] * 256))

grid = Heif(grid_file(2, 2, 120, 100, [0, 1, 2, 3]))
grid.data[1] = grid_descriptor(32, 32, 120, 100)
save('grid-claims.heic', rewrite(grid))

# A 2x2 grid whose four tiles are each the 1x1 grid of small-grid.heic.
small = Heif(encode('small.png', 'small-grid.heic', '-q', '90'))
inner = [i for i, kind in small.items if kind == b'hvc1'][0]
items = [(1, b'grid')]
properties = [ispe(128, 96), ispe(64, 48), ispe(64, 64), small.property(inner, b'hvcC')]
associations = {1: [(1, False)]}
data = {1: grid_descriptor(2, 2, 128, 96)}
references = [(b'dimg', 1, [2, 3, 4, 5])]
for n in range(4):
    items += [(2 + n, b'grid'), (6 + n, b'hvc1')]
    associations[2 + n] = [(2, False)]
    associations[6 + n] = [(4, True), (3, False)]
    data[2 + n] = grid_descriptor(1, 1, 64, 48)
    data[6 + n] = small.data[inner]
    references.append((b'dimg', 2 + n, [6 + n]))
save('grid-of-grids.heic', write_heif(brands(b'heic', b'mif1', b'heic'), items, 1, properties, associations,
                                      references, data, in_idat={1, 2, 3, 4, 5}, hidden=set(range(2, 10))))

# --- Broken files, from quarters.heic

with open(os.path.join(out, 'quarters.heic'), 'rb') as f:
    good = f.read()
boxes = {kind: (s, e) for kind, s, e in children(good, 0, len(good))}
save('cut-ftyp.heic', good[:20])
save('cut-meta.heic', good[:(boxes[b'meta'][0] + boxes[b'meta'][1]) // 2])
save('cut-mdat.heic', good[:(boxes[b'mdat'][0] + boxes[b'mdat'][1]) // 2])
quarters_heif = Heif(good)
save('brand.heic', rewrite(quarters_heif, brands=brands(b'isom', b'isom', b'mp41')))
save('empty-mdat.heic', good[:boxes[b'mdat'][0] - 8] + box(b'mdat', b''))
save('no-primary.heic', rewrite(quarters_heif, primary=99))
no_pitm = bytearray(good)
pitm_at = good.index(b'pitm') - 4
no_pitm[pitm_at + 4:pitm_at + 8] = b'free'
save('no-pitm.heic', bytes(no_pitm))
save('codec.heic', rewrite(quarters_heif, items=[(i, b'vvc1' if i == quarters_heif.primary else kind)
                                               for i, kind in quarters_heif.items]))


def with_ispe(heif, width, height):
    return rewrite(heif, properties=[ispe(width, height) if p[4:8] == b'ispe' else p for p in heif.properties])


save('huge-ispe.heic', with_ispe(quarters_heif, 100000, 100000))
save('wide-ispe.heic', with_ispe(quarters_heif, 65535, 8192))
PY
ls -l "$here"
