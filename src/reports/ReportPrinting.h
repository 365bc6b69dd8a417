#pragma once

#include "reports/ReportPrinter.h"

#include <QDate>
#include <memory>

class QPrinter;

namespace q7rk {

class Prompter;

// The report on a printer: the one part of the program beside the window that needs the print
// support module (and with it the widgets), so the station and the headless runner stay
// without them and the window hands the station its way of printing.

// One print job on `printer`, turned to landscape.
ReportOutcome printOn(const ReportPrinter& report, QPrinter& printer);

// Prints on `printer`; with no printer (null) or when the printer fails, the operator is told
// and offered to keep the report as a PDF file instead.
void printReport(const ReportPrinter& report, Prompter& prompter, QPrinter* printer,
                 QDate today = QDate::currentDate());
// The same on the system's default printer.
void printReport(const ReportPrinter& report, Prompter& prompter);
// The default printer, or null when the system has none.
std::unique_ptr<QPrinter> defaultPrinter();

} // namespace q7rk
