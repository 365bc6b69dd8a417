#include "CsvExport.h"

#include "results/ResultSchema.h"
#include "settings/NumberText.h"

#include <QRegularExpression>
#include <QTimer>
#include <algorithm>

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
    for (const FieldSpec& f : description(kind).fields)
        out << (f.type == FieldType::Number);
    return out;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    const auto fail = [&] {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) return fail();
    if (file.write(bytes) != bytes.size()) return fail();
    return file.commit() || fail();
}

CsvFileWriter::CsvFileWriter(const QString& path, const QStringList& header,
                             QList<bool> numberColumns)
    : m_file(path), m_numberColumns(std::move(numberColumns)) {
    QString line;
    appendLine(line, header, {});
    m_ok = m_file.open(QIODevice::WriteOnly) &&
           m_file.write(QByteArray("\xEF\xBB\xBF") + line.toUtf8()) >= 0;
}

bool CsvFileWriter::append(const ResultRows& rows) {
    QString text;
    QStringList cells;
    for (int r = 0; r < rows.count(); ++r) {
        cells.clear();
        for (int c = 0; c < int(rows.header.size()); ++c)
            cells << rows.text(r, c);
        appendLine(text, cells, m_numberColumns);
    }
    const QByteArray bytes = text.toUtf8();
    m_ok = m_ok && m_file.write(bytes) == bytes.size();
    return m_ok;
}

bool CsvFileWriter::commit() {
    m_ok = m_ok && m_file.commit();
    return m_ok;
}

CsvExportJob::CsvExportJob(const ResultStore& store, QueryCondition condition, const QString& path,
                           int pageRows, QObject* parent)
    : QObject(parent), m_store(store), m_condition(std::move(condition)),
      m_writer(path, fieldNames(m_condition.kind), numberColumns(m_condition.kind)),
      m_pageRows(std::max(1, pageRows)) {}

void CsvExportJob::start() {
    m_running = true;
    m_total = m_store.countMatches(m_condition).value_or(0);
    emit progress(0, m_total);
    QTimer::singleShot(0, this, &CsvExportJob::step);
}

void CsvExportJob::cancel() {
    if (m_running) finish(false);
}

void CsvExportJob::step() {
    if (!m_running) return;
    ResultRows page = ResultStore::emptyRows(m_condition.kind);
    page.last = m_position;
    // A search that finds no file leaves the header alone, as an empty result; a file that
    // cannot be read halfway through fails the export rather than leave part of it.
    if (!m_store.appendPage(m_condition, page, m_pageRows) && m_written > 0) return finish(false);
    if (!m_writer.append(page)) return finish(false);
    m_position = page.last;
    m_written += page.count();
    // Rows stored since the count make the count grow rather than the bar run over.
    m_total = std::max(m_total, m_written);
    emit progress(m_written, m_total);
    if (!page.atEnd) {
        QTimer::singleShot(0, this, &CsvExportJob::step);
        return;
    }
    finish(m_writer.commit());
}

void CsvExportJob::finish(bool ok) {
    if (!ok) m_writer.cancel();
    m_running = false;
    emit finished(ok);
}

QList<QStringList> curveRows(const ResultStore& store, TestKind kind, const TestKey& key,
                             QStringList* header) {
    if (header)
        *header = {QStringLiteral("序号"), QStringLiteral("电压(V)"), QStringLiteral("电流(mA)")};
    QList<QStringList> rows;
    const auto test = store.load(kind, key);
    if (!test) return rows;
    rows.reserve(qsizetype(test->curve.size()));
    int n = 0;
    for (const CurvePoint& p : test->curve)
        rows << QStringList{QString::number(++n), formatFixed(p.volts, 1),
                            formatFixed(p.milliamperes, 3)};
    return rows;
}

std::optional<QByteArray> curveCsv(const ResultStore& store, TestKind kind, const TestKey& key,
                                   qsizetype* samples) {
    if (!store.load(kind, key)) return std::nullopt;
    QStringList header;
    const QList<QStringList> rows = curveRows(store, kind, key, &header);
    if (samples) *samples = rows.size();
    // The test's number heads the file, so a curve opened on its own still says whose it is.
    QList<QStringList> lines{header};
    lines << rows;
    return csvBytes({QStringLiteral("测试编号"), shownKey(key)}, lines,
                    QList<bool>(header.size(), true));
}

} // namespace q7rk
