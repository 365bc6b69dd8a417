#include "MainWindow.h"

#include "ChartsPage.h"
#include "ElectrolytePage.h"
#include "HelpWindow.h"
#include "MessageBoxPrompter.h"
#include "PanelBinding.h"
#include "ShellBinding.h"
#include "TvPanelPage.h"
#include "params/PanelCaptions.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

namespace q7rk {

namespace {

// Room for three frames or three charts side by side, as on a 1280×800 screen.
constexpr QSize kPreferredSize(1240, 760);

QWidget* makePlantPage(QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("PlantPage"));
    auto* layout = new QVBoxLayout(page);
    auto* note = new QLabel(
        QStringLiteral(
            "工厂数据库的铝箔记录（规格、VF值、长度、面积、重量和各片测试结果）在此页打开、"
            "编辑和保存。"),
        page);
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch();
    return page;
}

std::unique_ptr<Prompter> orMessageBoxes(std::unique_ptr<Prompter> prompter, QWidget* parent) {
    if (prompter) return prompter;
    return std::make_unique<MessageBoxPrompter>(parent);
}

} // namespace

MainWindow::MainWindow(const QString& settingsPath, std::unique_ptr<Prompter> prompter,
                       const Timing& timing, QWidget* parent)
    : QMainWindow(parent), m_prompter(orMessageBoxes(std::move(prompter), this)),
      m_station(settingsPath, *m_prompter, timing),
      m_binding(std::make_unique<PanelBinding>(m_station.panel())) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QString::fromUtf8(Title));
    m_shellBinding = std::make_unique<ShellBinding>(m_station.shell(), m_station, *this);
    buildTabs();
    m_binding->refresh();

    connect(&m_station, &Station::quitRequested, this, &QWidget::close);
    connect(&m_station, &Station::helpRequested, this, &MainWindow::showHelp);

    m_station.startUp();
    placeOnScreen();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildTabs() {
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_tabs->addTab(makeChannelChartsPage(charts(), *m_binding, m_tabs),
                   QStringLiteral("1-6通道测试图"));
    auto* groupCharts = new GroupChartsPage(charts(), {0, 1}, m_tabs);
    auto* allChart = new GroupChartsPage(charts(), {2}, m_tabs);
    groupCharts->setPlotter(&plotter());
    allChart->setPlotter(&plotter());
    m_tabs->addTab(groupCharts, QStringLiteral("3合1比较显示"));
    m_tabs->addTab(allChart, QStringLiteral("6合1比较显示"));
    m_tabs->addTab(makeTvPanelPage(*m_binding, m_tabs), tvPageTitle());
    m_tabs->addTab(makeElectrolytePage(*m_binding, m_tabs), electrolytePageTitle());
    m_tabs->addTab(makePlantPage(m_tabs), QStringLiteral("工厂数据库"));
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

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_station.mayQuit()) {
        event->ignore();
        return;
    }
    m_station.shutdown();
    if (m_help) m_help->close();
    event->accept();
}

} // namespace q7rk
