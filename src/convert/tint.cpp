#include "convert/tint.h"

#include "convert/gammatable.h"

#include <QColor>

#include <algorithm>
#include <cmath>
#include <cstring>

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

int fixedPoint(double value)
{
    return int(std::lround(value * (1 << fractionBits)));
}

// The levels from a fixed-point sum, rounded and held to 0..255 by a look-up: a sum lies within
// a few hundred levels of the range on either side.
class Levels
{
public:
    Levels()
    {
        for (int i = 0; i < size; ++i)
            m_levels[std::size_t(i)] = std::uint8_t(std::clamp(i - below, 0, 255));
    }
    QRgb rgb(int red, int green, int blue) const
    {
        return 0xff000000U | (uint(level(red)) << 16) | (uint(level(green)) << 8) | level(blue);
    }

private:
    // Sums lie between -300 and +600 levels: eq's levels with the widest matrix's chroma.
    std::uint8_t level(int sum) const
    {
        const int at = ((sum + (1 << (fractionBits - 1))) >> fractionBits) + below;
        return m_levels[std::size_t(at)];
    }

    static constexpr int below = 512;
    static constexpr int size = 2048;
    std::array<std::uint8_t, size> m_levels {};
};

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

namespace {

QImage imageThroughEq(const YuvFrame &frame, const EqTables &eq)
{
    if (!frame.isValid())
        return {};

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

    static const Levels levels;
    QImage image(frame.width, frame.height, QImage::Format_RGB32);
    const std::ptrdiff_t width = frame.width;
    const std::ptrdiff_t chromaWidth = width / 2;
    const auto *lumaPlane = reinterpret_cast<const std::uint8_t *>(frame.planes.constData());
    const std::uint8_t *cbPlane = lumaPlane + width * frame.height;
    const std::uint8_t *crPlane = cbPlane + chromaWidth * (frame.height / 2);
    for (int y = 0; y < frame.height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const std::uint8_t *lumaLine = lumaPlane + y * width;
        const std::uint8_t *cbLine = cbPlane + (y / 2) * chromaWidth;
        const std::uint8_t *crLine = crPlane + (y / 2) * chromaWidth;
        // Two pixels a chroma sample, as 4:2:0 has them.
        for (std::ptrdiff_t x = 0; x < chromaWidth; ++x) {
            const int red = redFromCr[crLine[x]];
            const int green = greenFromCb[cbLine[x]] + greenFromCr[crLine[x]];
            const int blue = blueFromCb[cbLine[x]];
            const int left = luma[lumaLine[2 * x]];
            const int right = luma[lumaLine[2 * x + 1]];
            line[2 * x] = levels.rgb(left + red, left + green, left + blue);
            line[2 * x + 1] = levels.rgb(right + red, right + green, right + blue);
        }
    }
    return image;
}

} // namespace

QImage tintedImage(const YuvFrame &frame, int gammaIndex)
{
    const auto row = std::size_t(gammaIndex);
    return imageThroughEq(frame,
        eqTables(temperatureGammaTable[row], temperatureGammaTable[row + 1],
            temperatureGammaTable[row + 2]));
}

QImage originalImage(const YuvFrame &frame)
{
    return imageThroughEq(frame, eqTables(1, 1, 1));
}

YuvFrame samplePicture(int width, int height)
{
    YuvFrame frame;
    frame.width = width & ~1;
    frame.height = height & ~1;
    frame.planes.resize(frame.width * frame.height * 3 / 2);

    // Four bands of columns: grey steps, skin-like tones, every hue at full strength, and at
    // half. Each band's row is made once and copied down.
    const QRgb skins[] = { qRgb(255, 224, 196), qRgb(234, 192, 134), qRgb(224, 172, 105),
        qRgb(198, 134, 66), qRgb(141, 85, 36), qRgb(92, 51, 23) };
    const auto colourAt = [&](int band, int x) {
        if (band == 0) {
            const int level = x * 8 / frame.width * 255 / 7;
            return qRgb(level, level, level);
        }
        if (band == 1)
            return skins[x * 6 / frame.width];
        return QColor::fromHsv(x * 359 / frame.width, band == 2 ? 255 : 128, 255).rgb();
    };
    const auto bandOf = [&frame](int y) {
        const int band = y * 3 / frame.height;
        return band < 2 ? band : (y >= frame.height * 5 / 6 ? 3 : 2);
    };
    const std::ptrdiff_t lineWidth = frame.width;
    const std::ptrdiff_t chromaWidth = lineWidth / 2;
    auto *lumaPlane = reinterpret_cast<std::uint8_t *>(frame.planes.data());
    std::uint8_t *cbPlane = lumaPlane + lineWidth * frame.height;
    std::uint8_t *crPlane = cbPlane + chromaWidth * (frame.height / 2);
    // BT.601, 16 to 235, as a converter writes it.
    std::array<QByteArray, 4> luma;
    std::array<QByteArray, 4> cb;
    std::array<QByteArray, 4> cr;
    for (int band = 0; band < 4; ++band) {
        luma[std::size_t(band)].resize(frame.width);
        cb[std::size_t(band)].resize(frame.width / 2);
        cr[std::size_t(band)].resize(frame.width / 2);
        for (int x = 0; x < frame.width; ++x) {
            const QRgb colour = colourAt(band, x);
            const double red = qRed(colour) / 255.0;
            const double green = qGreen(colour) / 255.0;
            const double blue = qBlue(colour) / 255.0;
            luma[std::size_t(band)][x]
                = char(std::lround(16 + 65.481 * red + 128.553 * green + 24.966 * blue));
            if (x % 2 == 0) {
                cb[std::size_t(band)][x / 2]
                    = char(std::lround(128 - 37.797 * red - 74.203 * green + 112.0 * blue));
                cr[std::size_t(band)][x / 2]
                    = char(std::lround(128 + 112.0 * red - 93.786 * green - 18.214 * blue));
            }
        }
    }
    for (int y = 0; y < frame.height; ++y) {
        const auto band = std::size_t(bandOf(y));
        std::memcpy(lumaPlane + y * lineWidth, luma[band].constData(), std::size_t(lineWidth));
        if (y % 2 == 0) {
            std::memcpy(
                cbPlane + (y / 2) * chromaWidth, cb[band].constData(), std::size_t(chromaWidth));
            std::memcpy(
                crPlane + (y / 2) * chromaWidth, cr[band].constData(), std::size_t(chromaWidth));
        }
    }
    return frame;
}
