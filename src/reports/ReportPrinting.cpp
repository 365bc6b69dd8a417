#include "reports/ReportPrinting.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace q7rk {

ReportOutcome printOn(const ReportPrinter& report, QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(report.groupTitle(report.printFirstGroup()));
    const QString name =
        printer.printerName().isEmpty() ? printer.outputFileName() : printer.printerName();
    QPainter painter;
    if (!painter.begin(&printer)) return {QStringLiteral("打印机无法开始打印：") + name};
    report.paint(painter, printer);
    if (!painter.end() || printer.printerState() == QPrinter::Error ||
        printer.printerState() == QPrinter::Aborted)
        return {QStringLiteral("打印失败：") + name};
    return {};
}

void printReport(const ReportPrinter& report, Prompter& prompter, QPrinter* printer, QDate today) {
    QString problem = ReportPrinter::noPrinterText();
    if (printer) {
        const ReportOutcome printed = printOn(report, *printer);
        if (printed.ok()) return;
        problem = printed.error;
    }
    report.offerPdf(prompter, problem, today);
}

void printReport(const ReportPrinter& report, Prompter& prompter) {
    const std::unique_ptr<QPrinter> printer = defaultPrinter();
    printReport(report, prompter, printer.get());
}

std::unique_ptr<QPrinter> defaultPrinter() {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
        if (all.isEmpty()) return nullptr;
        info = all.first();
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

} // namespace q7rk
