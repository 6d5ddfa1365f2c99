// FloatRepresentation: number text with trimming and the special values.
#include "mesaroframework/FloatRepresentation.h"

#include <cmath>

namespace {

int significantDigits(const QString &fixed)
{
    int count = 0;
    for (QChar c : fixed) {
        if (c.isDigit() && (count > 0 || c != QLatin1Char('0')))
            ++count;
    }
    return count;
}

} // namespace

QString FloatRepresentation::getString(double value, char format, int precision, bool trim)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");

    QString text = QString::number(value, format, precision);
    // Fixed notation with a few decimals would show a small non-zero value (an ephemeris rate
    // scaled by 2^-43, say) as "0": below six significant digits it gives way to the shortest
    // of fixed and exponent notation with six.
    if (format == 'f' && value != 0 && significantDigits(text) < 6)
        text = QString::number(value, 'g', 6);

    int exponent = text.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
    int mantissaEnd = exponent < 0 ? text.size() : exponent;

    if (trim && text.leftRef(mantissaEnd).contains(QLatin1Char('.'))) {
        int cut = mantissaEnd;
        while (text.at(cut - 1) == QLatin1Char('0'))
            --cut;
        if (text.at(cut - 1) == QLatin1Char('.'))
            --cut;
        text.remove(cut, mantissaEnd - cut);
        mantissaEnd = cut;
    }

    if (text.startsWith(QLatin1Char('-'))) {
        bool allZero = true;
        for (int k = 1; k < mantissaEnd && allZero; ++k)
            allZero = !text.at(k).isDigit() || text.at(k) == QLatin1Char('0');
        if (allZero)
            text.remove(0, 1);
    }
    return text;
}
