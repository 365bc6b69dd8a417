#pragma once

#include "results/ResultStore.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <optional>

namespace q7rk {

// Rows (header first) as CSV in UTF-8 with a byte-order mark, lines ended by CR LF, so that
// a spreadsheet opens the Chinese headers as they are. Cells holding a comma, a quote or a
// line break are quoted, quotes doubled. A text that a spreadsheet would take for a formula
// (it starts with =, +, -, @, a tab or a carriage return) gets a leading apostrophe; a cell
// of a number column that is a plain decimal stays a number, negative or not.
QByteArray csvBytes(const QStringList& header, const QList<QStringList>& rows,
                    const QList<bool>& numberColumns = {});

// The number columns of a kind's parameter table, in field order.
QList<bool> numberColumns(TestKind kind);

// Writes the bytes to the file in one piece (a failed write leaves an older file as it was).
// On failure `error` gets the cause as the system tells it.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// The same CSV written a page of rows at a time into a temporary file beside the target,
// which takes the target's name only at commit: a cancelled or failed export leaves no half
// file under that name (an older file stays as it was).
class CsvFileWriter {
public:
    CsvFileWriter(const QString& path, const QStringList& header, QList<bool> numberColumns);
    bool isOpen() const { return m_ok; }
    bool append(const ResultRows& rows);
    bool commit();
    void cancel() { m_file.cancelWriting(); }

private:
    QSaveFile m_file;
    QList<bool> m_numberColumns;
    bool m_ok = false;
};

// Exports the rows of a search to a CSV file a page per turn of the event loop, so the
// window stays live and the export can be cancelled; the rows are read from the file as the
// export goes, never held whole.
class CsvExportJob : public QObject {
    Q_OBJECT
public:
    CsvExportJob(const ResultStore& store, QueryCondition condition, const QString& path,
                 int pageRows = 2000, QObject* parent = nullptr);

    // Counts the rows, writes the header and schedules the first page.
    void start();
    // Drops what was written; finished(false) follows.
    void cancel();
    qint64 total() const { return m_total; }

signals:
    void progress(qint64 written, qint64 total);
    // Ok when the file holds every row under its name.
    void finished(bool ok);

private:
    void step();
    void finish(bool ok);

    const ResultStore& m_store;
    QueryCondition m_condition;
    CsvFileWriter m_writer;
    int m_pageRows;
    PagePosition m_position; // where the last page ended
    qint64 m_written = 0;
    qint64 m_total = 0;
    bool m_running = false;
};

// One test's curve under "序号", "电压(V)", "电流(mA)"; an empty list when the test is not
// stored.
QList<QStringList> curveRows(const ResultStore& store, TestKind kind, const TestKey& key,
                             QStringList* header);
// That curve as a CSV file's bytes: a first line "测试编号,<number>", the column names, then
// the samples (every column a number); nullopt when the test is not stored. `samples` gets
// the number of curve rows.
std::optional<QByteArray> curveCsv(const ResultStore& store, TestKind kind, const TestKey& key,
                                   qsizetype* samples = nullptr);

} // namespace q7rk
