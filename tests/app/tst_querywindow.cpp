#include "app/CorrectionDialog.h"
#include "app/QueryWindow.h"
#include "params/PanelModel.h"
#include "params/StoredBoxes.h"
#include "plant/PlantQueuePresenter.h"
#include "results/QueryModel.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "results/ResultTexts.h"
#include "shell/ScriptedPrompter.h"
#include "support/StoredTests.h"
#include "support/TestStation.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace q7rk;
using q7rk::testing::storedTest;
using S = QStringList;

namespace {

template <typename T> T* child(const QObject& parent, const char* name) {
    T* w = parent.findChild<T*>(QLatin1String(name));
    if (!w) qFatal("no widget %s", name);
    return w;
}

// The station's query window over real result files holding five TV tests, one leakage and
// one electrolyte.
struct Rig : q7rk::testing::TestStation {
    const ResultStore& store = station.results();
    QueryWindow window{station.query(), prompter};

    Rig() {
        ResultStore store;
        for (int i = 0; i < 5; ++i)
            store.save(storedTest(TestKind::Tv, {{"测试编号", QString("A%1HL").arg(i + 1)},
                                                 {"化成电压", QString::number(100 + 50 * i)},
                                                 {"测试人", i ? "张三" : "O'Brien"}}));
        store.save(storedTest(TestKind::Leakage, {{"测试编号", "L1TM"}, {"漏电流电压", "50"}}));
        store.save(storedTest(TestKind::Electrolyte, {{"测试编号", "E1HR"}, {"火花电压1", "250"}}));
        panel.setText(0, Box::TvOperator, "张三"); // who signs the changes
        window.show();
    }

    QComboBox* combo(const char* name) { return child<QComboBox>(window, name); }
    QLineEdit* edit(const char* name) { return child<QLineEdit>(window, name); }
    void click(const char* name) {
        QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
    }
    QTableView* grid() { return child<QTableView>(window, "MSHFlexGrid1"); }
    QString cell(int row, int column = 0) {
        return grid()->model()->index(row, column).data().toString();
    }
    void select(int row) { grid()->setCurrentIndex(grid()->model()->index(row, 0)); }

    // A condition set through the controls, then 查询; the numbers found.
    QStringList query(int kind, const char* field, const char* comparison, const QString& v1,
                      const QString& v2 = QString()) {
        combo("Combo3")->setCurrentIndex(kind);
        combo("Combo1")->setCurrentText(QString::fromUtf8(field));
        combo("Combo2")->setCurrentText(QString::fromUtf8(comparison));
        edit("Text1")->setText(v1);
        edit("Text2")->setText(v2);
        click("Command1");
        QStringList found;
        for (int r = 2; r < grid()->model()->rowCount() - 1; ++r)
            found << cell(r);
        return found;
    }
};

const QString NoSelection = QStringLiteral("操作错误！您还没有选中任何一条记录！");

} // namespace

class TestQueryWindow : public QObject {
    Q_OBJECT
private slots:
    void conditionsOfEachKind() {
        Rig rig;
        rig.combo("Combo2")->setCurrentText(QStringLiteral("介于"));
        QVERIFY(rig.edit("Text2")->isEnabled() && rig.edit("Text2")->text() == "1000");
        QCOMPARE(rig.query(0, "化成电压", "介于", "150", "250"), (S{"A2HL", "A3HL", "A4HL"}));
        QVERIFY(rig.prompter.texts().isEmpty());

        // Nothing found: the message, a count of 0, the empty, header and last rows.
        QCOMPARE(rig.query(0, "化成电压", ">", "abc"), S());
        QCOMPARE(rig.prompter.texts(), S{"没有符合条件的查询结果！"});
        QVERIFY(rig.edit("Text4")->text() == "0" && rig.grid()->model()->rowCount() == 3);
        QVERIFY(!child<QPushButton>(rig.window, "Command3")->isEnabled());

        // The other kinds bring their own field lists and files.
        QCOMPARE(rig.query(1, "漏电流电压", ">", "10"), S{"L1TM"});
    }

