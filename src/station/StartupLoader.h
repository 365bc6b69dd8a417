#pragma once

namespace q7rk {

struct ChannelModel;
class ChartSet;
class PanelModel;
class PlantPage;
class PlantQueuePresenter;
class SettingsStore;
class ShellModel;

// The start-up sequence: the settings of channels 1-3 (the calibration factors of all six)
// into the models, the group options restored, the charts framed, toolbar and menus set for
// a program without a link, and the plant queue retried.
class StartupLoader {
public:
    StartupLoader(SettingsStore& settings, ChannelModel& channels, PanelModel& panel,
                  ChartSet& charts, ShellModel& shell, PlantPage& plant,
                  PlantQueuePresenter& plantQueue)
        : m_settings(settings), m_channels(channels), m_panel(panel), m_charts(charts),
          m_shell(shell), m_plant(plant), m_plantQueue(plantQueue) {}
    void load();
    // The settings read again into the models after they changed under the running program
    // (an import): parameters, options, factors, time scales, kinds and chart frames. The
    // links, the toolbar and the plant queue stay as they are.
    void reload();

private:
    void loadSettings();
    void applyKindsAndFrame();
    void loadChannel(int i);
    void loadFactors(int i);

    SettingsStore& m_settings;
    ChannelModel& m_channels;
    PanelModel& m_panel;
    ChartSet& m_charts;
    ShellModel& m_shell;
    PlantPage& m_plant;
    PlantQueuePresenter& m_plantQueue;
};

} // namespace q7rk
