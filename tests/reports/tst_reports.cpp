// The printed report, the merged-report launcher and the display of a stored test.
#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "reports/MergedReport.h"
#include "reports/ReportPrinter.h"
#include "reports/ReportPrinting.h"
#include "reports/StoredTestDisplay.h"
#include "results/PanelRecord.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "support/TestStation.h"

#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <functional>

using namespace q7rk;

namespace {

QString runTool(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// What pdftotext finds in a PDF: each page's size in points, each word's box in twips.
struct PdfText {
    struct Word {
        int page;
        QPointF topLeft;
        QString text;
    };
    QList<QSizeF> pages;
    QList<Word> words;

    explicit PdfText(const QString& pdf) {
        static const QRegularExpression tag(QStringLiteral(
            "<page width=\"([\\d.]+)\" height=\"([\\d.]+)\"|<word xMin=\"([\\d.]+)\" "
            "yMin=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
        const QString html = runTool(QStringLiteral("pdftotext"),
                                     {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        for (auto it = tag.globalMatch(html); it.hasNext();) {
            const auto m = it.next();
            const auto number = [&](int n) { return m.captured(n).toDouble(); };
            if (m.hasCaptured(1))
                pages.append(QSizeF(number(1), number(2)));
            else
                words.append(
                    {int(pages.size()), QPointF(number(3), number(4)) * 20, m.captured(5)});
        }
    }
    // `text` printed on page `page` (1, 2, ...) with its top left at (x, y) in twips.
    bool at(int page, double x, double y, const QString& text) const {
        return std::any_of(words.cbegin(), words.cend(), [&](const Word& w) {
            return w.page == page && w.text == text && qAbs(w.topLeft.x() - x) < 20 &&
                   qAbs(w.topLeft.y() - y) < 20;
        });
    }
};

// The report's geometry in twips.
int columnX(int column) {
    return 500 + 5100 * column;
}
int lineY(int line) {
    return 6700 + 440 * line;
}

// The red curve pixels of each column's chart inside its axes (144 dpi: 10 twips a pixel).
QList<int> curvePixelsPerColumn(const QString& pdf, int page) {
    const QString number = QString::number(page);
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("144"), QStringLiteral("-f"), number,
             QStringLiteral("-l"), number, QStringLiteral("-singlefile"), QStringLiteral("-png"),
             pdf, pdf});
    const QImage image(pdf + QStringLiteral(".png"));
    QList<int> counts;
    for (int column = 0; column < 3; ++column) {
        int n = 0;
        // The chart starts at y 1400; its axes lie 400 twips in and 3600 down, its titles
        // above 400.
        for (int y = 1800 / 10; y < 4900 / 10; ++y)
            for (int x = (columnX(column) + 500) / 10; x < (columnX(column) + 4400) / 10; ++x) {
                const QColor c = image.pixelColor(x, y);
                n += c.red() > 180 && c.green() < 130 && c.blue() < 130;
            }
        counts << n;
    }
    return counts;
}

// The images a PDF holds, one line each ("page num type width height ...").
QStringList pdfImages(const QString& pdf) {
    const QStringList lines = runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.mid(2); // the column names and the rule under them
}

using Boxes = QList<QPair<Box, QString>>;

// The station over real settings and result files in its own folder, its charts framed.
struct Rig : q7rk::testing::TestStation {
    explicit Rig(const Seed& seed = {}) : TestStation(seed) { charts.frameAll(); }

    CurvePlotter& plotter = station.plotter();
    const SampleStore& samples = station.samples();

    // A rising curve of 60 samples in each channel chart but those named, as a run shows it.
    void drawCurves(const QList<int>& without = {}) {
        for (int k = 0; k < ChannelCount; ++k) {
            charts.frameChannelChart(k);
            if (without.contains(k)) continue;
            for (int i = 1; i <= 60; ++i) {
                station.samples().set(k, i, float(i * 5), 1.0f);
                plotter.plot(k, i, 1.0, CurvePlotter::Stroke::Draw);
            }
        }
    }
    void fillTvChannel(int k, const QString& voltage) {
        panel.setText(k, Box::FormationVoltage, voltage);
        panel.setText(k, Box::RiseTime, QStringLiteral("97"));
        panel.setText(k, Box::TvValue, QStringLiteral("312.5"));
        panel.setText(k, Box::TvVerdict, QStringLiteral("合格"));
        panel.setText(k, Box::TvTestNumber, QStringLiteral("A%1").arg(k + 1));
        panel.setText(k, Box::TvOperator, QStringLiteral("王工"));
    }
    QString pdfPath(const char* name) const { return path(QLatin1String(name)); }
    // The report of groups first..last as the window prints it, to a preview that hands it on.
    void print(Command command, const std::function<void(const ReportPrinter&)>& preview) {
        station.setPrintPreview(preview);
        station.perform(command);
    }

    // A finished test in channel k as a run leaves it, saved into the working folder's result
    // files, then the channel cleared.
    void save(int k, TestKind kind, const Boxes& boxes, int n, std::function<double(int)> volts) {
        panel.applyKind(k, kind);
        for (const auto& [box, text] : boxes)
            panel.setText(k, box, text);
        // The record a run of these boxes leaves: its texts, its numbers and n samples.
        StoredTest record;
        record.kind = kind;
        record.values = QStringList(fieldNames(kind).size());
        takeOperatorTexts(record, panel, k);
        for (const auto& [box, text] : boxes)
            if (const QString field = storedField(kind, box); !field.isEmpty())
                record.setValue(field, text);
        for (int i = 1; i <= n; ++i)
            record.curve.push_back({float(volts(i)), float(i * 0.01)});
        record.setValue(QStringLiteral("采样次数"), QString::number(n));
        QVERIFY(ResultStore().save(record).ok);
        panel.resetToDesign();
        panel.applyKind(k, TestKind::Tv);
    }
    DisplayOutcome show(TestKind kind, const char* number, int slot, DisplayGroup group,
                        bool afterBoiling = false) {
        return station.displayStoredTest({kind, {number, afterBoiling}, slot, group});
    }

    void exec(TestKind kind, const QString& sql) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "edit");
        db.setDatabaseName(station.results().locateDbFile(kind));
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(sql));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("edit");
    }
};

bool hasColourNear(const ChartCanvas& c, QPointF at, const QColor& colour) {
    const QPoint p(ChartCanvas::pixelOf(at.x()), ChartCanvas::pixelOf(at.y()));
    for (int d = 0; d < 9; ++d)
        if (c.image().pixelColor(p + QPoint(d % 3 - 1, d / 3 - 1)) == colour) return true;
    return false;
}

// Whether a label was printed at a place (within half a twip).
bool printedAt(const ChartCanvas& c, const QString& text, QPointF at) {
    return std::any_of(c.printedTexts().begin(), c.printedTexts().end(), [&](const auto& p) {
        return p.text == text && (p.atTwips - at).manhattanLength() < 0.5;
    });
}

// y in TV(k) and in the group chart of a voltage, as the live curves map it.
double channelY(double v, double vref) {
    return (0.9 - v / (1.5 * vref)) * 4000;
}
double groupY(double v, double vref) {
    return (1.0 - v / (1.5 * vref)) * 4000;
}

const QColor Red(Qt::red);

double tvVolts(int i) {
    return i <= 14 ? 15.0 * i : 205.0; // peak 210 V at sample 14
}
double leakageVolts(int i) {
    return std::min(10.0 * i, 100.0);
}
double electrolyteVolts(int i) {
    return i < 8 ? 40.0 * i : (i == 8 ? 250.0 : 300.0); // the spark at sample 8
}

// clang-format off
const Boxes kTv{{Box::FormationVoltage, "200"}, {Box::TestCurrent, "2"}, {Box::DelayTime, "5"}, {Box::RiseTimeLimit, "30"},
    {Box::RiseTime, "12"}, {Box::TvValue, "201.3"}, {Box::TvVerdict, "合格"}, {Box::WaterTemperature, "85"},
    {Box::Readout51, "210"}, {Box::TvTestNumber, "T1"}, {Box::SamplePosition, "HL"}, {Box::TvOperator, "张'三"},
    {Box::TvTestDate, "2012/06/01"}};
const Boxes kLeakage{{Box::LeakageVoltage, "100"}, {Box::TestCurrent, "1"}, {Box::LeakageLimit, "0.5"},
    {Box::LeakageTestTime, "20"}, {Box::LeakageCurrent, "0.2"}, {Box::WaterTemperature, "80"}, {Box::LeakageVerdict, "合格"},
    {Box::TvTestNumber, "L1"}, {Box::SamplePosition, "TM"}, {Box::TvOperator, "李四"}, {Box::TvTestDate, "2012/06/02"}};
const Boxes kElectrolyte{{Box::ElectrolyteCurrent, "5"}, {Box::ElectrolyteSetVoltage, "400"}, {Box::ReferenceVoltage, "300"},
    {Box::SparkDelay, "3"}, {Box::SparkCorrection, "3"}, {Box::MaximumVoltage, "300"}, {Box::MinimumVoltage, "250"},
    {Box::SparkVoltage1, "250"}, {Box::SparkTime1, "8"}, {Box::SparkVoltage2, "260"}, {Box::SparkTime2, "9"},
    {Box::SparkVoltage3, "270"}, {Box::SparkTime3, "10"}, {Box::ElectrolyteVerdict, "不合格"}, {Box::ElectrolyteTestNumber, "E1"},
    {Box::ElectrolyteSamplePosition, "HR"}, {Box::ElectrolyteOperator, "王五"}, {Box::ElectrolyteTestDate, "2012/06/03"}};
// clang-format on

} // namespace

