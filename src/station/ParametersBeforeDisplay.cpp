#include "ParametersBeforeDisplay.h"

#include "kinds/TestKindDescription.h"
#include "params/NumericCheck.h"
#include "params/PanelCaptions.h"
#include "params/PanelModel.h"

namespace q7rk {

namespace {

// The boxes a run is started with: the checked set values, and each kind's number, position
// and operator. Results are the run's own.
bool isParameter(Box box) {
    if (numericRule(box)) return true;
    for (TestKind kind : allKinds()) {
        const TestKindDescription& d = description(kind);
        if (box == d.testNumberBox || box == d.samplePositionBox || box == d.operatorBox)
            return true;
    }
    return false;
}

QString groupName(int group) {
    return group == 0 ? QStringLiteral("1-3") : QStringLiteral("4-6");
}

} // namespace

ParametersBeforeDisplay::Parameters ParametersBeforeDisplay::read(const PanelModel& panel) {
    Parameters p;
    for (int k = 0; k < ChannelCount; ++k)
        for (int b = 1; b <= BoxCount; ++b)
            if (isParameter(Box(b))) p.texts[k][std::size_t(b)] = panel.text(k, Box(b));
    for (int g = 0; g < GroupCount; ++g) {
        p.kinds[std::size_t(g)] = panel.channels().kind(firstOfGroup(g));
        p.beforeBoiling[std::size_t(g)] = panel.option(Option::BeforeBoiling, g);
        p.afterBoiling[std::size_t(g)] = panel.option(Option::AfterBoiling, g);
    }
    return p;
}

void ParametersBeforeDisplay::beforeDisplay(const PanelModel& panel) {
    if (!m_before) m_before = read(panel);
}

void ParametersBeforeDisplay::afterDisplay(const PanelModel& panel) {
    if (m_before) m_shown = read(panel);
}

bool ParametersBeforeDisplay::restore(PanelModel& panel, int first, int last) {
    if (!m_before || !m_shown) return false;
    const Parameters before = *m_before, shown = *m_shown;
    m_before.reset();
    m_shown.reset();
    const Parameters now = read(panel);
    bool changed = false;
    for (int g = groupOf(first); g <= groupOf(last); ++g) {
        const auto i = std::size_t(g);
        // The kind first: switching it sets the group's boxes up for that kind.
        if (now.kinds[i] == shown.kinds[i] && now.kinds[i] != before.kinds[i]) {
            panel.clickOption(description(before.kinds[i]).option, g);
            changed = true;
        }
        const bool boilingShown = now.beforeBoiling[i] == shown.beforeBoiling[i] &&
                                  now.afterBoiling[i] == shown.afterBoiling[i];
        if (boilingShown && (now.beforeBoiling[i] != before.beforeBoiling[i] ||
                             now.afterBoiling[i] != before.afterBoiling[i])) {
            // Without the delay preset of a click: the delays come back with the boxes.
            panel.restoreOption(Option::BeforeBoiling, g, false);
            panel.restoreOption(Option::AfterBoiling, g, false);
            if (before.beforeBoiling[i] || before.afterBoiling[i]) {
                PerChannel<QString> delays;
                for (int k = 0; k < ChannelCount; ++k)
                    delays[k] = panel.text(k, Box::DelayTime);
                panel.restoreOption(before.beforeBoiling[i] ? Option::BeforeBoiling
                                                            : Option::AfterBoiling,
                                    g, true);
                for (int k = 0; k < ChannelCount; ++k)
                    panel.setText(k, Box::DelayTime, delays[k]);
            }
            changed = true;
        }
    }
    for (int k = first; k <= last; ++k)
        for (int b = 1; b <= BoxCount; ++b) {
            const auto at = std::size_t(b);
            if (!isParameter(Box(b)) || now.texts[k][at] != shown.texts[k][at] ||
                now.texts[k][at] == before.texts[k][at])
                continue;
            panel.setText(k, Box(b), before.texts[k][at]);
            changed = true;
        }
    return changed;
}

QString differingLinkedValue(const PanelModel& panel, int first, int last) {
    for (int g = groupOf(first); g <= groupOf(last); ++g) {
        int reference = -1;
        for (int k = std::max(first, firstOfGroup(g));
             k <= std::min(last, firstOfGroup(g) + ChannelsPerGroup - 1); ++k) {
            if (!panel.paramLinked(k)) continue;
            if (reference < 0) {
                reference = k;
                continue;
            }
            if (panel.channels().kind(k) != panel.channels().kind(reference)) continue;
            for (int b = 1; b <= BoxCount; ++b) {
                const Box box = Box(b);
                if (!numericRule(box) || !panel.isEnabled(k, box)) continue;
                const QString mine = panel.text(k, box).trimmed();
                const QString theirs = panel.text(reference, box).trimmed();
                if (mine == theirs) continue;
                return QStringLiteral("第%1路参数联动，但第%2路的%3（%4）与第%5路（%6）不同，"
                                      "请核对后再开始测试。")
                    .arg(groupName(g))
                    .arg(k + 1)
                    .arg(plainCaption(k, box), mine)
                    .arg(reference + 1)
                    .arg(theirs);
            }
        }
    }
    return {};
}

} // namespace q7rk