    // The column 工厂数据库 follows the outbox while the operator keeps the row chosen.
    void plantColumnKeepsTheChosenRow() {
        Rig rig;
        rig.window.setDeliverySource([&] { return rig.station.plantDeliveries(); });
        QCOMPARE(rig.query(0, "化成电压", ">", "0").size(), 5);
        const int column = rig.grid()->model()->columnCount() - 1;
        QCOMPARE(rig.cell(1, column), QString("工厂数据库"));
        rig.select(3);
        PieceUpload piece;
        piece.serial = "A2";
        QVERIFY(rig.station.plantQueue()
                    .outbox()
                    .add(piece, OutboxState::Declined, {}, OutboxOrigin{{"A2HL", false}, {}})
                    .ok());
        rig.window.refreshDeliveries();
        QCOMPARE(rig.cell(3, column), QString("未上传（操作员选择）"));
        QCOMPARE(rig.grid()->currentIndex().row(), 3);
    }

    void exportDisplayDeletionAndCorrection() {
        Rig rig;
        QCOMPARE(rig.query(0, "化成电压", ">", "0").size(), 5);
        const QString path = rig.dir.filePath(QStringLiteral("out.csv"));
        QSignalSpy exported(&rig.window, &QueryWindow::exportFinished);
        rig.prompter.queueFileName(path);
        rig.click("ExportCsv");
        // Cancelled before its end: nothing said, nothing under the name, no temporary file.
        QTest::mouseClick(
            child<QProgressDialog>(rig.window, "exportProgress")->findChild<QPushButton*>(),
            Qt::LeftButton);
        QVERIFY(exported.size() == 1 && !exported[0][0].toBool() && rig.prompter.texts().isEmpty());
        QCOMPARE(QDir(rig.dir.path()).entryList({"*.csv*"}, QDir::Files | QDir::Hidden), S());
        rig.prompter.queueFileName(path);
        rig.click("ExportCsv");
        QVERIFY(exported.wait() && exported[1][0].toBool());
        // The bytes themselves are the CSV writer's test; here the shown rows reach the file.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const S lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
        QVERIFY(lines.size() == 7 && lines[5].startsWith(QStringLiteral("A5HL,300,")));

        // 显示记录: the slot counter through "1-3通道" and its wrap, then "4-6通道".
        QSignalSpy spy(&rig.window, &QueryWindow::displayRequested);
        rig.select(3);
        for (int i = 0; i < 4; ++i)
            rig.click("Command3");
        rig.combo("Combo4")->setCurrentIndex(1);
        rig.click("Command3");
        QList<int> chosen;
        for (const QList<QVariant>& call : spy) {
            const auto request = call[0].value<DisplayRequest>();
            QVERIFY(request.key.number == "A2HL" && request.kind == TestKind::Tv);
            chosen << request.slot;
        }
        QCOMPARE(chosen, (QList<int>{0, 1, 2, 0, 3}));
        QCOMPARE(rig.edit("Text5")->text(), QStringLiteral("4"));

        rig.prompter.clear();
        rig.select(1); // the header row is no record
        rig.click("Command2");
        rig.click("Command5");
        // A refused batch count: nothing asked, nothing deleted.
        rig.select(4);
        rig.edit("Text3")->setText(QStringLiteral("1.5"));
        rig.click("Command9");
        QCOMPARE(rig.prompter.texts(), (S{NoSelection, NoSelection,
                                          "删除个数必须是0或正整数！请检查以后重新执行该操作！"}));

        // The third and fourth of five.
        rig.prompter.clear();
        rig.edit("Text3")->setText(QStringLiteral("2"));
        rig.prompter.setAnswer(Question::DeleteStoredBatch, true);
        rig.click("Command9");
        QCOMPARE(rig.prompter.texts(), (S{"您确定要删除 2 条所选记录吗？", "删除完毕！"}));
        QCOMPARE((S{rig.cell(2), rig.cell(3), rig.cell(4)}), (S{"A1HL", "A2HL", "A5HL"}));

        // One record: No keeps it, Yes deletes the selected one.
        rig.select(3);
        rig.prompter.setAnswer(Question::DeleteStoredTest, false);
        rig.click("Command2");
        QCOMPARE(rig.edit("Text4")->text(), QStringLiteral("3"));
        rig.prompter.setAnswer(Question::DeleteStoredTest, true);
        rig.click("Command2");
        QVERIFY(!rig.store.load(TestKind::Tv, TestKey{"A2HL"}) &&
                rig.store.load(TestKind::Tv, TestKey{"A1HL"}));
        QCOMPARE(rig.edit("Text4")->text(), QStringLiteral("2"));

        // Correction of the selected record (A5HL); refused values are the model's test.
        rig.prompter.clear();
        rig.select(3);
        rig.click("Command5");
        auto* dialog = child<CorrectionDialog>(rig.window, "jlxg");
        child<QComboBox>(*dialog, "Combo1")->setCurrentText(QStringLiteral("化成电压"));
        child<QLineEdit>(*dialog, "Text1")->setText(QStringLiteral("150"));
        QTest::mouseClick(child<QPushButton>(*dialog, "Command1"), Qt::LeftButton);
        QCOMPARE(rig.store.load(TestKind::Tv, TestKey{"A5HL"})->value(QStringLiteral("化成电压")),
                 QStringLiteral("150"));
        QCOMPARE(rig.prompter.texts(), S{"修改完毕！重新点击查询可以看到修改结果"});
    }

