#include "OldSettingsImport.h"

#include "settings/ProgramTitle.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace q7rk {

namespace {

QStringList strings(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray())
        out << v.toString();
    return out;
}

QString missingApplication(const QString& file, const QStringList& applications) {
    QString text = QStringLiteral("文件 %1 中没有旧版程序（%2）的设置。")
                       .arg(QFileInfo(file).fileName(), programTitle::shortName());
    if (applications.isEmpty()) return text + QStringLiteral("\n文件中没有任何程序的设置。");
    return text + QStringLiteral("\n文件中有以下程序的设置：\n") +
           applications.join(QLatin1Char('\n'));
}

} // namespace

std::optional<OldSettingsPreview> parseOldSettingsPreview(const QByteArray& output) {
    const QList<QByteArray> lines = output.trimmed().split('\n');
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(lines.last().trimmed(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    if (!o.contains("applications")) return std::nullopt;
    OldSettingsPreview p;
    p.file = o.value("file").toString();
    p.encoding = o.value("encoding").toString();
    p.applications = strings(o.value("applications"));
    p.app = o.value("app").toString();
    p.written = o.value("written").toInt();
    p.unknownKeys = strings(o.value("unknownKeys"));
    p.decimalCommas = strings(o.value("decimalCommas"));
    return p;
}

QString oldSettingsPreviewText(const OldSettingsPreview& p) {
    if (!p.failure.isEmpty()) return p.failure;
    if (p.app.isEmpty()) return missingApplication(p.file, p.applications);
    QStringList lines{
        QStringLiteral("文件：%1（%2）").arg(QFileInfo(p.file).fileName(), p.encoding),
        QStringLiteral("将写入 %1 项设置。").arg(p.written)};
    if (!p.unknownKeys.isEmpty())
        lines << QStringLiteral("其中 %1 项本程序不使用（仍会写入）：%2")
                     .arg(p.unknownKeys.size())
                     .arg(p.unknownKeys.join(QStringLiteral("、")));
    if (!p.decimalCommas.isEmpty())
        lines << QStringLiteral("%1 项数值以逗号作小数点，将按小数点读入：%2")
                     .arg(p.decimalCommas.size())
                     .arg(p.decimalCommas.join(QStringLiteral("、")));
    return lines.join(QLatin1Char('\n'));
}

OldSettingsOutcome importOldSettingsFile(const QString& path, SettingsStore& store) {
    OldSettingsOutcome out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("无法读取 %1：%2")
                        .arg(QDir::toNativeSeparators(path), file.errorString());
        return out;
    }
    const RegistryExport exported = readRegistryExport(file.readAll());
    if (!exported.error.isEmpty()) {
        out.error = exported.error;
        return out;
    }
    if (!exported.applications.contains(programTitle::shortName())) {
        out.error = missingApplication(path, exported.applications.keys());
        return out;
    }
    out.done = importSettings(exported, programTitle::shortName(), store, false);
    // The values are in the store all the same: the program works with them until it ends.
    if (store.lastSaveFailed())
        out.error = QStringLiteral("设置已载入，但无法写入设置文件 %1：%2")
                        .arg(QDir::toNativeSeparators(store.filePath()), store.errorString());
    return out;
}

QString oldSettingsImportedText(const OldSettingsOutcome& outcome) {
    if (outcome.done.written == 0) return QStringLiteral("旧版设置没有导入：") + outcome.error;
    QString text = QStringLiteral("已导入 %1 项旧版设置，各通道的参数已按导入的设置重新载入。")
                       .arg(outcome.done.written);
    if (!outcome.error.isEmpty()) text += QLatin1Char('\n') + outcome.error;
    return text;
}

OldSettingsImport::OldSettingsImport(QObject* parent) : QObject(parent) {
    connect(&m_run, &ResultsToolRun::finished, this, &OldSettingsImport::ended);
}

bool OldSettingsImport::preview(const QString& regFile, const QString& settingsFile) {
    if (m_run.isRunning()) return false;
    m_file = regFile;
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString tool = m_tool.isEmpty() ? resultsTool::find(appDir) : m_tool;
    m_run.start(tool,
                {QStringLiteral("import-settings"), QStringLiteral("--dry-run"),
                 QStringLiteral("--settings"), settingsFile, QStringLiteral("--"), regFile},
                resultsTool::missingText(appDir));
    return true;
}

void OldSettingsImport::ended() {
    const ResultsToolRun::Result& r = m_run.result();
    const auto parsed = r.failure.isEmpty() ? parseOldSettingsPreview(r.output) : std::nullopt;
    m_preview = parsed.value_or(OldSettingsPreview{});
    if (!parsed) {
        m_preview.file = m_file;
        m_preview.failure = r.failure;
        if (m_preview.failure.isEmpty()) {
            // The tool names the file and the cause on its last line.
            QString said = r.messages.trimmed().section(QLatin1Char('\n'), -1);
            const QString prefix =
                QString::fromLatin1(resultsTool::ProgramName) + QStringLiteral(": ");
            if (said.startsWith(prefix)) said.remove(0, prefix.size());
            m_preview.failure =
                said.isEmpty()
                    ? QStringLiteral("导入程序没有给出结果（退出码 %1）。").arg(r.exitCode)
                    : said;
        }
    }
    emit previewed();
}

} // namespace q7rk
