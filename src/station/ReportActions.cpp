#include "ReportActions.h"

#include "charts/ChartExport.h"
#include "charts/CurvePlotter.h"
#include "execution/RunController.h"
#include "reports/MergedReport.h"
#include "reports/ReportPrinter.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"
#include "station/CommandGate.h"

#include <QDate>

namespace q7rk {

void ReportActions::printGroups(Command command, int first, int last) {
    m_report.setGroups(first, last);
    if (!m_gate.permits(command)) return;
    if (m_printPreview)
        m_printPreview(m_report);
    else
        m_report.offerPdf(m_prompter, ReportPrinter::noPrinterText());
}

void ReportActions::printToPdf() {
    if (!m_gate.permits(Command::PrintToPdf)) return;
    const QString path = m_prompter.saveFileName(QStringLiteral("打印到PDF"),
                                                 m_report.defaultPdfName(QDate::currentDate()),
                                                 QStringLiteral("PDF文件 (*.pdf)"));
    if (path.isEmpty()) return;
    const ReportOutcome outcome = m_report.writePdf(path);
    if (!outcome.ok()) m_prompter.inform(programTitle::full(), outcome.error);
}

QString ReportActions::writePdf(int first, int last, const QString& path) {
    m_report.setGroups(first, last);
    return m_report.writePdf(path).error;
}

void ReportActions::saveChartBitmaps() {
    if (!m_gate.permits(Command::SaveChartBitmaps)) return;
    // The files keep the charts' own size, however large the window shows them.
    saveChartsAsBitmaps(m_charts, m_prompter, QDate::currentDate(),
                        [this](const ChartCanvas& chart) { return m_plotter.standardPicture(chart); });
}

void ReportActions::startMergedReportProgram() {
    const QString title = programTitle::full();
    const QString key = QString::fromUtf8(key::MergedReportProgram);
    QString program = mergedReportProgram(m_settings.read(section::Canshu, key));
    MergedReportStart started = startMergedReport(program);
    if (started == MergedReportStart::Missing) {
        // During a run nothing may wait for an answer: the place is named after it.
        if (m_run.isRunning()) {
            m_prompter.notify(title, mergedReportMissingText(program) +
                                         QStringLiteral("\n测试结束后再选合并报表即可指定。"));
            return;
        }
        if (!m_prompter.ask(Question::LocateMergedReport, title,
                            mergedReportMissingText(program) +
                                QStringLiteral("\n\n现在指定合并报表程序的位置吗？")))
            return;
        program = m_prompter.openFileName(QStringLiteral("选择合并报表程序"),
                                          QStringLiteral("所有文件(*)"));
        if (program.isEmpty()) return;
        m_settings.write(section::Canshu, key, program);
        started = startMergedReport(program);
    }
    if (started == MergedReportStart::Missing)
        m_prompter.notify(title, mergedReportMissingText(program));
    else if (started == MergedReportStart::NotStartable)
        m_prompter.notify(title, mergedReportFailedText(program));
}

} // namespace q7rk
