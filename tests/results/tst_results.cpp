#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "results/CsvExport.h"
#include "results/MeasuredRecord.h"
#include "results/PanelRecord.h"
#include "results/QueryModel.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "results/ResultTexts.h"
#include "results/RunConditions.h"
#include "results/SavePass.h"
#include "settings/SampleStore.h"
#include "settings/SettingsStore.h"
#include "station/StartRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <optional>
#include <unistd.h>

using namespace q7rk;
using S = QStringList;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// Counts on a file of its own connection, as an outside reader would see it.
struct FileCheck {
    explicit FileCheck(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        ok = db.open();
    }
    ~FileCheck() {
        QSqlDatabase::database("check", false).close();
        QSqlDatabase::removeDatabase("check");
    }

    // Runs any statement; the first value of its first row, if it has one.
    QVariant scalar(const QString& sql) const {
        QSqlQuery q(QSqlDatabase::database("check", false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }

    bool ok = false;
};

StoredTest tvTest(const QString& number, double vf, const QString& person, const QString& date) {
    StoredTest t;
    t.values = S(fieldNames(TestKind::Tv).size());
    t.setValue(u("测试编号"), number);
    t.setValue(u("化成电压"), QString::number(vf));
    t.setValue(u("测试人"), person);
    t.setValue(u("测试日期"), date);
    t.curve = {{1.0, 0.1}, {2.0, 0.2}};
    return t;
}

// Channel k's test as a run would hand it to a save: its boxes taken at the start, n samples.
StoredTest measuredOf(const PanelModel& panel, const SampleStore& samples, int k, int n) {
    ChannelTest run;
    takeTestAtStart(panel, k, run);
    return measuredRecord(run, samples, k, n);
}

using R = ChannelSaveOutcome::Result;
QList<R> results(const SaveReport& r) {
    QList<R> out;
    for (const ChannelSaveOutcome& o : r.outcomes)
        out << o.result;
    return out;
}

bool run(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

} // namespace

class TestResults : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        while (!m_mounts.isEmpty())
            run("umount", {m_mounts.takeLast()});
    }

    void init() {
        m_b.reset();
        m_b.emplace();
        QVERIFY(m_b->dir.isValid());
        m_b->panel.resetToDesign();
    }

    // What a save keeps besides the boxes (the display test compares those): the curve as
    // rounded, its length, the boiling and position flags, and a file for each kind.
    void roundTripEachKind() {
        const int k = 1; // channel 2: position "HM"
        fillSamples(k, 265);
        for (const TestKind kind : {TestKind::Tv, TestKind::Leakage, TestKind::Electrolyte}) {
            m_b->panel.applyKind(k, kind);
            fillTv(k, "R", "A");
            m_b->panel.setText(k, Box::ElectrolyteTestNumber, "R");
            m_b->panel.clickOption(Option::AfterBoiling, 0);
            StoredTest record = measuredOf(m_b->panel, m_b->samples, k, 265);
            takeOperatorTexts(record, m_b->panel, k);
            QVERIFY(m_b->store.save(record).ok);
            const QString number = testNumberOf(m_b->panel, k);
            QCOMPARE(number, u("RHM"));
            const auto loaded = m_b->store.load(kind, testKeyOf(m_b->panel, k));
            QVERIFY(loaded);
            QCOMPARE(loaded->value(u("采样次数")), QString("265"));
            QCOMPARE(loaded->curve.size(), std::size_t(265));
            QCOMPARE(loaded->curve[99].volts,
                     std::round(double(m_b->samples.voltage(k, 100)) * 10) / 10);
            QCOMPARE(loaded->curve[99].milliamperes,
                     std::round(double(m_b->samples.current(k, 100)) * 1000) / 1000);
            if (kind == TestKind::Electrolyte) continue;
            QCOMPARE(loaded->value(u("水煮后")), QString("True"));
            QCOMPARE(loaded->value(u("头位置")), QString("True"));

            // Shown with group 1-3 switched to before boiling: the stored option comes back
            // and channel 1's delay survives it.
            m_b->panel.clickOption(Option::BeforeBoiling, 0);
            m_b->panel.setText(0, Box::DelayTime, "77");
            showStoredTest(m_b->panel, 2, *loaded);
            QVERIFY(m_b->panel.option(Option::AfterBoiling, 0));
            QCOMPARE(m_b->panel.text(0, Box::DelayTime), QString("77"));
            QCOMPARE(testNumberOf(m_b->panel, 2), number);
        }
        QCOMPARE(m_b->store.allRows(TestKind::Tv).count(), 1); // the same number, three files
    }

