#include "NumberText.h"

#include <charconv>

#include <algorithm>
#include <cmath>

namespace q7rk {

std::optional<double> parseNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok); // QString::toDouble always uses the C locale
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

static QString stripZeros(QString s) {
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.'))) s.chop(1);
    }
    if (s == QLatin1String("-0")) s = QStringLiteral("0");
    return s;
}

static QString formatWithDigits(double value, int significant) {
    if (!std::isfinite(value)) return QStringLiteral("0");
    if (value == 0.0) return QStringLiteral("0");
    // Decimals needed so that `significant` digits survive, without an exponent.
    const int magnitude = int(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::clamp(significant - 1 - magnitude, 0, 30);
    return stripZeros(QString::number(value, 'f', decimals));
}

QString formatNumber(double value) {
    return formatWithDigits(value, 15);
}

QString formatSingle(float value) {
    return formatWithDigits(double(value), 7);
}

// Rounds the decimal value given by `significant` digits of `value`.
static QString formatRoundedDecimal(double value, int decimals, int significant) {
    decimals = std::clamp(decimals, 0, 9);
    if (!std::isfinite(value)) value = 0;
    const double decimal = QString::number(value, 'g', significant).toDouble();
    const double scale = std::pow(10.0, decimals);
    // The scaled value again to 15 digits, so that 180.05 * 10 (1800.5000000000002) and
    // 0.45 * 10 (4.499999...) both count as the exact half they stand for.
    const double scaled = QString::number(decimal * scale, 'g', 15).toDouble();
    double rounded = std::round(scaled); // halves away from zero
    if (rounded == 0) rounded = 0;       // no "-0"
    return QString::number(rounded / scale, 'f', decimals);
}

QString formatFixed(double value, int decimals) {
    return formatRoundedDecimal(value, decimals, 15);
}

QString formatFixedSingle(float value, int decimals) {
    return formatRoundedDecimal(double(value), decimals, 7);
}

QString formatOptionalDecimal(double value, int maxDecimals) {
    return stripZeros(formatFixed(value, maxDecimals));
}

QString formatOptionalDecimalSingle(float value, int maxDecimals) {
    return stripZeros(formatFixedSingle(value, maxDecimals));
}

QString formatBool(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> parseBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    if (const auto n = parseNumber(t)) return *n != 0.0;
    return std::nullopt;
}

QString exactNumberText(double value) {
    if (!std::isfinite(value)) return formatNumber(value);
    QString text;
    for (int digits = 15; digits <= 17; ++digits) {
        text = formatWithDigits(value, digits);
        if (parseNumber(text) == value) break;
    }
    return text;
}

QString exactSingleText(float value) {
    if (!std::isfinite(value)) return formatSingle(value);
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc()) return formatSingle(value);
    return QString::fromLatin1(buffer, int(end - buffer));
}

} // namespace q7rk
