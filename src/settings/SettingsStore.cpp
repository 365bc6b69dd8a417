#include "SettingsStore.h"

#include "NumberText.h"
#include "ProgramTitle.h"
#include "SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

namespace q7rk {

Q_LOGGING_CATEGORY(settingsLog, "q7rk.settings", QtWarningMsg)

namespace {

// Values may hold anything an operator types; line breaks and backslashes are escaped so
// that one value stays on one line.
QString escapeValue(const QString& v) {
    QString out;
    out.reserve(v.size());
    for (const QChar c : v) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else
            out += c;
    }
    return out;
}

QString unescapeValue(const QString& v) {
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v.at(i);
        if (c != QLatin1Char('\\') || i + 1 == v.size()) {
            out += c;
            continue;
        }
        const QChar n = v.at(++i);
        if (n == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (n == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else
            out += n;
    }
    return out;
}

} // namespace

SettingsStore::SettingsStore(QString filePath) : m_path(std::move(filePath)) {
    load();
}

QString SettingsStore::defaultFilePath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString app = programTitle::shortName();
    return base + QLatin1Char('/') + app + QLatin1Char('/') + app + QLatin1String(".ini");
}

void SettingsStore::load() {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QString text = QString::fromUtf8(file.readAll());
    QString current;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
            trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            current = trimmed.mid(1, trimmed.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || current.isEmpty())
            continue; // a line we cannot read is skipped, the rest of the file still counts
        const QString key = line.left(eq).trimmed();
        if (!key.isEmpty()) put(current, key, unescapeValue(line.mid(eq + 1)));
    }
}

const SettingsStore::Entry* SettingsStore::find(const QString& section, const QString& key) const {
    for (const Section& s : m_sections) {
        if (s.name.compare(section, Qt::CaseInsensitive) != 0) continue;
        const auto it = s.index.constFind(key.toLower());
        return it == s.index.cend() ? nullptr : &s.entries.at(*it);
    }
    return nullptr;
}

SettingsStore::Section& SettingsStore::sectionFor(const QString& name) {
    for (Section& s : m_sections)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0) return s;
    m_sections.append(Section{name, {}, {}});
    return m_sections.last();
}

void SettingsStore::put(const QString& section, const QString& key, const QString& value) {
    Section& s = sectionFor(section);
    const QString lower = key.toLower();
    const auto it = s.index.constFind(lower);
    if (it != s.index.cend()) {
        s.entries[*it].value = value;
        return;
    }
    s.index.insert(lower, s.entries.size());
    s.entries.append(Entry{key, value});
}

QString SettingsStore::read(const QString& section, const QString& key) const {
    const Entry* e = find(section, key);
    return e ? e->value : QString();
}

bool SettingsStore::contains(const QString& section, const QString& key) const {
    return find(section, key) != nullptr;
}

void SettingsStore::write(const QString& section, const QString& key, const QString& value) {
    const Entry* e = find(section, key);
    if (e && e->value == value) return;
    // A change of the settings, old to new; what looks like a password is not written out.
    const bool secret = key.contains(QLatin1String("password"), Qt::CaseInsensitive) ||
                        key.contains(QLatin1String("pwd"), Qt::CaseInsensitive);
    qCInfo(settingsLog).noquote() << QStringLiteral("[%1] %2: %3 -> %4")
                                         .arg(section, key,
                                              secret ? QStringLiteral("***")
                                              : e    ? '"' + e->value + '"'
                                                     : QStringLiteral("(none)"),
                                              secret ? QStringLiteral("***") : '"' + value + '"');
    put(section, key, value);
    m_dirty = true;
    if (m_batchDepth == 0) save();
}

QList<SettingsStore::Value> SettingsStore::values() const {
    QList<Value> out;
    for (const Section& s : m_sections)
        for (const Entry& e : s.entries)
            out.append({s.name, e.key, e.value});
    return out;
}

double SettingsStore::readNumber(const QString& section, const QString& key,
                                 double fallback) const {
    if (const auto v = parseNumber(read(section, key))) return *v;
    if (const auto v = parseNumber(initialValue(section, key))) return *v;
    return fallback;
}

bool SettingsStore::readBool(const QString& section, const QString& key, bool fallback) const {
    if (const auto v = parseBool(read(section, key))) return *v;
    if (const auto v = parseBool(initialValue(section, key))) return *v;
    return fallback;
}

int SettingsStore::writeInitialValues() {
    int added = 0;
    Batch batch(*this);
    for (const KeyDefinition& def : keyDefinitions()) {
        const QString sec = QString::fromUtf8(def.section);
        const QString base = QString::fromUtf8(def.base);
        const int count = def.indexCount == 0 ? 1 : def.indexCount;
        for (int i = 0; i < count; ++i) {
            const QString key = def.indexCount == 0 ? base : indexedKey(base, i);
            if (contains(sec, key)) continue;
            put(sec, key, QString::fromUtf8(def.initial));
            m_dirty = true;
            ++added;
        }
    }
    return added;
}

bool SettingsStore::save() {
    QString text;
    for (const Section& s : m_sections) {
        text += QLatin1Char('[') + s.name + QLatin1String("]\n");
        for (const Entry& e : s.entries)
            text += e.key + QLatin1Char('=') + escapeValue(e.value) + QLatin1Char('\n');
        text += QLatin1Char('\n');
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    file.write(text.toUtf8());
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    m_error.clear();
    m_dirty = false;
    return true;
}

} // namespace q7rk
