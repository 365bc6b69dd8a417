#pragma once

#include <QHash>
#include <QList>
#include <QLoggingCategory>
#include <QString>

namespace q7rk {

// The per-user settings store: an INI file in UTF-8 with the sections "canshu" and
// "topic", values kept as text. Keys and sections are matched without regard to letter
// case (option1(0) and Option1(0) are one key); a key keeps the spelling it was first
// written with. Every write goes to disk at once (atomically, through a temporary file)
// unless a Batch is open, so a crash never leaves half a file behind.
// "q7rk.settings": every change of a setting, old value to new (info); never a password.
Q_DECLARE_LOGGING_CATEGORY(settingsLog)

class SettingsStore {
public:
    // Loads the file if it exists; a missing or unreadable file gives an empty store.
    explicit SettingsStore(QString filePath);

    // The user's store: <config folder>/<short title>/<short title>.ini
    static QString defaultFilePath();

    const QString& filePath() const { return m_path; }

    // Text of a key; empty when absent.
    QString read(const QString& section, const QString& key) const;
    bool contains(const QString& section, const QString& key) const;
    void write(const QString& section, const QString& key, const QString& value);

    // Every key in the order of the file: sections as they come, keys as first written.
    struct Value {
        QString section;
        QString key;
        QString value;
    };
    QList<Value> values() const;

    // Guarded conversions: an absent, empty or malformed value reads as the key's initial
    // value (or `fallback` for keys without one), so start-up never fails on a damaged file.
    double readNumber(const QString& section, const QString& key, double fallback = 0) const;
    bool readBool(const QString& section, const QString& key, bool fallback = false) const;

    // Puts the initial value of every known key that the store lacks (all six channels,
    // both groups). Returns how many keys were added; existing values are left alone.
    int writeInitialValues();

    // False when the last save failed; errorString() says why. Values stay in memory.
    bool save();
    bool lastSaveFailed() const { return !m_error.isEmpty(); }
    const QString& errorString() const { return m_error; }

    // Holds saving back while several keys are written, then saves once.
    class Batch {
    public:
        explicit Batch(SettingsStore& store) : m_store(store) { ++m_store.m_batchDepth; }
        ~Batch() {
            if (--m_store.m_batchDepth == 0 && m_store.m_dirty) m_store.save();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        SettingsStore& m_store;
    };

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
        QHash<QString, qsizetype> index; // lower-case key -> position in entries
    };

    void load();
    const Entry* find(const QString& section, const QString& key) const;
    Section& sectionFor(const QString& name);
    void put(const QString& section, const QString& key, const QString& value);

    QString m_path;
    QList<Section> m_sections;
    QString m_error;
    int m_batchDepth = 0;
    bool m_dirty = false;
};

} // namespace q7rk
