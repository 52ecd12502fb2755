#include "convert/tint.h"

#include "convert/gammatable.h"

#include <QColor>

#include <algorithm>
#include <cmath>

namespace {

std::array<std::uint8_t, 256> gammaLookUp(double gamma)
{
    std::array<std::uint8_t, 256> table {};
    for (int i = 0; i < 256; ++i) {
        const double level = i / 255.0;
        const double raised = level <= 0 ? 0 : std::pow(level, 1 / gamma);
        table[std::size_t(i)] = std::uint8_t(std::min(255.0, std::floor(256 * raised)));
    }
    return table;
}

// Fixed point, as the sums below need no more.
constexpr int fractionBits = 16;
constexpr int half = 1 << (fractionBits - 1);

int fixedPoint(double value)
{
    return int(std::lround(value * (1 << fractionBits)));
}

std::uint8_t clampedLevel(int value)
{
    return std::uint8_t(std::clamp((value + half) >> fractionBits, 0, 255));
}

} // namespace

EqTables eqTables(double red, double green, double blue)
{
    const auto clipped = [](double gamma) { return std::clamp(gamma, 0.1, 10.0); };
    red = clipped(red);
    green = clipped(green);
    blue = clipped(blue);
    return { gammaLookUp(green), gammaLookUp(std::sqrt(blue / green)),
        gammaLookUp(std::sqrt(red / green)) };
}

QImage tintedImage(const YuvFrame &frame, int gammaIndex)
{
    if (!frame.isValid())
        return {};
    const auto row = std::size_t(gammaIndex);
    const EqTables eq = eqTables(
        temperatureGammaTable[row], temperatureGammaTable[row + 1], temperatureGammaTable[row + 2]);

    // What each level adds to red, green and blue, the eq tables applied first: a sum of three
    // look-ups a pixel.
    const double kr = frame.redWeight;
    const double kb = frame.blueWeight;
    const double kg = 1 - kr - kb;
    const double lumaScale = frame.fullRange ? 1 : 255.0 / 219;
    const double chromaScale = frame.fullRange ? 1 : 255.0 / 224;
    const int lumaBlack = frame.fullRange ? 0 : 16;
    std::array<int, 256> luma {};
    std::array<int, 256> redFromCr {};
    std::array<int, 256> greenFromCb {};
    std::array<int, 256> greenFromCr {};
    std::array<int, 256> blueFromCb {};
    for (std::size_t i = 0; i < 256; ++i) {
        luma[i] = fixedPoint((eq.y[i] - lumaBlack) * lumaScale);
        const double cb = (eq.cb[i] - 128) * chromaScale;
        const double cr = (eq.cr[i] - 128) * chromaScale;
        redFromCr[i] = fixedPoint(2 * (1 - kr) * cr);
        greenFromCb[i] = fixedPoint(-2 * kb * (1 - kb) / kg * cb);
        greenFromCr[i] = fixedPoint(-2 * kr * (1 - kr) / kg * cr);
        blueFromCb[i] = fixedPoint(2 * (1 - kb) * cb);
    }

    QImage image(frame.width, frame.height, QImage::Format_RGB32);
    const auto *lumaPlane = reinterpret_cast<const std::uint8_t *>(frame.planes.constData());
    const int chromaWidth = frame.width / 2;
    const std::uint8_t *cbPlane = lumaPlane + frame.width * frame.height;
    const std::uint8_t *crPlane = cbPlane + chromaWidth * (frame.height / 2);
    for (int y = 0; y < frame.height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const std::uint8_t *lumaLine = lumaPlane + y * frame.width;
        const std::uint8_t *cbLine = cbPlane + (y / 2) * chromaWidth;
        const std::uint8_t *crLine = crPlane + (y / 2) * chromaWidth;
        for (int x = 0; x < frame.width; ++x) {
            const int level = luma[lumaLine[x]];
            const std::uint8_t cb = cbLine[x / 2];
            const std::uint8_t cr = crLine[x / 2];
            line[x] = qRgb(clampedLevel(level + redFromCr[cr]),
                clampedLevel(level + greenFromCb[cb] + greenFromCr[cr]),
                clampedLevel(level + blueFromCb[cb]));
        }
    }
    return image;
}

YuvFrame samplePicture(int width, int height)
{
    YuvFrame frame;
    frame.width = width & ~1;
    frame.height = height & ~1;
    frame.planes.resize(frame.width * frame.height * 3 / 2);

    // Three bands: grey steps, skin-like tones, then every hue at full and at half strength.
    const QRgb skins[] = { qRgb(255, 224, 196), qRgb(234, 192, 134), qRgb(224, 172, 105),
        qRgb(198, 134, 66), qRgb(141, 85, 36), qRgb(92, 51, 23) };
    const auto colourAt = [&](int x, int y) {
        const int band = y * 3 / frame.height;
        if (band == 0) {
            const int level = x * 8 / frame.width * 255 / 7;
            return qRgb(level, level, level);
        }
        if (band == 1)
            return skins[x * 6 / frame.width];
        const bool pale = y >= frame.height * 5 / 6;
        return QColor::fromHsv(x * 359 / frame.width, pale ? 128 : 255, 255).rgb();
    };
    auto *lumaPlane = reinterpret_cast<std::uint8_t *>(frame.planes.data());
    std::uint8_t *cbPlane = lumaPlane + frame.width * frame.height;
    std::uint8_t *crPlane = cbPlane + (frame.width / 2) * (frame.height / 2);
    // BT.601, 16 to 235, as a converter writes it.
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const QRgb colour = colourAt(x, y);
            lumaPlane[y * frame.width + x]
                = std::uint8_t(std::lround(16 + 65.481 * qRed(colour) / 255
                    + 128.553 * qGreen(colour) / 255 + 24.966 * qBlue(colour) / 255));
            if (x % 2 == 0 && y % 2 == 0) {
                const std::size_t at = std::size_t((y / 2) * (frame.width / 2) + x / 2);
                cbPlane[at] = std::uint8_t(std::lround(128 - 37.797 * qRed(colour) / 255
                    - 74.203 * qGreen(colour) / 255 + 112.0 * qBlue(colour) / 255));
                crPlane[at] = std::uint8_t(std::lround(128 + 112.0 * qRed(colour) / 255
                    - 93.786 * qGreen(colour) / 255 - 18.214 * qBlue(colour) / 255));
            }
        }
    }
    return frame;
}
