#pragma once

#include "app/HelpWindow.h"
#include "app/MessageLogWindow.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"
#include "station/Station.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QTabWidget;

namespace q7rk {

class PanelBinding;
class ShellBinding;

// `main`: holds the station, builds the widgets, binds them to the station's models and
// hands clicks to it. Nothing here decides anything.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Without a prompter the window shows real message boxes.
    explicit MainWindow(const QString& settingsPath = SettingsStore::defaultFilePath(),
                        std::unique_ptr<Prompter> prompter = nullptr,
                        const Timing& timing = Timing{}, QWidget* parent = nullptr);
    ~MainWindow() override;

    Station& station() { return m_station; }
    // SIGTERM, SIGINT, SIGHUP and SIGQUIT stop a run and tell the instrument before the window
    // closes, without questions; finished tests stay in the recovery journal. Once per process.
    void quitOnTerminationSignals();
    const SettingsStore& settings() const { return m_station.settings(); }
    ChannelModel& channels() { return m_station.channels(); }
    PanelModel& panel() { return m_station.panel(); }
    ChartSet& charts() { return m_station.charts(); }
    const SampleStore& samples() const { return m_station.samples(); }
    CurvePlotter& plotter() { return m_station.plotter(); }
    ShellModel& shell() { return m_station.shell(); }
    Prompter& prompter() { return *m_prompter; }
    QTabWidget* tabs() const { return m_tabs; }
    // The help window once it has been asked for; null before.
    HelpWindow* helpWindow() const { return m_help; }

    // The message log window once it has been asked for; null before.
    MessageLogWindow* messageLogWindow() const { return m_messageLog; }

public slots:
    void showHelp();
    void showMessageLog();
    void showCalibration();
    void showQuery();
    // 质量趋势: one trend window at a time; a click on a point selects that test in the
    // query window.
    void openTrendWindow();
    void showPlantQueue();
    // 导入旧版数据 and 导入旧版设置: one at a time each; the query and trend windows read the
    // result files again once tests were imported.
    void importOldData(const QStringList& files = {});
    void importOldSettings(const QString& file = {});
    // The page that holds channel k's box comes to the front with the box focused.
    void showBox(int channel, Box box);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTabs();
    void tabChanged(int tab);
    void placeOnScreen();

    // Declaration order is construction order; each object only refers to those above it.
    std::unique_ptr<Prompter> m_prompter;
    Station m_station;
    // The bindings go first on the way out, so no widget event reaches a model being torn
    // down.
    std::unique_ptr<PanelBinding> m_binding;
    std::unique_ptr<ShellBinding> m_shellBinding;
    QTabWidget* m_tabs = nullptr;
    QPointer<HelpWindow> m_help;
    QPointer<MessageLogWindow> m_messageLog;
    QPointer<QWidget> m_calibration;
    QPointer<QWidget> m_query;
    QPointer<QWidget> m_trend;
    QPointer<QWidget> m_plantQueue;
    QPointer<QObject> m_dataImport;
    QPointer<QObject> m_settingsImport;
};

} // namespace q7rk
