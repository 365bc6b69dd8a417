#include "ZipWriter.h"

#include <QIODevice>
#include <array>
#include <limits>

namespace q7rk {

namespace {

constexpr quint16 Stored = 0, Deflated = 8;
constexpr quint16 VersionNeeded = 20; // 2.0: deflate
constexpr quint16 MadeOnUnix = (3 << 8) | 20;
constexpr quint16 Utf8Names = 1 << 11;          // general purpose flag bit 11
constexpr quint32 RegularFile = 0100644u << 16; // external attributes: -rw-r--r--
constexpr quint64 Limit = std::numeric_limits<quint32>::max();

constexpr std::array<quint32, 256> crcTable() {
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr auto kCrcTable = crcTable();

void put16(QByteArray& out, quint16 v) {
    const std::array<char, 2> b{char(v & 0xff), char(v >> 8)};
    out.append(b.data(), 2);
}

void put32(QByteArray& out, quint32 v) {
    put16(out, quint16(v & 0xffff));
    put16(out, quint16(v >> 16));
}

// MS-DOS time and date: two-second steps, years from 1980.
quint16 dosTime(const QTime& t) {
    return quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
}

quint16 dosDate(const QDate& d) {
    if (d.year() < 1980) return (1 << 5) | 1; // 1980-01-01
    return quint16(((d.year() - 1980) << 9) | (d.month() << 5) | d.day());
}

} // namespace

quint32 ZipWriter::crc32(const QByteArray& data) {
    quint32 c = 0xffffffffu;
    for (const char byte : data)
        c = kCrcTable[(c ^ quint8(byte)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

QByteArray ZipWriter::rawDeflate(const QByteArray& data) {
    // qCompress: a 4-byte length, zlib's 2-byte header, the deflate stream, the 4-byte
    // Adler-32. zlib's default level: a week of full logs in half the time of the best level,
    // for 7 % more bytes.
    const QByteArray zlib = qCompress(data);
    if (zlib.size() < 4 + 2 + 4) return {};
    return zlib.mid(4 + 2, zlib.size() - 4 - 2 - 4);
}

bool ZipWriter::write(const QByteArray& bytes) {
    if (m_device.write(bytes) != bytes.size()) {
        m_error = m_device.errorString();
        return false;
    }
    m_offset += quint64(bytes.size());
    return true;
}

bool ZipWriter::add(const QString& name, const QByteArray& data, const QDateTime& modified) {
    if (quint64(data.size()) >= Limit || m_offset >= Limit || m_entries.size() >= 0xffff) {
        m_error = QStringLiteral("压缩文件过大（超过4 GB或65535个文件）");
        return false;
    }
    QByteArray packed = data.isEmpty() ? QByteArray() : rawDeflate(data);
    const bool deflate = !packed.isEmpty() && packed.size() < data.size();
    if (!deflate) packed = data;
    const QDateTime local = modified.toLocalTime();
    const Entry e{
        name.toUtf8(), deflate ? Deflated : Stored, dosTime(local.time()), dosDate(local.date()),
        crc32(data),   quint32(packed.size()),      quint32(data.size()),  quint32(m_offset)};

    QByteArray header;
    put32(header, 0x04034b50);
    put16(header, VersionNeeded);
    put16(header, Utf8Names);
    put16(header, e.method);
    put16(header, e.time);
    put16(header, e.date);
    put32(header, e.crc);
    put32(header, e.packed);
    put32(header, e.size);
    put16(header, quint16(e.name.size()));
    put16(header, 0); // no extra field
    header.append(e.name);
    if (!write(header) || !write(packed)) return false;
    m_entries.append(e);
    return true;
}

bool ZipWriter::finish() {
    const quint64 start = m_offset;
    QByteArray directory;
    for (const Entry& e : m_entries) {
        put32(directory, 0x02014b50);
        put16(directory, MadeOnUnix);
        put16(directory, VersionNeeded);
        put16(directory, Utf8Names);
        put16(directory, e.method);
        put16(directory, e.time);
        put16(directory, e.date);
        put32(directory, e.crc);
        put32(directory, e.packed);
        put32(directory, e.size);
        put16(directory, quint16(e.name.size()));
        put16(directory, 0); // extra field
        put16(directory, 0); // comment
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, RegularFile);
        put32(directory, e.offset);
        directory.append(e.name);
    }
    if (start + quint64(directory.size()) >= Limit) {
        m_error = QStringLiteral("压缩文件过大（超过4 GB）");
        return false;
    }
    QByteArray end;
    put32(end, 0x06054b50);
    put16(end, 0); // this disk
    put16(end, 0); // the directory's disk
    put16(end, quint16(m_entries.size()));
    put16(end, quint16(m_entries.size()));
    put32(end, quint32(directory.size()));
    put32(end, quint32(start));
    put16(end, 0); // comment
    return write(directory) && write(end);
}

} // namespace q7rk
