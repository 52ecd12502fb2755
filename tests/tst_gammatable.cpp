#include "convert/gammatable.h"

#include <QtTest>

#include <climits>
#include <cstring>

namespace {

// Bit patterns, so that values compare exactly rather than QCOMPARE's fuzzy way.
quint32 bits(float value)
{
    quint32 result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

float gamma(int row, int channel)
{
    return temperatureGammaTable[std::size_t(row) * 3 + std::size_t(channel)];
}

} // namespace

class TestGammaTable : public QObject
{
    Q_OBJECT

private slots:
    void fixedRows_data();
    void fixedRows();
    void shape();
    void lookup_data();
    void lookup();
};

void TestGammaTable::fixedRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<float>("red");
    QTest::addColumn<float>("green");
    QTest::addColumn<float>("blue");

    QTest::newRow("0 K: red only") << 0 << 1.0f << 0.0f << 0.0f;
    QTest::newRow("100 K: first green") << 1 << 1.0f << 0.0181727093f << 0.0f;
    QTest::newRow("1000 K: end of the straight line") << 10 << 1.0f << 0.181727156f << 0.0f;
    QTest::newRow("1100 K: first unequal step") << 11 << 1.0f << 0.255036712f << 0.0f;
    QTest::newRow("1900 K: last without blue") << 19 << 1.0f << 0.519434214f << 0.0f;
    QTest::newRow("2000 K: first blue") << 20 << 1.0f << 0.543600798f << 0.0867994875f;
    QTest::newRow("2700 K: default") << 27 << 1.0f << 0.67645824f << 0.347867578f;
    QTest::newRow("3000 K") << 30 << 1.0f << 0.719769537f << 0.428601533f;
    QTest::newRow("5000 K") << 50 << 1.0f << 0.901982307f << 0.814655006f;
    QTest::newRow("5100 K") << 51 << 1.0f << 0.909630716f << 0.828382075f;
    QTest::newRow("6400 K") << 64 << 1.0f << 0.994481385f << 0.988991797f;
    QTest::newRow("6500 K: neutral") << 65 << 1.0f << 1.0f << 1.0f;
    QTest::newRow("6600 K: first cool") << 66 << 0.989479065f << 0.993487239f << 1.0f;
    QTest::newRow("6700 K") << 67 << 0.979404509f << 0.987227142f << 1.0f;
    QTest::newRow("7000 K") << 70 << 0.951608062f << 0.969833553f << 1.0f;
    QTest::newRow("8000 K") << 80 << 0.879065812f << 0.923573375f << 1.0f;
    QTest::newRow("10000 K") << 100 << 0.789887309f << 0.864911377f << 1.0f;
    QTest::newRow("15000 K") << 150 << 0.691191375f << 0.797614455f << 1.0f;
    QTest::newRow("20000 K") << 200 << 0.649949431f << 0.768768668f << 1.0f;
    QTest::newRow("25000 K") << 250 << 0.627741873f << 0.753069758f << 1.0f;
    QTest::newRow("25100 K: last") << 251 << 0.627403378f << 0.752829611f << 1.0f;
}

void TestGammaTable::fixedRows()
{
    QFETCH(int, row);
    QFETCH(float, red);
    QFETCH(float, green);
    QFETCH(float, blue);

    QCOMPARE(bits(gamma(row, 0)), bits(red));
    QCOMPARE(bits(gamma(row, 1)), bits(green));
    QCOMPARE(bits(gamma(row, 2)), bits(blue));
}

void TestGammaTable::shape()
{
    QCOMPARE(temperatureGammaTable.size(), std::size_t(252 * 3));
    for (const float value : temperatureGammaTable)
        QVERIFY(value >= 0.0f && value <= 1.0f);

    // Warm half: red full, green and blue rising to neutral, blue only from 2000 K on.
    for (int row = 0; row <= 65; ++row) {
        QCOMPARE(gamma(row, 0), 1.0f);
        if (row > 0)
            QVERIFY2(gamma(row, 1) > gamma(row - 1, 1), qPrintable(QString::number(row)));
        if (row < 20)
            QCOMPARE(bits(gamma(row, 2)), bits(0.0f));
        else if (row > 20)
            QVERIFY2(gamma(row, 2) > gamma(row - 1, 2), qPrintable(QString::number(row)));
        if (row > 0 && row < 65)
            QVERIFY(gamma(row, 1) > gamma(row, 2));
    }
    // Up to 1000 K green runs along a straight line.
    for (int row = 1; row <= 10; ++row)
        QVERIFY(qAbs(gamma(row, 1) - gamma(10, 1) * row / 10) < 1e-6f);

    // Cool half: blue full, red and green falling, red below green.
    for (int row = 66; row < gammaTableRows; ++row) {
        QCOMPARE(gamma(row, 2), 1.0f);
        QVERIFY2(gamma(row, 0) < gamma(row - 1, 0), qPrintable(QString::number(row)));
        QVERIFY2(gamma(row, 1) < gamma(row - 1, 1), qPrintable(QString::number(row)));
        QVERIFY(gamma(row, 0) < gamma(row, 1));
    }
}

void TestGammaTable::lookup_data()
{
    QTest::addColumn<int>("kelvin");
    QTest::addColumn<int>("index");

    QTest::newRow("default") << 2700 << 81;
    QTest::newRow("truncated, not rounded") << 2799 << 81;
    QTest::newRow("next row") << 2800 << 84;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("-1 truncates towards zero") << -1 << 0;
    QTest::newRow("-99 truncates towards zero") << -99 << 0;
    QTest::newRow("slider maximum") << 6500 << 195;
    QTest::newRow("6599 still neutral") << 6599 << 195;
    QTest::newRow("6600 first cool row") << 6600 << 198;
    QTest::newRow("25100 last row") << 25100 << 753;
    QTest::newRow("25199 last row") << 25199 << 753;
    QTest::newRow("-100 held at first row") << -100 << 0;
    QTest::newRow("-500 held at first row") << -500 << 0;
    QTest::newRow("25200 held at last row") << 25200 << 753;
    QTest::newRow("99999 held at last row") << 99999 << 753;
    QTest::newRow("INT_MIN held at first row") << INT_MIN << 0;
    QTest::newRow("INT_MAX held at last row") << INT_MAX << 753;
}

void TestGammaTable::lookup()
{
    QFETCH(int, kelvin);
    QFETCH(int, index);

    QCOMPARE(gammaTableIndex(kelvin), index);
}

QTEST_APPLESS_MAIN(TestGammaTable)
#include "tst_gammatable.moc"
