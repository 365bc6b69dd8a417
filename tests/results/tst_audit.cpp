#include "results/QueryModel.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "results/ResultTexts.h"
#include "results/StoredVerdict.h"
#include "support/StoredTests.h"

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;
using q7rk::testing::storedTest;
using S = QStringList;

namespace {

// A TV test of Vf 200 and limit 60 s that rose in 35 s to 210 V: passed.
StoredTest tv(const QString& number) {
    return storedTest(TestKind::Tv, {{"测试编号", number},
                                     {"化成电压", "200"},
                                     {"升压时间指标", "60"},
                                     {"升压时间", "35"},
                                     {"TV值", "210"},
                                     {"TV特性", "合格"},
                                     {"测试人", "李四"},
                                     {"测试日期", "2026/01/05"}});
}

// Runs a statement on the file as another program would.
bool exec(const QString& path, const QString& sql) {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "outside");
        db.setDatabaseName(path);
        ok = db.open() && QSqlQuery(db).exec(sql);
        db.close();
    }
    QSqlDatabase::removeDatabase("outside");
    return ok;
}

} // namespace

class TestAudit : public QObject {
    Q_OBJECT
private slots:
    void correctionsAndDeletionsAreKept() {
        QTemporaryDir dir;
        ResultStore store(dir.path());
        QString who = QStringLiteral("张三");
        store.setOperatorSource([&](TestKind) { return who; });
        QVERIFY(store.save(tv("A1HL")).ok && store.save(tv("A2HL")).ok);
        // A file that was never changed has no history table, and reading needs none; a file
        // that cannot be read says so instead of showing an empty history.
        QString error;
        QVERIFY(store.history(TestKind::Tv, TestKey{"A1HL"}, &error).isEmpty() && error.isEmpty());
        const QString broken = store.locateDbFile(TestKind::Leakage);
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096);
        file.close();
        QVERIFY(store.history(TestKind::Leakage, TestKey{"L1"}, &error).isEmpty());
        QVERIFY2(error.startsWith(QStringLiteral("无法读取结果文件 ") + broken), qPrintable(error));

        QVERIFY(
            !store.correct(TestKind::Tv, TestKey{"A1HL"}, QStringLiteral("化成电压"), "abc").ok);
        QVERIFY(store.correct(TestKind::Tv, TestKey{"A1HL"}, QStringLiteral("化成电压"), "150").ok);
        who = QStringLiteral("王五");
        QVERIFY(store.correct(TestKind::Tv, TestKey{"A1HL"}, QStringLiteral("测试日期"), "2026-1-6")
                    .ok);
        const auto history = store.history(TestKind::Tv, TestKey{"A1HL"});
        QCOMPARE(history.size(), 2);
        const AuditEntry& first = history[0];
        QCOMPARE((S{first.operatorName, first.field, first.oldValue, first.newValue}),
                 (S{"张三", "化成电压", "200", "150"}));
        // The date as stored, not as typed.
        QCOMPARE((S{history[1].operatorName, history[1].oldValue, history[1].newValue}),
                 (S{"王五", "2026/01/05", "2026/01/06"}));
        QVERIFY(QDateTime::fromString(first.time, "yyyy/MM/dd HH:mm:ss").isValid());

        // The deleted row comes back whole, with when and who.
        QVERIFY(store.remove(TestKind::Tv, {TestKey{"A1HL"}}).ok);
        const QString today = QDate::currentDate().toString("yyyy/M/d");
        const auto deleted = store.deletions(TestKind::Tv, today, today);
        QVERIFY(deleted && deleted->size() == 1);
        QCOMPARE(deleted->front().operatorName, QStringLiteral("王五"));
        S row = tv("A1HL").values;
        row[fieldIndex(TestKind::Tv, QStringLiteral("化成电压"))] = "150";
        row[fieldIndex(TestKind::Tv, QStringLiteral("测试日期"))] = "2026/01/06";
        QCOMPARE(deleted->front().removedRow, row);
        QCOMPARE(store.history(TestKind::Tv, TestKey{"A1HL"}).size(), 3);
        // A deletion is put back once (the test whole is the window's test): not again after
        // the test went a second time, and not while its number is taken. Lines of older
        // versions name the deletion they undo by its time.
        const QString path = store.locateDbFile(TestKind::Tv);
        QVERIFY(store.save(tv("A3HL")).ok && store.remove(TestKind::Tv, {TestKey{"A3HL"}}).ok);
        const qint64 once = store.deletions(TestKind::Tv, today, today)->back().id;
        QVERIFY(store.restore(TestKind::Tv, once).ok);
        QVERIFY(store.remove(TestKind::Tv, {TestKey{"A3HL"}}).ok);
        QVERIFY(!store.restore(TestKind::Tv, once).ok && store.save(tv("A3HL")).ok);
        const qint64 second = store.deletions(TestKind::Tv, today, today)->back().id;
        QCOMPARE(store.restore(TestKind::Tv, second).message,
                 resulttext::duplicateNumber(TestKind::Tv, TestKey{"A3HL"}));
        for (bool named : {true, false}) {
            if (!named) QVERIFY(exec(path, u8"UPDATE \"修改历史\" SET \"恢复的删除\" = NULL"));
            const auto gone = store.deletions(TestKind::Tv, today, today);
            QVERIFY(gone && gone->size() == 3);
            QVERIFY(!(*gone)[1].restoredAt.isEmpty() && (*gone)[2].restoredAt.isEmpty());
        }
        const QString yesterday = QDate::currentDate().addDays(-1).toString("yyyy/MM/dd");
        QVERIFY(store.deletions(TestKind::Tv, yesterday, yesterday)->isEmpty());
        QVERIFY(!store.deletions(TestKind::Tv, "2026/13/01", today));

