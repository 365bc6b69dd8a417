#include "app/HelpWindow.h"
#include "app/MainWindow.h"
#include "app/Translations.h"
#include "shell/ScriptedPrompter.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
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
        QVERIFY(m_dir.isValid());
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
            for (const char* combo : {"Combo1", "Combo2"}) {
                const QString name = QStringLiteral("%1_%2").arg(QLatin1String(combo)).arg(k);
                QVERIFY2(m_window->findChild<QComboBox*>(name), qPrintable(name));
            }
        }
        QCOMPARE(box("Text42", 0)->text(), panel.text(0, Box::Text42));
        QVERIFY(!m_window->findChild<QLineEdit*>(QStringLiteral("Text41_1")));

        // Readouts are written by the sampling tick, never typed.
        panel.setText(4, Box::Text25, QStringLiteral("123.4"));
        QCOMPARE(box("Text25", 4)->text(), QStringLiteral("123.4"));
        QVERIFY(box("Text25", 4)->isReadOnly());
    }

    void leavingABoxShowsTheCheckedTextInEveryLinkedBox() {
        m_window->tabs()->setCurrentIndex(3);
        QLineEdit* formation = box("Text1", 0);
        typeInto(formation, QStringLiteral("1500"));
        QCOMPARE(formation->text(), QStringLiteral("1500"));
        QCOMPARE(m_window->panel().text(0, Box::Text1), QStringLiteral("1500"));

        // Leaving by focus: 1500 is outside 1..1000, and the formation voltage reaches all six
        // linked channels.
        box("Text2", 0)->setFocus();
        QTRY_COMPARE(formation->text(), QStringLiteral("200"));
        QCOMPARE(box("Text1", 5)->text(), QStringLiteral("200"));

        // Leaving by Return: a value in range is kept and copied within the group only.
        const QString channel4 = box("Text3", 3)->text();
        typeInto(box("Text3", 0), QStringLiteral("15"));
        QTest::keyClick(box("Text3", 0), Qt::Key_Return);
        QCOMPARE(box("Text3", 2)->text(), QStringLiteral("15"));
        QCOMPARE(box("Text3", 3)->text(), channel4);

        // The Vr ratio is checked while typing: deleting its last digit gives 90 at once.
        QLineEdit* ratio = box("Text2", 1);
        ratio->setFocus();
        ratio->end(false);
        const int length = int(ratio->text().size());
        for (int i = 0; i < length; ++i)
            QTest::keyClick(ratio, Qt::Key_Backspace);
        QCOMPARE(ratio->text(), QStringLiteral("90"));
        QCOMPARE(m_window->panel().text(1, Box::Text2), QStringLiteral("90"));
    }

    void comboAndChartFollowTheModel() {
        auto* position = widget<QComboBox>(QStringLiteral("Combo1_1"));
        QStringList items;
        for (int i = 0; i < position->count(); ++i)
            items << position->itemText(i);
        QCOMPARE(items, (QStringList{"HL", "TL", "HM", "TM", "HR", "TR"}));
        QCOMPARE(position->currentText(), m_window->panel().text(1, Box::Combo1));

        position->setCurrentIndex(4); // what picking "HR" from the list does
        QCOMPARE(m_window->panel().text(1, Box::Combo1), QStringLiteral("HR"));
        m_window->panel().setText(1, Box::Combo1, QStringLiteral("TM"));
        QCOMPARE(position->currentText(), QStringLiteral("TM"));

        // A new formation voltage reframes TV(2); the view shows the redrawn picture.
        m_window->tabs()->setCurrentIndex(0);
        auto* view = widget<QWidget>(QStringLiteral("TV_2"));
        const ChartCanvas& canvas = m_window->charts().channelChart(2);
        QCOMPARE(view->size(), canvas.image().size());
        const QImage before = canvas.image().copy();
        m_window->panel().setText(2, Box::Text1, QStringLiteral("600"));
        m_window->panel().leave(2, Box::Text1);
        QVERIFY(canvas.image() != before);
        const QImage shown = view->grab().toImage().convertToFormat(canvas.image().format());
        const QRect aboveReadout(0, 0, view->width(), widget<QLabel>("Label70_2")->y());
        QCOMPARE(shown.copy(aboveReadout), canvas.image().copy(aboveReadout));
    }

    void testKindOptionDisablesAndRecaptionsOneGroup() {
        m_window->tabs()->setCurrentIndex(3);
        auto* leakage = widget<QRadioButton>(QStringLiteral("Option6_1"));
        QTest::mouseClick(leakage, Qt::LeftButton);

        // Which boxes and captions a kind has is the panel model's test; here the widgets
        // of the switched group follow it and the other group's stay.
        for (int k : {0, 5}) {
            QCOMPARE(box("Text1", k)->isEnabled(), k < 3);
            QCOMPARE(box("Text9", k)->isEnabled(), k >= 3);
            QCOMPARE(label("Label52", k), k < 3 ? QStringLiteral("VT") : QStringLiteral("漏电"));
        }
        QVERIFY(leakage->isChecked());
        QVERIFY(!widget<QRadioButton>(QStringLiteral("Option5_1"))->isChecked());
        QVERIFY(widget<QRadioButton>(QStringLiteral("Option5_0"))->isChecked());

        // Clicking the selected option again leaves it selected, as the model says.
        QTest::mouseClick(leakage, Qt::LeftButton);
        QVERIFY(leakage->isChecked());
        QVERIFY(m_window->panel().option(Option::LeakageTest, 1));
    }

    void shellWidgetsMirrorTheShellModel() {
        QStringList topLevel;
        for (const QAction* action : m_window->menuBar()->actions())
            topLevel << action->text();
        QCOMPARE(topLevel, (QStringList{"文件(&F)", "操作", "通讯设置(&C)", "图形设置(&I)",
                                        "合并报表", "帮助(&H)"}));
        QCOMPARE(menuAction("save")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));

        // No link yet, so no test can be started from the toolbar.
        auto* toolbar = widget<QToolBar>(QStringLiteral("Toolbar1"));
        QVERIFY(!toolbar->isVisible());
        ShellModel& shell = m_window->shell();
        shell.setToolbarVisible(true);
        QVERIFY(toolbar->isVisible());
        QCOMPARE(widget<QAction>(QStringLiteral("test13"))->text(), QStringLiteral("1-3测试开始"));
        shell.setButtonCaption(QStringLiteral("test13"), QStringLiteral("1-3测试停止"));
        shell.setButtonEnabled(QStringLiteral("test46"), false);
        QCOMPARE(widget<QAction>(QStringLiteral("test13"))->text(), QStringLiteral("1-3测试停止"));
        QVERIFY(!widget<QAction>(QStringLiteral("test46"))->isEnabled());

        shell.setMenuCaption(QStringLiteral("RJ45"), QStringLiteral("以太网断开"));
        shell.setMenuEnabled(QStringLiteral("connet"), false);
        QCOMPARE(menuAction("RJ45")->text(), QStringLiteral("以太网断开"));
        QVERIFY(!menuAction("connet")->isEnabled());

        QCOMPARE(widget<QLabel>(QStringLiteral("panel7"))->text(), shell.statusText(7));
        shell.setStatusText(7, QStringLiteral("COM2通讯正常"));
        QCOMPARE(widget<QLabel>(QStringLiteral("panel7"))->text(), QStringLiteral("COM2通讯正常"));
    }

    void menuAndToolbarReachTheController() {
        QLineEdit* riseTime = box("Text6", 0);
        typeInto(riseTime, QStringLiteral("35"));
        QCOMPARE(m_window->panel().text(0, Box::Text6), QStringLiteral("35"));
        menuAction("new")->trigger();
        QCOMPARE(riseTime->text(), QStringLiteral("0"));
        QCOMPARE(widget<QLabel>(QStringLiteral("panel1"))->text(), QStringLiteral("第1路关闭"));

        typeInto(box("Text8", 2), QStringLiteral("ok"));
        widget<QAction>(QStringLiteral("new2"))->trigger();
        QCOMPARE(box("Text8", 2)->text(), QStringLiteral("待定"));

        menuAction("help")->trigger();
        HelpWindow* help = m_window->helpWindow();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(help->browser()->toPlainText().contains(QStringLiteral("打开串口")));
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keyClick(help->browser(), Qt::Key_Escape);
        QVERIFY(!help->isVisible());
        menuAction("help")->trigger();
        help->findChild<QPushButton*>(QStringLiteral("HelpClose"))->click();
        QVERIFY(!help->isVisible());

        // A box a refused save names is brought to the front, focused.
        m_window->showBox(1, Box::Text15);
        QCOMPARE(m_window->tabs()->currentIndex(), 3);
        QTRY_COMPARE(QApplication::focusWidget(), box("Text15", 1));

        menuAction("exit")->trigger();
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_prompter->shown().isEmpty());
    }

    void tabsShowTheirChartsAndTheMouseIsReadOut() {
        m_window->tabs()->setCurrentIndex(2);
        QVERIFY(widget<QWidget>("TV16_2")->isVisible());
        for (const char* name : {"TV_0", "TV_5", "TV16_0", "TV16_1"})
            QVERIFY2(widget<QWidget>(name)->isHidden(), name);

        m_window->tabs()->setCurrentIndex(0);
        m_window->panel().setText(0, Box::Text1, QStringLiteral("200"));
        auto* view = widget<QWidget>("TV_0");
        QVERIFY(view->isVisible());
        QTest::mouseMove(view, QPoint(100, 120)); // twips (1500, 1800)
        QTRY_COMPARE(widget<QLabel>("Label70_0")->text(),
                     QStringLiteral("鼠标点：88S 135.0V, 9.0mA "));

        // The tip label of channel 1 rides on its newest point in TV16(0).
        m_window->channels().channelStopped[0] = false;
        m_window->samples().set(0, 2, 150, 0);
        m_window->plotter().plot(0, 1, 0);
        m_window->plotter().plot(0, 2, 0);
        auto* tip = widget<QLabel>("Label69_0");
        QVERIFY(!tip->isHidden());
        QCOMPARE(tip->pos(), QPoint((400 + 2 * 50) / 15, 2000 / 15));
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
            QVERIFY(page->horizontalScrollBar()->maximum() >=
                    content->width() - page->viewport()->width());
            QVERIFY(page->verticalScrollBar()->maximum() >=
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

    void qtDialogsSpeakChinese() {
        QVERIFY(installChineseTranslation(*QCoreApplication::instance()));
        QFileDialog dialog(m_window.get(), QStringLiteral("另存为"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QVERIFY(buttons->button(QDialogButtonBox::Save)->text().contains(QStringLiteral("保存")));
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

    QString label(const char* name, int channel) const {
        return widget<QLabel>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(channel))
            ->text();
    }
    QAction* menuAction(const char* name) const { return widget<QAction>(QLatin1String(name)); }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    ScriptedPrompter* m_prompter = nullptr;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
