#pragma once

#include "settings/ChannelModel.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace q7rk {

class Prompter;
class SettingsStore;

// The four factors a channel can be trimmed by, in the order of the item list.
enum class CalibrationItem {
    VoltageSampling, // "电压采样校准": voltageAdjust, "Vadjust(i)"
    CurrentSampling, // "电流采样校准": currentAdjust, "Iadjust(i)"
    VoltageControl,  // "电压控制校准": KV, "KV(i)"
    CurrentControl,  // "电流控制校准": KI, "KI(i)"
};
constexpr int CalibrationItemCount = 4;

// One line of the calibration log.
struct CalibrationLogEntry {
    QDateTime time;
    QString channel; // "第2通道", or "全部通道" for a restore
    QString item;    // the item's text, or "恢复默认值"
    QString oldValue;
    QString newValue;
    QString operatorName; // who was on screen; empty in lines written before it was kept
};

// `jiaozhun` without widgets: the channel and item choices, coarse or fine steps, and the
// restore of the factory factors. Every change goes to the settings store and at once to
// the channel model's factor arrays, so the next poll frame and the next sample use it, and
// is appended to a log file beside the settings file.
class CalibrationModel : public QObject {
    Q_OBJECT
public:
    static constexpr const char* WindowTitle = "电压电流校准";
    static constexpr const char* PanelTitle = "Q-7RK-M型电压电流校准面板";
    static constexpr const char* LogFileName = "calibration.log";

    CalibrationModel(ChannelModel& channels, SettingsStore& settings, QObject* parent = nullptr);

    // The window is opened: the channel list is built for channels 1 .. lastChannel + 1 as
    // they are now, nothing is chosen, coarse steps.
    void open();

    QStringList channelItems() const { return m_channelItems; } // "第1通道校准", ...
    static QStringList itemNames();                             // the four items in order
    static QString itemName(CalibrationItem item);

    // List positions; -1 means no choice yet.
    int channel() const { return m_channel; }
    void setChannel(int listPosition);
    int item() const { return m_item; }
    void setItem(int listPosition);
    bool fine() const { return m_fine; }
    void setFine(bool fine) { m_fine = fine; }

    // "增加" and "减少": multiply the chosen factor by 1.01 / 0.99, or 1.0005 / 0.9995 when
    // fine. A missing choice is told to the operator instead.
    void increase(Prompter& prompter);
    void decrease(Prompter& prompter);
    // "恢复默认值", once the operator agreed: every factor 1, the chart time scales 1/32 and
    // 1/8. The factors it throws away are in its log line.
    void restoreDefaults(Prompter& prompter);
    // "撤销上次恢复": the factors the newest restore in the log threw away are put back, once
    // the operator agreed. False when the log holds no restore.
    bool undoLastRestore(Prompter& prompter);
    // The name of the operator on screen, written into every log line.
    void setOperatorSource(std::function<QString()> source) { m_operator = std::move(source); }

    // The factor in memory, as the poll and the sampling tick use it.
    float factor(int channel, CalibrationItem item) const;

    // The stored form of a factor: the shortest plain decimal text that reads back as the
    // same single-precision value ("1.01", "0.9999", "1.0005").
    static QString factorText(float value);

    QString logFilePath() const { return m_logPath; }
    // The newest `count` entries of the log, oldest first.
    QList<CalibrationLogEntry> lastEntries(int count) const;

signals:
    // A factor of `channel` changed; -1 for all channels.
    void factorsChanged(int channel);
    void logged(const q7rk::CalibrationLogEntry& entry);

private:
    void step(Prompter& prompter, bool up);
    float& memoryFactor(int channel, CalibrationItem item);
    float storedFactor(int channel, CalibrationItem item) const;
    // Appends to the log; false when the file cannot be written.
    bool appendLog(const CalibrationLogEntry& entry);
    // Tells the operator what could not be kept, if anything.
    void reportFailures(Prompter& prompter, bool logWritten);

    void writeFactor(int channel, CalibrationItem item, float value);

    ChannelModel& m_channels;
    SettingsStore& m_settings;
    std::function<QString()> m_operator;
    QString m_logPath;
    QStringList m_channelItems;
    int m_channel = -1;
    int m_item = -1;
    bool m_fine = false;
};

} // namespace q7rk
