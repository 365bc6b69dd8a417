// The plant page's widgets: typing both ways, the grid, the 上传确认 choice, and a pick list
// that closes again when the database cannot be reached; the queue window over a data source
// that is missing.
#include "app/PlantPageWidget.h"
#include "app/PlantQueueWindow.h"
#include "plant/PlantQueuePresenter.h"
#include "shell/ScriptedPrompter.h"
#include "support/TestStation.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

using namespace q7rk;

class PlantPageWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void widgetsFollowThePage() {
        testing::TestStation p;
        Station& station = p.station;
        ScriptedPrompter& prompter = p.prompter;
        station.startUp();
        PlantPage& page = station.plant();
        station.setPlantSource(PlantSource("nowhere"), p.path("queue.db"));
        PlantPageWidget widget(page);
        widget.show();

        auto* serial = widget.findChild<QLineEdit*>("txtWhole");
        QVERIFY(serial);
        serial->clear();
        QTest::keyClicks(serial, "h3a");
        QCOMPARE(page.text(FoilBox::Serial), QString("H3A"));
        page.setText(FoilBox::Weight, "12");
        QCOMPARE(widget.box(FoilBox::Weight)->text(), QString("12"));

        QTableWidget* grid = widget.findChild<QTableWidget*>("Grid2");
        QTest::keyClicks(widget.findChild<QLineEdit*>("Cap2"), "1.23456");
        QCOMPARE(grid->item(2, 1)->text(), QString("1.235"));
        page.resetPieceGrid();
        QCOMPARE(grid->item(2, 1)->text(), QString());

        // 上传确认 starts at 逐片 and is kept in the settings.
        auto* confirm = widget.findChild<QComboBox*>("uploadConfirm");
        QCOMPARE(confirm->currentText(), QString("逐片"));
        QTest::keyClick(confirm, Qt::Key_Down);
        QCOMPARE(p.settings.read("canshu", "uploadConfirm"), QString("once"));
        page.setUploadConfirm(UploadConfirm::EachPiece);
        QCOMPARE(confirm->currentText(), QString("逐片"));

        QTest::mouseDClick(serial, Qt::LeftButton);
        QVERIFY(prompter.texts().last().contains("nowhere"));
        QVERIFY(!widget.findChild<QListWidget*>("List1")->isVisible());
        QVERIFY(serial->isVisible());
    }

    void queueWindowSendsHeldEntriesOnlyWhenAsked() {
        testing::TestStation p;
        Station& station = p.station;
        ScriptedPrompter& prompter = p.prompter;
        station.startUp();
        const UploadQueue queue(p.path("queue.db"));
        PieceUpload piece; // numbers enough to reach the connection
        piece.serial = "S1";
        piece.riseTime = piece.maxVoltage = piece.tvValue = "1";
        for (auto [n, state] : {std::pair(5, OutboxState::Held), {2, OutboxState::Waiting}}) {
            piece.curveNumber = n;
            QVERIFY(queue.add(piece, state, "too long").ok());
        }
        PlantQueuePresenter& presenter = station.plantQueue();
        station.setPlantSource(PlantSource("nowhere"), queue.path());
        PlantQueueWindow window(station);
        window.show();
        auto* list = window.findChild<QTableWidget*>("queueList");
        auto cell = [list](int row, int column) { return list->item(row, column)->text(); };
        auto click = [&window](const char* name) {
            QTest::mouseClick(window.findChild<QPushButton*>(name), Qt::LeftButton);
        };
        // By state: what a retry sends first, what waits for the operator after.
        QCOMPARE(QStringList({cell(1, 0), cell(1, 1), cell(1, 2), cell(1, 6)}),
                 QStringList({"被拒绝，需处理", "S1", "2'", "too long"}));
        // Sending or removing the chosen pieces waits for a choice.
        const auto enabled = [&window](const char* name) {
            return window.findChild<QPushButton*>(name)->isEnabled();
        };
        QVERIFY(enabled("retryAll") && !enabled("retrySelected") && !enabled("removeSelected"));

        // The automatic pass leaves the held piece; the window's pass sends it (and the
        // missing data source keeps it waiting). Neither holds up the caller.
        QSignalSpy retried(&presenter, &PlantQueuePresenter::queueRetried);
        QVERIFY(presenter.retryQueue());
        QVERIFY(presenter.retrying() && retried.isEmpty());
        QVERIFY(retried.wait());
        QCOMPARE(QStringList({cell(0, 0), cell(1, 0), cell(1, 6)}),
                 QStringList({"等待补传", "被拒绝，需处理", "too long"}));
        QVERIFY(cell(0, 6).contains("nowhere"));
        list->selectRow(1);
        click("retrySelected");
        QCOMPARE(window.findChild<QLabel*>("queueStatus")->text(),
                 QString("正在补传工厂数据：0/1"));
        QVERIFY(!window.findChild<QPushButton*>("retryAll")->isEnabled());
        QVERIFY(retried.wait());
        QCOMPARE(QStringList({cell(0, 0), cell(0, 2)}), QStringList({"等待补传", "2'"}));
        QVERIFY(cell(0, 6).contains("nowhere"));
        // The chosen piece moved up and stays the one chosen.
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(list->selectionModel()->selectedRows().front().row(), 0);

        // Removal names the piece and waits for Yes.
        list->selectRow(1);
        prompter.setAnswer(Question::RemoveQueuedUpload, false);
        click("removeSelected");
        QCOMPARE(
            prompter.texts().last(),
            QString("确定从待传队列中删除卷号S1第2片的数据吗？删除后不会再上传到工厂数据库。"));
        QCOMPARE(list->rowCount(), 2);
        prompter.setAnswer(Question::RemoveQueuedUpload, true);
        click("removeSelected");
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(presenter.pendingCount(), 1);

        // Quitting during a pass waits for its end, without a loop of its own.
        QVERIFY(station.retryPlant());
        QSignalSpy quit(&station, &Station::quitRequested);
        QVERIFY(!station.mayQuit());
        QVERIFY(quit.wait());
        QCOMPARE(queue.count().value, 1);
    }
};

QTEST_MAIN(PlantPageWidgetTest)
#include "tst_plantpagewidget.moc"
