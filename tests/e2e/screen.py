#!/usr/bin/env python3
"""Looks at screenshots of the end-to-end scripts (binary PPM, as ImageMagick's
`import -window ID ppm:FILE` writes them).

  screen.py diff A B [X Y W H]  the box where A and B differ (inside the area when given):
                                "left top width height", or "none"
  screen.py box A X Y W H RGB   the box of the pixels of colour RGB (hex) inside the area, or "none"
  screen.py ink A X Y W H       the box of the pixels inside the area that differ from its first pixel
  screen.py blocks A X Y W H    per cent of the 2x2 blocks inside the area, of those not all
                                of the area's first pixel's colour, whose four pixels are equal
"""
import sys


def read_ppm(path):
    with open(path, 'rb') as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b'#':
            at = data.index(b'\n', at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b'P6' or fields[3] != b'255':
        sys.exit('not an 8-bit binary PPM: ' + path)
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:at + 1 + width * height * 3]
    return width, height, pixels


def pixel(image, x, y):
    width, _, pixels = image
    i = (y * width + x) * 3
    return pixels[i:i + 3]


def box(points):
    if not points:
        return 'none'
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return '%d %d %d %d' % (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)


def area(image, args):
    x, y, w, h = (int(a) for a in args[:4])
    width, height, _ = image
    return range(max(x, 0), min(x + w, width)), range(max(y, 0), min(y + h, height))


def main(argv):
    command = argv[1]
    image = read_ppm(argv[2])
    if command == 'diff':
        other = read_ppm(argv[3])
        if other[:2] != image[:2]:
            sys.exit('the screenshots differ in size')
        xs, ys = area(image, argv[4:8]) if len(argv) >= 8 else area(image, [0, 0, image[0], image[1]])
        print(box([(x, y) for y in ys for x in xs if pixel(image, x, y) != pixel(other, x, y)]))
    elif command == 'box':
        xs, ys = area(image, argv[3:7])
        colour = bytes.fromhex(argv[7])
        print(box([(x, y) for y in ys for x in xs if pixel(image, x, y) == colour]))
    elif command == 'ink':
        xs, ys = area(image, argv[3:7])
        ground = pixel(image, xs[0], ys[0])
        print(box([(x, y) for y in ys for x in xs if pixel(image, x, y) != ground]))
    elif command == 'blocks':
        xs, ys = area(image, argv[3:7])
        ground = pixel(image, xs[0], ys[0])
        inked = uniform = 0
        for y in range(ys.start, ys.stop - 1, 2):
            for x in range(xs.start, xs.stop - 1, 2):
                four = {pixel(image, x, y), pixel(image, x + 1, y), pixel(image, x, y + 1), pixel(image, x + 1, y + 1)}
                if four == {ground}:
                    continue
                inked += 1
                uniform += len(four) == 1
        print(0 if inked == 0 else round(100 * uniform / inked))
    else:
        sys.exit('unknown command ' + command)


main(sys.argv)
