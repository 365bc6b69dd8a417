#include "app/EntryHint.h"
#include "app/HelpWindow.h"
#include "app/MainWindow.h"
#include "app/MessageLogWindow.h"
#include "app/Translations.h"
#include "app/TrendWindow.h"
#include "charts/ChartCanvas.h"
#include "charts/ChartSet.h"
#include "logging/DailyLog.h"
#include "params/PanelModel.h"
#include "plant/PlantPage.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"
#include "version/Version.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>

using namespace q7rk;

// The window on the offscreen platform with a fresh settings file and scripted dialogs. The
// models decide everything; these tests prove that the widgets show the models and that
// the operator's actions reach them.
class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QFile::remove(m_dir.filePath(QStringLiteral("q7rk.ini")));
        auto prompter = std::make_unique<ScriptedPrompter>();
        m_prompter = prompter.get();
        m_window = std::make_unique<MainWindow>(m_dir.filePath(QStringLiteral("q7rk.ini")),
                                                std::move(prompter));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void everyBoxHasAWidgetShowingTheModel() {
        PanelModel& panel = m_window->panel();
        for (int k = 0; k < ChannelCount; ++k) {
            for (int n = 1; n <= 40; ++n) {
                const QString name = QStringLiteral("Text%1_%2").arg(n).arg(k);
                auto* edit = m_window->findChild<QLineEdit*>(name);
                QVERIFY2(edit, qPrintable(name));
                QCOMPARE(edit->text(), panel.text(k, textBox(n)));
                QCOMPARE(edit->isEnabled(), panel.isEnabled(k, textBox(n)));
            }
            for (Box b :
                 {Box::VoltageBeforeSpark1, Box::VoltageBeforeSpark2, Box::VoltageBeforeSpark3}) {
                auto* edit = box(qPrintable(boxName(b)), k);
                QVERIFY2(edit, qPrintable(boxName(b)));
                QCOMPARE(edit->text(), panel.text(k, b));
                QCOMPARE(edit->isEnabled(), panel.isEnabled(k, b));
                QCOMPARE(edit->isEnabled(), box("Text29", k)->isEnabled()); // as its spark's
            }
        }

        // Readouts are written by the sampling tick, never typed.
        panel.setText(4, Box::LiveVoltage, QStringLiteral("123.4"));
        QCOMPARE(box("Text25", 4)->text(), QStringLiteral("123.4"));
        QVERIFY(box("Text25", 4)->isReadOnly());
    }

    void leavingABoxShowsTheCheckedTextInEveryLinkedBox() {
        m_window->tabs()->setCurrentIndex(3);
        QLineEdit* formation = box("Text1", 0);
        typeInto(formation, QStringLiteral("1500"));
        QCOMPARE(m_window->panel().text(0, Box::FormationVoltage), QStringLiteral("1500"));

        // Leaving by focus: 1500 is outside 1..1000, and the formation voltage reaches all six
        // linked channels.
        box("Text2", 0)->setFocus();
        QTRY_COMPARE(formation->text(), QStringLiteral("200"));
        QCOMPARE(box("Text1", 5)->text(), QStringLiteral("200"));

        // Leaving by Return: a value in range is kept and copied within the group.
        typeInto(box("Text3", 0), QStringLiteral("15"));
        QTest::keyClick(box("Text3", 0), Qt::Key_Return);
        QCOMPARE(box("Text3", 2)->text(), QStringLiteral("15"));

        // The Vr ratio is checked while typing: deleting its last digit gives 90 at once.
        QLineEdit* ratio = box("Text2", 1);
        ratio->setFocus();
        ratio->end(false);
        const int length = int(ratio->text().size());
        for (int i = 0; i < length; ++i)
            QTest::keyClick(ratio, Qt::Key_Backspace);
        QCOMPARE(ratio->text(), QStringLiteral("90"));
    }

    // Focus passing through a box (clicked into and out, or tabbed through) copies nothing:
    // channel 4's start-up 800 V never reaches channels 1-3.
    void focusPassingThroughABoxCopiesNothing() {
        m_window->tabs()->setCurrentIndex(3);
        m_window->panel().setText(3, Box::FormationVoltage, QStringLiteral("800"));
        box("Text1", 3)->setFocus();
        QTest::keyClick(box("Text1", 3), Qt::Key_Tab);
        box("Text42", 0)->setFocus();
        for (int i = 0; i < 40; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        for (int k = 0; k < 3; ++k)
            QCOMPARE(box("Text1", k)->text(), QStringLiteral("200"));
        QCOMPARE(box("Text1", 3)->text(), QStringLiteral("800"));
    }

    // A linked 测试人 is copied once, when its box is left; the box the click lands in takes
    // its own typing in place of the copy (not "zhangsan" twice). A command from the toolbar
    // or a menu, which leaves no box, sees the names all the same.
    void linkedNamesCopyOnLeave() {
        m_window->tabs()->setCurrentIndex(3);
        QLineEdit* second = box("Text15", 1);
        typeInto(box("Text15", 0), QStringLiteral("zhangsan"));
        QCOMPARE(second->text(), QString());
        QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(second->width() - 4, 8));
        QCOMPARE(box("Text15", 2)->text(), QStringLiteral("zhangsan"));
        QTRY_VERIFY(second->hasSelectedText());
        QTest::keyClicks(second, QStringLiteral("lisi"));
        QCOMPARE(second->text(), QStringLiteral("lisi"));

        m_window->station().perform(Command::HideCurrentCurves);
        for (int k : {0, 2})
            QCOMPARE(box("Text15", k)->text(), QStringLiteral("lisi"));
    }

    // A replaced entry's hint covers no other box and goes by itself.
    void entryHintStaysClearAndGoes() {
        m_window->tabs()->setCurrentIndex(3);
        typeInto(box("Text3", 1), QStringLiteral("abc"));
        box("Text4", 1)->setFocus();
        auto* hint = widget<QLabel>(QStringLiteral("EntryHint"));
        QVERIFY(hint->isVisible());
        const QRect at(hint->mapTo(m_window.get(), QPoint()), hint->size());
        for (const QWidget* other : m_window->findChildren<QLineEdit*>())
            if (other->isVisible() && other != box("Text3", 1))
                QVERIFY2(
                    !at.intersects(QRect(other->mapTo(m_window.get(), QPoint()), other->size())),
                    qPrintable(other->objectName()));
        QTRY_VERIFY_WITH_TIMEOUT(!hint->isVisible(), EntryHint::ShownMs + 2000);
    }

    void comboAndChartsFollowTheModel() {
        auto* position = widget<QComboBox>(QStringLiteral("Combo1_1"));
        position->setCurrentIndex(4); // what picking "HR" from the list does
        QCOMPARE(m_window->panel().text(1, Box::SamplePosition), QStringLiteral("HR"));
        m_window->panel().setText(1, Box::SamplePosition, QStringLiteral("TM"));
        QCOMPARE(position->currentText(), QStringLiteral("TM"));

        // A new formation voltage reframes TV(2); the view shows the redrawn picture.
        m_window->tabs()->setCurrentIndex(0);
        auto* view = widget<QWidget>(QStringLiteral("TV_2"));
        const ChartCanvas& canvas = m_window->charts().channelChart(2);
        const QImage before = canvas.image().copy();
        m_window->panel().type(2, Box::FormationVoltage, QStringLiteral("600"));
        m_window->panel().leave(2, Box::FormationVoltage);
        QVERIFY(canvas.image() != before);
        const QImage shown = view->grab().toImage().convertToFormat(canvas.image().format());
        const QRect aboveReadout(0, 0, view->width(), widget<QLabel>("Label70_2")->y());
        QCOMPARE(shown.copy(aboveReadout), canvas.image().copy(aboveReadout));
    }

    // The charts grow with the window: a line's end lies where the chart's scale puts its
    // twips, in the picture the operator sees, and the mouse readout follows the scale.
    void chartsScaleWithTheWindow() {
        m_window->tabs()->setCurrentIndex(0);
        ChartCanvas& canvas = m_window->charts().channelChart(0);
        canvas.drawLine(QPointF(400, 3600), QPointF(4400, 800), QColor(255, 0, 255));
        auto* view = widget<QWidget>(QStringLiteral("TV_0"));
        const auto lineEnd = [view] {
            const QImage shown = view->grab().toImage();
            int right = -1;
            for (int x = 0; x < shown.width(); ++x)
                for (int y = 0; y < shown.height(); ++y)
                    if (shown.pixelColor(x, y) == QColor(255, 0, 255)) right = x;
            return right;
        };
        QList<int> ends;
        for (const QSize size : {QSize(1024, 768), QSize(1920, 1080)}) {
            m_window->resize(size);
            QTRY_COMPARE(view->size(), canvas.image().size());
            QCOMPARE(lineEnd(), canvas.column(4400));
            ends << lineEnd();
        }
        QCOMPARE_GT(ends[1], ends[0] * 1.4); // full screen: the charts take the room

        // Twips (1500, 1800) over channel 1 at 200 V: 88 s, 135 V within a pixel.
        m_window->panel().setText(0, Box::FormationVoltage, QStringLiteral("200"));
        QTest::mouseMove(view, canvas.toPixels(QPointF(1500, 1800)).toPoint());
        QTRY_VERIFY(widget<QLabel>("Label70_0")->text().startsWith(QStringLiteral("鼠标点：88S ")));
        const QString volts = widget<QLabel>("Label70_0")->text().section(' ', 1, 1);
        QCOMPARE_LT(std::abs(volts.chopped(2).toDouble() - 135.0), 1.0);
    }

    void testKindOptionDisablesAndRecaptionsOneGroup() {
        m_window->tabs()->setCurrentIndex(3);
        auto* leakage = widget<QRadioButton>(QStringLiteral("Option6_1"));
        QTest::mouseClick(leakage, Qt::LeftButton);

        // Which boxes and captions a kind has is the panel model's test; here the widgets
        // of the switched group follow it and the other group's stay.
        for (int k : {0, 5}) {
            QCOMPARE(box("Text1", k)->isEnabled(), k < 3);
            QCOMPARE(widget<QLabel>(QStringLiteral("Label52_%1").arg(k))->text(),
                     k < 3 ? QStringLiteral("VT") : QStringLiteral("漏电"));
        }
    }

    void shellWidgetsMirrorTheShell() {
        auto* toolbar = widget<QToolBar>(QStringLiteral("Toolbar1"));
        QVERIFY(!toolbar->isVisible()); // no link yet, so no test can be started
        ShellModel& shell = m_window->shell();
        shell.setToolbarVisible(true);
        QVERIFY(toolbar->isVisible());
        shell.setButtonCaption(Command::RunChannels123, QStringLiteral("1-3测试停止"));
        shell.setButtonEnabled(Command::RunChannels12, false);
        QCOMPARE(widget<QAction>(QStringLiteral("test13"))->text(), QStringLiteral("1-3测试停止"));
        QVERIFY(!widget<QAction>(QStringLiteral("test46"))->isEnabled());
        shell.setStatusText(7, QStringLiteral("COM2通讯正常"));
        QCOMPARE(widget<QLabel>(QStringLiteral("panel7"))->text(), QStringLiteral("COM2通讯正常"));
    }

    void menuAndToolbarReachTheStation() {
        QLineEdit* riseTime = box("Text6", 0);
        typeInto(riseTime, QStringLiteral("35"));
        menuAction("new")->trigger();
        QCOMPARE(riseTime->text(), QStringLiteral("0"));

        typeInto(box("Text8", 2), QStringLiteral("ok"));
        widget<QAction>(QStringLiteral("new2"))->trigger();
        QCOMPARE(box("Text8", 2)->text(), QStringLiteral("待定"));

        menuAction("help")->trigger();
        HelpWindow* help = m_window->helpWindow();
        QVERIFY(help && help->isVisible());
        QVERIFY(help->browser()->toPlainText().contains(QStringLiteral("打开串口")));
        help->findChild<QPushButton*>(QStringLiteral("HelpClose"))->click();
        QVERIFY(!help->isVisible());
        menuAction("retryPlant")->trigger();
        QVERIFY(widget<QWidget>(QStringLiteral("PlantQueueWindow"))->isVisible());
        widget<QAction>(QStringLiteral("trend2"))->trigger();
        QVERIFY(widget<QWidget>(QStringLiteral("TrendWindow"))->isVisible());
        // A foil chosen on the plant's trend opens on the plant page, as 打开 there does.
        auto* trend = qobject_cast<TrendWindow*>(widget<QWidget>(QStringLiteral("TrendWindow")));
        emit trend->foilChosen(QStringLiteral("K1"));
        QCOMPARE(m_window->tabs()->tabText(m_window->tabs()->currentIndex()),
                 QStringLiteral("工厂数据库"));
        QCOMPARE(m_window->findChild<QLineEdit*>(PlantPage::boxName(FoilBox::Serial))->text(),
                 QStringLiteral("K1"));
        m_prompter->clear(); // the plant this test has not set up is told
        menuAction("about")->trigger();
        QVERIFY(m_prompter->texts().value(0).contains(QStringLiteral("版本 ") + version::Number));
        m_prompter->clear();

        // A box a refused save names is brought to the front, focused.
        m_window->showBox(1, Box::TvOperator);
        QCOMPARE(m_window->tabs()->currentIndex(), 3);
        QTRY_COMPARE(QApplication::focusWidget(), box("Text15", 1));

        menuAction("exit")->trigger();
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_prompter->shown().isEmpty());
    }

    // 导出诊断信息 proposes a dated name, writes the archive the operator names and says where.
    void diagnosticsGoWhereTheOperatorSays() {
        const QString archive = m_dir.filePath(QStringLiteral("诊断.zip"));
        m_prompter->queueFileName(archive);
        menuAction("exportDiagnostics")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_prompter->texts().isEmpty(), 30000);
        QVERIFY2(
            m_prompter->texts().first().startsWith(QStringLiteral("诊断信息已写入：\n") + archive),
            qPrintable(m_prompter->texts().first()));
        QVERIFY(QRegularExpression(QStringLiteral("/q7rk-诊断-\\d{8}-\\d{4}\\.zip$"))
                    .match(m_prompter->shown().first().text)
                    .hasMatch());
        QFile file(archive);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(4), QByteArray("PK\x03\x04"));
    }

    // 消息记录 lists what this session told the operator and the status bar's texts, from the
    // day files on both sides of midnight, and not a line of an earlier session.
    void messageLogShowsThisSession() {
        const QDate today = QDate::currentDate();
        QDateTime now(today.addDays(-1), QTime(23, 59, 50));
        QFile earlier(m_dir.filePath(
            QStringLiteral("logs/q7rk-%1.log").arg(today.addDays(-1).toString(Qt::ISODate))));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("logs"))));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write(now.addSecs(-5).toString("yyyy-MM-dd HH:mm:ss.zzz").toUtf8() +
                      " I q7rk.ui: told: 关于 - 上次运行的消息\n");
        earlier.close();
        DailyLog log({m_dir.path(), QStringLiteral("q7rk"), 30, 1 << 20, [&now] { return now; }});
        log.install();

        now = now.addSecs(5);
        menuAction("about")->trigger();
        now = QDateTime(today, QTime(0, 0, 3));
        m_window->shell().setStatusText(7, QStringLiteral("COM2通讯正常"));
        menuAction("messageLog")->trigger();

        QTableWidget* table = m_window->messageLogWindow()->table();
        QVERIFY(m_window->messageLogWindow()->isVisible());
        QCOMPARE(table->rowCount(), 2);
        const auto row = [table](int r) {
            return QStringList{table->item(r, 0)->text(), table->item(r, 1)->text(),
                               table->item(r, 2)->text()};
        };
        QCOMPARE(row(0),
                 (QStringList{today.addDays(-1).toString("yyyy-MM-dd") + " 23:59:55",
                              QStringLiteral("消息"), m_prompter->texts().first().simplified()}));
        QCOMPARE(row(1), (QStringList{today.toString("yyyy-MM-dd") + " 00:00:03",
                                      QStringLiteral("状态"), QStringLiteral("COM2通讯正常")}));
        m_window->messageLogWindow()->findChild<QPushButton*>("MessageLogCopy")->click();
        QCOMPARE(QGuiApplication::clipboard()->text().count('\n'), 2);
    }

    // Whatever a page holds lies inside its scroll area's content, and the scroll bars reach all
    // of the content, with the test toolbar shown.
    void everyControlIsReachableAt1024x768AndThePanelsFit1280() {
        m_window->shell().setToolbarVisible(true);
        m_window->resize(1024, 768);
        QCOMPARE(m_window->size(), QSize(1024, 768));
        for (int tab = 0; tab < 5; ++tab) {
            m_window->tabs()->setCurrentIndex(tab);
            auto* page = qobject_cast<QScrollArea*>(m_window->tabs()->widget(tab));
            QVERIFY2(page, qPrintable(QString::number(tab)));
            QTRY_VERIFY(page->viewport()->width() > 0);
            const QWidget* content = page->widget();
            // The chart pages fit their charts to the page: the scroll bars settle after.
            QTRY_VERIFY(page->horizontalScrollBar()->maximum() >=
                        content->width() - page->viewport()->width());
            QTRY_VERIFY(page->verticalScrollBar()->maximum() >=
                        content->height() - page->viewport()->height());
            for (const QWidget* control : content->findChildren<QWidget*>()) {
                if (!qobject_cast<const QLineEdit*>(control) &&
                    !qobject_cast<const QComboBox*>(control) &&
                    !qobject_cast<const QRadioButton*>(control) &&
                    !control->inherits("q7rk::ChartView"))
                    continue;
                const QRect place(control->mapTo(content, QPoint()), control->size());
                QVERIFY2(content->rect().contains(place), qPrintable(control->objectName()));
            }
        }
        // On the bench's 1280×800 screen the parameter pages fit across: no frame is cut off
        // on the right behind a scroll bar.
        m_window->resize(1280, 800);
        for (int tab : {3, 4}) {
            m_window->tabs()->setCurrentIndex(tab);
            auto* page = qobject_cast<QScrollArea*>(m_window->tabs()->widget(tab));
            QTRY_COMPARE(page->viewport()->width(), page->width() - 2 * page->frameWidth());
            QCOMPARE(page->horizontalScrollBar()->maximum(), 0);
        }
    }

    // Qt's own dialogs take their button texts from the installed translation.
    void qtDialogsSpeakChinese() {
        QVERIFY(installChineseTranslation(*QCoreApplication::instance()));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    }

private:
    template <typename T> T* widget(const QString& name) const {
        T* w = m_window->findChild<T*>(name);
        if (!w) qFatal("no widget %s", qPrintable(name));
        return w;
    }

    QLineEdit* box(const char* name, int channel) const {
        return widget<QLineEdit>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(channel));
    }

    // Types into a box the way the operator does: select what is there, type over it.
    void typeInto(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    QAction* menuAction(const char* name) const { return widget<QAction>(QLatin1String(name)); }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    ScriptedPrompter* m_prompter = nullptr;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
