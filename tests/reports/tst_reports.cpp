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

using namespace q7rk;

namespace {

// A curve colour per column that no chart frame uses.
const QColor CurveColours[] = {QColor(255, 0, 255), QColor(0, 128, 128), QColor(255, 128, 0)};

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

// Each chart above its own column: in each column's chart area (between the company line
// and the headings) many pixels of its own curve colour and none of the other columns'.
bool chartsInTheirColumns(const QString& pdf, int page) {
    const QString number = QString::number(page);
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"), number,
             QStringLiteral("-l"), number, QStringLiteral("-singlefile"), QStringLiteral("-png"),
             pdf, pdf});
    const QImage image(pdf + QStringLiteral(".png"));
    for (int column = 0; column < 3; ++column) {
        int counts[3] = {};
        for (int y = 1300 / 20; y < 6150 / 20; ++y) // 72 dpi: 20 twips a pixel
            for (int x = columnX(column) / 20; x < (columnX(column) + 4800) / 20; ++x)
                for (int n = 0; n < 3; ++n) {
                    const QColor c = image.pixelColor(x, y), &want = CurveColours[n];
                    counts[n] += qAbs(c.red() - want.red()) + qAbs(c.green() - want.green()) +
                                     qAbs(c.blue() - want.blue()) <
                                 40;
                }
        if (counts[column] < 100 || counts[(column + 1) % 3] + counts[(column + 2) % 3] > 0)
            return false;
    }
    return true;
}

// A fresh folder and settings, with a curve of its column's colour in each channel chart.
struct Rig {
    QTemporaryDir dir;
    ChannelModel channels;
    SettingsStore store{dir.filePath(QStringLiteral("s.ini"))};
    PanelModel panel{channels, store};
    ChartSet charts{channels, panel, store};
    ReportPrinter report{panel, charts, store};

    Rig() {
        for (int k = 0; k < ChannelCount; ++k) {
            charts.zb(k);
            charts.channelChart(k).drawLine(QPointF(400, 3600), QPointF(4400, 800),
                                            CurveColours[k % 3], 6);
        }
    }
    void fillTvChannel(int k, const QString& voltage) {
        panel.setText(k, Box::Text1, voltage);
        panel.setText(k, Box::Text6, QStringLiteral("97"));
        panel.setText(k, Box::Text7, QStringLiteral("312.5"));
        panel.setText(k, Box::Text8, QStringLiteral("合格"));
        panel.setText(k, Box::Text14, QStringLiteral("A%1").arg(k + 1));
        panel.setText(k, Box::Text15, QStringLiteral("王工"));
    }
    QString pdfPath(const char* name) const { return dir.filePath(QLatin1String(name)); }
};

} // namespace