    void correctionJudgedAgainShowsInHistory() {
        Rig rig;
        StoredTest saved = storedTest(TestKind::Tv, {{"测试编号", "T9HL"},
                                                     {"化成电压", "200"},
                                                     {"升压时间指标", "60"},
                                                     {"升压时间", "35"},
                                                     {"TV值", "210"},
                                                     {"TV特性", "合格"}});
        saved.conditions = RunConditions{};
        saved.conditions->lostReplies = 3;
        QVERIFY(ResultStore().save(saved).ok);
        rig.query(0, "测试编号", "=", "T9HL");
        rig.select(2);
        rig.click("Command5");
        auto* dialog = child<CorrectionDialog>(rig.window, "jlxg");
        child<QComboBox>(*dialog, "Combo1")->setCurrentText(QStringLiteral("TV值"));
        child<QLineEdit>(*dialog, "Text1")->setText(QStringLiteral("199.9"));
        rig.prompter.setAnswer(Question::RejudgeVerdict, true);
        // Signed by the name on screen (not the one the settings hold); with none on screen the
        // operator gives one, and without one nothing is written.
        rig.panel.setText(0, Box::TvOperator, "李四");
        QTest::mouseClick(child<QPushButton>(*dialog, "Command1"), Qt::LeftButton);
        QVERIFY(rig.prompter.texts().value(0).contains(QStringLiteral("TV特性为“不合格”")));
        QCOMPARE(rig.store.load(TestKind::Tv, TestKey{"T9HL"})->value(QStringLiteral("TV特性")),
                 QStringLiteral("不合格"));

        rig.panel.setText(0, Box::TvOperator, "");
        child<QComboBox>(*dialog, "Combo1")->setCurrentText(QStringLiteral("水温度"));
        child<QLineEdit>(*dialog, "Text1")->setText(QStringLiteral("85"));
        rig.prompter.setTextAnswer(Question::SignerName, std::nullopt);
        rig.prompter.clear();
        QTest::mouseClick(child<QPushButton>(*dialog, "Command1"), Qt::LeftButton);
        QCOMPARE(rig.prompter.texts().last(), QStringLiteral("没有操作人姓名，记录未修改。"));
        rig.prompter.setTextAnswer(Question::SignerName, QStringLiteral("王五"));
        QTest::mouseClick(child<QPushButton>(*dialog, "Command1"), Qt::LeftButton);

        rig.click("HistoryButton");
        auto* list = child<QTableWidget>(rig.window, "historyList");
        QCOMPARE(list->rowCount(), 3);
        QCOMPARE((S{list->item(1, 1)->text(), list->item(1, 2)->text(), list->item(1, 3)->text(),
                    list->item(1, 4)->text(), list->item(2, 1)->text()}),
                 (S{"李四", "TV特性", "合格", "不合格", "王五"}));

        // A curve that cannot be written says where and why.
        rig.prompter.clear();
        rig.prompter.queueFileName(rig.dir.filePath(QStringLiteral("missing/c.csv")));
        rig.click("ExportCurve");
        QVERIFY(rig.prompter.texts().value(0).startsWith(QStringLiteral("导出失败，无法写入文件 ") +
                                                         rig.dir.filePath("missing/c.csv") + "："));

        // Deleted, it is listed with its row among the day's deletions; put back from there,
        // it is the same test, its history says who restored it, and it cannot come twice.
        const StoredTest before = *rig.store.load(TestKind::Tv, TestKey{"T9HL"});
        rig.prompter.setAnswer(Question::DeleteStoredTest, true);
        rig.click("Command2");
        rig.click("DeletedButton");
        QPointer<QWidget> window = child<QWidget>(rig.window, "deletedRecords");
        auto* deleted = child<QTableWidget>(*window, "deletedList");
        const int fields = 4; // 删除时间, 删除人, 已恢复, 可恢复
        QVERIFY(deleted->rowCount() == 1 && deleted->item(0, fields)->text() == "T9HL");
        QCOMPARE(deleted->item(0, fields + fieldIndex(TestKind::Tv, "TV特性"))->text(), "不合格");
        QVERIFY(deleted->item(0, 2)->text().isEmpty() && deleted->item(0, 3)->text() == "是");
        rig.panel.setText(0, Box::TvOperator, QStringLiteral("赵六")); // on screen now
        rig.prompter.clear();
        deleted->selectRow(0);
        rig.prompter.setAnswer(Question::RestoreDeletedTest, true);
        QTest::mouseClick(child<QPushButton>(*window, "restoreDeleted"), Qt::LeftButton);
        QCOMPARE(rig.prompter.texts(),
                 (S{"确定要恢复测试编号 T9HL 的记录吗？", "TV测试编号：T9HL 已恢复！"}));
        const auto back = rig.store.load(TestKind::Tv, TestKey{"T9HL"});
        QVERIFY(back && back->values == before.values);
        QCOMPARE(curveToJson(back->curve), curveToJson(before.curve));
        QCOMPARE(back->conditions->lostReplies, 3);
        const AuditEntry restored = rig.store.history(TestKind::Tv, TestKey{"T9HL"}).back();
        QCOMPARE((S{restored.field, restored.operatorName}), (S{"恢复记录", "赵六"}));
        QCOMPARE(deleted->item(0, 2)->text(), restored.time);
        rig.prompter.clear();
        QTest::mouseClick(child<QPushButton>(*window, "restoreDeleted"), Qt::LeftButton);
        QCOMPARE(rig.prompter.texts(), S{resulttext::alreadyRestored(restored.time)});
        QCOMPARE(rig.query(0, "测试编号", "=", "T9HL"), S{"T9HL"});
        QTest::keyClick(deleted, Qt::Key_Escape);
        QVERIFY(!window || !window->isVisible());
    }

    // 测量条件 of the selected test, and what a test saved without them says.
    void measurementConditions() {
        Rig rig;
        StoredTest t = storedTest(TestKind::Tv, {{"测试编号", "C1HL"}});
        t.conditions = RunConditions{};
        t.conditions->lostReplies = 47;
        QVERIFY(ResultStore().save(t).ok);
        QCOMPARE(rig.query(0, "测试编号", "=", "C1HL"), S{"C1HL"});
        rig.select(2);
        rig.click("ShowConditions");
        const auto* table =
            child<QTableWidget>(*child<QWidget>(rig.window, "ConditionsDialog"), "conditions");
        const auto lost = table->findItems(QStringLiteral("丢失应答"), Qt::MatchExactly);
        QVERIFY(lost.size() == 1 && table->item(lost[0]->row(), 1)->text() == "47");
        QCOMPARE(rig.query(0, "测试编号", "=", "A1HL"), S{"A1HL"});
        rig.select(2);
        rig.click("ShowConditions");
        QCOMPARE(rig.prompter.texts().last(),
                 QStringLiteral("测试编号为 A1HL 的记录没有测量条件（由早期版本的程序保存）。"));
    }
};

QTEST_MAIN(TestQueryWindow)
#include "tst_querywindow.moc"
