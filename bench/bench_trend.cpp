// Cost of a quality trend: one field of the TV file read for a month and for all of a file of
// 100,000 tests (a year of them), the chart worked out and drawn. Prints the median and 99th
// percentile in milliseconds, beside the same rows read by the sqlite3 command-line program
// (its process start included; skipped when the program is missing). --dir DIR keeps the
// file for later runs.
#include "quality/ControlChart.h"
#include "quality/TrendChartPainter.h"
#include "quality/TrendQuery.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"

#include <QCommandLineParser>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Tests = 100000;
const QDate FirstDay(2024, 1, 1);

QString u(const char* s) {
    return QString::fromUtf8(s);
}

QString dateOf(int test) {
    return FirstDay.addDays(test * 365 / Tests).toString(QStringLiteral("yyyy/MM/dd"));
}

double report(const char* name, int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int r = 0; r < runs + 2; ++r) { // two runs warm the page cache
        clock.start();
        work();
        if (r >= 2) ms.push_back(double(clock.nsecsElapsed()) / 1.0e6);
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("%-52s median %8.2f ms   p99 %8.2f ms\n", name, median, ms[ms.size() * 99 / 100]);
    std::fflush(stdout);
    return median;
}

// The schema through the program's own save, then the rest of the parameter rows in one
// transaction (their curves play no part in a trend).
void build(ResultStore& store) {
    StoredTest first;
    first.values = QStringList(fieldNames(TestKind::Tv).size());
    first.setValue(u("测试编号"), QStringLiteral("T0HL"));
    first.setValue(u("测试日期"), dateOf(0));
    first.curve = {{1, 0.1}};
    store.save(first);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "build");
        db.setDatabaseName(store.locateDbFile(TestKind::Tv));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("BEGIN"));
        q.prepare(
            u("INSERT INTO \"铝箔TV参数\" (\"测试编号\",\"化成电压\",\"测试电流\",\"升压时间指标\","
              "\"升压时间\",\"TV值\",\"TV特性\",\"水温度\",\"采样次数\",\"Vmax\",\"水煮前\","
              "\"水煮后\",\"头位置\",\"尾位置\",\"测试人\",\"测试日期\") "
              "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        QRandomGenerator random(7);
        for (int i = 1; i < Tests; ++i) {
            const double tv = 200 + random.bounded(20.0);
            for (const QVariant& v : QVariantList{
                     QStringLiteral("T%1HL").arg(i), 200.0, 2.0, 150.0, 60 + random.bounded(30.0),
                     tv, u(tv >= 200 ? "合格" : "不合格"), 25.0, 265.0, tv + 1,
                     QStringLiteral("True"), QStringLiteral("False"), QStringLiteral("True"),
                     QStringLiteral("False"), u("张三"), dateOf(i)})
                q.addBindValue(v);
            q.exec();
        }
        q.exec(QStringLiteral("COMMIT"));
    }
    QSqlDatabase::removeDatabase("build");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser p;
    p.addOptions({{"dir", "Keep the result file in DIR.", "DIR"}, {"runs", "Runs.", "N", "15"}});
    p.process(app);
    QTemporaryDir temp;
    const QString dir = p.isSet("dir") ? p.value("dir") : temp.path();
    const int runs = std::max(3, p.value("runs").toInt());
    ResultStore store(dir);
    const QString path = store.locateDbFile(TestKind::Tv);
    if (!QFileInfo::exists(path)) {
        QElapsedTimer clock;
        clock.start();
        build(store);
        std::printf("built %d tests in %.1f s\n", Tests, double(clock.elapsed()) / 1000);
    }

    // The date index is made by the first trend of a file; timed once on its own.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "drop");
        db.setDatabaseName(path);
        db.open();
        QSqlQuery(db).exec(u("DROP INDEX IF EXISTS \"铝箔TV参数_测试日期\""));
    }
    QSqlDatabase::removeDatabase("drop");
    const TrendQuery query(store);
    const QString lastDay = dateOf(Tests - 1);
    const QString monthBefore = QDate::fromString(lastDay, QStringLiteral("yyyy/MM/dd"))
                                    .addDays(-29)
                                    .toString(QStringLiteral("yyyy/MM/dd"));
    TrendRequest month{TestKind::Tv, u("TV值"), monthBefore, lastDay, {}};
    TrendRequest year{TestKind::Tv, u("TV值"), dateOf(0), lastDay, {}};
    QElapsedTimer clock;
    clock.start();
    const std::size_t monthPoints = query.run(month).points.size();
    std::printf("first trend of the file, index on 测试日期 made      %8.2f ms\n",
                double(clock.nsecsElapsed()) / 1e6);
    std::printf("a month is %zu tests, the year %d\n", monthPoints, Tests);

    const QString where = u("FROM \"铝箔TV参数\" WHERE \"测试日期\" BETWEEN '%1' AND '%2' AND "
                            "\"TV值\" IS NOT NULL ORDER BY \"测试日期\", rowid");
    const QString columns = u("SELECT \"测试编号\",\"测试日期\",\"TV值\",\"化成电压\" ");
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    for (const auto& [name, request] :
         {std::pair{"month", month}, std::pair{"all 100,000 tests", year}}) {
        std::printf("-- %s\n", name);
        report("  trend read (TrendQuery)", runs, [&] { query.run(request); });
        const TrendData data = query.run(request);
        report("  read + control chart + rules + capability", runs, [&] {
            const TrendData d = query.run(request);
            const ControlChart chart(d.values());
            chart.capability(d.limits);
        });
        const ControlChart chart(data.values());
        report("  drawn 1200 x 800", runs, [&] {
            TrendChartPainter(chart, data.points, data.limits, QStringLiteral("TV值"))
                .image(QSize(1200, 800));
        });
        if (sqlite3.isEmpty()) {
            std::printf("  sqlite3 command-line program missing: its figure is skipped\n");
            continue;
        }
        const QString sql = columns + where.arg(request.from, request.to) + QLatin1Char(';');
        report("  the same rows by the sqlite3 program (to /dev/null)", runs, [&] {
            QProcess cli;
            cli.setStandardOutputFile(QProcess::nullDevice());
            cli.start(sqlite3, {path, sql});
            cli.waitForFinished(60000);
        });
        report("  the sqlite3 program starting, empty statement", runs, [&] {
            QProcess cli;
            cli.setStandardOutputFile(QProcess::nullDevice());
            cli.start(sqlite3, {path, QStringLiteral("SELECT 1;")});
            cli.waitForFinished(60000);
        });
    }
    return 0;
}
