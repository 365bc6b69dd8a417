#include "StartupLoader.h"

#include "kinds/TestKindDescription.h"

#include "charts/ChartSet.h"
#include "params/PanelModel.h"
#include "params/StoredBoxes.h"
#include "plant/PlantPage.h"
#include "plant/PlantQueuePresenter.h"
#include "settings/ChannelModel.h"
#include "settings/NumberText.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/ShellModel.h"
#include "station/InstrumentAddress.h"

#include <QDate>
#include <cmath>

namespace q7rk {

using enum Box;

namespace {

QString today() {
    return QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
}

// The order in which the group options are restored; a restored option runs its click.
constexpr Option kRestoreOrder[] = {Option::BeforeBoiling, Option::AfterBoiling,    Option::TvTest,
                                    Option::LeakageTest,   Option::ElectrolyteTest, Option::Linked,
                                    Option::NotLinked};

// A parameter box is filled with the stored text as it stands, unless that text is not a
// number: then the key's initial value goes in, so a damaged file cannot put garbage into a
// box that the poll and the evaluation convert.
QString storedNumberText(const SettingsStore& s, const QString& key) {
    const QString text = s.read(section::Canshu, key);
    return parseNumber(text) ? text.trimmed() : initialValue(section::Canshu, key);
}

float storedFactor(const SettingsStore& s, const QString& key) {
    return float(s.readNumber(section::Canshu, key));
}

// A time scale of 0 or less would divide the curve mapping by zero: it reads as 1.
float storedTimeScale(const SettingsStore& s, const QString& key) {
    const double v = s.readNumber(section::Canshu, key);
    return std::isfinite(v) && v > 0 ? float(v) : 1.0f;
}

} // namespace

// The calibration factors of every channel: the end of a run writes all six back, so all
// six must be read, or channels 4-6 would lose their trim after the first run.
void StartupLoader::loadFactors(int i) {
    const SettingsStore& s = m_settings;
    auto channelKey = [i](const char* base) { return indexedKey(QString::fromUtf8(base), i); };
    m_channels.voltageAdjust[i] = storedFactor(s, channelKey(key::VoltageAdjust));
    m_channels.currentAdjust[i] = storedFactor(s, channelKey(key::CurrentAdjust));
    m_channels.KV[i] = storedFactor(s, channelKey(key::VoltageControl));
    m_channels.KI[i] = storedFactor(s, channelKey(key::CurrentControl));
}

void StartupLoader::loadChannel(int i) {
    const SettingsStore& s = m_settings;
    auto channelKey = [i](const char* base) { return indexedKey(QString::fromUtf8(base), i); };
    auto load = [&](StoredBox::Page page) {
        for (const StoredBox& entry : storedBoxes()) {
            if (entry.page != page || !entry.loadedAtStartUp) continue;
            const QString stored = storedKey(entry, i);
            m_panel.setText(i, entry.box,
                            entry.numeric ? storedNumberText(s, stored)
                                          : s.read(entry.section, stored));
        }
    };

    m_channels.timeScale[i] = storedTimeScale(s, channelKey(key::TimeScale));
    load(StoredBox::TvPage);
    m_panel.setText(i, TvTestDate, today());

    m_channels.currentColour[i] = quint32(s.readNumber(section::Canshu, channelKey("Currency_C(")));
    m_channels.voltageColour[i] = quint32(s.readNumber(section::Canshu, channelKey("Voltage_C(")));

    if (i < GroupCount) {
        for (Option o : kRestoreOrder) {
            const QString optionKey = indexedKey(QStringLiteral("option%1(").arg(int(o)), i);
            m_panel.restoreOption(o, i, s.readBool(section::Canshu, optionKey));
        }
    }

    load(StoredBox::ElectrolytePage);
    m_panel.setText(i, ElectrolyteTestDate, today());

    m_panel.setComboItems(i, Box::SamplePosition, samplePositions());
    m_panel.setComboItems(i, Box::ElectrolyteSamplePosition, samplePositions());

    m_channels.setKind(i, TestKind::Tv);
}

void StartupLoader::load() {
    // The first start finds an empty store; every key gets its initial value so that the
    // file shows the operator what can be set.
    m_settings.writeInitialValues();
    loadSettings();

    m_settings.write(section::Canshu, QStringLiteral("存储运行标志"), QStringLiteral("0"));

    m_channels.showCurrentCurve = false;
    m_channels.sampleIndex = 1;
    m_plant.startUp();

    applyKindsAndFrame();

    m_shell.setMenuEnabled(Command::WidenTimeAxes, true);
    m_shell.setMenuEnabled(Command::NarrowTimeAxes, true);
    // No test can start without a link, so the test toolbar waits for one.
    m_shell.setToolbarVisible(false);
    m_shell.setButtonEnabled(Command::RunChannels12, true);
    m_shell.setButtonEnabled(Command::RunChannel1, true);
    m_shell.setButtonEnabled(Command::ToggleEthernet, false);
    m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("未连接"));
    // What the plant database could not take last time goes now.
    m_plantQueue.retryQueue();
}

void StartupLoader::reload() {
    m_settings.writeInitialValues(); // keys the imported file lacks
    loadSettings();
    applyKindsAndFrame();
}

void StartupLoader::loadSettings() {
    restoreInstrumentAddress(m_settings, m_panel);

    m_channels.lastChannel = 2;
    m_channels.firstChannel = 0;
    // Channels 4-6 keep the form's own texts: their parameters are never read.
    for (int i = 0; i < ChannelsPerGroup; ++i)
        loadChannel(i);
    // Each group is linked as its restored option says (linked when neither is set): a group
    // shown as 不联动 must not copy one channel's set values into the others.
    for (int k = 0; k < ChannelCount; ++k)
        m_panel.setParamLinked(k, !m_panel.option(Option::NotLinked, groupOf(k)));
    // The boiling preset ran while the channels were loaded one by one; a channel loaded
    // after it kept its stored delay. Once all are loaded it applies to every one of them,
    // so the pieces of one foil are judged after the same delay. A preset reaches channels 1-3
    // whichever group's frame runs it: channels 1-3 take the delay of their own group's option,
    // which therefore runs last (a foil after boiling is not given 4-6's 水煮前 180 s).
    for (int g = GroupCount - 1; g >= 0; --g)
        for (Option o : {Option::BeforeBoiling, Option::AfterBoiling})
            if (m_panel.option(o, g)) m_panel.clickOption(o, g);
    for (int i = 0; i < ChannelCount; ++i)
        loadFactors(i);
    m_channels.groupTimeScale = storedTimeScale(m_settings, QString::fromUtf8(key::GroupTimeScale));
}

void StartupLoader::applyKindsAndFrame() {
    // The kind of each group follows its restored test-kind option: flags, enabled boxes and
    // readout captions agree with the option the operator sees.
    for (int g = 0; g < GroupCount; ++g) {
        // A group whose option is not set (a first start) runs TV tests.
        TestKind kind = TestKind::Tv;
        for (TestKind candidate : allKinds()) {
            if (m_panel.option(description(candidate).option, g)) {
                kind = candidate;
                break;
            }
        }
        m_panel.applyGroupKind(g, kind);
    }
    for (int k = 0; k < ChannelCount; ++k)
        m_charts.frameChannelChart(k);
    for (int n = 0; n < ChartSet::GroupChartCount; ++n)
        m_charts.frameGroupChart(n);
}

} // namespace q7rk
