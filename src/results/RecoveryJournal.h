#pragma once

#include "results/StoredTest.h"

#include <QList>
#include <QString>

namespace q7rk {

// A judged test that no save has stored yet, as it stood when it was judged or when its run
// ended: the record the save would write (parameters, verdict, curve, measurement
// conditions), its channel, and the serial its plant piece goes under.
struct JournalEntry {
    int channel = 0;
    StoredTest test;
    QString verdict;     // as the operator saw it: 合格, 不合格
    QString pieceSerial; // channel 1's number at the time: the foil of a TV piece
};

// The recovery journal of the working folder: every judged test enters it the moment it is
// judged and leaves it when it is stored or given up, so a crash, a kill or a power cut before
// 保存 loses nothing the operator was shown. One SQLite file ("q7rk-recovery.db"), one row per
// channel, each write one transaction synced to the disk. Failures come back as Chinese texts
// naming the file and the cause; empty means done.
class RecoveryJournal {
public:
    static constexpr const char* FileName = "q7rk-recovery.db";

    // The journal in `folder`; empty: the current folder at each operation.
    explicit RecoveryJournal(QString folder = QString()) : m_folder(std::move(folder)) {}

    QString path() const;
    // Keeps the entry in place of whatever its channel held.
    QString keep(const JournalEntry& entry);
    // The channel's test was stored or given up.
    QString drop(int channel);
    QString dropAll();

    struct Contents {
        QList<JournalEntry> entries; // by channel
        QString error;               // the file could not be read
    };
    // Nothing and no error when there is no journal file.
    Contents read() const;

private:
    QString remove(const QString& where);

    QString m_folder;
};

} // namespace q7rk
