#include "RegistryImport.h"

#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace q7rk {

namespace {

const QString VbSettings =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\");

// A quoted name or value from `at` (at the opening quote); the index after its closing quote
// lands in `end`, -1 when it is not closed.
QString quotedAt(const QString& line, qsizetype at, qsizetype& end) {
    QString out;
    for (qsizetype i = at + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            out += line[++i];
            continue;
        }
        if (c == QLatin1Char('"')) {
            end = i + 1;
            return out;
        }
        out += c;
    }
    end = -1;
    return out;
}

bool decode(const QByteArray& bytes, RegistryExport& out, QString& text) {
    if (bytes.startsWith("\xFF\xFE")) {
        out.encoding = QStringLiteral("UTF-16LE");
        text = QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2));
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        out.encoding = QStringLiteral("UTF-8");
        text = QString::fromUtf8(bytes.mid(3));
    } else if (bytes.startsWith("REGEDIT4")) {
        out.encoding = QStringLiteral("GB18030");
        QStringDecoder gbk("GB18030");
        text = gbk(bytes);
        if (gbk.hasError()) {
            out.error = QStringLiteral("注册表导出文件中有无法按GB18030转换的文字。");
            return false;
        }
    } else {
        out.error = QStringLiteral("不是注册表导出文件（应以“Windows Registry Editor Version "
                                   "5.00”或“REGEDIT4”开头）。");
        return false;
    }
    const QString first = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (first != QLatin1String("Windows Registry Editor Version 5.00") &&
        first != QLatin1String("REGEDIT4")) {
        out.error = QStringLiteral("不是注册表导出文件：第一行是“%1”。").arg(first.left(60));
        return false;
    }
    return true;
}

} // namespace

RegistryExport readRegistryExport(const QByteArray& bytes) {
    RegistryExport out;
    QString text;
    if (!decode(bytes, out, text)) return out;
    RegistryExport::Values* section = nullptr;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            section = nullptr;
            const QString path = line.mid(1, line.lastIndexOf(QLatin1Char(']')) - 1);
            if (!path.startsWith(VbSettings, Qt::CaseInsensitive)) continue;
            const QStringList parts = path.mid(VbSettings.size()).split(QLatin1Char('\\'));
            auto& sections = out.applications[parts.first()];
            if (parts.size() == 2) section = &sections[parts[1]];
            continue;
        }
        if (!section || !line.startsWith(QLatin1Char('"'))) continue;
        qsizetype end = 0;
        const QString name = quotedAt(line, 0, end);
        if (end < 0 || line.mid(end, 2) != QLatin1String("=\"")) continue; // not a string
        qsizetype valueEnd = 0;
        const QString value = quotedAt(line, end + 1, valueEnd);
        if (valueEnd > 0) section->append({name, value});
    }
    return out;
}

SettingsImport importSettings(const RegistryExport& from, const QString& application,
                              SettingsStore& store, bool dryRun) {
    SettingsImport done;
    static const QRegularExpression decimalComma(QStringLiteral("^-?\\d+,\\d+$"));
    const auto sections = from.applications.value(application);
    SettingsStore::Batch batch(store);
    for (const char* name : {"canshu", "topic"}) {
        const QString section = QString::fromLatin1(name);
        for (auto [key, value] : sections.value(section)) {
            const QString initial = initialValue(section, key);
            const QString where = section + QLatin1Char('/') + key;
            if (initial.isNull()) done.unknownKeys << where;
            bool numeric = false;
            initial.toDouble(&numeric);
            // Written on a PC that shows 1,5 for one and a half.
            if (numeric && decimalComma.match(value).hasMatch()) {
                value.replace(QLatin1Char(','), QLatin1Char('.'));
                done.decimalCommas << where;
            }
            if (!dryRun) store.write(section, key, value);
            ++done.written;
        }
    }
    return done;
}

} // namespace q7rk
