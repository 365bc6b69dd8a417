#pragma once

#include <QDate>
#include <QImage>
#include <QString>
#include <functional>

namespace q7rk {

class ChartCanvas;
class ChartSet;
class Prompter;

// The picture of a chart that is written to its file.
using ChartPicture = std::function<QImage(const ChartCanvas&)>;

// 另存为: offers each chart of the running group in its own save dialog, TV(first) ..
// TV(last) and then TV16(0..2), and writes the picture as a BMP file under the chosen name.
// A cancelled dialog writes nothing; a file that cannot be written is reported. The pictures
// are taken before the first dialog; without `picture`, as the charts hold them.
void saveChartsAsBitmaps(const ChartSet& charts, Prompter& prompter,
                         QDate today = QDate::currentDate(), const ChartPicture& picture = {});

// "2026-12-6-TV1.bmp": the date in a form every file system accepts, then the chart.
QString proposedBitmapName(QDate date, const QString& chart);

} // namespace q7rk
