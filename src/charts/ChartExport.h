#pragma once

#include <QDate>
#include <QString>

namespace q7rk {

class ChartSet;
class Prompter;

// 另存为: offers each chart of the running group in its own save dialog, TV(first) ..
// TV(last) and then TV16(0..2), and writes the picture as a BMP file under the chosen name.
// A cancelled dialog writes nothing; a file that cannot be written is reported.
void saveChartsAsBitmaps(const ChartSet& charts, Prompter& prompter,
                         QDate today = QDate::currentDate());

// "2026-12-6-TV1.bmp": the date in a form every file system accepts, then the chart.
QString proposedBitmapName(QDate date, const QString& chart);

} // namespace q7rk
