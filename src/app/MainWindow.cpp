#include "MainWindow.h"

#include <QTimer>

#include "CalibrationWindow.h"
#include "ChartsPage.h"
#include "ElectrolytePage.h"
#include "HelpWindow.h"
#include "LoggedPrompter.h"
#include "MessageBoxPrompter.h"
#include "OldImportFlows.h"
#include "PanelBinding.h"
#include "PanelWidgets.h"
#include "PlantPageWidget.h"
#include "PlantQueueWindow.h"
#include "QueryWindow.h"
#include "ReportPreview.h"
#include "ShellBinding.h"
#include "TrendWindow.h"
#include "TvPanelPage.h"
#include "execution/RunController.h"
#include "params/PanelCaptions.h"
#include "plant/PlantQueuePresenter.h"
#include "reports/ReportPrinting.h"
#include "settings/ProgramTitle.h"
#include "station/TerminationSignals.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace q7rk {

namespace {

// Room for three frames or three charts side by side, as on a 1280×800 screen.
constexpr QSize kPreferredSize(1240, 760);

// Whichever shows them, what the operator is told and asked goes into the log.
std::unique_ptr<Prompter> orMessageBoxes(std::unique_ptr<Prompter> prompter, QWidget* parent) {
    if (!prompter) prompter = std::make_unique<MessageBoxPrompter>(parent);
    return std::make_unique<LoggedPrompter>(std::move(prompter));
}

} // namespace

MainWindow::MainWindow(const QString& settingsPath, std::unique_ptr<Prompter> prompter,
                       const Timing& timing, QWidget* parent)
    : QMainWindow(parent), m_prompter(orMessageBoxes(std::move(prompter), this)),
      m_station(settingsPath, *m_prompter, timing),
      m_binding(std::make_unique<PanelBinding>(m_station.panel())) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(programTitle::full());
    m_shellBinding = std::make_unique<ShellBinding>(m_station.shell(), m_station, *this);
    buildTabs();
    addPlantPendingLabel(m_station.plantQueue(), statusBar());
    m_binding->refresh();

    connect(&m_station, &Station::quitRequested, this, &QWidget::close);
    connect(&m_station, &Station::helpRequested, this, &MainWindow::showHelp);
    connect(&m_station, &Station::messageLogRequested, this, &MainWindow::showMessageLog);
    connect(&m_station, &Station::calibrationRequested, this, &MainWindow::showCalibration);
    connect(&m_station, &Station::queryRequested, this, &MainWindow::showQuery);
    connect(&m_station, &Station::trendRequested, this, &MainWindow::openTrendWindow);
    connect(&m_station, &Station::plantQueueRequested, this, &MainWindow::showPlantQueue);
    connect(&m_station, &Station::oldDataImportRequested, this, [this] { importOldData(); });
    connect(&m_station, &Station::oldSettingsImportRequested, this,
            [this] { importOldSettings(); });
    connect(&m_station, &Station::missingBoxShown, this, &MainWindow::showBox);
    // A start closes the query window: what it shows may no longer be what is stored.
    connect(&m_station.run(), &RunController::runStarted, this, [this] {
        if (m_query) m_query->close();
    });
    // A report is looked at before it is printed; without a printer the station offers a
    // PDF instead.
    m_station.setPrintPreview([this](const ReportPrinter& report) {
        if (!defaultPrinter())
            printReport(report, *m_prompter);
        else
            showReportPreview(report, *m_prompter, this);
    });

    m_station.startUp();
    // Tests judged before the program last went are offered once the window is up.
    QTimer::singleShot(0, this, [this] { m_station.offerRecovery(); });
    placeOnScreen();
}

// The query and trend windows go while the main window is still whole: closing a window that
// is being torn down with its parent asks its grid for sizes the parent can no longer give.
MainWindow::~MainWindow() {
    delete m_query.data();
    delete m_trend.data();
}

void MainWindow::buildTabs() {
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_tabs->addTab(new ChannelChartsPage(charts(), plotter(), *m_binding, shell(), m_tabs),
                   QStringLiteral("1-6通道测试图"));
    auto* groupCharts = new GroupChartsPage(charts(), {0, 1}, m_tabs);
    auto* allChart = new GroupChartsPage(charts(), {2}, m_tabs);
    groupCharts->setPlotter(&plotter());
    allChart->setPlotter(&plotter());
    m_tabs->addTab(groupCharts, QStringLiteral("3合1比较显示"));
    m_tabs->addTab(allChart, QStringLiteral("6合1比较显示"));
    m_tabs->addTab(makeTvPanelPage(*m_binding, m_tabs), tvPageTitle());
    m_tabs->addTab(makeElectrolytePage(*m_binding, m_tabs), electrolytePageTitle());
    m_tabs->addTab(new PlantPageWidget(m_station.plant(), m_tabs), QStringLiteral("工厂数据库"));
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::currentChanged, this, &MainWindow::tabChanged);
    tabChanged(m_tabs->currentIndex());
}

void MainWindow::tabChanged(int tab) {
    showChartsForTab(m_tabs, tab);
}

void MainWindow::placeOnScreen() {
    const QScreen* screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(), kPreferredSize);
    resize(kPreferredSize.boundedTo(available.size()));
    const QRect whole = screen ? screen->geometry() : available;
    move(whole.x() + (whole.width() - width()) / 2, whole.y() + (whole.height() - height()) / 2);
}

