// FloatRepresentation: the one place that turns floating values into display text.
#pragma once

#include "mesaroframework_global.h"

#include <QtCore/QString>

class MESAROFRAMEWORK_EXPORT FloatRepresentation
{
public:
    // The text of QString::number(value, format, precision), which never depends on the locale
    // (C locale: '.' as decimal point, no grouping). Besides:
    // - trim true removes the trailing zeros after the decimal point, and the point itself when
    //   nothing follows it: "0.093750" becomes "0.09375", "2.000000" becomes "2". In an exponent
    //   form only the mantissa is trimmed: "1.500000e+02" becomes "1.5e+02".
    // - In fixed notation ('f'), a non-zero value whose text would keep fewer than 6 significant
    //   digits is written with 6 in the shortest of fixed and exponent form (QString's 'g'):
    //   1.4029e-10 rather than "0", 0.00123457 rather than "0.001235".
    // - NaN gives "nan", the infinities "inf" and "-inf", whatever the format.
    // - A negative sign in front of a text whose digits are all zero is dropped, so -0.0 and
    //   values that round to zero print as "0" (or "0.000000" untrimmed), never as "-0".
    static QString getString(double value, char format, int precision, bool trim);
};
