#include "OldResultFile.h"

#include <QFileInfo>
#include <QStringDecoder>

// Debian's header wraps glib in extern "C" itself: glib must come first from C++.
#include <glib.h>
#include <mdbtools.h>

namespace q7rk::oldfiles {

struct OldResultFile::Handle {
    MdbHandle* mdb = nullptr;
    QList<MdbCatalogEntry*> entries; // one per table, in m_tables' order
    ~Handle() {
        if (mdb) mdb_close(mdb);
    }
};

namespace {

QString typeName(const MdbColumn& c, bool jet3) {
    switch (c.col_type) {
    case MDB_BOOL:
        return QStringLiteral("Boolean");
    case MDB_BYTE:
        return QStringLiteral("Byte");
    case MDB_INT:
        return QStringLiteral("Integer");
    case MDB_LONGINT:
        return QStringLiteral("Long Integer");
    case MDB_MONEY:
        return QStringLiteral("Currency");
    case MDB_FLOAT:
        return QStringLiteral("Single");
    case MDB_DOUBLE:
        return QStringLiteral("Double");
    case MDB_DATETIME:
        return QStringLiteral("DateTime");
    case MDB_BINARY:
        return QStringLiteral("Binary");
    case MDB_TEXT:
        // Jet 4 counts a text's size in bytes of UCS-2.
        return QStringLiteral("Text (%1)").arg(jet3 ? c.col_size : c.col_size / 2);
    case MDB_OLE:
        return QStringLiteral("OLE");
    case MDB_MEMO:
        return QStringLiteral("Memo");
    case MDB_REPID:
        return QStringLiteral("Replication ID");
    case MDB_NUMERIC:
        return QStringLiteral("Numeric");
    default:
        return QStringLiteral("type %1").arg(c.col_type);
    }
}

// An environment variable set for the life of the object: libmdb reads its settings from the
// environment when it opens a file.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedVariable() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// What the library gives for a name or a text, as stored: UTF-8 of Jet 4's UCS-2, or Jet 3's
// bytes.
QByteArray storedBytes(const char* text, bool jet3) {
    return jet3 ? QString::fromUtf8(text).toLatin1() : QByteArray(text);
}

QVariant fixedCell(const MdbHandle* mdb, const MdbColumn& c) {
    const void* page = mdb->pg_buf;
    const int at = c.cur_value_start;
    switch (c.col_type) {
    case MDB_BYTE:
        return qint64(mdb_get_byte(const_cast<void*>(page), at));
    case MDB_INT:
        return qint64(qint16(mdb_get_int16(const_cast<void*>(page), at)));
    case MDB_LONGINT:
        return qint64(qint32(mdb_get_int32(const_cast<void*>(page), at)));
    case MDB_FLOAT:
        return QVariant::fromValue(mdb_get_single(const_cast<void*>(page), at));
    case MDB_DOUBLE:
        return mdb_get_double(const_cast<void*>(page), at);
    case MDB_DATETIME:
        return QVariant::fromValue(OldDate{mdb_get_double(const_cast<void*>(page), at)});
    default:
        return {};
    }
}

bool readsFixed(int type) {
    return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT || type == MDB_FLOAT ||
           type == MDB_DOUBLE || type == MDB_DATETIME;
}

} // namespace

int OldTable::columnIndex(const QString& name) const {
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

OldResultFile::~OldResultFile() = default;

QString OldResultFile::encodingOfCodePage(int codePage) {
    switch (codePage) {
    case 936:
        return QStringLiteral("GB18030");
    case 950:
        return QStringLiteral("Big5");
    case 932:
        return QStringLiteral("Shift_JIS");
    case 949:
        return QStringLiteral("windows-949");
    case 0:
        return QStringLiteral("windows-1252");
    default:
        return QStringLiteral("windows-%1").arg(codePage);
    }
}

std::unique_ptr<OldResultFile> OldResultFile::open(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("无法读取文件");
        return nullptr;
    }
    std::unique_ptr<OldResultFile> file(new OldResultFile);
    file->m_path = path;
    file->m_handle = std::make_unique<Handle>();
    {
        // Jet 3 texts come out of the library as Latin-1 made UTF-8, one character per byte:
        // the bytes themselves, decoded here.
        const ScopedVariable jet3("MDB_JET3_CHARSET", "ISO-8859-1");
        const ScopedVariable text("MDB_ICONV", "UTF-8");
        file->m_handle->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    }
    MdbHandle* mdb = file->m_handle->mdb;
    if (!mdb) {
        *error = QStringLiteral("不是Access数据库文件");
        return nullptr;
    }
    // A file cut short ends inside a page; pages past its end would read as missing rows.
    if (mdb->fmt->pg_size <= 0 || info.size() % mdb->fmt->pg_size != 0) {
        *error = QStringLiteral("文件不完整（长度 %1 字节不是整页），可能被截断").arg(info.size());
        return nullptr;
    }
    file->m_version = int(mdb->f->jet_version);
    file->m_jet3 = mdb->f->jet_version == MDB_VER_JET3;
    file->m_codePage = mdb->f->code_page;
    file->m_encoding = encodingOfCodePage(file->m_codePage);
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        *error = QStringLiteral("无法读取数据库目录，文件可能已损坏");
        return nullptr;
    }
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
        MdbTableDef* def = mdb_read_table(entry);
        if (!def) {
            *error = QStringLiteral("无法读取表“%1”的定义，文件可能已损坏")
                         .arg(QString::fromUtf8(entry->object_name));
            return nullptr;
        }
        mdb_read_columns(def);
        OldTable table;
        table.rawName = storedBytes(entry->object_name, file->m_jet3);
        table.rows = def->num_rows;
        QList<QByteArray> rawColumns;
        for (unsigned c = 0; c < def->num_cols; ++c) {
            const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, c));
            rawColumns << storedBytes(col->name, file->m_jet3);
            table.columns << OldColumn{{}, col->col_type, typeName(*col, file->m_jet3)};
        }
        mdb_free_tabledef(def);
        file->m_tables << table;
        file->m_rawColumnNames << rawColumns;
        file->m_handle->entries << entry;
    }
    file->decodeNames();
    return file;
}

