#include "calibration/CalibrationModel.h"

#include "settings/NumberText.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/TimeScale.h"
#include "shell/Prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

namespace q7rk {

namespace {

constexpr std::array ItemTexts{"电压采样校准", "电流采样校准", "电压控制校准", "电流控制校准"};
constexpr std::array ItemKeys{key::VoltageAdjust, key::CurrentAdjust, key::VoltageControl,
                              key::CurrentControl};

constexpr double CoarseUp = 1.01, CoarseDown = 0.99;
constexpr double FineUp = 1.0005, FineDown = 0.9995;

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QChar Separator = QLatin1Char('\t');
// Enough of the log's end for any number of entries a window shows.
constexpr qint64 LogTailBytes = 64 * 1024;
// How far back 撤销上次恢复 looks for the restore.
constexpr int LogUndoReach = 1000;

QString channelText(int channel) {
    return QStringLiteral("第%1通道").arg(channel + 1);
}

QString keyOf(CalibrationItem item, int channel) {
    return indexedKey(QString::fromLatin1(ItemKeys[int(item)]), channel);
}

// The in-memory array of an item's factor; const or not, like the model.
template <typename Model> auto& factorArray(Model& channels, CalibrationItem item) {
    switch (item) {
    case CalibrationItem::VoltageSampling:
        return channels.voltageAdjust;
    case CalibrationItem::CurrentSampling:
        return channels.currentAdjust;
    case CalibrationItem::VoltageControl:
        return channels.KV;
    case CalibrationItem::CurrentControl:
        break;
    }
    return channels.KI;
}

} // namespace

CalibrationModel::CalibrationModel(ChannelModel& channels, SettingsStore& settings, QObject* parent)
    : QObject(parent), m_channels(channels), m_settings(settings),
      m_logPath(QFileInfo(settings.filePath()).dir().filePath(QString::fromLatin1(LogFileName))) {
    open();
}

void CalibrationModel::open() {
    m_channelItems.clear();
    const int last = std::clamp<int>(m_channels.lastChannel, 0, ChannelCount - 1);
    for (int n = 1; n <= last + 1; ++n)
        m_channelItems << QStringLiteral("第%1通道校准").arg(n);
    m_channel = -1;
    m_item = -1;
    m_fine = false;
}

QStringList CalibrationModel::itemNames() {
    QStringList out;
    for (const char* text : ItemTexts)
        out << QString::fromUtf8(text);
    return out;
}

QString CalibrationModel::itemName(CalibrationItem item) {
    return QString::fromUtf8(ItemTexts[int(item)]);
}

void CalibrationModel::setChannel(int listPosition) {
    m_channel = listPosition >= 0 && listPosition < m_channelItems.size() ? listPosition : -1;
}

void CalibrationModel::setItem(int listPosition) {
    m_item = listPosition >= 0 && listPosition < CalibrationItemCount ? listPosition : -1;
}

void CalibrationModel::increase(Prompter& prompter) {
    step(prompter, true);
}

void CalibrationModel::decrease(Prompter& prompter) {
    step(prompter, false);
}

float& CalibrationModel::memoryFactor(int channel, CalibrationItem item) {
    return factorArray(m_channels, item)[channel];
}

float CalibrationModel::factor(int channel, CalibrationItem item) const {
    return factorArray(m_channels, item)[channel];
}

float CalibrationModel::storedFactor(int channel, CalibrationItem item) const {
    // A missing or unreadable key counts as 1, the factory factor.
    return float(m_settings.readNumber(section::Canshu, keyOf(item, channel), 1.0));
}

void CalibrationModel::step(Prompter& prompter, bool up) {
    const QString title = programTitle::full();
    if (m_channel < 0) {
        prompter.inform(title, QStringLiteral("请按下拉箭头选择校准通道！"));
        return;
    }
    if (m_item < 0) {
        prompter.inform(title, up ? QStringLiteral("请按下拉箭头选择校准项目！")
                                  : QStringLiteral("请按下拉箭头选择校准内容！"));
        return;
    }
    const int i = m_channel;
    const auto chosen = CalibrationItem(m_item);
    // The store holds the factors; memory follows it, so a factor of a channel that
    // start-up did not load is stepped from its stored value, not from a stale 1.
    std::array<float, CalibrationItemCount> factors{};
    for (int n = 0; n < CalibrationItemCount; ++n)
        factors[n] = storedFactor(i, CalibrationItem(n));
    const float old = factors[int(chosen)];
    const double by = m_fine ? (up ? FineUp : FineDown) : (up ? CoarseUp : CoarseDown);
    // Steps multiply: a raise and a lowering give 0.9999, not 1.
    factors[int(chosen)] = float(double(old) * by);
    {
        SettingsStore::Batch batch(m_settings);
        for (int n = 0; n < CalibrationItemCount; ++n) {
            memoryFactor(i, CalibrationItem(n)) = factors[n];
            m_settings.write(section::Canshu, keyOf(CalibrationItem(n), i), factorText(factors[n]));
        }
    }
    const bool logged = appendLog({QDateTime::currentDateTime(),
                                   channelText(i),
                                   itemName(chosen),
                                   factorText(old),
                                   factorText(factors[int(chosen)]),
                                   {}});
    emit factorsChanged(i);
    reportFailures(prompter, logged);
}

void CalibrationModel::restoreDefaults(Prompter& prompter) {
    if (!prompter.ask(Question::RestoreCalibrationDefaults, programTitle::full(),
                      QStringLiteral("确定要将全部通道的校准系数恢复为默认值吗？")))
        return;
    // What the restore throws away goes into the log, so it can be undone.
    QStringList lost;
    for (int k = 0; k < ChannelCount; ++k)
        for (int n = 0; n < CalibrationItemCount; ++n) {
            const float stored = storedFactor(k, CalibrationItem(n));
            if (stored != 1.0f)
                lost << keyOf(CalibrationItem(n), k) + QLatin1Char('=') + factorText(stored);
        }
    {
        SettingsStore::Batch batch(m_settings);
        for (int k = 0; k < ChannelCount; ++k) {
            for (int n = 0; n < CalibrationItemCount; ++n)
                writeFactor(k, CalibrationItem(n), 1.0f);
            m_channels.timeScale[k] = DefaultTimeScale;
            m_settings.write(section::Canshu, indexedKey(QString::fromUtf8(key::TimeScale), k),
                             factorText(DefaultTimeScale));
        }
        m_channels.groupTimeScale = DefaultGroupTimeScale;
        m_settings.write(section::Canshu, QString::fromUtf8(key::GroupTimeScale),
                         factorText(DefaultGroupTimeScale));
    }
    const bool logged =
        appendLog({QDateTime::currentDateTime(),
                   QStringLiteral("全部通道"),
                   QStringLiteral("恢复默认值"),
                   lost.isEmpty() ? QStringLiteral("1") : lost.join(QLatin1Char(' ')),
                   QStringLiteral("1"),
                   {}});
    emit factorsChanged(-1);
    reportFailures(prompter, logged);
}

void CalibrationModel::writeFactor(int channel, CalibrationItem item, float value) {
    memoryFactor(channel, item) = value;
    m_settings.write(section::Canshu, keyOf(item, channel), factorText(value));
}

bool CalibrationModel::undoLastRestore(Prompter& prompter) {
    const QString restoreItem = QStringLiteral("恢复默认值");
    std::optional<CalibrationLogEntry> restore;
    for (const CalibrationLogEntry& e : lastEntries(LogUndoReach))
        if (e.item == restoreItem) restore = e;
    if (!restore) {
        prompter.inform(programTitle::full(), QStringLiteral("校准记录中没有可撤销的恢复默认值。"));
        return false;
    }
    // "Vadjust(1)=1.01 KI(5)=3": every factor not named was 1 before the restore.
    std::map<QString, float> before;
    for (const QString& pair : restore->oldValue.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        bool ok = false;
        const float value = pair.mid(eq + 1).toFloat(&ok);
        if (eq > 0 && ok && std::isfinite(value) && value > 0) before[pair.left(eq)] = value;
    }
    if (!prompter.ask(Question::UndoCalibrationRestore, programTitle::full(),
                      QStringLiteral("确定要撤销%1的恢复默认值，把校准系数改回当时的值吗？")
                          .arg(restore->time.toString(TimeFormat))))
        return false;
    QStringList now;
    {
        SettingsStore::Batch batch(m_settings);
        for (int k = 0; k < ChannelCount; ++k)
            for (int n = 0; n < CalibrationItemCount; ++n) {
                const CalibrationItem item = CalibrationItem(n);
                const auto it = before.find(keyOf(item, k));
                const float value = it == before.end() ? 1.0f : it->second;
                if (value != 1.0f) now << keyOf(item, k) + QLatin1Char('=') + factorText(value);
                writeFactor(k, item, value);
            }
    }
    const bool logged = appendLog({QDateTime::currentDateTime(),
                                   QStringLiteral("全部通道"),
                                   QStringLiteral("撤销恢复默认值"),
                                   QStringLiteral("1"),
                                   now.isEmpty() ? QStringLiteral("1") : now.join(QLatin1Char(' ')),
                                   {}});
    emit factorsChanged(-1);
    reportFailures(prompter, logged);
    return true;
}

QString CalibrationModel::factorText(float value) {
    return std::isfinite(value) ? exactSingleText(value) : QStringLiteral("1");
}

bool CalibrationModel::appendLog(const CalibrationLogEntry& entry) {
    QFile file(m_logPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return false;
    CalibrationLogEntry signedEntry = entry;
    signedEntry.operatorName = m_operator ? m_operator().simplified() : QString();
    const QString line = QStringList{signedEntry.time.toString(TimeFormat),
                                     signedEntry.channel,
                                     signedEntry.item,
                                     signedEntry.oldValue,
                                     signedEntry.newValue,
                                     signedEntry.operatorName}
                             .join(Separator) +
                         QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    emit logged(signedEntry);
    return written;
}

void CalibrationModel::reportFailures(Prompter& prompter, bool logWritten) {
    QStringList problems;
    if (m_settings.lastSaveFailed())
        problems << QStringLiteral("校准系数无法保存：") + m_settings.errorString();
    if (!logWritten)
        problems << QStringLiteral("校准记录无法写入：") + QDir::toNativeSeparators(m_logPath);
    if (!problems.isEmpty())
        prompter.inform(programTitle::full(), problems.join(QLatin1Char('\n')));
}

QList<CalibrationLogEntry> CalibrationModel::lastEntries(int count) const {
    QFile file(m_logPath);
    if (count <= 0 || !file.open(QIODevice::ReadOnly)) return {};
    const qint64 start = std::max<qint64>(0, file.size() - LogTailBytes);
    file.seek(start);
    QList<QByteArray> lines = file.readAll().split('\n');
    if (start > 0 && !lines.isEmpty()) lines.removeFirst(); // cut mid-line
    QList<CalibrationLogEntry> out;
    for (auto it = lines.crbegin(); it != lines.crend() && out.size() < count; ++it) {
        const QStringList fields = QString::fromUtf8(*it).split(Separator);
        // Five fields before the operator was written; anything else is blank or damaged.
        if (fields.size() != 5 && fields.size() != 6) continue;
        const QDateTime time = QDateTime::fromString(fields[0], TimeFormat);
        if (!time.isValid()) continue;
        out.prepend({time, fields[1], fields[2], fields[3], fields[4], fields.value(5)});
    }
    return out;
}

} // namespace q7rk
