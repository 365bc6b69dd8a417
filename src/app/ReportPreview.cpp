#include "ReportPreview.h"

#include "reports/ReportPrinting.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

namespace q7rk {

QPrintPreviewDialog* showReportPreview(const ReportPrinter& report, Prompter& prompter,
                                       QWidget* parent) {
    auto* dialog = new QPrintPreviewDialog(parent);
    dialog->setObjectName(QStringLiteral("ReportPreview"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("打印预览"));
    dialog->printer()->setPageOrientation(QPageLayout::Landscape);
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog,
                     [&report, &prompter](QPrinter* printer) {
                         const ReportOutcome outcome = printOn(report, *printer);
                         if (!outcome.ok()) prompter.inform(programTitle::full(), outcome.error);
                     });
    dialog->show(); // modeless: no nested event loop
    return dialog;
}

} // namespace q7rk
