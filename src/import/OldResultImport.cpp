#include "OldResultImport.h"

#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "settings/NumberText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace q7rk::oldfiles {

namespace {

const QString NumberColumn = QStringLiteral("测试编号");
const QString OrderColumn = QStringLiteral("vi_order");
const QString VoltsColumn = QStringLiteral("电压");
const QString CurrentColumn = QStringLiteral("电流");
const QString OldEncodingFallback = QStringLiteral("GB18030");
constexpr std::size_t SamplesPerBatch = 500000;

int typeOf(const QVariant& v) {
    return v.metaType().id();
}

bool isBlank(const QVariant& v) {
    return v.isNull() || (typeOf(v) == QMetaType::QString && v.toString().trimmed().isEmpty());
}

// Days since 1899-12-30; the fraction is the time of day, also for days before it.
QDateTime dateTimeOf(OldDate d) {
    const double whole = std::trunc(d.days);
    const qint64 seconds = std::llround(std::fabs(d.days - whole) * 86400.0);
    return QDateTime(QDate(1899, 12, 30).addDays(qint64(whole)), QTime(0, 0)).addSecs(seconds);
}

// A number as the old program showed it: a Single with its 7 significant digits (206.1, not
// 206.10001), a Double with its 15.
std::optional<QString> numberText(const QVariant& v) {
    switch (typeOf(v)) {
    case QMetaType::Float: {
        const float f = v.value<float>();
        if (std::isfinite(f)) return formatSingle(f);
        return std::nullopt;
    }
    case QMetaType::Double:
        if (std::isfinite(v.toDouble())) return formatNumber(v.toDouble());
        return std::nullopt;
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    case QMetaType::QString:
        if (const auto n = parseNumber(v.toString())) return formatNumber(*n);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

// Boolean, or the marks the old program wrote as text: 是/否, True/False, Yes/No, -1/0.
std::optional<bool> markOf(const QVariant& v) {
    switch (typeOf(v)) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return v.toDouble() != 0;
    case QMetaType::QString: {
        const QString t = v.toString().trimmed();
        if (t == QStringLiteral("是") || t == QStringLiteral("真") ||
            t.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
            return true;
        if (t == QStringLiteral("否") || t == QStringLiteral("假") ||
            t.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
            return false;
        return parseBool(t);
    }
    default:
        return std::nullopt;
    }
}

QString plainText(const QVariant& v) {
    const int type = typeOf(v);
    if (type == QMetaType::QString) return v.toString();
    if (type == qMetaTypeId<OldDate>())
        return dateTimeOf(v.value<OldDate>()).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    if (type == QMetaType::Bool) return formatBool(v.toBool());
    return numberText(v).value_or(v.toString());
}

std::optional<QString> dateText(const QVariant& v, QDateTime* when) {
    if (typeOf(v) == qMetaTypeId<OldDate>()) {
        *when = dateTimeOf(v.value<OldDate>());
        return when->date().toString(QStringLiteral("yyyy/MM/dd"));
    }
    if (typeOf(v) == QMetaType::QString) return normaliseDate(v.toString());
    return std::nullopt;
}

// One value of a parameter row as the field stores it; nullopt when it is none.
std::optional<QString> fieldText(FieldType type, const QVariant& v, QDateTime* when) {
    if (isBlank(v)) return QString();
    switch (type) {
    case FieldType::Text:
        return plainText(v);
    case FieldType::Number:
        return numberText(v);
    case FieldType::Mark:
        if (const auto b = markOf(v)) return formatBool(*b);
        return std::nullopt;
    case FieldType::Date:
        return dateText(v, when);
    }
    return std::nullopt;
}

// A sample's value; NaN for one that is no number.
double sampleOf(const QVariant& v, bool* ok) {
    double d = std::nan("");
    switch (typeOf(v)) {
    case QMetaType::Float:
        d = double(v.value<float>());
        break;
    case QMetaType::Double:
    case QMetaType::LongLong:
        d = v.toDouble();
        break;
    case QMetaType::QString:
        d = parseNumber(v.toString()).value_or(d);
        break;
    default:
        break;
    }
    *ok = std::isfinite(d);
    return d;
}

bool isCurveTable(const OldTable& t) {
    return t.columnIndex(OrderColumn) >= 0 && t.columnIndex(VoltsColumn) >= 0 &&
           t.columnIndex(CurrentColumn) >= 0;
}

const OldTable* parameterTable(const OldResultFile& file, std::optional<TestKind>* kind) {
    for (TestKind k : allKinds())
        if (const OldTable* t = file.table(QString::fromUtf8(description(k).tableName))) {
            *kind = k;
            return t;
        }
    return nullptr;
}

bool hasChineseName(const OldResultFile& file) {
    const auto chinese = [](const QString& s) {
        return std::any_of(s.begin(), s.end(),
                           [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; });
    };
    for (const OldTable& t : file.tables()) {
        if (chinese(t.name)) return true;
        for (const OldColumn& c : t.columns)
            if (chinese(c.name)) return true;
    }
    return false;
}

// Jet 3 texts: the encoding forced, or the header's; when the header's finds no result table,
// GB18030 is tried (a file made under an English template on a Chinese PC).
void chooseEncoding(OldResultFile& file, FileReport& report, const QString& forced) {
    report.format = file.formatName();
    report.codePage = file.headerCodePage();
    if (!file.isJet3()) {
        report.encoding = QStringLiteral("UCS-2");
        return;
    }
    std::optional<TestKind> kind;
    if (!forced.isEmpty()) {
        if (!file.setTextEncoding(forced))
            report.error = QStringLiteral("未知的字符集“%1”").arg(forced);
    } else if (!parameterTable(file, &kind) && file.textEncoding() != OldEncodingFallback) {
        const QString header = file.textEncoding();
        file.setTextEncoding(OldEncodingFallback);
        report.encodingRetried = parameterTable(file, &kind) ||
                                 (file.undecodableNames().isEmpty() && hasChineseName(file));
        if (!report.encodingRetried) file.setTextEncoding(header);
    }
    report.encoding = file.textEncoding();
    const QStringList bad = file.undecodableNames();
    if (!bad.isEmpty())
        report.anomalies << QStringLiteral("以下名称无法按 %1 转换（含替换字符）：%2")
                                .arg(report.encoding, bad.join(QStringLiteral("、")));
}

SkippedTest storedAlready(const TestKey& key) {
    return {key.number, key.afterBoiling, QStringLiteral("已存储，未覆盖")};
}

QJsonArray toJsonArray(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}

} // namespace

QJsonObject FileReport::toJson() const {
    QJsonArray skippedJson;
    for (const SkippedTest& s : skipped)
        skippedJson.append(QJsonObject{
            {"test", s.number}, {"afterBoiling", s.afterBoiling}, {"reason", s.reason}});
    QJsonObject o{{"file", file},
                  {"format", format},
                  {"codePage", codePage},
                  {"encoding", encoding},
                  {"encodingRetried", encodingRetried},
                  {"kind", kind ? QString::fromLatin1(description(*kind).key) : QString()},
                  {"imported", imported},
                  {"skipped", skippedJson},
                  {"withoutCurve", toJsonArray(withoutCurve)},
                  {"orphanCurves", toJsonArray(orphanCurves)},
                  {"otherTables", toJsonArray(otherTables)},
                  {"anomalies", toJsonArray(anomalies)}};
    if (!error.isEmpty()) o.insert("error", error);
    if (!note.isEmpty()) o.insert("note", note);
    return o;
}

struct OldResultImport::Prepared {
    FileReport report;
    std::unique_ptr<OldResultFile> file;
    const OldTable* parameters = nullptr;
};

OldResultImport::OldResultImport(ResultStore& store, ImportOptions options)
    : m_store(store), m_options(std::move(options)) {}

OldResultImport::~OldResultImport() = default;

// The old file is copied first: the old program may still hold it, and it is never written.
static std::unique_ptr<OldResultFile> openCopy(const QString& path, const QString& copy,
                                               QString* error) {
    QFile original(path);
    if (!original.exists()) {
        *error = QStringLiteral("文件不存在");
        return nullptr;
    }
    if (!original.copy(copy)) {
        *error = QStringLiteral("无法复制文件：%1").arg(original.errorString());
        return nullptr;
    }
    QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return OldResultFile::open(copy, error);
}

bool OldResultImport::prepare(const QStringList& paths) {
    if (!m_copies.isValid()) return false;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        auto p = std::make_shared<Prepared>();
        p->report.file = paths[i];
        const QString copy = m_copies.filePath(QStringLiteral("%1.mdb").arg(i));
        p->file = openCopy(paths[i], copy, &p->report.error);
        if (p->file) {
            chooseEncoding(*p->file, p->report, m_options.jet3Encoding);
            p->parameters = parameterTable(*p->file, &p->report.kind);
            if (!p->parameters && p->report.error.isEmpty()) {
                QStringList names;
                for (TestKind k : allKinds())
                    names << QStringLiteral("“%1”").arg(
                        QString::fromUtf8(description(k).tableName));
                p->report.error = QStringLiteral("不是旧版结果文件：没有参数表%1")
                                      .arg(names.join(QStringLiteral("、")));
                for (const OldTable& t : p->file->tables())
                    p->report.otherTables << t.name;
            }
            if (p->parameters && p->report.error.isEmpty()) m_steps += 2 * p->parameters->rows;
        }
        m_files << p;
    }
    return true;
}

QList<FileReport> OldResultImport::run(const std::function<void(qint64)>& progress,
                                       const std::atomic<bool>* cancel) {
    m_progress = progress;
    m_cancel = cancel;
    QList<FileReport> out;
    for (const auto& p : m_files) {
        if (p->report.error.isEmpty() && !m_cancelled) {
            const qint64 end = m_done + 2 * p->parameters->rows;
            importOne(*p);
            m_done = std::max(m_done, end);
            advance(0);
        } else if (m_cancelled && p->report.error.isEmpty()) {
            p->report.note = QStringLiteral("导入已取消，本文件未导入");
        }
        out << p->report;
    }
    return out;
}

void OldResultImport::advance(qint64 steps) {
    m_done += steps;
    if (m_progress) m_progress(m_done);
}

bool OldResultImport::cancelNow() {
    if (m_cancel && m_cancel->load()) m_cancelled = true;
    return m_cancelled;
}

void OldResultImport::importOne(Prepared& p) {
    FileReport& report = p.report;
    std::vector<StoredTest> tests;
    QStringList badTexts;
    if (!readParameterRows(p, tests, badTexts) || !readCurves(p, tests, badTexts)) return;
    for (const QString& bad : std::as_const(badTexts))
        report.anomalies
            << QStringLiteral("无法按 %1 转换的文字（含替换字符）：%2").arg(report.encoding, bad);
    if (m_options.dryRun)
        countWhatWouldCome(tests, report);
    else
        writeInBatches(tests, report);
    if (report.imported == 0 && !report.skipped.isEmpty() && report.error.isEmpty() && !m_cancelled)
        report.note = QStringLiteral("文件中的测试均已存储或重复，本次没有导入测试");
}

// The parameter rows as tests (without curves yet), the first row of each number; what is odd
// goes into the report.
bool OldResultImport::readParameterRows(Prepared& p, std::vector<StoredTest>& tests,
                                        QStringList& badTexts) {
    FileReport& report = p.report;
    const OldTable& params = *p.parameters;
    const TestKind kind = *report.kind;
    const auto fields = description(kind).fields;
    // Columns by name: the old files differ in types and in which fields they have.
    std::vector<int> columnOf;
    for (const FieldSpec& f : fields) {
        const int at = params.columnIndex(QString::fromUtf8(f.name));
        columnOf.push_back(at);
        if (at < 0 && !f.addedLater)
            report.anomalies
                << QStringLiteral("参数表没有列“%1”，该值留空").arg(QString::fromUtf8(f.name));
    }
    for (const OldColumn& c : params.columns)
        if (fieldIndex(kind, c.name) < 0)
            report.anomalies
                << QStringLiteral("参数表的列“%1”不是本程序的字段，未导入").arg(c.name);

    RunConditions conditions;
    conditions.voltageAdjust = conditions.currentAdjust = std::nan("");
    conditions.voltageControl = conditions.currentControl = std::nan("");
    conditions.link = QStringLiteral("导入：%1").arg(QFileInfo(report.file).fileName());
    conditions.version = QStringLiteral("旧版");
    const int numberAt = params.columnIndex(NumberColumn);
    QSet<QString> seen;
    qint64 rowNumber = 0;
    const auto takeRow = [&](const QVariantList& cells) {
        ++rowNumber;
        const QString number = numberAt < 0 ? QString() : plainText(cells[numberAt]).trimmed();
        if (number.isEmpty()) {
            report.anomalies << QStringLiteral("第 %1 行没有测试编号，未导入").arg(rowNumber);
            return advance(2);
        }
        StoredTest test;
        test.kind = kind;
        QDateTime when;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const QVariant cell = columnOf[i] < 0 ? QVariant() : cells[columnOf[i]];
            const auto text = fieldText(fields[i].type, cell, &when);
            if (!text)
                report.anomalies << QStringLiteral("测试 %1：%2 的值“%3”不能存入，留空")
                                        .arg(number, QString::fromUtf8(fields[i].name),
                                             plainText(cell));
            test.values << text.value_or(QString());
        }
        test.values[0] = number;
        if (seen.contains(number)) {
            report.skipped << SkippedTest{number, test.key().afterBoiling,
                                          QStringLiteral("旧文件中重复，以文件中第一行为准")};
            return advance(2);
        }
        seen.insert(number);
        test.conditions = conditions;
        test.conditions->started = when;
        tests.push_back(std::move(test));
    };
    QString error;
    if (p.file->readRows(params, takeRow, &error, &badTexts)) return true;
    report.error = error;
    return false;
}

// Each test's curve from the table named by its number, in vi_order; curve tables without a
// test and other tables are listed. False when a table cannot be read or on a cancel (nothing
// of the file is written then).
bool OldResultImport::readCurves(Prepared& p, std::vector<StoredTest>& tests,
                                 QStringList& badTexts) {
    FileReport& report = p.report;
    const OldResultFile& file = *p.file;
    QHash<QString, const OldTable*> curves;
    for (const OldTable& t : file.tables()) {
        if (&t == p.parameters) continue;
        if (isCurveTable(t))
            curves.insert(t.name.toCaseFolded(), &t);
        else
            report.otherTables << t.name;
    }
    QString error;
    for (StoredTest& test : tests) {
        if (const OldTable* table = curves.take(test.testNumber().toCaseFolded())) {
            if (!readCurve(file, *table, test, report, badTexts, &error)) {
                report.error = error;
                return false;
            }
        }
        if (test.curve.empty()) report.withoutCurve << test.testNumber();
        advance(1);
        if (cancelNow()) {
            report.note = QStringLiteral("导入已取消，本文件未导入");
            return false;
        }
    }
    for (const OldTable* orphan : std::as_const(curves)) {
        report.orphanCurves << orphan->name;
        if (orphan->rows == 0)
            report.anomalies << QStringLiteral("曲线表 %1 为空，且没有参数行").arg(orphan->name);
    }
    std::sort(report.orphanCurves.begin(), report.orphanCurves.end());
    return true;
}

bool OldResultImport::readCurve(const OldResultFile& file, const OldTable& table, StoredTest& test,
                                FileReport& report, QStringList& badTexts, QString* error) {
    const int order = table.columnIndex(OrderColumn);
    const int volts = table.columnIndex(VoltsColumn);
    const int amps = table.columnIndex(CurrentColumn);
    const int named = table.columnIndex(NumberColumn);
    // The number column is the same in every row the old program wrote: the first row tells
    // whether the table was renamed.
    QString otherNumber;
    if (named >= 0)
        file.readRows(
            table,
            [&](const QVariantList& cells) {
                const QString n = plainText(cells[named]).trimmed();
                if (!n.isEmpty() && n != test.testNumber()) otherNumber = n;
            },
            error, &badTexts, {named}, 1);
    struct Row {
        double order;
        CurvePoint point;
    };
    std::vector<Row> rows;
    rows.reserve(std::size_t(table.rows));
    bool allNumbers = true;
    const bool read = file.readRows(
        table,
        [&](const QVariantList& cells) {
            bool ok = true, okV = true, okA = true;
            double at = sampleOf(cells[order], &ok);
            if (!ok) at = HUGE_VAL; // rows without a place go last
            rows.push_back({at, {sampleOf(cells[volts], &okV), sampleOf(cells[amps], &okA)}});
            allNumbers = allNumbers && okV && okA;
        },
        error, &badTexts, {order, volts, amps});
    if (!read) return false;
    // Rows moved by later edits come back in page order; the old program drew them by vi_order.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.order < b.order; });
    test.curve.reserve(rows.size());
    for (const Row& r : rows)
        test.curve.push_back(r.point);
    if (!otherNumber.isEmpty())
        report.anomalies << QStringLiteral("曲线表 %1 的测试编号列为“%2”，按表名导入")
                                .arg(table.name, otherNumber);
    if (!allNumbers)
        report.anomalies
            << QStringLiteral("曲线表 %1 有不是数字的采样值，导入为空").arg(table.name);
    return true;
}

// A dry run: what the result file holds already is told, the rest counted.
void OldResultImport::countWhatWouldCome(const std::vector<StoredTest>& tests, FileReport& report) {
    const TestKind kind = *report.kind;
    bool readable = true;
    QSet<QString> stored;
    for (const TestKey& k : m_store.storedKeys(kind, &readable))
        stored.insert(shownKey(k));
    if (!readable) {
        report.error = QStringLiteral("无法读取结果文件 %1").arg(m_store.locateDbFile(kind));
        return;
    }
    for (const StoredTest& t : tests) {
        if (stored.contains(shownKey(t.key())))
            report.skipped << storedAlready(t.key());
        else
            ++report.imported;
    }
    advance(qint64(tests.size()));
}

// Batches of up to `batchSize` tests or about half a million samples, so a cancel waits a
// moment at most whatever the curves' lengths; one transaction each.
void OldResultImport::writeInBatches(const std::vector<StoredTest>& tests, FileReport& report) {
    const QString origin = QStringLiteral("导入：%1").arg(QFileInfo(report.file).fileName());
    const std::size_t most = std::size_t(std::max(1, m_options.batchSize));
    for (std::size_t from = 0, n = 0; from < tests.size(); from += n) {
        if (cancelNow()) {
            report.note =
                QStringLiteral("导入已取消：已导入 %1 个测试，均完整保存").arg(report.imported);
            return;
        }
        std::size_t samples = 0;
        for (n = 0; from + n < tests.size() && n < most && samples < SamplesPerBatch; ++n)
            samples += tests[from + n].curve.size();
        const ImportOutcome done =
            m_store.importTests(std::span<const StoredTest>(tests.data() + from, n), origin);
        if (!done.ok) {
            report.error =
                QStringLiteral("%1（此前已导入 %2 个测试）").arg(done.message).arg(report.imported);
            return;
        }
        // A result file holding a number twice is told once, whatever the batch.
        if (!done.warning.isEmpty() && !report.anomalies.contains(done.warning))
            report.anomalies << done.warning;
        report.imported += done.stored;
        for (const TestKey& k : done.alreadyStored)
            report.skipped << storedAlready(k);
        advance(qint64(n));
    }
}

std::optional<QJsonObject> inspectOldFile(const QString& path, const QString& jet3Encoding,
                                          QString* error) {
    QTemporaryDir copies;
    if (!copies.isValid()) {
        *error = QStringLiteral("无法建立临时文件夹");
        return std::nullopt;
    }
    const auto file = openCopy(path, copies.filePath(QStringLiteral("inspect.mdb")), error);
    if (!file) return std::nullopt;
    FileReport report;
    chooseEncoding(*file, report, jet3Encoding);
    if (!report.error.isEmpty()) {
        *error = report.error;
        return std::nullopt;
    }
    QJsonArray tables;
    for (const OldTable& t : file->tables()) {
        QJsonArray columns;
        for (const OldColumn& c : t.columns)
            columns.append(QJsonObject{{"name", c.name}, {"type", c.typeName}});
        tables.append(QJsonObject{{"name", t.name}, {"rows", t.rows}, {"columns", columns}});
    }
    return QJsonObject{{"file", path},
                       {"format", report.format},
                       {"codePage", report.codePage},
                       {"encoding", report.encoding},
                       {"encodingRetried", report.encodingRetried},
                       {"tables", tables},
                       {"anomalies", toJsonArray(report.anomalies)}};
}

} // namespace q7rk::oldfiles