void MainWindow::showHelp() {
    if (!m_help) m_help = new HelpWindow(this);
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

// 消息记录: one window, read again at each opening.
void MainWindow::showMessageLog() {
    if (!m_messageLog) {
        m_messageLog = new MessageLogWindow(this);
        m_messageLog->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        m_messageLog->refresh();
    }
    m_messageLog->show();
    m_messageLog->raise();
    m_messageLog->activateWindow();
}

// 电压电流校准: one window at a time, built anew for each opening (its channel list follows
// the group of that moment).
void MainWindow::showCalibration() {
    if (!m_calibration) {
        auto* window = new CalibrationWindow(m_station.calibration(), panel(),
                                             m_station.runAwarePrompter(), this);
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_calibration = window;
    }
    m_calibration->show();
    m_calibration->raise();
    m_calibration->activateWindow();
}

// 查询: one query window at a time; 显示记录 puts a stored test into the main window.
void MainWindow::showQuery() {
    if (!m_query) {
        auto* window = new QueryWindow(m_station.query(), prompter(), this);
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window, &QueryWindow::displayRequested, this,
                [this](const DisplayRequest& request) { m_station.displayStoredTest(request); });
        connect(window, &QueryWindow::uploadRequested, this,
                [this](const TestKey& key) { m_station.uploadStoredTest(key); });
        window->setDeliverySource([this] { return m_station.plantDeliveries(); });
        // A piece that reached the plant, or did not, shows in its row.
        connect(&m_station.plantQueue(), &PlantQueuePresenter::queueRetried, window,
                &QueryWindow::refreshDeliveries);
        connect(&m_station.plantQueue(), &PlantQueuePresenter::pendingChanged, window,
                &QueryWindow::refreshDeliveries);
        m_query = window;
    }
    m_query->show();
    m_query->raise();
    m_query->activateWindow();
}

void MainWindow::openTrendWindow() {
    if (!m_trend) {
        auto* window = new TrendWindow(
            m_station.results(), prompter(), [this] { return m_station.plant().source(); },
            &m_station.settings(), this);
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window, &TrendWindow::testChosen, this, [this](TestKind kind, const TestKey& key) {
            showQuery();
            if (auto* query = qobject_cast<QueryWindow*>(m_query.data()))
                query->selectTest(kind, key);
        });
        // A foil of the plant's chart opens on the plant page, as 打开 there would.
        connect(window, &TrendWindow::foilChosen, this, [this](const QString& serial) {
            m_station.plant().setText(FoilBox::Serial, serial);
            m_station.perform(Command::OpenFoil);
            for (int i = 0; i < m_tabs->count(); ++i)
                if (m_tabs->tabText(i) == QStringLiteral("工厂数据库")) m_tabs->setCurrentIndex(i);
            raise();
            activateWindow();
        });
        m_trend = window;
    }
    m_trend->show();
    m_trend->raise();
    m_trend->activateWindow();
}

// 补传工厂数据: one queue window, shown at once; a pass it starts runs on its own thread.
void MainWindow::showPlantQueue() {
    if (!m_plantQueue) {
        auto* window = new PlantQueueWindow(m_station, this);
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_plantQueue = window;
    }
    m_plantQueue->show();
    m_plantQueue->raise();
    m_plantQueue->activateWindow();
}

void MainWindow::importOldData(const QStringList& files) {
    if (m_dataImport) return; // its dialogs are in front already
    auto* flow = new OldDataImportFlow(m_station, *this);
    connect(flow, &OldDataImportFlow::imported, this, [this] {
        if (auto* query = qobject_cast<QueryWindow*>(m_query.data())) query->searchAgain();
        if (auto* trend = qobject_cast<TrendWindow*>(m_trend.data())) trend->refresh();
    });
    m_dataImport = flow;
    flow->start(files);
}

void MainWindow::importOldSettings(const QString& file) {
    if (m_settingsImport) return;
    auto* flow = new OldSettingsImportFlow(m_station, *this);
    m_settingsImport = flow;
    flow->start(file);
}

void MainWindow::showBox(int channel, Box box) {
    auto* widget = findChild<QWidget*>(boxObjectName(channel, box));
    if (!widget) return;
    for (int i = 0; i < m_tabs->count(); ++i) {
        if (!m_tabs->widget(i)->isAncestorOf(widget)) continue;
        m_tabs->setCurrentIndex(i);
        break;
    }
    for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(up)) scroll->ensureWidgetVisible(widget);
    widget->setFocus(Qt::OtherFocusReason);
}

void MainWindow::quitOnTerminationSignals() {
    auto* termination = new TerminationSignals(this);
    connect(termination, &TerminationSignals::received, this,
            [this] { m_station.quitWithoutQuestions(); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_station.mayQuit()) {
        event->ignore();
        return;
    }
    m_station.shutdown();
    if (m_help) m_help->close();
    if (m_messageLog) m_messageLog->close();
    if (m_calibration) m_calibration->close();
    if (m_query) m_query->close();
    if (m_trend) m_trend->close();
    if (m_plantQueue) m_plantQueue->close();
    event->accept();
}

} // namespace q7rk
