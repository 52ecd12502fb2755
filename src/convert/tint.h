#pragma once

#include <QByteArray>
#include <QImage>

#include <array>
#include <cstdint>

// One decoded picture as the converter's eq filter sees it: 8-bit Y, Cb and Cr planes, 4:2:0,
// and how its YUV becomes RGB.
struct YuvFrame
{
    int width = 0; // even, as the height
    int height = 0;
    QByteArray planes; // Y (width * height), then Cb and Cr (a quarter of that each)
    // The luma weights of red and blue of its colour matrix (BT.601 where it names none), and
    // whether it spans all 256 levels (pc) or 16 to 235 (tv).
    double redWeight = 0.299;
    double blueWeight = 0.114;
    bool fullRange = false;
    // Where it is in its video, and how long the video is, in seconds; negative where unknown.
    double at = -1;
    double length = -1;

    bool isValid() const
    {
        return width > 0 && height > 0 && planes.size() == width * height * 3 / 2;
    }
};

// The three 256-entry tables that the eq filter applies to the Y, Cb and Cr planes for these
// gammas, with contrast 1, brightness 0 and gamma weight 1: luma takes green's gamma, Cb
// sqrt(blue / green) and Cr sqrt(red / green), each gamma first clipped to 0.1 to 10.
struct EqTables
{
    std::array<std::uint8_t, 256> y;
    std::array<std::uint8_t, 256> cb;
    std::array<std::uint8_t, 256> cr;
};
EqTables eqTables(double red, double green, double blue);

// The frame re-tinted with the gamma table's row at gammaIndex, exactly as the conversion's eq
// filter does it, then turned into RGB as the converter turns its output.
QImage tintedImage(const YuvFrame &frame, int gammaIndex);
// The frame as it is, turned into RGB the same way.
QImage originalImage(const YuvFrame &frame);

// A picture drawn here, for before any file: grey steps, skin-like tones and a colour ramp, as a
// BT.601 frame of the given size.
YuvFrame samplePicture(int width, int height);
