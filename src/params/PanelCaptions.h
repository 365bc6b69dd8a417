#pragma once

#include "kinds/Box.h"
#include "params/PanelModel.h"

#include <QString>

namespace q7rk {

// The fixed texts of the parameter panels, for the window that lays them out. `channel` is
// the index 0..5; captions carry the channel number 1..6 where the panel shows one.

// The label left of a box ("化成电压1：", "火花电压11", "V1"); empty for boxes without a
// fixed caption (the readouts beside Label49..Label52 and the combos).
QString boxCaption(int channel, Box box);
// The caption as a line that already names the channel says it: without the colon and the
// channel number ("测试人：" -> 测试人, "漏电流电压2：" -> 漏电流电压).
QString plainCaption(int channel, Box box);
// The unit label right of a box: "V", "%", "mA", "S", "℃" or empty.
QString unitLabel(Box box);
QString boxTooltip(int channel, Box box);

QString tvFrameTitle(int channel);          // "TV通道1数据显示"
QString electrolyteFrameTitle(int channel); // "电解液通道1数据显示"
QString sparkFrameTitle();                  // "火花电压-时间："
QString voltageReadoutCaption(int channel); // "V1"
QString currentReadoutCaption(int channel); // "I1"

QString tvPageTitle();          // "铝箔TV-漏电流参数设置"
QString electrolytePageTitle(); // "电解液参数设置"

QString optionCaption(Option option);               // "水煮前："
QString optionFrameTitle(Option option, int group); // "水煮参数1-3："

} // namespace q7rk
