#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

namespace q7rk::oldfiles {

// A column of a table of an Access (Jet) file as the file declares it.
struct OldColumn {
    QString name;
    int jetType = 0;  // libmdb's MDB_* type code
    QString typeName; // "Single", "Long Integer", "Text (20)", …
};

struct OldTable {
    QString name;       // decoded with the file's text encoding
    QByteArray rawName; // as the library names it, for reading
    QList<OldColumn> columns;
    qint64 rows = 0; // as the table's definition counts them
    int columnIndex(const QString& name) const;
};

// A cell as the file holds it, typed by its column: null; bool (Boolean); qint64 (Byte,
// Integer, Long Integer); float (Single, every bit kept); double (Double, Currency, Numeric);
// OldDate (Date/Time); QString (Text, Memo).
struct OldDate {
    double days = 0; // since 1899-12-30; the fraction is the time of day
};

// One old result file opened read-only through libmdb. Texts of a Jet 4 file are UCS-2 and
// come out whole; a Jet 3 file's texts are bytes in a code page that its header names, and
// names wrongly when the file was made on a PC of another language: the bytes are kept and
// decoded here, so another encoding can be tried without opening the file again, and text
// that does not convert is told rather than replaced quietly.
class OldResultFile {
public:
    ~OldResultFile();
    OldResultFile(const OldResultFile&) = delete;
    OldResultFile& operator=(const OldResultFile&) = delete;

    // The file's catalog and every user table's columns, read once. nullptr with the cause in
    // `error` when the file is no Access file or is damaged.
    static std::unique_ptr<OldResultFile> open(const QString& path, QString* error);

    bool isJet3() const { return m_jet3; }
    QString formatName() const; // "Jet3", "Jet4", "ACE…"
    int headerCodePage() const { return m_codePage; }
    // The encoding Jet 3 texts are decoded with: the header's code page until set.
    QString textEncoding() const { return m_encoding; }
    // False when the name is no encoding this program can decode.
    bool setTextEncoding(const QString& name);
    // The encoding a Windows code page stands for ("GB18030" for 936, "windows-1252", …).
    static QString encodingOfCodePage(int codePage);

    const QList<OldTable>& tables() const { return m_tables; }
    const OldTable* table(const QString& name) const;
    // Names (of tables and columns) that do not convert under the text encoding.
    QStringList undecodableNames() const;

    // Calls `row` with each row's cells (one per column, in column order), in the order the
    // file holds them; deleted rows are skipped. Only the `columns` given are read (all when
    // none are), the others come as null; `maxRows` stops early (-1: every row). Text that
    // does not convert comes out with replacement characters and is named in `badTexts`
    // ("表.列：…"). False with the cause in `error` when the table cannot be read to its end.
    bool readRows(const OldTable& table, const std::function<void(const QVariantList&)>& row,
                  QString* error, QStringList* badTexts = nullptr, const QList<int>& columns = {},
                  qint64 maxRows = -1) const;

private:
    struct Handle;
    OldResultFile() = default;
    QString decode(const QByteArray& bytes, bool* ok = nullptr) const;
    void decodeNames();

    std::unique_ptr<Handle> m_handle;
    bool m_jet3 = false;
    int m_version = 0;
    int m_codePage = 0;
    QString m_encoding;
    QList<OldTable> m_tables;
    QList<QList<QByteArray>> m_rawColumnNames; // per table, as stored
    QString m_path;
};

} // namespace q7rk::oldfiles

Q_DECLARE_METATYPE(q7rk::oldfiles::OldDate)
