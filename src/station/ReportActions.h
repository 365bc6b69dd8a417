#pragma once

#include "shell/Commands.h"

#include <QString>
#include <functional>

namespace q7rk {

class ChartSet;
class CommandGate;
class CurvePlotter;
class Prompter;
class ReportPrinter;
class RunController;
class SettingsStore;

// The report and the charts leave the program: printing the groups' report, a PDF of it,
// the charts as bitmaps, and the merged report program started beside this one.
class ReportActions {
public:
    ReportActions(CommandGate& gate, ReportPrinter& report, const ChartSet& charts,
                  SettingsStore& settings, const RunController& run, CurvePlotter& plotter,
                  Prompter& prompter)
        : m_gate(gate), m_report(report), m_charts(charts), m_settings(settings), m_run(run),
          m_plotter(plotter), m_prompter(prompter) {}

    // Printing is the window's: it shows a preview first (or, without a printer, offers a
    // PDF). Without a window there is no printer, and the report goes to a PDF the operator
    // names.
    void setPrintPreview(std::function<void(const ReportPrinter&)> preview) {
        m_printPreview = std::move(preview);
    }
    // The print command given (its rules apply) for the report of groups first..last.
    void printGroups(Command command, int first, int last);
    void printToPdf();
    // The report of groups first..last into `path` without asking anything (the runner's
    // report); the reason when it could not be written, else empty.
    QString writePdf(int first, int last, const QString& path);
    void saveChartBitmaps();
    // 合并报表: the program from its folder or the place the settings name. Without it the
    // operator is told where to put it and, outside a run, may name its place at once.
    void startMergedReportProgram();

private:
    CommandGate& m_gate;
    ReportPrinter& m_report;
    const ChartSet& m_charts;
    SettingsStore& m_settings;
    const RunController& m_run;
    CurvePlotter& m_plotter;
    Prompter& m_prompter;
    std::function<void(const ReportPrinter&)> m_printPreview;
};

} // namespace q7rk
