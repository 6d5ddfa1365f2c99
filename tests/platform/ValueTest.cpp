// Field types, field values and the float text.
#include "FrameworkTestTypes.h"

#include <gtest/gtest.h>

#include <QtCore/QLocale>

#include <cmath>
#include <cstdint>
#include <limits>

TEST(FieldValueTest, KindsConversionsAndEquality)
{
    EXPECT_LE(sizeof(FieldValue), 16u);
    const FieldValue invalid;
    EXPECT_FALSE(invalid.isValid());
    EXPECT_EQ(invalid, FieldValue());
    EXPECT_TRUE(invalid.toString().isEmpty());

    const FieldValue negative = FieldValue::i(-5, 14);
    EXPECT_EQ(negative.kind(), FieldType::Signed);
    EXPECT_EQ(negative.width(), 14);
    EXPECT_EQ(negative.toInt64(), -5);
    EXPECT_EQ(negative.toUInt64(), UINT64_C(0xFFFFFFFFFFFFFFFB));
    EXPECT_EQ(negative.toDouble(), -5.0);
    EXPECT_EQ(negative.toByte(), 0xFB);
    EXPECT_EQ(negative.toString(), QStringLiteral("-5"));

    const FieldValue big = FieldValue::u(std::numeric_limits<unsigned long long>::max(), 64);
    EXPECT_EQ(big.toUInt64(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(big.toString(), QStringLiteral("18446744073709551615"));
    EXPECT_EQ(FieldValue::i(std::numeric_limits<long long>::min(), 64).toString(),
              QStringLiteral("-9223372036854775808"));

    EXPECT_EQ(FieldValue::byte(10).toString(), QStringLiteral("0a"));
    EXPECT_EQ(FieldValue::byte(0xff).toUInt64(), 255u);
    EXPECT_EQ(FieldValue::ch('A').toString(), QStringLiteral("A"));
    EXPECT_EQ(FieldValue::ch('\xe9').toUInt64(), 0xe9u); // codes read as 0 to 255
    EXPECT_EQ(FieldValue::f64(0.1).toString(), QStringLiteral("0.1"));
    EXPECT_EQ(FieldValue::f64(-2.75).toInt64(), -2);

    // Doubles out of an integer's range clamp instead of overflowing.
    EXPECT_EQ(FieldValue::f64(1e30).toInt64(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(FieldValue::f64(-1e30).toInt64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(FieldValue::f64(-1.0).toUInt64(), 0u);
    EXPECT_EQ(FieldValue::f64(std::nan("")).toInt64(), 0);

    MessageInfo info(QStringLiteral("DGNSS"));
    ListMessage sub(&info);
    const FieldValue subValue = FieldValue::subMessage(&sub);
    EXPECT_EQ(subValue.kind(), FieldType::SubMessage);
    EXPECT_EQ(subValue.toSubMessage(), &sub);
    EXPECT_EQ(negative.toSubMessage(), nullptr);
    EXPECT_EQ(subValue.toUInt64(), 0u);
    EXPECT_EQ(subValue.toString(), QStringLiteral("submsg"));

    // Equal only in kind, width and value together.
    EXPECT_EQ(FieldValue::u(3, 6), FieldValue::u(3, 6));
    EXPECT_NE(FieldValue::u(3, 6), FieldValue::u(3, 7));
    EXPECT_NE(FieldValue::u(3, 6), FieldValue::u(4, 6));
    EXPECT_NE(FieldValue::u(65, 8), FieldValue::ch('A'));
    EXPECT_NE(FieldValue::u(10, 8), FieldValue::byte(10));
    EXPECT_EQ(FieldValue::f64(0.0), FieldValue::f64(-0.0));
    EXPECT_NE(FieldValue::f64(std::nan("")), FieldValue::f64(std::nan("")));
    EXPECT_EQ(subValue, FieldValue::subMessage(&sub));
    EXPECT_NE(subValue, FieldValue::subMessage(nullptr));
}

TEST(FloatRepresentationTest, TrimmingSpecialValuesAndLocale)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        char format;
        int precision;
        bool trim;
        const char *text;
    } cases[] = {
        {0.09375, 'f', 6, true, "0.09375"}, {2.0, 'f', 6, true, "2"},      {2.0, 'f', 6, false, "2.000000"},
        {-2.5, 'f', 6, true, "-2.5"},        {100.0, 'f', 0, true, "100"}, {1200.0, 'f', 2, true, "1200"},
        {150.0, 'e', 6, true, "1.5e+02"},    {150.0, 'E', 6, true, "1.5E+02"}, {1e-7, 'e', 3, true, "1e-07"},
        {1234567.0, 'g', 6, true, "1.23457e+06"}, {0.5, 'g', 6, false, "0.5"},
        {-0.0, 'f', 6, true, "0"},           {-0.0, 'f', 6, false, "0.000000"}, {-1e-9, 'f', 6, true, "0"},
        {-0.0, 'e', 2, true, "0e+00"},       {-1e-9, 'f', 9, true, "-0.000000001"},
        {nan, 'f', 6, true, "nan"},          {inf, 'f', 6, true, "inf"},   {-inf, 'e', 6, false, "-inf"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FloatRepresentation::getString(c.value, c.format, c.precision, c.trim), QLatin1String(c.text))
            << c.value << ' ' << c.format << c.precision;

    // The default locale's decimal comma and grouping never leak into the text.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FloatRepresentation::getString(12345.25, 'f', 6, true), QStringLiteral("12345.25"));
    QLocale::setDefault(saved);
}