QString OldResultFile::formatName() const {
    switch (m_version) {
    case MDB_VER_JET3:
        return QStringLiteral("Jet3");
    case MDB_VER_JET4:
        return QStringLiteral("Jet4");
    default:
        return QStringLiteral("ACE%1").arg(m_version);
    }
}

bool OldResultFile::setTextEncoding(const QString& name) {
    if (!QStringDecoder(name.toLatin1().constData()).isValid()) return false;
    m_encoding = name;
    decodeNames();
    return true;
}

QString OldResultFile::decode(const QByteArray& bytes, bool* ok) const {
    if (!m_jet3) {
        if (ok) *ok = true;
        return QString::fromUtf8(bytes);
    }
    QStringDecoder decoder(m_encoding.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (ok) *ok = !decoder.hasError();
    return text;
}

void OldResultFile::decodeNames() {
    for (qsizetype t = 0; t < m_tables.size(); ++t) {
        m_tables[t].name = decode(m_tables[t].rawName);
        for (qsizetype c = 0; c < m_tables[t].columns.size(); ++c)
            m_tables[t].columns[c].name = decode(m_rawColumnNames[t][c]);
    }
}

QStringList OldResultFile::undecodableNames() const {
    QStringList out;
    for (qsizetype t = 0; t < m_tables.size(); ++t) {
        bool ok = true;
        decode(m_tables[t].rawName, &ok);
        if (!ok) out << m_tables[t].name;
        for (qsizetype c = 0; c < m_tables[t].columns.size(); ++c) {
            decode(m_rawColumnNames[t][c], &ok);
            if (!ok) out << m_tables[t].name + QLatin1Char('.') + m_tables[t].columns[c].name;
        }
    }
    return out;
}

const OldTable* OldResultFile::table(const QString& name) const {
    for (const OldTable& t : m_tables)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

bool OldResultFile::readRows(const OldTable& table,
                             const std::function<void(const QVariantList&)>& row, QString* error,
                             QStringList* badTexts, const QList<int>& columnsWanted,
                             qint64 maxRows) const {
    const qsizetype at = &table - m_tables.constData();
    if (at < 0 || at >= m_tables.size()) return false;
    MdbHandle* mdb = m_handle->mdb;
    MdbTableDef* def = mdb_read_table(m_handle->entries[at]);
    if (!def) {
        *error = QStringLiteral("无法读取表“%1”").arg(table.name);
        return false;
    }
    mdb_read_columns(def);
    mdb_rewind_table(def);
    // Texts are bound (the library converts them); fixed-size values are read from the row's
    // bytes, so a Single keeps every bit instead of a text of it.
    const unsigned columns = def->num_cols;
    std::vector<std::unique_ptr<char[]>> buffers(columns);
    std::vector<int> lengths(columns, 0);
    std::vector<MdbColumn*> cols(columns);
    std::vector<bool> wanted(columns, columnsWanted.isEmpty());
    for (int c : columnsWanted)
        if (c >= 0 && unsigned(c) < columns) wanted[std::size_t(c)] = true;
    for (unsigned c = 0; c < columns; ++c) {
        cols[c] = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, c));
        if (!wanted[c] || cols[c]->col_type == MDB_BOOL || readsFixed(cols[c]->col_type)) continue;
        buffers[c] = std::make_unique<char[]>(mdb->bind_size);
        mdb_bind_column(def, int(c) + 1, buffers[c].get(), &lengths[c]);
    }
    qint64 read = 0;
    QVariantList cells;
    cells.resize(columns);
    while ((maxRows < 0 || read < maxRows) && mdb_fetch_row(def)) {
        ++read;
        for (unsigned c = 0; c < columns; ++c) {
            const MdbColumn& col = *cols[c];
            if (!wanted[c]) {
                cells[c] = QVariant();
            } else if (col.col_type == MDB_BOOL) {
                // A Boolean lives in the row's null mask: a set bit (not null) is true.
                cells[c] = col.cur_value_len == 0;
            } else if (readsFixed(col.col_type)) {
                cells[c] = col.cur_value_len > 0 ? fixedCell(mdb, col) : QVariant();
            } else if (col.cur_value_len == 0 && lengths[c] == 0) {
                cells[c] = QVariant();
            } else {
                const QByteArray bytes = storedBytes(buffers[c].get(), m_jet3);
                bool ok = true;
                cells[c] = decode(bytes, &ok);
                if (!ok && badTexts)
                    *badTexts << QStringLiteral("%1.%2：%3")
                                     .arg(table.name, table.columns[c].name, cells[c].toString());
            }
        }
        row(cells);
    }
    const qint64 expected = def->num_rows;
    mdb_free_tabledef(def);
    if (read < expected && (maxRows < 0 || read < maxRows)) {
        *error = QStringLiteral("表“%1”只读出 %2 行（应有 %3 行），文件可能已损坏或被截断")
                     .arg(table.name)
                     .arg(read)
                     .arg(expected);
        return false;
    }
    return true;
}

} // namespace q7rk::oldfiles
