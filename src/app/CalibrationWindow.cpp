#include "CalibrationWindow.h"

#include "calibration/CalibrationModel.h"
#include "params/PanelModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace q7rk {

namespace {

QLineEdit* makeReadout(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true); // it mirrors the main window, the operator cannot type here
    edit->setFixedWidth(72);
    return edit;
}

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

CalibrationWindow::CalibrationWindow(CalibrationModel& model, const PanelModel& panel,
                                     Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_panel(panel), m_prompter(prompter) {
    setObjectName(QStringLiteral("jiaozhun"));
    setWindowTitle(QString::fromUtf8(CalibrationModel::WindowTitle));
    m_model.open();

    auto* title = new QLabel(QString::fromUtf8(CalibrationModel::PanelTitle), this);
    title->setObjectName(QStringLiteral("PanelTitle"));
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);

    auto* middle = new QHBoxLayout;
    middle->addWidget(buildReadouts(), 1);
    middle->addWidget(buildControls());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(middle);
    layout->addWidget(buildNotes(), 1);

    connect(&m_panel, &PanelModel::textChanged, this, &CalibrationWindow::readoutChanged);
    connect(&m_model, &CalibrationModel::logged, this, &CalibrationWindow::showLogEntry);
    connect(&m_model, &CalibrationModel::factorsChanged, this, &CalibrationWindow::showFactor);
    for (const CalibrationLogEntry& entry : m_model.lastEntries(LogLines))
        showLogEntry(entry);
    showFactor();
    resize(860, 640);
}

QWidget* CalibrationWindow::buildReadouts() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int k = 0; k < ChannelCount; ++k) {
        const int n = k + 1;
        auto* frame = new QGroupBox(QStringLiteral("%1路测试值：").arg(n), box);
        frame->setObjectName(QStringLiteral("Frame1_%1").arg(k));
        auto* rows = new QGridLayout(frame);
        m_voltage[k] = makeReadout(QStringLiteral("Text1_%1").arg(k), frame);
        m_current[k] = makeReadout(QStringLiteral("Text2_%1").arg(k), frame);
        m_voltage[k]->setText(m_panel.text(k, Box::LiveVoltage));
        m_current[k]->setText(m_panel.text(k, Box::LiveCurrent));
        rows->addWidget(new QLabel(QStringLiteral("%1路电压值：").arg(n), frame), 0, 0);
        rows->addWidget(m_voltage[k], 0, 1);
        rows->addWidget(new QLabel(QStringLiteral("V"), frame), 0, 2);
        rows->addWidget(new QLabel(QStringLiteral("%1路电流值：").arg(n), frame), 1, 0);
        rows->addWidget(m_current[k], 1, 1);
        rows->addWidget(new QLabel(QStringLiteral("mA"), frame), 1, 2);
        grid->addWidget(frame, k / 2, k % 2);
    }
    return box;
}

QWidget* CalibrationWindow::buildControls() {
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);

    auto* choice = new QGroupBox(QStringLiteral("校准选择："), panel);
    auto* choiceRows = new QVBoxLayout(choice);
    m_channelCombo = new QComboBox(choice);
    m_channelCombo->setObjectName(QStringLiteral("Combo1"));
    m_channelCombo->setPlaceholderText(QStringLiteral("选择校准通道"));
    m_channelCombo->addItems(m_model.channelItems());
    m_channelCombo->setCurrentIndex(-1);
    m_itemCombo = new QComboBox(choice);
    m_itemCombo->setObjectName(QStringLiteral("Combo2"));
    m_itemCombo->setPlaceholderText(QStringLiteral("选择校准项目"));
    m_itemCombo->addItems(CalibrationModel::itemNames());
    m_itemCombo->setCurrentIndex(-1);
    m_factor = new QLabel(choice);
    m_factor->setObjectName(QStringLiteral("CurrentFactor"));
    choiceRows->addWidget(m_channelCombo);
    choiceRows->addWidget(m_itemCombo);
    choiceRows->addWidget(m_factor);

    auto* stepFrame = new QGroupBox(QStringLiteral("调节选择："), panel);
    auto* stepRows = new QGridLayout(stepFrame);
    m_coarse = new QRadioButton(QStringLiteral("粗调"), stepFrame);
    m_coarse->setObjectName(QStringLiteral("Option1"));
    m_coarse->setChecked(true);
    m_fine = new QRadioButton(QStringLiteral("细调"), stepFrame);
    m_fine->setObjectName(QStringLiteral("Option2"));
    auto* up = makeButton("Command1", QStringLiteral("增加"), stepFrame);
    auto* down = makeButton("Command2", QStringLiteral("减少"), stepFrame);
    stepRows->addWidget(m_coarse, 0, 0);
    stepRows->addWidget(m_fine, 0, 1);
    stepRows->addWidget(up, 1, 0);
    stepRows->addWidget(down, 1, 1);

    auto* common = new QGroupBox(QStringLiteral("公共参数："), panel);
    auto* commonRow = new QVBoxLayout(common);
    auto* restore = makeButton("Command3", QStringLiteral("恢复默认值"), common);
    auto* undo = makeButton("UndoRestore", QStringLiteral("撤销上次恢复"), common);
    commonRow->addWidget(restore);
    commonRow->addWidget(undo);
    auto* quit = makeButton("Command4", QStringLiteral("退出"), panel);

    column->addWidget(choice);
    column->addWidget(stepFrame);
    column->addWidget(common);
    column->addStretch(1);
    column->addWidget(quit);

    connect(m_channelCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_model.setChannel(index);
        showFactor();
    });
    connect(m_itemCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_model.setItem(index);
        showFactor();
    });
    connect(m_fine, &QRadioButton::toggled, this, [this](bool fine) { m_model.setFine(fine); });
    connect(up, &QPushButton::clicked, this, [this] { m_model.increase(m_prompter); });
    connect(down, &QPushButton::clicked, this, [this] { m_model.decrease(m_prompter); });
    connect(restore, &QPushButton::clicked, this, [this] { m_model.restoreDefaults(m_prompter); });
    connect(undo, &QPushButton::clicked, this, [this] { m_model.undoLastRestore(m_prompter); });
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    return panel;
}

