#pragma once

#include "import/OldResultFile.h"
#include "results/StoredTest.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace q7rk {
class ResultStore;
}

namespace q7rk::oldfiles {

// A test of the old file that was not imported, and why.
struct SkippedTest {
    QString number;
    bool afterBoiling = false;
    QString reason;
};

// What became of one old file.
struct FileReport {
    QString file;   // as given
    QString format; // "Jet3", "Jet4"; empty when the file could not be opened
    int codePage = 0;
    QString encoding;             // the one Jet 3 texts were read with
    bool encodingRetried = false; // the header's code page found no tables; GB18030 did
    std::optional<TestKind> kind;
    int imported = 0; // in a dry run: what would be
    QList<SkippedTest> skipped;
    QStringList withoutCurve; // imported with their parameters, no curve
    QStringList orphanCurves; // curve tables without a parameter row: not imported
    QStringList otherTables;  // ignored
    QStringList anomalies;
    QString error; // the file could not be read, or is no old result file: nothing written
    QString note;  // said besides ("文件中的测试均已存储，本次未导入")

    QJsonObject toJson() const;
};

struct ImportOptions {
    bool dryRun = false;
    QString jet3Encoding; // forced; empty: the header's, retried as GB18030
    int batchSize = 1000; // most tests per transaction
};

// The old program's result files into the local ones: one parameter table per kind, one
// curve table per test named by its number. Each file is copied before it is opened (the
// old program may hold it) and read whole before anything of it is written, so a file that
// cannot be read writes nothing; then its tests go in batches, one transaction each, through
// the store a save uses, never overwriting a stored test.
class OldResultImport {
public:
    OldResultImport(ResultStore& store, ImportOptions options);
    ~OldResultImport();

    // Copies and opens every file; false when not even a temporary folder can be made.
    // Afterwards `steps()` is known: each test counts once read and once written.
    bool prepare(const QStringList& paths);
    qint64 steps() const { return m_steps; }
    // Imports every prepared file; `progress` gets the steps done so far. A set `cancel`
    // stops after the batch being written: what is stored is whole tests.
    QList<FileReport> run(const std::function<void(qint64)>& progress,
                          const std::atomic<bool>* cancel = nullptr);
    bool cancelled() const { return m_cancelled; }

private:
    struct Prepared;
    void importOne(Prepared& file);
    bool readParameterRows(Prepared& file, std::vector<StoredTest>& tests, QStringList& badTexts);
    bool readCurves(Prepared& file, std::vector<StoredTest>& tests, QStringList& badTexts);
    static bool readCurve(const OldResultFile& file, const OldTable& table, StoredTest& test,
                          FileReport& report, QStringList& badTexts, QString* error);
    void countWhatWouldCome(const std::vector<StoredTest>& tests, FileReport& report);
    void writeInBatches(const std::vector<StoredTest>& tests, FileReport& report);
    void advance(qint64 steps);
    bool cancelNow(); // the cancel was asked for: remembered

    ResultStore& m_store;
    ImportOptions m_options;
    QTemporaryDir m_copies;
    QList<std::shared_ptr<Prepared>> m_files;
    qint64 m_steps = 0;
    qint64 m_done = 0;
    bool m_cancelled = false;
    std::function<void(qint64)> m_progress;
    const std::atomic<bool>* m_cancel = nullptr;
};

// A file's format, code page, encoding, tables with their columns (Jet types) and row counts,
// without values; the file is copied first. nullopt with the cause when it cannot be read.
std::optional<QJsonObject> inspectOldFile(const QString& path, const QString& jet3Encoding,
                                          QString* error);

} // namespace q7rk::oldfiles
