#include "charts/ChartSet.h"
#include "params/PanelModel.h"
#include "reports/MergedReport.h"
#include "reports/ReportPrinter.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"

#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace q7rk;

namespace {

// A curve colour per column that no chart frame uses.
const QColor CurveColours[] = {QColor(255, 0, 255), QColor(0, 128, 128), QColor(255, 128, 0)};

// Runs one of the PDF tools; its standard output.
QString runTool(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A word of the PDF with its box in twips.
struct Word {
    int page;
    QRectF box;
    QString text;
};

// The page count and the first page's size in points.
struct PdfInfo {
    int pages = 0;
    QSizeF size;
};

PdfInfo pdfInfo(const QString& pdf) {
    const QString info = runTool(QStringLiteral("pdfinfo"), {pdf});
    static const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    static const QRegularExpression size(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)"));
    const auto p = pages.match(info);
    const auto s = size.match(info);
    return {p.captured(1).toInt(), QSizeF(s.captured(1).toDouble(), s.captured(2).toDouble())};
}

QList<Word> words(const QString& pdf) {
    const QString html =
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    static const QRegularExpression pageTag(QStringLiteral("<page "));
    static const QRegularExpression wordTag(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Word> out;
    int page = 0;
    for (const QString& chunk : html.split(pageTag).mid(1)) {
        ++page;
        for (auto it = wordTag.globalMatch(chunk); it.hasNext();) {
            const auto m = it.next();
            const auto twips = [&](int n) { return m.captured(n).toDouble() * 20; };
            out.append({page, QRectF(QPointF(twips(1), twips(2)), QPointF(twips(3), twips(4))),
                        m.captured(5)});
        }
    }
    return out;
}

} // namespace

// The page's geometry in twips, as the printed report lays it out.
int columnX(int column) {
    return 500 + 5100 * column;
}
int lineY(int line) {
    return 6700 + 440 * line;
}

class ReportTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void tvGroupPage();
    void oneToSixPrintsTwoPagesWithSparks();
    void noPrinterOrAFailingOneOffersAPdf();
    void mergedReportLauncher();

private:
    void fillTvChannel(int k, const QString& voltage);
    void drawCurve(int k);
    QString writePdf(const QString& name);
    // True when `text` was printed on `page` with its top left at (x, y).
    bool printedAt(int page, int x, int y, const QString& text) const;
    // Pixels of each column's curve colour inside the chart area of `column`.
    QList<int> curvePixels(const QString& pdf, int page, int column) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    ChannelModel m_channels;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<PanelModel> m_panel;
    std::unique_ptr<ChartSet> m_charts;
    std::unique_ptr<ReportPrinter> m_report;
    QList<Word> m_words;
};

void ReportTest::init() {
    m_report.reset();
    m_charts.reset();
    m_panel.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_channels = ChannelModel{};
    m_store = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("s.ini")));
    m_panel = std::make_unique<PanelModel>(m_channels, *m_store);
    m_charts = std::make_unique<ChartSet>(m_channels, *m_panel, *m_store);
    m_report = std::make_unique<ReportPrinter>(*m_panel, *m_charts, *m_store);
    for (int k = 0; k < ChannelCount; ++k)
        drawCurve(k);
}

void ReportTest::fillTvChannel(int k, const QString& voltage) {
    m_panel->setText(k, Box::Text1, voltage);
    m_panel->setText(k, Box::Text6, QStringLiteral("97"));
    m_panel->setText(k, Box::Text7, QStringLiteral("312.5"));
    m_panel->setText(k, Box::Text8, QStringLiteral("合格"));
    m_panel->setText(k, Box::Text14, QStringLiteral("A%1").arg(k + 1));
    m_panel->setText(k, Box::Text15, QStringLiteral("王工"));
    m_panel->setComboItems(k, Box::Combo1, {QStringLiteral("HL")});
}

void ReportTest::drawCurve(int k) {
    m_charts->zb(k);
    m_charts->channelChart(k).drawLine(QPointF(400, 3600), QPointF(4400, 800), CurveColours[k % 3],
                                       6);
}

QString ReportTest::writePdf(const QString& name) {
    const QString pdf = m_dir->filePath(name);
    const ReportOutcome outcome = m_report->writePdf(pdf);
    if (!outcome.ok()) qWarning("%s", qPrintable(outcome.error));
    m_words = words(pdf);
    return pdf;
}

bool ReportTest::printedAt(int page, int x, int y, const QString& text) const {
    for (const Word& w : m_words)
        if (w.page == page && w.text == text && qAbs(w.box.left() - x) < 20 &&
            qAbs(w.box.top() - y) < 20)
            return true;
    return false;
}

