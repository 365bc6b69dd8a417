#include "reports/ReportPrinter.h"

#include "charts/ChartSet.h"
#include "kinds/TestKindDescription.h"
#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <span>

namespace q7rk {

namespace {

constexpr double TwipsPerInch = 1440;
constexpr int TwipsPerPoint = 20;

// Page layout in twips.
constexpr int TitleX = 6600, TitleY = 400, TitlePoints = 18;
constexpr int CompanyX = 7000, CompanyY = 1000;
constexpr int ColumnPitch = 5100, FirstColumnX = 500;
// Charts sit between the company line and the headings, as wide as their column's frame.
constexpr int ChartTop = 1400, ChartBottom = 6000;
constexpr int HeadingY = 6200, HeadingPoints = 14;
// The frame reaches 500 twips lower than the ten lines needed, for the boiling mark.
constexpr int FrameTop = 6500, FrameBottom = 11500;
constexpr int LinesY = 6700, LinePoints = 12;
// A printed line leaves the cursor one 12-point line lower; each next line adds 200 more.
constexpr int LinePitch = LinePoints * TwipsPerPoint + 200;
constexpr int SparkColumnOffset = 2500;
// The recalled mark on the heading's line, after "TV通道 n 数据显示", on its baseline.
constexpr int OriginMarkOffset = 2900, OriginMarkDrop = 40;

// The right edges step by 5000 while the columns step by 5100, so the frames are 5000,
// 4900 and 4800 wide.
constexpr int frameRight(int column) {
    return 5500 + 5000 * column;
}
constexpr int columnX(int column) {
    return FirstColumnX + ColumnPitch * column;
}

// The report's typeface: the Song face it was laid out for where the system has one, else
// the installed CJK face, so that the Chinese texts always have glyphs.
QFont reportFont(int points) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei")});
    // The painter works in twips, so the size is given in twips too.
    font.setPixelSize(points * TwipsPerPoint);
    return font;
}

// Print at (x, y): the text's top-left corner at the cursor.
void printAt(QPainter& painter, int x, int y, const QString& text) {
    constexpr int Unbounded = 100000;
    painter.drawText(QRectF(x, y, Unbounded, Unbounded), Qt::AlignLeft | Qt::AlignTop, text);
}

int boundedGroup(int group) {
    return std::clamp(group, 0, GroupCount - 1);
}

QString boilingText(const PanelModel& panel, int group) {
    if (panel.option(Option::BeforeBoiling, group)) return QStringLiteral("水煮前");
    if (panel.option(Option::AfterBoiling, group)) return QStringLiteral("水煮后");
    return QString();
}

} // namespace

ReportPrinter::ReportPrinter(const PanelModel& panel, const ChartSet& charts,
                             const CurvePlotter& plotter, const SampleStore& samples,
                             const SettingsStore& settings)
    : m_panel(panel), m_charts(charts), m_settings(settings),
      m_chart(charts, plotter, samples, panel.channels()) {}

void ReportPrinter::setRecalled(int k, bool recalled) {
    m_recalled[k] = recalled;
    m_recalledBoiling[k] = recalled ? boilingText(m_panel, groupOf(k)) : QString();
}

QString ReportPrinter::originMark(int channel) const {
    return m_recalled[channel] ? QStringLiteral("（历史记录）") : QString();
}

QString ReportPrinter::boilingMark(int channel) const {
    return m_recalled[channel] ? m_recalledBoiling[channel]
                               : boilingText(m_panel, groupOf(channel));
}

void ReportPrinter::setGroups(int first, int last) {
    m_firstGroup = boundedGroup(first);
    m_lastGroup = std::max(boundedGroup(last), m_firstGroup);
}

QString ReportPrinter::title(TestKind kind) {
    return QString::fromUtf8(description(kind).reportTitle);
}

QString ReportPrinter::groupTitle(int group) const {
    // The group's third channel decides the kind of the whole page.
    return title(m_panel.channels().kind(firstOfGroup(group) + ChannelsPerGroup - 1));
}

QString ReportPrinter::heading(int channel) {
    // The number is printed with the blanks that surround a printed number.
    return QStringLiteral("TV通道 %1 数据显示").arg(channel + 1);
}

// The test number is printed as it is stored: the number box followed by the position.
static QStringList render(const PanelModel& panel, int channel, std::span<const ReportLine> lines) {
    const TestKindDescription& kind = description(panel.channels().kind(channel));
    QStringList out;
    for (const ReportLine& line : lines) {
        const QString value = line.box == kind.testNumberBox ? testNumberOf(panel, channel)
                                                             : panel.text(channel, line.box);
        out << QString::fromUtf8(line.label) + value + QString::fromUtf8(line.unit);
    }
    return out;
}

