#pragma once

#include "link/EthernetLink.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "station/Station.h"
#include "support/KeptRecords.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>

namespace q7rk::testing {

// The program as the window holds it, with a scripted operator, in a throw-away working
// folder: its settings file and result files live there and go with it. Timing is shrunk
// twentyfold unless a test names its own. The references name the station's parts the way
// the tests use them.
struct TestStation {
    using Seed = std::function<void(SettingsStore&)>;

    // `seed` writes the settings file before the station reads it.
    explicit TestStation(const Seed& seed = {}, const Timing& timing = Timing{}.scaled(20))
        : station(seeded(seed), prompter, timing) {}

    QString path(const QString& name) const { return dir.filePath(name); }
    // 连接 to the simulator on a loopback port; true once the instrument has answered.
    bool connectTcp(quint16 port) {
        QSignalSpy handshake(&station.ethernetLink(), &EthernetLink::handshakeReplied);
        station.connectEthernet(QStringLiteral("127.0.0.1"), QString::number(port));
        return handshake.wait(5000);
    }

    QTemporaryDir dir;
    // Kept for comparing builds (KeptRecords.h) once the station has gone, before the folder.
    struct KeptAtEnd {
        const QTemporaryDir& dir;
        ~KeptAtEnd() { records::keepFolder(dir.path(), QStringLiteral("station")); }
    } keptAtEnd{dir};
    // The result files are found in the working folder; it is put back when the test ends.
    struct WorkingFolder {
        explicit WorkingFolder(const QString& folder) { QDir::setCurrent(folder); }
        ~WorkingFolder() { QDir::setCurrent(previous); }
        QString previous = QDir::currentPath();
    } workingFolder{dir.path()};
    ScriptedPrompter prompter;
    Station station;
    Station& controller = station;
    const SettingsStore& settings = station.settings();
    ChannelModel& channels = station.channels();
    PanelModel& panel = station.panel();
    ChartSet& charts = station.charts();
    ShellModel& shell = station.shell();

private:
    QString seeded(const Seed& seed) const {
        const QString file = dir.filePath(QStringLiteral("settings.ini"));
        if (seed) {
            SettingsStore store(file);
            seed(store);
        }
        return file;
    }
};

} // namespace q7rk::testing