    void savePassChecks() {
        SavePass pass(m_b->store);
        fillSamples(0, 10);
        fillTv(0, "7", "A");
        fillTv(1, "7", "B");
        m_b->panel.setText(1, Box::SamplePosition, "HL"); // same number and position as channel 1
        fillTv(2, "9", "C");
        // Requests come in any order; outcomes come by channel.
        const auto request = [&](int k, int taken = 10) {
            return SaveRequest{k, measuredOf(m_b->panel, m_b->samples, k, taken)};
        };
        const auto save = [&](int taken1 = 10) {
            return pass.run(m_b->panel, {request(2), request(0), request(1, taken1)});
        };
        SaveReport r = save();
        QCOMPARE(r.message, resulttext::duplicateNumber(TestKind::Tv, TestKey{"7HL"}));
        QCOMPARE(results(r), (QList<R>{R::Refused, R::Refused, R::Refused}));

        // A fresh install leaves the operator empty: the refusal names every empty box.
        m_b->panel.setText(1, Box::SamplePosition, "HM");
        m_b->panel.setText(0, Box::TvOperator, "");
        m_b->panel.setText(2, Box::TvTestNumber, " ");
        m_b->panel.setText(2, Box::TvOperator, "");
        r = save();
        QCOMPARE(r.message, resulttext::incomplete(TestKind::Tv) +
                                u("\n第1路：测试人未填写\n第3路：测试编号未填写"
                                  "\n第3路：测试人未填写"));
        QVERIFY(r.firstMissing && r.firstMissing->channel == 0 &&
                r.firstMissing->box == Box::TvOperator);

        fillTv(0, "7", "A");
        fillTv(2, "9", "C");
        const QString date = m_b->panel.text(2, Box::TvTestDate);
        m_b->panel.setText(2, Box::TvTestDate, "2012/13/40"); // a text the date field cannot take
        QCOMPARE(save().message, resulttext::saveFailed());
        QVERIFY(!QFile::exists(m_b->store.locateDbFile(TestKind::Tv))); // refusals store nothing

        // A channel that took no sample is left out and said so; the others are stored.
        m_b->panel.setText(2, Box::TvTestDate, date);
        r = save(0);
        QVERIFY(r.ok);
        QCOMPARE(r.message, u("第2路没有测量数据，未保存。"));
        QCOMPARE(results(r), (QList<R>{R::Stored, R::NoSamples, R::Stored}));
        // The same run saved again: nothing twice, nothing refused.
        r = save();
        QCOMPARE(results(r), (QList<R>{R::AlreadyStored, R::Stored, R::AlreadyStored}));
        QCOMPARE(m_b->store.allRows(TestKind::Tv).count(), 3);
        // A channel given a number another channel stored this run is refused, not passed over.
        m_b->panel.setText(2, Box::TvTestNumber, "7");
        m_b->panel.setText(2, Box::SamplePosition, "HL");
        r = save();
        QCOMPARE(r.message, resulttext::duplicateNumber(TestKind::Tv, TestKey{"7HL"}));
        QCOMPARE(results(r), (QList<R>{R::Refused, R::Refused, R::Refused}));

        pass.newRun();
        // Leakage needs voltage and time, not the number; electrolyte needs its number. A
        // file that is no database fails its channel and ends the pass; what went before stays.
        const QString djy = m_b->store.locateDbFile(TestKind::Electrolyte);
        QVERIFY(writeFileAtomically(djy, QByteArray(4096, 'x')));
        m_b->panel.applyKind(0, TestKind::Leakage);
        m_b->panel.setText(0, Box::TvTestNumber, "");
        m_b->panel.applyKind(1, TestKind::Electrolyte);
        m_b->panel.setText(1, Box::ElectrolyteTestNumber, "E");
        fillTv(2, "8", "C");
        r = save();
        QCOMPARE(r.message, resulttext::saveFault(djy, resulttext::FileFault::NotADatabase));
        QCOMPARE(results(r), (QList<R>{R::Stored, R::Failed, R::Failed}));
        QVERIFY(m_b->store.checkTestTable(TestKind::Leakage, TestKey{"HL"}));
        m_b->panel.setText(1, Box::ElectrolyteTestNumber, "");
        QCOMPARE(pass.run(m_b->panel, {request(1)}).message,
                 resulttext::incomplete(TestKind::Electrolyte) + u("\n第2路：测试编号未填写"));
    }

