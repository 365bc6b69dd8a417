#pragma once

#include "charts/ChartSet.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsStore.h"
#include "shell/MainController.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"

namespace q7rk::testing {

// What the window owns, put together the way the window does, with a scripted operator.
struct Program {
    explicit Program(const QString& settingsPath, const Timing& timing = Timing{})
        : settings(settingsPath), panel(channels, settings), charts(channels, panel, settings),
          controller(settings, channels, panel, charts, shell, prompter, timing) {}
    SettingsStore settings;
    ChannelModel channels;
    PanelModel panel;
    ChartSet charts;
    ShellModel shell;
    ScriptedPrompter prompter;
    MainController controller;
};

} // namespace q7rk::testing