        // The history is written in the change's transaction: when it cannot be, the change
        // does not happen either.
        QVERIFY(exec(path, u8"DROP TABLE \"修改历史\"") &&
                exec(path, u8"CREATE TABLE \"修改历史\" (x)"));
        QVERIFY(
            !store.correct(TestKind::Tv, TestKey{"A2HL"}, QStringLiteral("化成电压"), "150").ok);
        QVERIFY(!store.remove(TestKind::Tv, {TestKey{"A2HL"}}).ok);
        QCOMPARE(store.load(TestKind::Tv, TestKey{"A2HL"})->value(QStringLiteral("化成电压")),
                 "200");
    }

    void verdictJudgedAgainAndSearched() {
        // The record's own limits against the corrected value; fields outside the rule and
        // values that are no number ask nothing.
        const StoredTest leak =
            storedTest(TestKind::Leakage,
                       {{"漏电流指标", "0.05"}, {"漏电流", "0.04"}, {"漏电流特性", "合格"}});
        const struct {
            const StoredTest& record;
            const char* field;
            QString value;
            QString after; // empty: no judgement
        } cases[] = {
            {tv("X"), "TV值", "199.9", "不合格"}, {tv("X"), "升压时间", "61", "不合格"},
            {tv("X"), "升压时间", "60", "合格"},  {tv("X"), "化成电压", "300", ""},
            {tv("X"), "TV值", "abc", ""},         {leak, "漏电流", "0.050", "合格"},
            {leak, "漏电流", "0.051", "不合格"},
        };
        for (const auto& c : cases) {
            const auto again =
                rejudge(c.record.kind, c.record.values, QString::fromUtf8(c.field), c.value);
            QCOMPARE(again ? again->after : QString(), c.after);
            if (again) QCOMPARE(again->before, QStringLiteral("合格"));
        }
        // An electrolyte record judged by the spark voltage after its fall or the one before
        // it, as the settings say; one that never sparked by its set voltage.
        const StoredTest spark = storedTest(TestKind::Electrolyte, {{"设定电压", "450"},
                                                                    {"参考电压", "395"},
                                                                    {"火花时间1", "100"},
                                                                    {"闪火前电压1", "400"},
                                                                    {"判定结果", "合格"}});
        const StoredTest none = storedTest(
            TestKind::Electrolyte, {{"设定电压", "390"}, {"参考电压", "395"}, {"火花时间1", "0"}});
        const QString field = QStringLiteral("火花电压1");
        QCOMPARE(rejudge(spark.kind, spark.values, field, "390")->after, QStringLiteral("不合格"));
        QCOMPARE(
            rejudge(spark.kind, spark.values, field, "390", SparkVoltageRule::BeforeFall)->after,
            QStringLiteral("合格"));
        QCOMPARE(rejudge(none.kind, none.values, field, "0")->after, QStringLiteral("不合格"));

        // Written together, each with its own line; then found by the verdict.
        QTemporaryDir dir;
        ResultStore store(dir.path());
        QVERIFY(store.save(tv("A1HL")).ok && store.save(tv("A2HL")).ok);
        QVERIFY(
            store
                .correct(TestKind::Tv, TestKey{"A2HL"},
                         {{QStringLiteral("TV值"), "190"}, {QStringLiteral("TV特性"), "不合格"}})
                .ok);
        S fields;
        for (const AuditEntry& e : store.history(TestKind::Tv, TestKey{"A2HL"}))
            fields << e.field + ":" + e.newValue;
        QCOMPARE(fields, (S{"TV值:190", "TV特性:不合格"}));
        QueryModel model(store);
        QVERIFY(searchFields(TestKind::Tv).contains(QStringLiteral("TV特性")));
        const ResultRows& rows =
            model.run({TestKind::Tv, QStringLiteral("TV特性"), "=", "不合格", {}});
        QVERIFY(rows.count() == 1 && rows.text(0, 0) == "A2HL");
    }
};

QTEST_GUILESS_MAIN(TestAudit)
#include "tst_audit.moc"