    // A file locked by another program, a folder that cannot be written, a disk that fills
    // up: the save names the file and the cause, and the file keeps what it held.
    void hostileFiles() {
        QVERIFY(m_b->store.save(tvTest("R1HL", 1, "A", "")).ok);
        const QString tv = m_b->store.locateDbFile(TestKind::Tv);
        {
            FileCheck locker(tv);
            locker.scalar("BEGIN EXCLUSIVE");
            QCOMPARE(m_b->store.save(tvTest("L1HL", 1, "A", "")).message,
                     resulttext::saveFault(tv, resulttext::FileFault::Locked));
        }

        // Root writes through permissions: a read-only folder takes a read-only mount.
        if (::geteuid() != 0) QSKIP("read-only and full-disk mounts need root");
        const QString dir = m_b->dir.path();
        if (!run("mount", {"--bind", dir, dir})) QSKIP("no bind mount here (needs mount rights)");
        m_mounts << dir;
        QVERIFY(run("mount", {"-o", "remount,bind,ro", dir}));
        QCOMPARE(m_b->store.save(tvTest("R2HL", 1, "A", "")).message,
                 resulttext::saveFault(tv, resulttext::FileFault::ReadOnly));
        cleanup();

        const QString image = m_b->dir.filePath("disk.img"), disk = m_b->dir.filePath("disk");
        if (!QDir().mkpath(disk) || !run("mkfs.ext2", {"-q", "-F", "-m", "0", image, "1024"}) ||
            !run("mount", {"-o", "loop", image, disk}))
            QSKIP("no small loop-mounted file system here (needs mkfs.ext2 and loop devices)");
        m_mounts << disk;
        ResultStore full(disk);
        QVERIFY(full.save(tvTest("F1HL", 1, "A", "")).ok);
        QFile filler(disk + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(1024, 'f')) == 1024) {
        }
        StoredTest big = tvTest("F2HL", 1, "A", "");
        big.curve.assign(6000, {100.0, 0.1});
        const QString path = full.locateDbFile(TestKind::Tv);
        QCOMPARE(full.save(big).message,
                 resulttext::saveFault(path, resulttext::FileFault::DiskFull));
        QCOMPARE(FileCheck(path).scalar("PRAGMA integrity_check").toString(), QString("ok"));
        QVERIFY(full.load(TestKind::Tv, TestKey{"F1HL"}) &&
                !full.checkTestTable(TestKind::Tv, TestKey{"F2HL"}));
        QVERIFY(filler.remove());
        QVERIFY(full.save(big).ok);
    }

    void queryConditions() {
        QVERIFY(!m_b->store.query({TestKind::Tv, u("化成电压"), ">", "0", ""}).count()); // no file
        // Quotes and SQL in values are stored and matched verbatim.
        const QString obrien = "O'Brien", sql = "' or 1=1 --";
        QVERIFY(m_b->store.save(tvTest("T1HL", 100, obrien, "2012/6/1")).ok);
        QVERIFY(m_b->store.save(tvTest("T2HL", 200, sql, "2012-06-15")).ok);
        QVERIFY(m_b->store.save(tvTest("T3'HL", 300, obrien, "2013/01/01")).ok);
        const auto numbers = [this](const QueryCondition& c) {
            S out;
            const ResultRows rows = m_b->store.query(c);
            for (int r = 0; r < rows.count(); ++r)
                out << rows.text(r, 0);
            return out;
        };
        const QString vf = u("化成电压");
        QCOMPARE(numbers({TestKind::Tv, vf, ">", "100", ""}), (S{"T2HL", "T3'HL"}));
        QCOMPARE(numbers({TestKind::Tv, vf, u("介于"), "100", "200"}), (S{"T1HL", "T2HL"}));
        // Text fields are searched for equality whatever the comparison.
        QCOMPARE(numbers({TestKind::Tv, u("测试人"), "=", obrien, ""}), (S{"T1HL", "T3'HL"}));
        QCOMPARE(numbers({TestKind::Tv, u("测试人"), ">", sql, ""}), (S{"T2HL"}));
        const QString date = u("测试日期");
        QCOMPARE(numbers({TestKind::Tv, date, "=", "2012-06-01", ""}), (S{"T1HL"}));
        QCOMPARE(numbers({TestKind::Tv, date, "<", "2012/6/15", ""}), (S{"T1HL"})); // as dates

        const ResultRows rows = m_b->store.query({TestKind::Tv, vf, "=", "100", ""});
        QCOMPARE(rows.text(0, 16), QString("2012/06/01"));
        for (const QueryCondition& bad :
             {QueryCondition{TestKind::Tv, vf, ">", "abc", ""},
              QueryCondition{TestKind::Tv, vf, u("介于"), "1", "x"},
              QueryCondition{TestKind::Tv, date, "<", "2012/02/30", ""},
              QueryCondition{TestKind::Tv, u("无此字段"), "=", "1", ""}})
            QCOMPARE(m_b->store.query(bad).message, resulttext::noMatch()); // and no rows

        StoredTest e;
        e.kind = TestKind::Electrolyte;
        e.values = S(fieldNames(TestKind::Electrolyte).size());
        e.setValue(u("测试编号"), "E1HL");
        e.setValue(u("火花电压1"), "95.5");
        QVERIFY(m_b->store.save(e).ok);
        QCOMPARE(numbers({TestKind::Electrolyte, u("火花电压"), ">", "90", ""}), (S{"E1HL"}));

        // A long result comes by test date (none first), then as stored; read in pages it is
        // the full read, and a batch deletion across a page deletes the rows as shown.
        FileCheck(m_b->store.locateDbFile(TestKind::Tv))
            .scalar(u("WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i "
                      "< 1200) INSERT INTO \"铝箔TV参数\" (\"测试编号\", \"化成电压\", "
                      "\"测试日期\") SELECT 'B' || i, i * 0.5, CASE WHEN i % 97 = 0 THEN NULL "
                      "ELSE printf('2013/%02d/%02d', 1 + i % 12, 1 + i % 5) END FROM s"));
        const QueryCondition many{TestKind::Tv, vf, ">", "0", ""};
        const ResultRows full = m_b->store.query(many);
        for (int r = 1; r < full.count(); ++r) {
            const QString was = full.text(r - 1, 16), date = full.text(r, 16);
            QVERIFY2(was < date || (was == date && full.text(r - 1, 0).mid(1).toInt() <
                                                       full.text(r, 0).mid(1).toInt()),
                     qPrintable(full.row(r).join(',')));
        }
        QVERIFY(full.text(0, 16).isEmpty());
        // Short pages end inside the undated rows and inside days.
        ResultRows pages = ResultStore::emptyRows(TestKind::Tv);
        while (m_b->store.appendPage(many, pages, 7) && !pages.atEnd) {
        }
        QCOMPARE(pages.cells, full.cells);
        QueryModel paged(m_b->store);
        paged.run(many);
        QVERIFY(paged.rows().count() == QueryModel::PageRows && paged.canFetchMore());
        QCOMPARE(paged.countAll(), qint64(full.count()));
        QVERIFY(paged.deleteBatch(QueryModel::PageRows - 2, "4").ok);
        QCOMPARE(paged.countAll(), qint64(full.count() - 4));
        for (int r = QueryModel::PageRows - 3; r <= QueryModel::PageRows + 2; ++r)
            QCOMPARE(m_b->store.checkTestTable(TestKind::Tv, full.key(r)),
                     r < QueryModel::PageRows - 2 || r > QueryModel::PageRows + 1);
        QCOMPARE(paged.testNumberAt(QueryModel::PageRows - 2),
                 full.text(QueryModel::PageRows + 2, 0));
    }

    // A number has one parameter row, curve or not. A file holding a number twice (older
    // versions) is told once; that number's rows are corrected and deleted together.
    void correctionAndDuplicates() {
        StoredTest bare = tvTest("K1HL", 200, "A", "2012/06/01");
        bare.curve.clear();
        QVERIFY(m_b->store.save(bare).ok);
        QCOMPARE(m_b->store.save(tvTest("K1HL", 1, "A", "")).message,
                 resulttext::duplicateNumber(TestKind::Tv, TestKey{"K1HL"}));
        QVERIFY(m_b->store.save(tvTest("K2HL", 300, "A", "2012/06/01")).ok);
        const QString path = m_b->store.locateDbFile(TestKind::Tv);
        const QString uniqueIndex =
            u("SELECT name FROM sqlite_master WHERE sql LIKE 'CREATE UNIQUE%'");
        {
            FileCheck old(path);
            old.scalar("DROP INDEX \"" + old.scalar(uniqueIndex).toString() + "\"");
            old.scalar(
                u("INSERT INTO \"铝箔TV参数\" (\"测试编号\", \"测试人\") VALUES ('K2HL', 'B')"));
        }
        QueryModel model(m_b->store);
        model.run({TestKind::Tv, u("测试日期"), "=", "2012/06/01", ""});
        const QString vf = u("化成电压");
        const ResultOutcome both = model.correct(1, vf, "150");
        QCOMPARE(both.message, u("修改完毕！重新点击查询可以看到修改结果（共修改 2 条记录）"));
        QVERIFY(both.warning.contains(path) && both.warning.contains("K2HL"));
        for (const S& bad : {S{vf, "abc"}, S{u("测试日期"), "2012/13/01"}, S{u("测试编号"), "X"},
                             S{u("水煮前"), "x"}})
            QCOMPARE(model.correct(1, bad[0], bad[1]).message, resulttext::operationFailed());
        QCOMPARE(model.correct(1, "", "1").message, resulttext::noCorrectionField());
        QCOMPARE(model.correct(1, vf, "").message, resulttext::noCorrectionValue());
        const ResultOutcome one = model.correct(0, u("测试日期"), "2013-1-2");
        QCOMPARE(one.message, resulttext::corrected());
        QVERIFY(one.warning.isEmpty()); // told once

        QCOMPARE(m_b->store.load(TestKind::Tv, TestKey{"K2HL"})->value(vf), QString("150"));
        QCOMPARE(m_b->store.load(TestKind::Tv, TestKey{"K1HL"})->value(vf), QString("200"));
        QCOMPARE(m_b->store.remove(TestKind::Tv, {TestKey{"K2HL"}}).message,
                 u("删除完毕！（共删除 2 条记录）"));
        QVERIFY(
            !m_b->store.remove(TestKind::Tv, {TestKey{"K2HL"}}).ok); // gone: reported, never "done"
        QVERIFY(m_b->store.save(tvTest("K2HL", 1, "A", "")).ok);
        QVERIFY(!FileCheck(path).scalar(uniqueIndex).isNull()); // the file took the index now
    }

    // One foil is tested before boiling and again after, under one number. A file of the
    // older layout (one test per number: its index, and curve and condition tables keyed by
    // the number alone) takes the second test once migrated, keeping its first test whole;
    // load, conditions, history, correction and deletion then address each by its key.
    void oneNumberBeforeAndAfterBoiling() {
        const QString path = m_b->store.locateDbFile(TestKind::Tv);
        StoredTest before = tvTest("B1HL", 200, "A", "2012/06/01");
        before.setValue(u("水煮前"), "True");
        before.setValue(u("水煮后"), "False");
        before.conditions = RunConditions{};
        before.conditions->lostReplies = 3;
        QVERIFY(m_b->store.save(before).ok);
        {
            FileCheck old(path);
            for (const char* sql :
                 {"DROP INDEX \"铝箔TV参数_测试编号_水煮_唯一\"",
                  "CREATE UNIQUE INDEX \"铝箔TV参数_测试编号_唯一\" ON \"铝箔TV参数\" "
                  "(\"测试编号\")",
                  "CREATE TABLE c (\"测试编号\" TEXT, \"vi_order\" INTEGER, \"电压\" REAL, "
                  "\"电流\" REAL, PRIMARY KEY (\"测试编号\", \"vi_order\")) WITHOUT ROWID",
                  "INSERT INTO c SELECT \"测试编号\", \"vi_order\", \"电压\", \"电流\" FROM "
                  "\"曲线数据\"",
                  "DROP TABLE \"曲线数据\"", "ALTER TABLE c RENAME TO \"曲线数据\"",
                  "CREATE TABLE m AS SELECT * FROM \"测量条件\"",
                  "ALTER TABLE m DROP COLUMN \"水煮后\"", "DROP TABLE \"测量条件\"",
                  "ALTER TABLE m RENAME TO \"测量条件\"", "DROP TABLE \"修改历史\""})
                old.scalar(u(sql));
            QCOMPARE(old.scalar(u("SELECT count(*) FROM pragma_table_info('曲线数据') WHERE "
                                  "name = '水煮后'"))
                         .toInt(),
                     0);
        }
        const TestKey beforeKey{"B1HL", false}, afterKey{"B1HL", true};
        QVERIFY(m_b->store.checkTestTable(TestKind::Tv, beforeKey));
        QVERIFY(!m_b->store.checkTestTable(TestKind::Tv, afterKey));
        StoredTest after = tvTest("B1HL", 200, "A", "2012/06/02");
        after.setValue(u("水煮后"), "True");
        after.curve = {{5.0, 0.5}, {6.0, 0.6}, {7.0, 0.7}};
        QVERIFY(m_b->store.save(after).ok);
        QCOMPARE(m_b->store.save(before).message,
                 resulttext::duplicateNumber(TestKind::Tv, beforeKey));
        QCOMPARE(m_b->store.save(after).message,
                 u("同名记录TV测试编号：B1HL（水煮后） 已经存在，请使用其他的编号！"));
        QCOMPARE(m_b->store.load(TestKind::Tv, beforeKey)->curve.size(), std::size_t(2));
        QCOMPARE(m_b->store.load(TestKind::Tv, afterKey)->curve[2].volts, 7.0);
        QCOMPARE(m_b->store.conditions(TestKind::Tv, beforeKey)->lostReplies, 3);
        QVERIFY(!m_b->store.conditions(TestKind::Tv, afterKey));

        // A corrected boiling mark cannot move a test onto the other one's key.
        QVERIFY(!m_b->store.correct(TestKind::Tv, beforeKey, u("水煮后"), "True").ok);
        QVERIFY(m_b->store.correct(TestKind::Tv, afterKey, u("TV值"), "150").ok);
        QCOMPARE(m_b->store.history(TestKind::Tv, afterKey).size(), 1);
        QVERIFY(m_b->store.history(TestKind::Tv, beforeKey).isEmpty());
        QueryModel model(m_b->store);
        model.run({TestKind::Tv, u("测试编号"), "=", "B1HL", ""});
        QCOMPARE(model.keyAt(1), afterKey);
        QVERIFY(model.deleteRecord(1).ok);
        QCOMPARE(m_b->store.load(TestKind::Tv, beforeKey)->curve.size(), std::size_t(2));
        QVERIFY(!m_b->store.checkTestTable(TestKind::Tv, afterKey));
    }

    // What a spreadsheet would run is guarded; numbers stay numbers, negative or not.
    void csvBytes() {
        const QByteArray bytes =
            q7rk::csvBytes(S{u("测试编号"), u("化成电压")},
                           {S{"=1+2", "-5.5"}, S{"@A", "-x"}, S{"\tB,", "+1"}}, {false, true});
        QCOMPARE(bytes, QByteArray("\xEF\xBB\xBF") + u("测试编号,化成电压\r\n").toUtf8() +
                            "'=1+2,-5.5\r\n'@A,'-x\r\n\"'\tB,\",'+1\r\n");

        StoredTest t = tvTest("V1HL", 100, "A", "");
        t.curve = {{180.3, 0.052}, {181, 0.05}};
        QVERIFY(m_b->store.save(t).ok);
        QVERIFY(m_b->store.save(tvTest("V2,\"HL", -2.5, "=x\r\n", "2012/6/1")).ok);
        QVERIFY(m_b->store.save(tvTest("V3HL", 0.125, u("张三"), "")).ok);

        // Streamed a row per page, the file holds the bytes of the export in one piece.
        const QString out = m_b->dir.filePath("s.csv");
        CsvExportJob job(m_b->store, {TestKind::Tv, {}, {}, {}, {}}, out, 1);
        QSignalSpy done(&job, &CsvExportJob::finished);
        job.start();
        QVERIFY(done.wait() && done[0][0].toBool());
        const ResultRows all = m_b->store.allRows(TestKind::Tv);
        QList<S> shown;
        for (int r = 0; r < all.count(); ++r)
            shown << all.row(r);
        QFile streamed(out);
        QVERIFY(streamed.open(QIODevice::ReadOnly) && all.count() == 3);
        QCOMPARE(streamed.readAll(),
                 q7rk::csvBytes(all.header, shown, numberColumns(TestKind::Tv)));
        QCOMPARE(curveCsv(m_b->store, TestKind::Tv, TestKey{"V1HL"})->mid(3),
                 u("测试编号,V1HL\r\n序号,电压(V),电流(mA)\r\n").toUtf8() +
                     "1,180.3,0.052\r\n2,181.0,0.050\r\n");
    }

    // The tool's JSON and CSV; another program's CSV reader gets numbers and names with
    // commas, quotes and line breaks back whole, formulas guarded.
    void commandLine() {
        const QString odd = u("Q1,\"x\"\nHL"), person = u("李四, \"五\"\r\n六");
        QVERIFY(m_b->store.save(tvTest(odd, 100, person, "2012/06/01")).ok);
        QVERIFY(m_b->store.save(tvTest("-Q2HL", -250, "=B", "2012/06/02")).ok);
        QProcess tool;
        const auto run = [&tool](const QStringList& args, QString program = Q7RK_RESULTS_TOOL) {
            tool.start(program, args);
            return tool.waitForFinished(30000) ? tool.exitCode() : -1;
        };
        QCOMPARE(run({"query", "--workdir", m_b->dir.path(), "--kind", "tv", "--field",
                      u("化成电压"), "--op", u("介于"), "--value", "-300", "--value2", "-200"}),
                 0);
        const QJsonObject doc = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
        QCOMPARE(doc["count"].toInt(), 1);
        QCOMPARE(doc["rows"].toArray()[0].toArray()[0].toString(), QString("-Q2HL"));

        const QString out = m_b->dir.filePath("t.csv");
        QCOMPARE(run({"export", "--workdir", m_b->dir.path(), "--kind", "tv", "--out", out}), 0);
        const char* reader =
            "import csv,json,sys;print(json.dumps(list(csv.reader(open(sys.argv[1],"
            "encoding='utf-8-sig',newline='')))))";
        QCOMPARE(run({"-c", reader, out}, "python3"), 0);
        const QJsonArray read = QJsonDocument::fromJson(tool.readAllStandardOutput()).array();
        const auto cell = [&read](int row, int col) { return read[row][col].toString(); };
        QCOMPARE((S{cell(1, 0), cell(1, 1), cell(1, 15)}), (S{odd, "100", person}));
        QCOMPARE((S{cell(2, 0), cell(2, 1), cell(2, 15)}), (S{"'-Q2HL", "-250", "'=B"}));

        QCOMPARE(run({"query", "--kind", "tv", "--field", "nope", "--op", ">", "--value", "1"}), 2);
    }

    // The conditions beside a test: a file from before them reads, deletes and takes new tests
    // as it did; a saved row comes back whole (store, tool) and goes with its test; a foreign
    // table under the name fails the save whole.
    void measurementConditions() {
        const QString path = m_b->store.locateDbFile(TestKind::Tv);
        QVERIFY(m_b->store.save(tvTest("OLDHL", 150, "A", "2012/06/01")).ok);
        QVERIFY(m_b->store.save(tvTest("GONEHL", 150, "A", "2012/06/01")).ok);
        FileCheck(path).scalar(u("DROP TABLE \"测量条件\""));
        const auto old = m_b->store.load(TestKind::Tv, TestKey{"OLDHL"});
        QVERIFY(old && !old->conditions && old->value(u("化成电压")) == "150");
        QVERIFY(m_b->store.remove(TestKind::Tv, {TestKey{"GONEHL"}}).ok);

        StoredTest t = tvTest("NEWHL", 200, "B", "2012/06/02");
        t.conditions = RunConditions{1.0615201,
                                     0.98,
                                     1,
                                     1.25,
                                     "127.0.0.1:4001",
                                     "1.0.0",
                                     480,
                                     47,
                                     2,
                                     3,
                                     QDateTime(QDate(2012, 6, 2), QTime(9, 0, 0, 5)),
                                     QDateTime(QDate(2012, 6, 2), QTime(9, 4, 1))};
        QVERIFY(m_b->store.save(t).ok);
        const auto back = m_b->store.conditions(TestKind::Tv, TestKey{"NEWHL"});
        QVERIFY(back && !m_b->store.conditions(TestKind::Tv, TestKey{"OLDHL"}));
        const auto shown = [](const RunConditions& c) {
            QStringList out;
            for (const auto& [name, text] : shownConditions(c))
                out << name + "=" + text;
            return out;
        };
        QCOMPARE(shown(*back), shown(*t.conditions));
        QCOMPARE(back->started, t.conditions->started);
        // A table made before the late samples were counted reads without them and gets the
        // column at the next save.
        FileCheck(path).scalar(u("ALTER TABLE \"测量条件\" DROP COLUMN \"迟到采样\""));
        QCOMPARE(m_b->store.conditions(TestKind::Tv, TestKey{"NEWHL"})->lostReplies, 47);
        QVERIFY(m_b->store.save(tvTest("LATERHL", 150, "A", "2012/06/03")).ok);
        QCOMPARE(FileCheck(path)
                     .scalar(u("SELECT count(*) FROM pragma_table_info('测量条件') "
                               "WHERE name = '迟到采样'"))
                     .toInt(),
                 1);

        QProcess tool;
        tool.start(Q7RK_RESULTS_TOOL,
                   {"show", "--workdir", m_b->dir.path(), "--kind", "tv", "--test", "NEWHL"});
        QVERIFY(tool.waitForFinished(30000) && tool.exitCode() == 0);
        const QJsonObject doc = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
        QCOMPARE(doc["conditions"][u("丢失应答")].toString(), QString("47"));
        QCOMPARE(doc["conditions"][u("电压采样校准")].toString(), QString("1.0615201"));
        QCOMPARE(doc["fields"][u("测试人")].toString(), QString("B"));

        QVERIFY(m_b->store.remove(TestKind::Tv, {TestKey{"NEWHL"}}).ok);
        QCOMPARE(FileCheck(path).scalar(u("SELECT count(*) FROM \"测量条件\"")).toInt(), 0);

        FileCheck(path).scalar(u("DROP TABLE \"测量条件\""));
        FileCheck(path).scalar(u("CREATE TABLE \"测量条件\" (\"测试编号\" TEXT)"));
        QVERIFY(!m_b->store.save(t).ok);
        QVERIFY(!m_b->store.checkTestTable(TestKind::Tv, TestKey{"NEWHL"}));
    }

    // An electrolyte file written before the voltage before each fall was kept: it reads
    // (the field blank, not its name) and gets the columns at its next save, which stores
    // both voltages of a spark.
    void electrolyteFileWithoutVoltageBeforeFall() {
        const auto test = [](const char* number, const char* after, const char* before) {
            StoredTest t;
            t.kind = TestKind::Electrolyte;
            t.values = S(fieldNames(TestKind::Electrolyte).size());
            t.setValue(u("测试编号"), number);
            t.setValue(u("火花电压1"), after);
            t.setValue(u("闪火前电压1"), before);
            t.curve = {{400.0, 0.1}, {370.0, 0.2}};
            return t;
        };
        const QString path = m_b->store.locateDbFile(TestKind::Electrolyte);
        QVERIFY(m_b->store.save(test("OLDHL", "370", "")).ok);
        const QString columns =
            u("SELECT count(*) FROM pragma_table_info('电解液参数') WHERE name LIKE '闪火前电压%'");
        for (const char* n : {"1", "2", "3"})
            FileCheck(path).scalar(u("ALTER TABLE \"电解液参数\" DROP COLUMN \"闪火前电压") + n +
                                   '"');
        QCOMPARE(FileCheck(path).scalar(columns).toInt(), 0);
        const auto old = m_b->store.load(TestKind::Electrolyte, TestKey{"OLDHL"});
        QVERIFY(old && old->value(u("火花电压1")) == "370" &&
                old->value(u("闪火前电压1")).isEmpty());
        const ResultRows rows = m_b->store.allRows(TestKind::Electrolyte);
        QCOMPARE(rows.count(), 1);
        QVERIFY(rows.cells[fieldIndex(TestKind::Electrolyte, u("闪火前电压1"))].isNull());

        QVERIFY(m_b->store.save(test("NEWHL", "369.5", "401.2")).ok);
        QCOMPARE(FileCheck(path).scalar(columns).toInt(), 3);
        const auto back = m_b->store.load(TestKind::Electrolyte, TestKey{"NEWHL"});
        QVERIFY(back);
        QCOMPARE((S{back->value(u("火花电压1")), back->value(u("闪火前电压1"))}),
                 (S{"369.5", "401.2"}));
        QVERIFY(m_b->store.load(TestKind::Electrolyte, TestKey{"OLDHL"})
                    ->value(u("闪火前电压1"))
                    .isEmpty());
    }

    // A save killed at any moment leaves a sound file with each test whole or absent.
    void killedWhileSaving() {
        const QString path = m_b->store.locateDbFile(TestKind::Tv);
        int hotJournals = 0;
        for (int round = 0; round < 4; ++round) {
            QProcess saver;
            saver.start(Q7RK_CRASH_SAVER, {m_b->dir.path()});
            QVERIFY(saver.waitForStarted());
            QByteArray out;
            connect(&saver, &QProcess::readyReadStandardOutput, this,
                    [&] { out += saver.readAllStandardOutput(); });
            QTRY_VERIFY_WITH_TIMEOUT(out.count('\n') >= 2, 60000);
            QTest::qWait(7 * round + 3);
            ::kill(pid_t(saver.processId()), SIGKILL);
            QVERIFY(saver.waitForFinished(10000));
            QCOMPARE(saver.exitStatus(), QProcess::CrashExit);
            if (QFile::exists(path + "-journal")) ++hotJournals;

            FileCheck check(path);
            QVERIFY(check.ok);
            QCOMPARE(check.scalar("PRAGMA integrity_check").toString(), QString("ok"));
            const int rows = check.scalar(u("SELECT count(*) FROM \"铝箔TV参数\"")).toInt();
            QVERIFY(rows >= 2);
            const QString countOf = u("SELECT count(*) FROM \"%1\" WHERE \"测试编号\" = '%2'");
            const auto count = [&](const char* table, const QString& number) {
                return check.scalar(countOf.arg(u(table), number)).toInt();
            };
            for (int i = 1; i <= rows + 1; ++i) {
                const QString number = QString("C%1HL").arg(i);
                const int params = count("铝箔TV参数", number), points = count("曲线数据", number);
                QVERIFY2((params == 1 && points == 6000) || (params == 0 && points == 0),
                         qPrintable(number));
            }
            // The next round starts numbering at 1 again: clear the file's tests.
            check.scalar(u("DELETE FROM \"铝箔TV参数\""));
            check.scalar(u("DELETE FROM \"曲线数据\""));
        }
        // At least one kill landed inside a transaction, or the test proved nothing.
        QVERIFY(hotJournals > 0);
    }

private:
    void fillTv(int k, const char* number, const char* person) {
        m_b->panel.setText(k, Box::TvTestNumber, u(number));
        m_b->panel.setText(k, Box::TvOperator, u(person));
    }

    void fillSamples(int k, int n) {
        for (int i = 1; i <= n; ++i)
            m_b->samples.set(k, i, float(i * 0.7 + k), float(i * 0.013));
    }

    // A fresh work folder with its settings, panel, samples and result files for each test.
    struct Bench {
        QTemporaryDir dir;
        SettingsStore settings{dir.filePath("s.ini")};
        ChannelModel channels;
        PanelModel panel{channels, settings};
        SampleStore samples;
        ResultStore store{dir.path()};
    };
    std::optional<Bench> m_b;
    QStringList m_mounts; // unmounted after each test, the last first
};

QTEST_GUILESS_MAIN(TestResults)
#include "tst_results.moc"
