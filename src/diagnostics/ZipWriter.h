#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class QIODevice;

namespace q7rk {

// A zip archive written entry by entry onto a device: each entry deflated (or stored when
// that is not smaller), its name in UTF-8, then the central directory at finish(). No
// encryption, no zip64: an archive stays below 4 GiB and 65535 entries, and an entry that
// would pass either fails the archive.
class ZipWriter {
public:
    explicit ZipWriter(QIODevice& device) : m_device(device) {}

    // False when the device took not all of it, or the archive would grow too large; error()
    // says which.
    bool add(const QString& name, const QByteArray& data,
             const QDateTime& modified = QDateTime::currentDateTime());
    bool finish();
    const QString& error() const { return m_error; }
    int count() const { return int(m_entries.size()); }

    static quint32 crc32(const QByteArray& data);
    // zlib's deflate without its header and trailer, as a zip entry holds it.
    static QByteArray rawDeflate(const QByteArray& data);

private:
    struct Entry {
        QByteArray name;
        quint16 method, time, date;
        quint32 crc, packed, size, offset;
    };
    bool write(const QByteArray& bytes);

    QIODevice& m_device;
    QList<Entry> m_entries;
    quint64 m_offset = 0;
    QString m_error;
};

} // namespace q7rk