QStringList ReportPrinter::blockLines(int channel) const {
    const TestKindDescription& kind = description(m_panel.channels().kind(channel));
    QStringList lines = render(m_panel, channel, kind.reportLines);
    if (kind.storesBoilingMarks) lines << QStringLiteral("水煮状态：") + boilingMark(channel);
    return lines;
}

QStringList ReportPrinter::sparkLines(int channel) const {
    return render(m_panel, channel, description(m_panel.channels().kind(channel)).extraReportLines);
}

QString ReportPrinter::companyLine() const {
    return m_settings.read(section::Topic, QStringLiteral("COMPANY"));
}

void ReportPrinter::paint(QPainter& painter, QPagedPaintDevice& device) const {
    for (int g = m_firstGroup; g <= m_lastGroup; ++g) {
        if (g > m_firstGroup) device.newPage();
        painter.resetTransform();
        painter.scale(device.logicalDpiX() / TwipsPerInch, device.logicalDpiY() / TwipsPerInch);
        paintPage(painter, g);
    }
}

void ReportPrinter::paintPage(QPainter& painter, int group) const {
    painter.setPen(QPen(Qt::black, 15)); // one screen pixel
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < ChannelsPerGroup; ++i)
        paintColumn(painter, i, firstOfGroup(group) + i);
    painter.setFont(reportFont(LinePoints));
    printAt(painter, CompanyX, CompanyY, companyLine());
    painter.setFont(reportFont(TitlePoints));
    printAt(painter, TitleX, TitleY, groupTitle(group));
}

void ReportPrinter::paintColumn(QPainter& painter, int column, int channel) const {
    const int x = columnX(column);
    const int width = frameRight(column) - x;

    // Each chart above its own column, scaled to the column and keeping its shape.
    m_chart.paint(painter, channel, QRectF(x, ChartTop, width, ChartBottom - ChartTop));

    painter.setPen(QPen(Qt::black, 15));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(x, FrameTop, width, FrameBottom - FrameTop));
    painter.setFont(reportFont(HeadingPoints));
    printAt(painter, x, HeadingY, heading(channel));
    if (const QString mark = originMark(channel); !mark.isEmpty()) {
        painter.setFont(reportFont(LinePoints));
        printAt(painter, x + OriginMarkOffset, HeadingY + OriginMarkDrop, mark);
    }

    painter.setFont(reportFont(LinePoints));
    const auto printLines = [&](int left, int top, const QStringList& lines) {
        for (int n = 0; n < lines.size(); ++n)
            printAt(painter, left, top + n * LinePitch, lines[n]);
    };
    printLines(x, LinesY, blockLines(channel));
    const QStringList sparks = sparkLines(channel);
    if (!sparks.isEmpty()) {
        printAt(painter, x + SparkColumnOffset, LinesY, QStringLiteral("火花电压-时间数据"));
        printLines(x + SparkColumnOffset, LinesY + LinePitch, sparks);
    }
}

ReportOutcome ReportPrinter::writePdf(const QString& path) const {
    const QString failed = QStringLiteral("报告文件无法写入：") + path;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {failed + QLatin1Char('\n') + file.errorString()};
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(0, 0, 0, 0)));
        writer.setTitle(groupTitle(m_firstGroup));
        writer.setCreator(QStringLiteral("q7rk"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            return {failed};
        }
        paint(painter, writer);
        painter.end();
    }
    if (!file.commit()) return {failed + QLatin1Char('\n') + file.errorString()};
    return {};
}

QString ReportPrinter::defaultPdfName(QDate today) const {
    return QStringLiteral("%1-报告-%2-%3.pdf")
        .arg(today.toString(QStringLiteral("yyyy-MM-dd")))
        .arg(firstOfGroup(m_firstGroup) + 1)
        .arg(firstOfGroup(m_lastGroup) + ChannelsPerGroup);
}

void ReportPrinter::offerPdf(Prompter& prompter, const QString& problem, QDate today) const {
    const QString title = programTitle::full();
    prompter.inform(title, problem + QStringLiteral("\n报告可以另存为PDF文件。"));
    const QString path =
        prompter.saveFileName(QStringLiteral("报告另存为PDF文件"), defaultPdfName(today),
                              QStringLiteral("PDF文件(*.pdf);;所有文件(*.*)"));
    if (path.isEmpty()) return; // the operator chose not to keep it
    const ReportOutcome written = writePdf(path);
    if (!written.ok()) prompter.inform(title, written.error);
}

} // namespace q7rk
