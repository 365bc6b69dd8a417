#pragma once

#include "settings/ChannelModel.h"

#include <QColor>

namespace q7rk::curvecolours {

// The pens of the curves: red voltage and blue current in TV(k), one colour per channel in
// the comparison charts. Live curves and recalled tests draw with the same ones.
inline const QColor VoltageRed(255, 0, 0);
inline const QColor CurrentBlue(0, 0, 255);

inline QColor groupColour(int k) {
    static const QColor colours[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255)};
    return colours[k % ChannelsPerGroup];
}

inline QColor allColour(int k) {
    static const QColor colours[] = {QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(0, 0, 255),
                                     QColor(255, 0, 255), QColor(255, 255, 0), QColor(0, 255, 255)};
    return colours[k];
}

} // namespace q7rk::curvecolours
