#include "CsvExport.h"

#include "results/ResultStore.h"
#include "settings/NumberText.h"

#include <QSaveFile>

namespace q7rk {

namespace {

QString cell(const QString& text) {
    static const QString special = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (QChar c : text)
        quote = quote || special.contains(c);
    if (!quote) return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void appendLine(QString& out, const QStringList& cells) {
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) out += QLatin1Char(',');
        out += cell(cells[i]);
    }
    out += QStringLiteral("\r\n");
}

} // namespace

QByteArray csvBytes(const QStringList& header, const QList<QStringList>& rows) {
    QString text;
    appendLine(text, header);
    for (const QStringList& row : rows)
        appendLine(text, row);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
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
