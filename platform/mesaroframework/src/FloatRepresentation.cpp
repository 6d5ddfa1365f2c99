// FloatRepresentation: number text with trimming and the special values.
#include "mesaroframework/FloatRepresentation.h"

#include <cmath>

QString FloatRepresentation::getString(double value, char format, int precision, bool trim)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");

    QString text = QString::number(value, format, precision);

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
