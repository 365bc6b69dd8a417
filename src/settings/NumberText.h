#pragma once

#include <QString>
#include <optional>

namespace q7rk {

// Every parameter lives as text and is converted where it is used. These two helpers are
// the one place that decides what counts as a number and how a number is written back.

// A finite number in plain or exponent notation, surrounding blanks allowed, C locale
// (a point as decimal separator). Empty text, letters, "inf" and "nan" are not numbers.
std::optional<double> parseNumber(const QString& text);

// Plain decimal text without exponent and without trailing zeros: 1 -> "1",
// 0.03125 -> "0.03125", 2.5 -> "2.5". Values of a 4-byte float are written with the
// digits that float holds, so 0.1f reads back as "0.1".
QString formatNumber(double value);
QString formatSingle(float value);

// The store writes Booleans as the words True and False.
QString formatBool(bool value);
std::optional<bool> parseBool(const QString& text);

} // namespace q7rk
