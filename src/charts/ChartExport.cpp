#include "charts/ChartExport.h"

#include "charts/ChartSet.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <algorithm>

namespace q7rk {

namespace {

const QString DialogTitle = QStringLiteral("另存为");
const QString Filter = QStringLiteral("图本文件(*.bmp);;所有文件(*.*)");

void offer(const ChartCanvas& canvas, const QString& proposed, Prompter& prompter) {
    const QString path = prompter.saveFileName(DialogTitle, proposed, Filter);
    if (path.isEmpty()) return; // cancelled
    if (!canvas.image().save(path, "BMP"))
        prompter.inform(programTitle::full(), QStringLiteral("图片保存失败：") + path);
}

} // namespace

QString proposedBitmapName(QDate date, const QString& chart) {
    return date.toString(QStringLiteral("yyyy-M-d")) + QLatin1Char('-') + chart +
           QStringLiteral(".bmp");
}

void saveChartsAsBitmaps(const ChartSet& charts, Prompter& prompter, QDate today) {
    const int first = std::max<int>(charts.channels().firstChannel, 0);
    const int last = std::min<int>(charts.channels().lastChannel, ChannelCount - 1);
    for (int k = first; k <= last; ++k)
        offer(charts.channelChart(k), proposedBitmapName(today, QStringLiteral("TV%1").arg(k + 1)),
              prompter);
    for (int n = 0; n < ChartSet::GroupChartCount; ++n)
        offer(charts.groupChart(n), proposedBitmapName(today, QStringLiteral("TV16-%1").arg(n)),
              prompter);
}

} // namespace q7rk
