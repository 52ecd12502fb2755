#!/usr/bin/env python3
"""Prints the rows above 6500 K of the colour-temperature gamma table as C++ initialisers.

Between the fixed rows below, red and green are filled with a monotone cubic (PCHIP,
Fritsch-Carlson slopes) in reciprocal temperature, where colour changes evenly to the eye.
Blue stays 1. Each value is rounded to single precision and written with nine significant
digits, which give the stored float back exactly.
"""

import struct

# kelvin: (red, green); 6500 K is the neutral row that the warm half of the table ends on.
FIXED = {
    6500: (1.0, 1.0),
    6600: (0.989479065, 0.993487239),
    6700: (0.979404509, 0.987227142),
    7000: (0.951608062, 0.969833553),
    8000: (0.879065812, 0.923573375),
    10000: (0.789887309, 0.864911377),
    15000: (0.691191375, 0.797614455),
    20000: (0.649949431, 0.768768668),
    25000: (0.627741873, 0.753069758),
    25100: (0.627403378, 0.752829611),
}
FIRST_ROW, LAST_ROW = 66, 251


def mired(kelvin):
    return 1e6 / kelvin


def end_slope(h0, h1, d0, d1):
    slope = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1)
    if slope * d0 <= 0:
        return 0.0
    if d0 * d1 < 0 and abs(slope) > 3 * abs(d0):
        return 3 * d0
    return slope


def pchip(xs, ys):
    """The monotone cubic through (xs, ys), xs rising, as a function of x."""
    h = [b - a for a, b in zip(xs, xs[1:])]
    d = [(b - a) / w for a, b, w in zip(ys, ys[1:], h)]
    m = [end_slope(h[0], h[1], d[0], d[1])]
    for k in range(1, len(xs) - 1):
        if d[k - 1] * d[k] <= 0:
            m.append(0.0)
        else:
            w1, w2 = 2 * h[k] + h[k - 1], h[k] + 2 * h[k - 1]
            m.append((w1 + w2) / (w1 / d[k - 1] + w2 / d[k]))
    m.append(end_slope(h[-1], h[-2], d[-1], d[-2]))

    def at(x):
        k = max(i for i in range(len(xs) - 1) if xs[i] <= x) if x < xs[-1] else len(xs) - 2
        t = (x - xs[k]) / h[k]
        return ((2 * t**3 - 3 * t**2 + 1) * ys[k] + (t**3 - 2 * t**2 + t) * h[k] * m[k]
                + (-2 * t**3 + 3 * t**2) * ys[k + 1] + (t**3 - t**2) * h[k] * m[k + 1])

    return at


def single(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def main():
    knots = sorted(FIXED)[::-1]  # falling kelvin is rising mired
    xs = [mired(k) for k in knots]
    red = pchip(xs, [FIXED[k][0] for k in knots])
    green = pchip(xs, [FIXED[k][1] for k in knots])

    rows = []
    for row in range(FIRST_ROW, LAST_ROW + 1):
        kelvin = row * 100
        r, g = (FIXED[kelvin] if kelvin in FIXED else (red(mired(kelvin)), green(mired(kelvin))))
        rows.append((kelvin, single(r), single(g)))

    for (_, r0, g0), (kelvin, r1, g1) in zip(rows, rows[1:]):
        assert r1 < r0 and g1 < g0, f"not falling at {kelvin} K"
    assert all(r < g for _, r, g in rows), "red must stay below green"
    for kelvin, (r, g) in FIXED.items():
        if kelvin >= FIRST_ROW * 100:
            assert (single(r), single(g)) in [(rr, gg) for k, rr, gg in rows if k == kelvin]

    for kelvin, r, g in rows:
        print(f"    /* {kelvin:5} */ {r:.9g}f, {g:.9g}f, 1.0f,")


if __name__ == "__main__":
    main()