QList<int> ReportTest::curvePixels(const QString& pdf, int page, int column) const {
    const QString stem = pdf + QStringLiteral(".png");
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"),
             QString::number(page), QStringLiteral("-l"), QString::number(page),
             QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, pdf});
    const QImage image(stem);
    // At 72 dpi a pixel is 20 twips. The chart area lies between the company line (ending
    // near 1240) and the headings at 6200, across the column's frame.
    const QRect area(columnX(column) / 20, 1300 / 20, 4800 / 20, (6150 - 1300) / 20);
    QList<int> counts(3, 0);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            for (int n = 0; n < 3; ++n) {
                const QColor& want = CurveColours[n];
                if (qAbs(c.red() - want.red()) + qAbs(c.green() - want.green()) +
                        qAbs(c.blue() - want.blue()) <
                    40)
                    ++counts[n];
            }
        }
    return counts;
}

void ReportTest::tvGroupPage() {
    m_store->write(QStringLiteral("topic"), QStringLiteral("COMPANY"),
                   QStringLiteral("华东铝箔有限公司"));
    fillTvChannel(0, QStringLiteral("300"));
    fillTvChannel(1, QStringLiteral("520"));
    for (int n = 1; n <= 42; ++n) // channel 3 shows nothing at all
        m_panel->setText(2, textBox(n), QString());
    m_report->setGroups(0, 0);
    const QString pdf = writePdf(QStringLiteral("tv.pdf"));

    const PdfInfo info = pdfInfo(pdf);
    QCOMPARE(info.pages, 1);
    QCOMPARE(qRound(info.size.width()), 842); // A4 landscape
    QCOMPARE(qRound(info.size.height()), 595);
    const QString fonts = runTool(QStringLiteral("pdffonts"), {pdf});
    QVERIFY2(fonts.contains(QRegularExpression(QStringLiteral("WenQuanYi\\S*\\s.*\\byes\\b"))),
             qPrintable(fonts));

    QVERIFY(printedAt(1, 6600, 400, QStringLiteral("Q-7RK-M智能TV仪铝箔特性测试报告")));
    QVERIFY(printedAt(1, 7000, 1000, QStringLiteral("华东铝箔有限公司")));
    const QStringList first{"化成电压：300V",      "测试电流：2mA", "延迟时间：180S",
                            "升压时间指标：150S",  "升压时间：97S", "TV值0：312.5V",
                            "TV特性：合格",        "测试员：王工",  "测试编号：A1",
                            "测试日期：2009-09-01"};
    const QStringList empty{"化成电压：V", "测试电流：mA", "延迟时间：S", "升压时间指标：S",
                            "升压时间：S", "TV值0：V",     "TV特性：",    "测试员：",
                            "测试编号：",  "测试日期："};
    for (int n = 0; n < first.size(); ++n) {
        QVERIFY2(printedAt(1, columnX(0), lineY(n), first[n]), qPrintable(first[n]));
        QVERIFY2(printedAt(1, columnX(2), lineY(n), empty[n]), qPrintable(empty[n]));
    }
    QVERIFY(printedAt(1, columnX(1), lineY(0), QStringLiteral("化成电压：520V")));
    QVERIFY(printedAt(1, columnX(1), lineY(8), QStringLiteral("测试编号：A2")));
    for (int column = 0; column < 3; ++column) {
        QVERIFY(printedAt(1, columnX(column), 6200, QStringLiteral("TV通道")));
        QVERIFY(
            !printedAt(1, columnX(column) + 2500, lineY(0), QStringLiteral("火化电压-时间数据")));
        // Each chart above its own column: its curve there, no other channel's.
        QList<int> expected(3, 0);
        const QList<int> seen = curvePixels(pdf, 1, column);
        QVERIFY2(seen[column] > 100, qPrintable(QString::number(seen[column])));
        expected[column] = seen[column];
        QCOMPARE(seen, expected);
    }
    QVERIFY(
        runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
            .contains(QRegularExpression(
                QStringLiteral("TV通道 1 数据显示\\s+TV通道 2 数据显示\\s+TV通道 3 数据显示"))));
}