QWidget* CalibrationWindow::buildNotes() {
    auto* tabs = new QTabWidget(this);
    m_log = new QPlainTextEdit(tabs);
    m_log->setObjectName(QStringLiteral("CalibrationLog"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(LogLines);
    m_notes = new QTextBrowser(tabs);
    m_notes->setObjectName(QStringLiteral("CalibrationHelp"));
    m_notes->setHtml(instructions());
    tabs->addTab(m_log, QStringLiteral("校准记录"));
    tabs->addTab(m_notes, QStringLiteral("操作说明"));
    return tabs;
}

void CalibrationWindow::readoutChanged(int channel, Box box, const QString& text) {
    if (channel < 0 || channel >= ChannelCount) return;
    if (box == Box::LiveVoltage) m_voltage[channel]->setText(text);
    if (box == Box::LiveCurrent) m_current[channel]->setText(text);
}

void CalibrationWindow::showLogEntry(const CalibrationLogEntry& entry) {
    QString line = QStringLiteral("%1  %2  %3  %4 → %5")
                       .arg(entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            entry.channel, entry.item, entry.oldValue, entry.newValue);
    if (!entry.operatorName.isEmpty()) line += QStringLiteral("  （%1）").arg(entry.operatorName);
    m_log->appendPlainText(line);
}

void CalibrationWindow::showFactor() {
    if (m_model.channel() < 0 || m_model.item() < 0) {
        m_factor->setText(QString());
        return;
    }
    const float value = m_model.factor(m_model.channel(), CalibrationItem(m_model.item()));
    m_factor->setText(QStringLiteral("当前系数：") + CalibrationModel::factorText(value));
}

QString CalibrationWindow::instructions() {
    return QStringLiteral(
        "<h3>电压电流校准操作说明</h3>"
        "<p>本窗口调整各通道的四个校准系数：电压采样校准、电流采样校准修正测得的电压和电流；"
        "电压控制校准、电流控制校准修正发给仪器的设定电压和设定电流。"
        "调整立即生效：下一次通讯和下一次采样就使用新系数，同时保存到设置中。"
        "窗口可以在测试进行中一直打开，上方显示各通道的实时电压和电流。</p>"
        "<h4>电压校准</h4><ol>"
        "<li>第1通道不接负载，接上电压表，电压表放在1000V档。</li>"
        "<li>在主画面把化成电压设为800V，启动1-3通道测试。</li>"
        "<li>在本窗口选择校准通道和“电压采样校准”，选粗调或细调。</li>"
        "<li>按“增加”或“减少”，直到窗口显示的电压与电压表读数一致。</li></ol>"
        "<h4>电流校准</h4><ol>"
        "<li>第1通道不接负载，接上电流表，电流表放在20mA档。</li>"
        "<li>化成电压设为800V，启动1-3通道测试。</li>"
        "<li>用仪器前面板上的电位器把该通道电流调到1～10mA之间。</li>"
        "<li>选择“电流采样校准”，同样按“增加”或“减少”，直到显示的电流与电流表读数一致。</li>"
        "</ol>"
        "<p>其它通道按第1通道的方法校准。</p>"
        "<h4>调节步长</h4>"
        "<p>粗调每按一次改变1%，细调每按一次改变0.05%。每次都是在当前系数上相乘，"
        "所以先增加再减少得到0.9999，而不是回到1。</p>"
        "<h4>恢复默认值</h4>"
        "<p>"
        "“恢复默认值”先询问“确定要将全部通道的校准系数恢复为默认值吗？”，选“是”后把六个通道的全部系"
        "数"
        "恢复为出厂值1，并把各通道曲线图和组合图的时间轴比例恢复为初始值（下次重画坐标时生效）。"
        "“撤销上次恢复”按校准记录中最近一次恢复默认值前的系数改回（询问后执行），时间轴比例不变。</"
        "p>"
        "<h4>校准记录</h4>"
        "<p>每次调整都记入校准记录：时间、通道、项目、原值、新值和当时屏幕上第1路的测试人；"
        "恢复默认值记为一条，原值一栏列出被恢复前不为1的系数。</p>");
}

} // namespace q7rk
