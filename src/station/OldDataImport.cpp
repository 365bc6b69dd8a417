#include "OldDataImport.h"

#include "kinds/TestKindDescription.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace q7rk {

namespace {

// Long lists are cut: a file of a year may skip thousands of tests.
constexpr int ListedAtMost = 20;

QStringList strings(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray())
        out << v.toString();
    return out;
}

OldImportFile fileFromJson(const QJsonObject& o) {
    OldImportFile f;
    f.file = o.value("file").toString();
    f.format = o.value("format").toString();
    f.encoding = o.value("encoding").toString();
    f.encodingRetried = o.value("encodingRetried").toBool();
    f.kind = o.value("kind").toString();
    f.imported = o.value("imported").toInt();
    for (const QJsonValue& v : o.value("skipped").toArray()) {
        const QJsonObject s = v.toObject();
        f.skipped.append({s.value("test").toString(), s.value("afterBoiling").toBool(),
                          s.value("reason").toString()});
    }
    f.withoutCurve = strings(o.value("withoutCurve"));
    f.orphanCurves = strings(o.value("orphanCurves"));
    f.otherTables = strings(o.value("otherTables"));
    f.anomalies = strings(o.value("anomalies"));
    f.error = o.value("error").toString();
    f.note = o.value("note").toString();
    return f;
}

QString listed(QStringList names) {
    const qsizetype all = names.size();
    if (all <= ListedAtMost) return names.join(QStringLiteral("、"));
    names.resize(ListedAtMost);
    return names.join(QStringLiteral("、")) + QStringLiteral(" 等共 %1 个").arg(all);
}

QString kindCaption(const QString& key) {
    const auto kind = kindFromKey(key);
    return kind ? QString::fromUtf8(description(*kind).queryItem) : key;
}

// The skipped tests grouped by reason, in the order the reasons first came.
QStringList skippedLines(const QList<OldImportFile::Skipped>& skipped) {
    QStringList reasons;
    QHash<QString, QStringList> tests;
    for (const auto& s : skipped) {
        if (!tests.contains(s.reason)) reasons << s.reason;
        tests[s.reason] << shownKey({s.test, s.afterBoiling});
    }
    QStringList lines;
    for (const QString& reason : reasons)
        lines << QStringLiteral("  跳过（%1）%2 个：%3")
                     .arg(reason.isEmpty() ? QStringLiteral("原因未说明") : reason)
                     .arg(tests[reason].size())
                     .arg(listed(tests[reason]));
    return lines;
}

QString fileText(const OldImportFile& f, bool dryRun) {
    QStringList head;
    if (!f.kind.isEmpty()) head << kindCaption(f.kind);
    if (!f.format.isEmpty()) head << f.format;
    if (!f.encoding.isEmpty())
        head << (f.encodingRetried ? QStringLiteral("文字按 %1 重新读取") : QStringLiteral("%1"))
                    .arg(f.encoding);
    QStringList lines{QFileInfo(f.file).fileName() +
                      (head.isEmpty()
                           ? QString()
                           : QStringLiteral("（%1）").arg(head.join(QStringLiteral("，"))))};
    if (!f.error.isEmpty()) {
        lines << QStringLiteral("  无法读取：") + f.error;
        return lines.join(QLatin1Char('\n'));
    }
    lines << (dryRun ? QStringLiteral("  可导入 %1 个测试") : QStringLiteral("  已导入 %1 个测试"))
                 .arg(f.imported);
    lines << skippedLines(f.skipped);
    if (!f.withoutCurve.isEmpty())
        lines << QStringLiteral("  没有曲线的测试 %1 个（只导入参数）：%2")
                     .arg(f.withoutCurve.size())
                     .arg(listed(f.withoutCurve));
    if (!f.orphanCurves.isEmpty())
        lines << QStringLiteral("  没有参数记录的曲线 %1 个（不导入）：%2")
                     .arg(f.orphanCurves.size())
                     .arg(listed(f.orphanCurves));
    if (!f.otherTables.isEmpty())
        lines << QStringLiteral("  其他表（不导入）：") + listed(f.otherTables);
    for (const QString& anomaly : f.anomalies)
        lines << QStringLiteral("  注意：") + anomaly;
    if (!f.note.isEmpty()) lines << QStringLiteral("  ") + f.note;
    return lines.join(QLatin1Char('\n'));
}