class ReportTest : public QObject {
    Q_OBJECT
private slots:
    // 1-6: a TV page with the company line and an empty column, then an electrolyte page.
    void oneToSixPrintsTwoPages() {
        Rig r;
        r.store.write(QStringLiteral("topic"), QStringLiteral("COMPANY"),
                      QStringLiteral("华东铝箔有限公司"));
        r.fillTvChannel(0, QStringLiteral("300"));
        r.fillTvChannel(1, QStringLiteral("520"));
        for (int n = 1; n <= 42; ++n) // channel 3 shows nothing at all
            r.panel.setText(2, textBox(n), QString());
        r.panel.clickOption(Option::ElectrolyteTest, 1);
        for (int k = 3; k < 6; ++k) {
            r.panel.setText(k, Box::Text29, QStringLiteral("4%1").arg(k));
            r.panel.setText(k, Box::Text34, QStringLiteral("9%1").arg(k));
            r.panel.setText(k, Box::Text35, QStringLiteral("E%1").arg(k + 1));
        }
        r.report.setGroups(0, 1);
        QCOMPARE(r.report.defaultPdfName(QDate(2026, 12, 6)),
                 QStringLiteral("2026-12-06-报告-1-6.pdf"));
        const QString pdf = r.pdfPath("all.pdf");
        QVERIFY(r.report.writePdf(pdf).ok());
        const PdfText text(pdf);

        QCOMPARE(text.pages.size(), 2);
        QCOMPARE(text.pages[0].toSize(), QSize(842, 595)); // A4 landscape
        QVERIFY(runTool(QStringLiteral("pdffonts"), {pdf})
                    .contains(QRegularExpression(QStringLiteral("WenQuanYi\\S*\\s.*\\byes\\b"))));
        QVERIFY(text.at(1, 6600, 400, QStringLiteral("Q-7RK-M智能TV仪铝箔特性测试报告")));
        QVERIFY(text.at(2, 6600, 400, QStringLiteral("Q-7RK-M智能TV仪电解液测试报告")));
        QVERIFY(text.at(1, 7000, 1000, QStringLiteral("华东铝箔有限公司")));
        const QStringList first{"化成电压：300V",      "测试电流：2mA", "延迟时间：180S",
                                "升压时间指标：150S",  "升压时间：97S", "TV值0：312.5V",
                                "TV特性：合格",        "测试员：王工",  "测试编号：A1",
                                "测试日期：2009-09-01"};
        // Empty boxes still print their labels and units.
        const QStringList empty{"化成电压：V", "测试电流：mA", "延迟时间：S", "升压时间指标：S",
                                "升压时间：S", "TV值0：V",     "TV特性：",    "测试员：",
                                "测试编号：",  "测试日期："};
        for (int n = 0; n < first.size(); ++n) {
            QVERIFY2(text.at(1, columnX(0), lineY(n), first[n]), qPrintable(first[n]));
            QVERIFY2(text.at(1, columnX(2), lineY(n), empty[n]), qPrintable(empty[n]));
        }
        QVERIFY(text.at(1, columnX(1), lineY(0), QStringLiteral("化成电压：520V")));
        QVERIFY(text.at(1, columnX(1), lineY(8), QStringLiteral("测试编号：A2")));
        for (int column = 0; column < 3; ++column) {
            const int k = 3 + column;
            const int x = columnX(column);
            QVERIFY(text.at(1, x, 6200, QStringLiteral("TV通道")));
            QVERIFY(!text.at(1, x + 2500, lineY(0), QStringLiteral("火花电压-时间数据")));
            QVERIFY(text.at(2, x, lineY(1), QStringLiteral("参考电压：550V")));
            QVERIFY(text.at(2, x, lineY(8), QStringLiteral("测试编号：E%1").arg(k + 1)));
            QVERIFY(text.at(2, x + 2500, lineY(0), QStringLiteral("火花电压-时间数据")));
            QVERIFY(text.at(2, x + 2500, lineY(1), QStringLiteral("火花电压1：4%1V").arg(k)));
            QVERIFY(text.at(2, x + 2500, lineY(6), QStringLiteral("火花时间3：9%1S").arg(k)));
        }
        QVERIFY(chartsInTheirColumns(pdf, 1));
        QVERIFY(chartsInTheirColumns(pdf, 2));
    }

    void noPrinterOrAFailingOneOffersAPdf() {
        Rig r;
        r.report.setGroups(1, 1);
        ScriptedPrompter prompter;
        const QString kept = r.pdfPath("kept.pdf");
        prompter.queueFileName(kept);
        r.report.printReport(prompter, nullptr, QDate(2026, 12, 6));
        QCOMPARE(prompter.shown().size(), 2);
        QVERIFY(prompter.shown()[0].text.startsWith(QStringLiteral("没有找到可用的打印机")));
        QCOMPARE(prompter.shown()[1].kind, ScriptedPrompter::Shown::SaveDialog);
        QCOMPARE(prompter.shown()[1].text, QStringLiteral("2026-12-06-报告-4-6.pdf"));
        const PdfText keptText(kept);
        QVERIFY(keptText.at(1, columnX(0) + 940, 6200, QStringLiteral("4")));
        for (const auto& w : keptText.words) // no company line without the setting
            QVERIFY((w.topLeft - QPointF(7000, 1000)).manhattanLength() > 40);

        // A printer that cannot start its job; the operator then declines the file.
        prompter.clear();
        QPrinter broken;
        broken.setOutputFormat(QPrinter::PdfFormat);
        broken.setOutputFileName(r.pdfPath("no/such/folder/out.pdf"));
        prompter.queueFileName(QString());
        r.report.printReport(prompter, &broken);
        QCOMPARE(prompter.shown().size(), 2);
        QVERIFY(prompter.shown()[0].text.startsWith(QStringLiteral("打印机无法开始打印")));
        QCOMPARE(prompter.shown()[1].kind, ScriptedPrompter::Shown::SaveDialog);

        const ReportOutcome failed = r.report.writePdf(r.pdfPath("no/such/folder/r.pdf"));
        QVERIFY(failed.error.startsWith(QStringLiteral("报告文件无法写入：") +
                                        r.pdfPath("no/such/folder/r.pdf")));
    }

    void mergedReportLauncher() {
        Rig r;
        const QString folder = r.dir.path();
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
};

QTEST_MAIN(ReportTest)
#include "tst_reports.moc"
