#pragma once

#include <QCoreApplication>
#include <memory>

namespace q7rk {

// The application of a command-line tool that may draw a chart: drawing needs fonts and so a
// GUI application, which needs no display when told to draw offscreen (--png on the command
// line); everything else stays a plain console program.
std::unique_ptr<QCoreApplication> pictureApplication(int& argc, char** argv);

} // namespace q7rk