// What the tool said on standard error, without its name before each line.
QString toolMessages(const QString& messages) {
    QStringList lines = messages.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString prefix = QString::fromLatin1(resultsTool::ProgramName) + QStringLiteral(": ");
    for (QString& line : lines)
        if (line.startsWith(prefix)) line.remove(0, prefix.size());
    // The last lines say why it stopped.
    if (lines.size() > 5) lines = lines.mid(lines.size() - 5);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

bool OldImportReport::anyFileFailed() const {
    for (const OldImportFile& f : files)
        if (!f.error.isEmpty()) return true;
    return false;
}

std::optional<OldImportReport> parseOldImportReport(const QByteArray& output) {
    const QList<QByteArray> lines = output.trimmed().split('\n');
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(lines.last().trimmed(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    if (!o.contains("files")) return std::nullopt;
    OldImportReport report;
    report.dryRun = o.value("dryRun").toBool();
    report.cancelled = o.value("cancelled").toBool();
    report.imported = o.value("imported").toInt();
    for (const QJsonValue& f : o.value("files").toArray())
        report.files.append(fileFromJson(f.toObject()));
    return report;
}

QString oldImportReportText(const OldImportReport& report) {
    QStringList parts;
    if (!report.failure.isEmpty()) {
        QString text = report.failure;
        if (report.total > 0)
            text += QStringLiteral("\n它停止前的进度：%1%。").arg(report.done * 100 / report.total);
        if (!report.dryRun)
            text += QStringLiteral("\n测试按批写入，每批是一次完整的写入：已写入的测试都是完整的，"
                                   "可在“查询”中查看；再次导入时已存储的测试会被跳过。");
        return text;
    }
    if (report.cancelled)
        parts << (report.dryRun ? QStringLiteral("试导入已取消。")
                                : QStringLiteral("导入已取消：已导入 %1 个完整的测试，其余未导入。")
                                      .arg(report.imported));
    else if (report.dryRun)
        parts << QStringLiteral("试导入（没有写入任何数据）：共可导入 %1 个测试。")
                     .arg(report.imported);
    else
        parts << QStringLiteral("导入完成：共导入 %1 个测试。").arg(report.imported);
    for (const OldImportFile& f : report.files)
        parts << fileText(f, report.dryRun);
    return parts.join(QStringLiteral("\n\n"));
}

OldDataImport::OldDataImport(std::function<QString()> workingFolder, QObject* parent)
    : QObject(parent), m_workingFolder(std::move(workingFolder)) {
    connect(&m_run, &ResultsToolRun::progress, this, &OldDataImport::progress);
    connect(&m_run, &ResultsToolRun::finished, this, &OldDataImport::ended);
}

bool OldDataImport::start(const QStringList& files, bool dryRun) {
    if (m_run.isRunning()) return false;
    m_dryRun = dryRun;
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString tool = m_tool.isEmpty() ? resultsTool::find(appDir) : m_tool;
    QStringList arguments{QStringLiteral("import-old"), QStringLiteral("--workdir"),
                          m_workingFolder()};
    arguments << (dryRun ? QStringLiteral("--dry-run") : QStringLiteral("--progress"));
    arguments << QStringLiteral("--") << files;
    m_run.start(tool, arguments, resultsTool::missingText(appDir));
    return true;
}

void OldDataImport::ended() {
    const ResultsToolRun::Result& r = m_run.result();
    const auto parsed = r.failure.isEmpty() ? parseOldImportReport(r.output) : std::nullopt;
    if (parsed) {
        m_report = *parsed;
    } else if (m_dryRun && r.cancelled && r.failure.isEmpty()) {
        m_report = OldImportReport{};
        m_report.dryRun = m_report.cancelled = true;
    } else {
        m_report = OldImportReport{};
        m_report.dryRun = m_dryRun;
        m_report.cancelled = r.cancelled;
        m_report.failure = r.failure;
        if (m_report.failure.isEmpty())
            m_report.failure =
                r.cancelled ? QStringLiteral("已取消，导入程序在给出报告前就结束了。")
                : r.exitCode == 2
                    ? QStringLiteral("导入程序 %1 不接受这些参数（版本不符？）。")
                          .arg(QString::fromLatin1(resultsTool::ProgramName))
                    : QStringLiteral("导入程序 %1 没有给出报告就结束了（退出码 %2）。")
                          .arg(QString::fromLatin1(resultsTool::ProgramName))
                          .arg(r.exitCode);
        const QString said = toolMessages(r.messages);
        if (!said.isEmpty()) m_report.failure += QStringLiteral("\n导入程序的提示：\n") + said;
        m_report.done = r.done;
        m_report.total = r.total;
    }
    emit finished();
}

} // namespace q7rk
