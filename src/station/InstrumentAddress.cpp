#include "station/InstrumentAddress.h"

#include "params/PanelModel.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace q7rk {

void restoreInstrumentAddress(const SettingsStore& settings, PanelModel& panel) {
    const QString addressKey = QString::fromLatin1(key::InstrumentAddress);
    const QString portKey = QString::fromLatin1(key::InstrumentPort);
    panel.setText(0, Box::InstrumentAddress, settings.read(section::Canshu, addressKey).trimmed());
    bool ok = false;
    const QString port = settings.read(section::Canshu, portKey).trimmed();
    const uint number = port.toUInt(&ok);
    panel.setText(0, Box::InstrumentPort,
                  ok && number > 0 && number <= 65535 ? port
                                                      : initialValue(section::Canshu, portKey));
}

void rememberInstrumentAddress(SettingsStore& settings, const PanelModel& panel) {
    SettingsStore::Batch batch(settings);
    settings.write(section::Canshu, QString::fromLatin1(key::InstrumentAddress),
                   panel.text(0, Box::InstrumentAddress).trimmed());
    settings.write(section::Canshu, QString::fromLatin1(key::InstrumentPort),
                   panel.text(0, Box::InstrumentPort).trimmed());
}

} // namespace q7rk
