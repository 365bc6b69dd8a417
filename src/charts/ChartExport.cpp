#include "charts/ChartExport.h"

#include "charts/ChartSet.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <algorithm>

namespace q7rk {

namespace {

const QString DialogTitle = QStringLiteral("另存为");
const QString Filter = QStringLiteral("图本文件(*.bmp);;所有文件(*.*)");

void offer(const QImage& picture, const QString& proposed, Prompter& prompter) {
    const QString path = prompter.saveFileName(DialogTitle, proposed, Filter);
    if (path.isEmpty()) return; // cancelled
    if (!picture.save(path, "BMP"))
        prompter.inform(programTitle::full(), QStringLiteral("图片保存失败：") + path);
}

} // namespace

QString proposedBitmapName(QDate date, const QString& chart) {
    return date.toString(QStringLiteral("yyyy-M-d")) + QLatin1Char('-') + chart +
           QStringLiteral(".bmp");
}

void saveChartsAsBitmaps(const ChartSet& charts, Prompter& prompter, QDate today,
                         const ChartPicture& picture) {
    const auto take = [&](const ChartCanvas& chart) {
        return picture ? picture(chart) : chart.image();
    };
    const int first = std::max<int>(charts.channels().firstChannel, 0);
    const int last = std::min<int>(charts.channels().lastChannel, ChannelCount - 1);
    // What the charts show when 另存为 is chosen, whatever happens to the window meanwhile.
    QList<std::pair<QImage, QString>> offers;
    for (int k = first; k <= last; ++k)
        offers.append({take(charts.channelChart(k)),
                       proposedBitmapName(today, QStringLiteral("TV%1").arg(k + 1))});
    for (int n = 0; n < ChartSet::GroupChartCount; ++n)
        offers.append({take(charts.groupChart(n)),
                       proposedBitmapName(today, QStringLiteral("TV16-%1").arg(n))});
    for (const auto& [image, name] : offers)
        offer(image, name, prompter);
}

} // namespace q7rk
