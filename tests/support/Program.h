#pragma once

#include "shell/ScriptedPrompter.h"
#include "station/Station.h"

namespace q7rk::testing {

// The program as the window holds it, with a scripted operator. The references name the
// station's parts the way the tests use them.
struct Program {
    explicit Program(const QString& settingsPath, const Timing& timing = Timing{})
        : station(settingsPath, prompter, timing) {}
    ScriptedPrompter prompter;
    Station station;
    Station& controller = station;
    const SettingsStore& settings = station.settings();
    ChannelModel& channels = station.channels();
    PanelModel& panel = station.panel();
    ChartSet& charts = station.charts();
    ShellModel& shell = station.shell();
};

} // namespace q7rk::testing
