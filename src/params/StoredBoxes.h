#pragma once

#include "kinds/Box.h"
#include "settings/ChannelModel.h"

#include <QString>
#include <span>

namespace q7rk {

// Which box is kept under which settings key: start-up fills the boxes from here, an emptied
// name box falls back to channel 1's key here, and a finished test writes its boxes back
// here. One table, so the three can never disagree.
struct StoredBox {
    enum Page { TvPage, ElectrolytePage };
    Box box;
    const QString& section;
    const char* base;     // "hcdy(" -> hcdy(k)
    bool numeric;         // a damaged stored number loads as the key's initial value
    bool loadedAtStartUp; // some keys are only ever written
    unsigned keptBy;      // bits of keptBit(kind): the kinds whose end writes it back
    Page page;
};

constexpr unsigned keptBit(TestKind kind) {
    return 1u << unsigned(kind);
}

std::span<const StoredBox> storedBoxes();
// The key channel `channel` keeps the entry under.
QString storedKey(const StoredBox& entry, int channel);
// The entry that start-up loads into this box, if any.
const StoredBox* startUpEntry(Box box);

} // namespace q7rk
