#include "ReportActions.h"

#include "charts/ChartExport.h"
#include "charts/CurvePlotter.h"
#include "reports/MergedReport.h"
#include "reports/ReportPrinter.h"
#include "settings/ProgramTitle.h"
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
    const QString problem = startMergedReport();
    if (!problem.isEmpty()) m_prompter.notify(programTitle::full(), problem);
}

} // namespace q7rk
