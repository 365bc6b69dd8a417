#include "CsvExport.h"

#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "settings/NumberText.h"

#include <QRegularExpression>
#include <QSaveFile>

namespace q7rk {

namespace {

bool plainDecimal(const QString& text) {
    static const QRegularExpression decimal(QStringLiteral(R"(^-?\d+(\.\d+)?$)"));
    return decimal.match(text).hasMatch();
}

QString cell(const QString& text, bool numberColumn) {
    static const QString formulaStart = QStringLiteral("=+-@\t\r");
    static const QString special = QStringLiteral(",\"\r\n");
    QString escaped = text;
    if (!text.isEmpty() && formulaStart.contains(text.front()) &&
        !(numberColumn && plainDecimal(text)))
        escaped.prepend(QLatin1Char('\''));
    bool quote = false;
    for (QChar c : escaped)
        quote = quote || special.contains(c);
    if (!quote) return escaped;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void appendLine(QString& out, const QStringList& cells, const QList<bool>& numberColumns) {
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) out += QLatin1Char(',');
        out += cell(cells[i], numberColumns.value(i, false));
    }
    out += QStringLiteral("\r\n");
}

} // namespace

QByteArray csvBytes(const QStringList& header, const QList<QStringList>& rows,
                    const QList<bool>& numberColumns) {
    QString text;
    appendLine(text, header, {});
    for (const QStringList& row : rows)
        appendLine(text, row, numberColumns);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QList<bool> numberColumns(TestKind kind) {
    QList<bool> out;
    for (const FieldSpec& f : schemaOf(kind).fields)
        out << (f.type == FieldType::Number);
    return out;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QList<QStringList> curveRows(const ResultStore& store, TestKind kind, const QString& testNumber,
                             QStringList* header) {
    if (header)
        *header = {QStringLiteral("vi_order"), QStringLiteral("电压"), QStringLiteral("电流")};
    QList<QStringList> rows;
    const auto test = store.load(kind, testNumber);
    if (!test) return rows;
    rows.reserve(qsizetype(test->curve.size()));
    int n = 0;
    for (const CurvePoint& p : test->curve)
        rows << QStringList{QString::number(++n), formatFixed(p.volts, 1),
                            formatFixed(p.milliamperes, 3)};
    return rows;
}

} // namespace q7rk