class ReportTest : public QObject {
    Q_OBJECT
private slots:
    // 1-6: a TV page with the company line and an empty column, then an electrolyte page.
    void oneToSixPrintsTwoPages() {
        Rig r([](SettingsStore& s) {
            s.write(QStringLiteral("topic"), QStringLiteral("COMPANY"),
                    QStringLiteral("华东铝箔有限公司"));
        });
        r.fillTvChannel(0, QStringLiteral("300"));
        r.fillTvChannel(1, QStringLiteral("520"));
        for (int n = 1; n <= 42; ++n) // channel 3 shows nothing at all
            r.panel.setText(2, textBox(n), QString());
        r.panel.clickOption(Option::ElectrolyteTest, 1);
        for (int k = 3; k < 6; ++k) {
            r.panel.setText(k, Box::SparkTime3, QStringLiteral("9%1").arg(k));
            r.panel.setText(k, Box::ElectrolyteTestNumber, QStringLiteral("E%1").arg(k + 1));
        }
        r.drawCurves({2});
        const QString pdf = r.pdfPath("all.pdf");
        QCOMPARE(r.station.writeReportPdf(0, 1, pdf), QString());
        const PdfText text(pdf);

        QCOMPARE(text.pages.size(), 2);
        QCOMPARE(text.pages[0].toSize(), QSize(842, 595)); // A4 landscape
        QVERIFY(runTool(QStringLiteral("pdffonts"), {pdf})
                    .contains(QRegularExpression(QStringLiteral("WenQuanYi\\S*\\s.*\\byes\\b"))));
        QVERIFY(text.at(1, 6600, 400, QStringLiteral("Q-7RK-M智能TV仪铝箔特性测试报告")));
        QVERIFY(text.at(1, 7000, 1000, QStringLiteral("华东铝箔有限公司")));
        // Filled and empty boxes: both print label and unit.
        QVERIFY(text.at(1, columnX(0), lineY(0), QStringLiteral("化成电压：300V")));
        QVERIFY(text.at(1, columnX(0), lineY(9), QStringLiteral("测试日期：2009-09-01")));
        QVERIFY(text.at(1, columnX(1), lineY(8), QStringLiteral("测试编号：A2HM")));
        QVERIFY(text.at(1, columnX(2), lineY(0), QStringLiteral("化成电压：V")));
        for (int column = 0; column < 3; ++column) {
            const int x = columnX(column);
            QVERIFY(text.at(1, x, 6200, QStringLiteral("TV通道")));
            QVERIFY(!text.at(1, x + 2500, lineY(0), QStringLiteral("火花电压-时间数据")));
            QVERIFY(
                text.at(2, x + 2500, lineY(6), QStringLiteral("火花时间3：9%1S").arg(column + 3)));
        }
        QVERIFY(text.at(2, columnX(0), lineY(8), QStringLiteral("测试编号：E4TL")));
        // The charts are paths and text: no picture in the file, each curve above its own
        // column and none where channel 3 has none.
        QCOMPARE(pdfImages(pdf), QStringList());
        const QList<int> page1 = curvePixelsPerColumn(pdf, 1);
        QVERIFY2(page1[0] > 100 && page1[1] > 100 && page1[2] == 0,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(page1[0]).arg(page1[1]).arg(page1[2])));
        for (int count : curvePixelsPerColumn(pdf, 2))
            QVERIFY(count > 100);
    }

    void noPrinterOrAFailingOneOffersAPdf() {
        Rig r;
        r.drawCurves();
        ScriptedPrompter& prompter = r.prompter;
        const QString kept = r.pdfPath("kept.pdf");
        prompter.queueFileName(kept);
        r.print(Command::PrintChannels46, [&](const ReportPrinter& report) {
            printReport(report, prompter, nullptr, QDate(2026, 12, 6));
        });
        QCOMPARE(prompter.shown().size(), 2);
        QVERIFY(prompter.shown()[0].text.startsWith(QStringLiteral("没有找到可用的打印机")));
        QCOMPARE(prompter.shown()[1].kind, ScriptedPrompter::Shown::SaveDialog);
        QCOMPARE(prompter.shown()[1].text, QStringLiteral("2026-12-06-报告-4-6.pdf"));
        QVERIFY(PdfText(kept).at(1, columnX(0) + 940, 6200, QStringLiteral("4")));

        // A printer that cannot start its job; the operator then declines the file.
        prompter.clear();
        QPrinter broken;
        broken.setOutputFormat(QPrinter::PdfFormat);
        broken.setOutputFileName(r.pdfPath("no/such/folder/out.pdf"));
        prompter.queueFileName(QString());
        r.print(Command::PrintChannels46,
                [&](const ReportPrinter& report) { printReport(report, prompter, &broken); });
        QCOMPARE(prompter.shown().size(), 2);
        QVERIFY(prompter.shown()[0].text.startsWith(QStringLiteral("打印机无法开始打印")));

        QVERIFY(r.station.writeReportPdf(1, 1, r.pdfPath("no/such/folder/r.pdf"))
                    .startsWith(QStringLiteral("报告文件无法写入：") +
                                r.pdfPath("no/such/folder/r.pdf")));
    }

    // A recalled test beside a live one: each block says which test it is (number with its
    // position, boiling mark, delay) and the recalled one says it was recalled.
    void blocksNameTheirTests() {
        Rig r;
        r.panel.clickOption(Option::AfterBoiling, 0);
        r.save(0, TestKind::Tv, kTv, 20, tvVolts);
        QVERIFY(r.show(TestKind::Tv, "T1HL", 0, DisplayGroup::Channels13, true).complete);
        r.fillTvChannel(1, QStringLiteral("300"));
        r.panel.setText(1, Box::SamplePosition, QStringLiteral("TM"));
        r.panel.clickOption(Option::BeforeBoiling, 0); // presets every delay to 180
        r.panel.setText(0, Box::DelayTime, QStringLiteral("5"));
        const ReportPrinter& report = r.station.report();
        const QStringList recalled = report.blockLines(0), live = report.blockLines(1);
        for (const char* line :
             {"延迟时间：5S", "TV值：201.3V", "测试编号：T1HL", "水煮状态：水煮后"})
            QVERIFY2(recalled.contains(QString::fromUtf8(line)), line);
        for (const char* line :
             {"延迟时间：180S", "TV值：312.5V", "测试编号：A2TM", "水煮状态：水煮前"})
            QVERIFY2(live.contains(QString::fromUtf8(line)), line);
        QCOMPARE(report.originMark(0), QStringLiteral("（历史记录）"));
        QCOMPARE(report.originMark(1), QString());

        const QString pdf = r.pdfPath("mixed.pdf");
        QCOMPARE(r.station.writeReportPdf(0, 0, pdf), QString());
        const PdfText text(pdf);
        QVERIFY(text.at(1, columnX(0), lineY(5), QStringLiteral("TV值：201.3V")));
        QVERIFY(text.at(1, columnX(0), lineY(10), QStringLiteral("水煮状态：水煮后")));
        QVERIFY(std::count_if(text.words.cbegin(), text.words.cend(), [](const PdfText::Word& w) {
                    return w.text == QStringLiteral("（历史记录）");
                }) == 1);
    }

    // Without the program the operator learns where it belongs and may name its place, which
    // the settings keep.
    void mergedReportLauncher() {
        Rig r;
        const QString folder = r.path(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(folder));
        const QString program = QDir(folder).filePath(QStringLiteral("scoreout"));
        QCOMPARE(mergedReportProgram(QString(), folder), program);
        QCOMPARE(startMergedReport(program), MergedReportStart::Missing);
        QVERIFY(mergedReportMissingText(program).contains(QDir::toNativeSeparators(folder)));

        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\ntouch started\n"));
        script.close();
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        r.prompter.setAnswer(Question::LocateMergedReport, true);
        r.prompter.queueFileName(program);
        r.station.perform(Command::MergedReport);
        QVERIFY(
            r.prompter.texts().first().contains(QStringLiteral("现在指定合并报表程序的位置吗")));
        QCOMPARE(r.station.settings().read(QStringLiteral("canshu"), QStringLiteral("hbbbProgram")),
                 program);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(folder).filePath("started")), 10000);
    }

    // Three kinds into the slots of "1-3通道", then "4-6通道".
    void eachKindRestoresItsBoxesAndCurve() {
        Rig rig;
        rig.save(0, TestKind::Tv, kTv, 20, tvVolts);
        rig.save(1, TestKind::Leakage, kLeakage, 25, leakageVolts);
        rig.save(2, TestKind::Electrolyte, kElectrolyte, 15, electrolyteVolts);
        const auto show = [&](TestKind kind, const char* number, int slot, const Boxes& boxes) {
            const DisplayOutcome out = rig.show(kind, number, slot, DisplayGroup::Channels13);
            QVERIFY(out.channel == slot && out.complete);
            // Number box and position list together show the stored test number.
            for (const auto& [box, text] : boxes)
                QCOMPARE(rig.panel.text(slot, box), text);
            QCOMPARE(testNumberOf(rig.panel, slot), QString::fromUtf8(number));
        };
        const auto& p = rig.plotter;
        const auto& group = rig.charts.groupChart(0);

        // TV: n = delay 5 + rise 12; B at the peak (the markers' drawing is the plotter's test).
        show(TestKind::Tv, "T1HL", 0, kTv);
        QCOMPARE(rig.channels.timeScale[0], 1.f / 16); // 10 to 19 samples; doubling up to 32
        QCOMPARE(displayTimeScale(6000), 32.f);
        QVERIFY(rig.samples.voltage(0, 17) == 205.0f && rig.samples.voltage(0, 18) == 0.0f);
        const ChartCanvas& tv = rig.charts.channelChart(0);
        QVERIFY(hasColourNear(tv, {p.channelX(0, 10), channelY(150, 200)}, Red));
        QVERIFY(printedAt(tv, "B点", {p.channelX(0, 14), channelY(205, 200) + 100}));

        // Leakage: n = test time 20; the whole group switches kind.
        show(TestKind::Leakage, "L1TM", 1, kLeakage);
        QVERIFY(rig.panel.option(Option::LeakageTest, 0) &&
                rig.channels.kind(0) == TestKind::Leakage);
        QCOMPARE(rig.panel.text(1, Box::Readout50), QStringLiteral("25"));
        QVERIFY(hasColourNear(group, {p.groupX(1, 5), groupY(50, 100)}, QColor(Qt::green)));

        // Electrolyte: n = spark delay 3 + first spark time 8; the spark marked.
        show(TestKind::Electrolyte, "E1HR", 2, kElectrolyte);
        const ChartCanvas& el = rig.charts.channelChart(2);
        QVERIFY(hasColourNear(el, {p.channelX(2, 5), channelY(200, 400)}, Red));
        QVERIFY(printedAt(el, "31A", {p.channelX(2, 8), channelY(250, 400)}));

        QCOMPARE(rig.show(TestKind::Tv, "T1HL", 0, DisplayGroup::Channels46).channel, 3);
        QVERIFY(rig.panel.option(Option::TvTest, 1));
        QVERIFY(hasColourNear(rig.charts.groupChart(1), {p.groupX(3, 10), groupY(150, 200)}, Red));
        QCOMPARE(rig.prompter.texts(), QStringList());
    }

    void readingErrorsAreReported() {
        Rig rig;
        rig.save(0, TestKind::Tv, kTv, 5, tvVolts); // five samples of a test 17 long
        const auto show = [&](int slot, int drawn, const char* said) {
            const DisplayOutcome out =
                rig.show(TestKind::Tv, "T1HL", slot, DisplayGroup::Channels16);
            QCOMPARE(out.drawn, drawn);
            QVERIFY(rig.prompter.texts().last().contains(QString::fromUtf8(said)));
        };
        show(0, 5, "少于测试长度 17 点");
        QCOMPARE(testNumberOf(rig.panel, 0), QStringLiteral("T1HL")); // as far as it got
        rig.exec(TestKind::Tv,
                 QStringLiteral("UPDATE 曲线数据 SET 电压 = 'abc' WHERE vi_order = 3"));
        show(1, 2, "第 3 点不是数值");
        rig.exec(TestKind::Tv, QStringLiteral("DELETE FROM 曲线数据"));
        show(1, 0, "曲线数据不存在");
        rig.exec(TestKind::Tv, QStringLiteral("UPDATE 铝箔TV参数 SET 延迟时间 = 'x'"));
        show(2, 0, "“延迟时间”不是数值");
        QCOMPARE(rig.panel.text(2, Box::DelayTime), QStringLiteral("x"));

        // During a run nothing is touched.
        rig.station.runTests()[4].stopped = false;
        show(0, 0, "测试正在进行");
        QCOMPARE(rig.panel.text(0, Box::DelayTime), QStringLiteral("5"));
        QCOMPARE(rig.prompter.texts().size(), 5);
    }
};

QTEST_MAIN(ReportTest)
#include "tst_reports.moc"
