#pragma once

namespace q7rk {

class PanelModel;
class SettingsStore;

// The instrument's network address and port (Text41, Text42) are kept from one start to
// the next: the bench's instrument rarely moves, and typing its address every morning is
// how a wrong one gets in. Start-up puts the kept pair into the boxes (a damaged port reads
// as the initial 4001); a connection the instrument answered keeps the pair it used.
void restoreInstrumentAddress(const SettingsStore& settings, PanelModel& panel);
void rememberInstrumentAddress(SettingsStore& settings, const PanelModel& panel);

} // namespace q7rk
