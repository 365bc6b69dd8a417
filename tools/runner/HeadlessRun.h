#pragma once

#include "charts/ChartSet.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsStore.h"
#include "settings/Timing.h"
#include "shell/MainController.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

namespace q7rk {

// One group run without a window: the same models and controller the window owns, a
// scripted operator, a link made from a "tcp:HOST:PORT" or "serial:DEVICE" text, the group
// button pressed once, and a JSON report of what the operator would have seen.
class HeadlessRun : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString settingsCopy; // the runner's own copy of the settings file
        QString link;         // tcp:HOST:PORT or serial:DEVICE
        QString group;        // 1-3, 1-2 or 1
        Timing timing;
        bool answerStart = true;
        bool answerSave = false;
        double maxSeconds = 0; // 0: no limit
    };
    enum Exit { Ended = 0, NoLink = 2, TimedOut = 3, BadUsage = 64 };

    explicit HeadlessRun(const Options& options, QObject* parent = nullptr);

    // Starts connecting; finished(code) follows.
    void begin();
    QJsonObject report() const;

    static QString groupKey(const QString& group); // "1-3" -> "test13"; empty when unknown

signals:
    void finished(int exitCode);

private:
    void connectLink();
    void pressStart();
    void finish(int code);

    Options m_options;
    SettingsStore m_settings;
    ChannelModel m_channels;
    PanelModel m_panel;
    ChartSet m_charts;
    ShellModel m_shell;
    ScriptedPrompter m_prompter;
    MainController m_controller;
    QTimer m_deadline;
    QTimer m_linkDeadline;
    bool m_done = false;
};

} // namespace q7rk
