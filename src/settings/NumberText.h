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
// The shortest plain text that reads back as exactly this float (1.0615201f -> "1.0615201"
// where formatSingle's seven digits would give a neighbour): what stored factors are kept
// as, so a run's end or a restart never drifts a calibration.
QString exactSingleText(float value);
// A double as the shortest plain decimal of up to 17 significant digits that reads back as the
// same double (a number that came from a text of up to 15 digits reads as that text).
QString exactNumberText(double value);

// The operator formats "0.0", "###0.0", "#0.000" (`decimals` fixed decimals, at least one
// integer digit, no grouping) and "0.#" (at most `maxDecimals`, trailing zeros and point
// dropped: 200.0 -> "200", 199.94 -> "199.9"). Halves round away from zero on the decimal
// value the number stands for: a double's 15 significant digits, a float's 7 (the Single
// variants), so 180.05f, which the float holds as 180.0500030..., and 180.05 both give
// "180.1", and 2.675f gives "2.68" as its text reads. Never "-0".
QString formatFixed(double value, int decimals);
QString formatFixedSingle(float value, int decimals);
QString formatOptionalDecimal(double value, int maxDecimals);
QString formatOptionalDecimalSingle(float value, int maxDecimals);

// The store writes Booleans as the words True and False.
QString formatBool(bool value);
std::optional<bool> parseBool(const QString& text);

} // namespace q7rk