void ReportTest::oneToSixPrintsTwoPagesWithSparks() {
    for (int k = 0; k < 3; ++k)
        fillTvChannel(k, QStringLiteral("400"));
    m_panel->clickOption(Option::ElectrolyteTest, 1);
    for (int k = 3; k < 6; ++k) {
        m_panel->setText(k, Box::Text29, QStringLiteral("4%1").arg(k));
        m_panel->setText(k, Box::Text34, QStringLiteral("9%1").arg(k));
        m_panel->setText(k, Box::Text35, QStringLiteral("E%1").arg(k + 1));
    }
    m_report->setGroups(0, 1);
    QCOMPARE(m_report->defaultPdfName(QDate(2026, 12, 6)),
             QStringLiteral("2026-12-06-报告-1-6.pdf"));
    const QString pdf = writePdf(QStringLiteral("all.pdf"));
    QCOMPARE(pdfInfo(pdf).pages, 2);

    QVERIFY(printedAt(1, 6600, 400, QStringLiteral("Q-7RK-M智能TV仪铝箔特性测试报告")));
    QVERIFY(printedAt(2, 6600, 400, QStringLiteral("Q-7RK-M智能TV仪电解液测试报告")));
    for (const Word& w : std::as_const(m_words)) // no company line without the setting
        QVERIFY(!(qAbs(w.box.left() - 7000) < 20 && qAbs(w.box.top() - 1000) < 20));
    for (int column = 0; column < 3; ++column) {
        const int k = 3 + column;
        const int x = columnX(column);
        QVERIFY(printedAt(1, x, lineY(0), QStringLiteral("化成电压：400V")));
        QVERIFY(printedAt(2, x, 6200, QString::number(k + 1)) ||
                printedAt(2, x + 940, 6200, QString::number(k + 1)));
        QVERIFY(printedAt(2, x, lineY(0), QStringLiteral("测试电流：2mA")));
        QVERIFY(printedAt(2, x, lineY(1), QStringLiteral("参考电压：550V")));
        QVERIFY(printedAt(2, x, lineY(8), QStringLiteral("测试编号：E%1").arg(k + 1)));
        QVERIFY(printedAt(2, x + 2500, lineY(0), QStringLiteral("火化电压-时间数据")));
        QVERIFY(printedAt(2, x + 2500, lineY(1), QStringLiteral("火化电压1：4%1V").arg(k)));
        QVERIFY(printedAt(2, x + 2500, lineY(6), QStringLiteral("火化时间3：9%1S").arg(k)));
        const QList<int> seen = curvePixels(pdf, 2, column);
        QVERIFY(seen[column] > 100);
        QCOMPARE(seen[(column + 1) % 3] + seen[(column + 2) % 3], 0);
    }
}

void ReportTest::noPrinterOrAFailingOneOffersAPdf() {
    fillTvChannel(0, QStringLiteral("300"));
    m_report->setGroups(1, 1);
    ScriptedPrompter prompter;
    const QString kept = m_dir->filePath(QStringLiteral("kept.pdf"));
    prompter.queueFileName(kept);
    m_report->printReport(prompter, nullptr, QDate(2026, 12, 6));
    QCOMPARE(prompter.shown().size(), 2);
    QVERIFY(prompter.shown()[0].text.startsWith(QStringLiteral("没有找到可用的打印机")));
    QCOMPARE(prompter.shown()[1].kind, ScriptedPrompter::Shown::SaveDialog);
    QCOMPARE(prompter.shown()[1].text, QStringLiteral("2026-12-06-报告-4-6.pdf"));
    m_words = words(kept);
    QVERIFY(printedAt(1, columnX(0), 6200, QStringLiteral("TV通道")));
    QVERIFY(printedAt(1, columnX(0) + 940, 6200, QStringLiteral("4")));

    // A printer that cannot start its job; the operator then declines the file.
    prompter.clear();
    QPrinter broken;
    broken.setOutputFormat(QPrinter::PdfFormat);
    broken.setOutputFileName(m_dir->filePath(QStringLiteral("no/such/folder/out.pdf")));
    prompter.queueFileName(QString());
    m_report->printReport(prompter, &broken);
    QCOMPARE(prompter.shown().size(), 2);
    QVERIFY(prompter.shown()[0].text.startsWith(QStringLiteral("打印机无法开始打印")));
    QCOMPARE(prompter.shown()[1].kind, ScriptedPrompter::Shown::SaveDialog);

    // A working printer asks nothing.
    prompter.clear();
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString printed = m_dir->filePath(QStringLiteral("printed.pdf"));
    printer.setOutputFileName(printed);
    m_report->printReport(prompter, &printer);
    QVERIFY(prompter.shown().isEmpty());
    const PdfInfo info = pdfInfo(printed);
    QCOMPARE(info.pages, 1);
    QVERIFY(info.size.width() > info.size.height());
    // On a printer the page starts at the printable area's corner.
    const QPoint origin =
        (printer.pageLayout().paintRect(QPageLayout::Point).topLeft() * 20).toPoint();
    m_words = words(printed);
    QVERIFY(printedAt(1, 6600 + origin.x(), 400 + origin.y(),
                      QStringLiteral("Q-7RK-M智能TV仪铝箔特性测试报告")));

    const QString nowhere = m_dir->filePath(QStringLiteral("no/such/folder/r.pdf"));
    const ReportOutcome failed = m_report->writePdf(nowhere);
    QVERIFY(!failed.ok());
    QVERIFY(failed.error.startsWith(QStringLiteral("报告文件无法写入：") + nowhere));
}

void ReportTest::mergedReportLauncher() {
    const QString folder = m_dir->path();
    const QString program = QDir(folder).filePath(QStringLiteral("scoreout"));
    QCOMPARE(startMergedReport(folder), QStringLiteral("找不到合并报表程序：") + program);

    QFile script(program);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho $# > started.tmp && mv started.tmp started\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    QCOMPARE(startMergedReport(folder), QString());
    QFile started(QDir(folder).filePath(QStringLiteral("started")));
    QTRY_VERIFY_WITH_TIMEOUT(started.exists(), 10000);
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(started.readAll().trimmed(), QByteArray("0")); // no arguments
}

QTEST_MAIN(ReportTest)
#include "tst_reports.moc"
