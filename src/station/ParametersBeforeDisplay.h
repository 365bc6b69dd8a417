#pragma once

#include "kinds/Box.h"
#include "settings/ChannelModel.h"

#include <QString>
#include <array>
#include <optional>

namespace q7rk {

class PanelModel;

// A stored test is shown, not made the next run's parameters. The first display after a run
// (or after the last restore) keeps the panel's parameters as they were; each display notes
// what it left in the boxes. Before the next start, every parameter the displays changed and
// the operator has not changed since goes back to what it was: the kind of each group, the set
// values, number, position and operator of each channel, and the boiling option.
class ParametersBeforeDisplay {
public:
    void beforeDisplay(const PanelModel& panel);
    void afterDisplay(const PanelModel& panel);
    // Puts back channels first..last and their groups; true when anything changed. The kept
    // parameters are gone afterwards.
    bool restore(PanelModel& panel, int first, int last);
    bool pending() const { return m_before.has_value(); }
    // The panel was loaded anew (settings imported): what it held before is nothing to go
    // back to.
    void forget() {
        m_before.reset();
        m_shown.reset();
    }

private:
    struct Parameters {
        PerChannel<std::array<QString, BoxCount + 1>> texts;
        std::array<TestKind, GroupCount> kinds{};
        std::array<bool, GroupCount> beforeBoiling{}, afterBoiling{};
    };
    static Parameters read(const PanelModel& panel);

    std::optional<Parameters> m_before;
    std::optional<Parameters> m_shown;
};

// "第1-3路参数联动，但第2路的延迟时间（60）与第1路（180）不同，请核对后再开始测试。" when linked
// channels of a group about to start disagree on a linked value; empty when they agree.
QString differingLinkedValue(const PanelModel& panel, int first, int last);

} // namespace q7rk
