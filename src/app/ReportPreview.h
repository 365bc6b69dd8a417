#pragma once

class QPrintPreviewDialog;
class QWidget;

namespace q7rk {

class Prompter;
class ReportPrinter;

// The print preview of the report of the chosen groups, shown modeless over `parent` and
// deleted when closed. Printing from it goes through the report too; a failure is told
// through `prompter`. The report and the prompter must outlive the dialog.
QPrintPreviewDialog* showReportPreview(const ReportPrinter& report, Prompter& prompter,
                                       QWidget* parent);

} // namespace q7rk
