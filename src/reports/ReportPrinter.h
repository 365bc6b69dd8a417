#pragma once

#include "reports/ReportChart.h"
#include "settings/ChannelModel.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <memory>

class QPagedPaintDevice;
class QPainter;

namespace q7rk {

class ChartSet;
class CurvePlotter;
class PanelModel;
class SampleStore;
class Prompter;
class SettingsStore;

// What became of a print or a file: empty error when it worked, otherwise the operator's
// message.
struct ReportOutcome {
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// The printed test report: one landscape page per channel group of three, laid out in twips
// (1440 per inch) from the page's printable top left. Each page carries the title of the
// group's test kind, the company line, every channel's chart above its own column and, per
// channel, a framed block with the parameters and results as the main window's boxes hold
// them right now (a live test or a recalled one). The charts are drawn as lines and text,
// not pasted as pictures.
class ReportPrinter {
public:
    ReportPrinter(const PanelModel& panel, const ChartSet& charts, const CurvePlotter& plotter,
                  const SampleStore& samples, const SettingsStore& settings);

    // Channel k shows a stored test brought back (显示记录, a plant curve) rather than one
    // measured in this run: its block says so, and its boiling mark is the one the recall
    // put up, kept even when a later recall into the same group changes the group's option.
    void setRecalled(int k, bool recalled);
    bool isRecalled(int k) const { return m_recalled[k]; }

    // The groups printed: 0 = channels 1-3, 1 = channels 4-6. 打印1-3通道 chooses (0, 0),
    // 打印4-6通道 (1, 1), 打印1-6通道 (0, 1); the toolbar's print button keeps the last choice.
    void setGroups(int first, int last);
    int printFirstGroup() const { return m_firstGroup; }
    int printLastGroup() const { return m_lastGroup; }

    // The pages of the chosen groups, one per group, on a device the caller has begun.
    void paint(QPainter& painter, QPagedPaintDevice& device) const;
    // A PDF file with the pages (A4 landscape, fonts embedded), written atomically.
    ReportOutcome writePdf(const QString& path) const;

    // The file name offered for the PDF: "2026-12-06-报告-1-3.pdf".
    QString defaultPdfName(QDate today) const;

    // When printing is impossible: the operator is told `problem` and offered to keep the
    // report as a PDF file instead. (Printing itself is in ReportPrinting, the one part that
    // needs the print support module.)
    void offerPdf(Prompter& prompter, const QString& problem,
                  QDate today = QDate::currentDate()) const;
    static QString noPrinterText() { return QStringLiteral("没有找到可用的打印机。"); }

    // What a page says, in print order.
    static QString title(TestKind kind);       // "Q-7RK-M智能TV仪铝箔特性测试报告"
    QString groupTitle(int group) const;       // the title of one page
    static QString heading(int channel);       // "TV通道 1 数据显示"
    // "（历史记录）" beside the heading of a recalled channel, else empty.
    QString originMark(int channel) const;
    // "化成电压：200V", ..., "测试编号：A7HL" (number and sample position), and for the kinds
    // that store one the boiling mark: "水煮状态：水煮前".
    QStringList blockLines(int channel) const;
    QStringList sparkLines(int channel) const; // electrolyte only: "火花电压1：...V", ...
    QString companyLine() const;

private:
    void paintPage(QPainter& painter, int group) const;
    void paintColumn(QPainter& painter, int column, int channel) const;
    QString boilingMark(int channel) const;

    const PanelModel& m_panel;
    const ChartSet& m_charts;
    const SettingsStore& m_settings;
    ReportChart m_chart;
    PerChannel<bool> m_recalled{};
    PerChannel<QString> m_recalledBoiling{};
    int m_firstGroup = 0;
    int m_lastGroup = 0;
};

} // namespace q7rk
