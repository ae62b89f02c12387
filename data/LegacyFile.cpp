#include "LegacyFile.h"

#include <cmath>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <mdbtools.h>

namespace {

constexpr int kRowOffsetMask = 0x1fff;
constexpr guint32 kLongValueLengthMask = 0x3fffffff;

LegacyColumn::Kind kindOf(int jetType) {
    using K = LegacyColumn::Kind;
    switch (jetType) {
    case MDB_TEXT:
        return K::Text;
    case MDB_MEMO:
        return K::Memo;
    case MDB_DATETIME:
        return K::Date;
    case MDB_BOOL:
        return K::Boolean;
    case MDB_OLE:
    case MDB_BINARY:
        return K::Binary;
    default:
        return K::Number;
    }
}

QString damaged(const QString& table) {
    return QStringLiteral("旧数据文件已损坏或不完整：表 %1 读不全。").arg(table);
}

// Jet 4 keeps text as UTF-16LE, or "compressed": after FF FE, single bytes stand for U+0001..U+00FF
// and each zero byte switches between single bytes and UTF-16 units.
QString decodeJet4Text(const unsigned char* bytes, int size) {
    QString text;
    text.reserve(size / 2 + 1);
    if (size >= 2 && bytes[0] == 0xff && bytes[1] == 0xfe) {
        bool compressed = true;
        for (int i = 2; i < size;) {
            if (bytes[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text += QChar(char16_t(bytes[i++]));
            } else if (i + 1 < size) {
                text += QChar(char16_t(bytes[i] | bytes[i + 1] << 8));
                i += 2;
            } else {
                break;
            }
        }
        return text;
    }
    for (int i = 0; i + 1 < size; i += 2)
        text += QChar(char16_t(bytes[i] | bytes[i + 1] << 8));
    return text;
}

// Jet 3 keeps text in the file's code page.
QString decodeJet3Text(const unsigned char* bytes, int size, int codePage) {
    const QByteArray raw(reinterpret_cast<const char*>(bytes), size);
    const QByteArray name =
        codePage == 936 ? QByteArray("GB18030") : "windows-" + QByteArray::number(codePage);
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid()) return QString::fromLatin1(raw);
    return decoder.decode(raw);
}

class MdbTable final : public LegacyTable {
public:
    MdbTable(MdbTableDef* table, QString name) : m_table(table), m_name(std::move(name)) {
        m_mdb = table->entry->mdb;
        for (unsigned int i = 0; i < table->num_cols; ++i) {
            const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
            m_columns.append({QString::fromUtf8(col->name), kindOf(col->col_type)});
        }
        m_fields.resize(int(table->num_cols));
        mdb_rewind_table(table);
    }
    ~MdbTable() override { mdb_free_tabledef(m_table); }

    const QVector<LegacyColumn>& columns() const override { return m_columns; }
    QString error() const override { return m_error; }

    bool next() override {
        if (!m_error.isEmpty()) return false;
        if (!mdb_fetch_row(m_table)) {
            if (m_rowsRead != m_table->num_rows) m_error = damaged(m_name);
            return false;
        }
        ++m_rowsRead;
        // The row is still on the current page: split it again to tell null from empty text.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(m_mdb, int(m_table->cur_row) - 1, &start, &size) != 0) {
            m_error = damaged(m_name);
            return false;
        }
        mdb_crack_row(m_table, start & kRowOffsetMask, size, m_fields.data());
        return true;
    }

    QVariant value(int column) override {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, column));
        const MdbField& field = m_fields[column];
        if (col->col_type == MDB_BOOL) return field.is_null == 0; // the null bit holds the value
        if (field.is_null) return {};
        const unsigned char* at = m_mdb->pg_buf + field.start;
        const bool jet4 = m_mdb->f->jet_version != MDB_VER_JET3;
        switch (col->col_type) {
        case MDB_TEXT:
            return jet4 ? decodeJet4Text(at, field.siz) : decodeJet3Text(at, field.siz, m_mdb->f->code_page);
        case MDB_MEMO: {
            const QByteArray bytes = longValue(col, field);
            const auto* raw = reinterpret_cast<const unsigned char*>(bytes.constData());
            return jet4 ? decodeJet4Text(raw, int(bytes.size()))
                        : decodeJet3Text(raw, int(bytes.size()), m_mdb->f->code_page);
        }
        case MDB_OLE:
            return longValue(col, field);
        case MDB_BINARY:
            return QByteArray(reinterpret_cast<const char*>(at), field.siz);
        case MDB_DATETIME: {
            // Whole days from 1899-12-30; before it the day is negative and the time still positive.
            const double days = mdb_get_double(m_mdb->pg_buf, field.start);
            const QDate date = std::isfinite(days) && std::fabs(days) < 4e6
                                   ? QDate(1899, 12, 30).addDays(qint64(days))
                                   : QDate();
            // A day number no calendar holds stays a number, which no date column takes.
            return date.isValid() ? QVariant(date) : QVariant(days);
        }
        case MDB_BYTE:
            return double(mdb_get_byte(m_mdb->pg_buf, field.start));
        case MDB_INT:
            return double(short(mdb_get_int16(m_mdb->pg_buf, field.start)));
        case MDB_LONGINT:
            return double(qint32(mdb_get_int32(m_mdb->pg_buf, field.start)));
        case MDB_FLOAT:
            return double(mdb_get_single(m_mdb->pg_buf, field.start));
        case MDB_DOUBLE:
            return mdb_get_double(m_mdb->pg_buf, field.start);
        default: {
            char* text = mdb_col_to_string(m_mdb, m_mdb->pg_buf, field.start, col->col_type, field.siz);
            const QString value = QString::fromUtf8(text ? text : "");
            g_free(text);
            return value.toDouble();
        }
        }
    }

private:
    // A memo or OLE value: inline, on one page or a chain of pages, checked against its length.
    QByteArray longValue(MdbColumn* col, const MdbField& field) {
        if (field.siz < MDB_MEMO_OVERHEAD) return QByteArray("");
        unsigned char header[MDB_MEMO_OVERHEAD];
        memcpy(header, m_mdb->pg_buf + field.start, MDB_MEMO_OVERHEAD);
        const guint32 declared = guint32(mdb_get_int32(header, 0)) & kLongValueLengthMask;
        QByteArray chunk(int(m_mdb->fmt->pg_size), Qt::Uninitialized);
        QByteArray whole;
        whole.reserve(qsizetype(declared));
        col->bind_ptr = chunk.data();
        size_t read = mdb_ole_read(m_mdb, col, header, size_t(chunk.size()));
        while (read > 0 && qsizetype(read) <= chunk.size()) {
            whole.append(chunk.constData(), qsizetype(read));
            if (whole.size() >= qsizetype(declared)) break;
            read = mdb_ole_read_next(m_mdb, col, header);
        }
        col->bind_ptr = nullptr;
        if (whole.size() != qsizetype(declared)) m_error = damaged(m_name);
        return whole.isEmpty() ? QByteArray("") : whole;
    }

    MdbTableDef* m_table;
    MdbHandle* m_mdb;
    QString m_name;
    QVector<LegacyColumn> m_columns;
    QVector<MdbField> m_fields;
    unsigned int m_rowsRead = 0;
    QString m_error;
};

} // namespace

bool isJetFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(20);
    return head.size() == 20 && head.at(0) == 0 &&
           (head.mid(4, 16) == QByteArray("Standard Jet DB\0", 16) ||
            head.mid(4, 16) == QByteArray("Standard ACE DB\0", 16));
}

QString jetFileMessage(const QString& path) {
    if (!isJetFile(path)) return {};
    return QStringLiteral(
               "'%1' 是旧版的Access数据库，本系统不能直接打开它。\n"
               "请打开本系统的数据库，以管理员身份登录后，用【系统】-[导入旧数据]把它的数据导入进来。")
        .arg(path);
}

int LegacyTable::columnIndex(const QString& name) const {
    const auto& all = columns();
    for (int i = 0; i < all.size(); ++i)
        if (all[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

struct LegacyFile::Handle {
    MdbHandle* mdb = nullptr;
    ~Handle() {
        if (mdb) mdb_close(mdb);
    }
};

LegacyFile::LegacyFile() = default;
LegacyFile::~LegacyFile() = default;

QString LegacyFile::open(const QString& path) {
    m_path = path;
    m_handle.reset();
    if (!QFileInfo(path).isFile()) return QStringLiteral("找不到文件 '%1'。").arg(path);
    if (!isJetFile(path)) return QStringLiteral("'%1' 不是Access数据库文件(MoLian.mdb)。").arg(path);
    auto handle = std::make_unique<Handle>();
    handle->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    const QString unreadable = QStringLiteral("旧数据文件 '%1' 已损坏或不完整，无法读取。").arg(path);
    if (!handle->mdb) return unreadable;
    // Every page is whole in an intact file.
    if (QFileInfo(path).size() % handle->mdb->fmt->pg_size != 0) return unreadable;
    if (!mdb_read_catalog(handle->mdb, MDB_TABLE)) return unreadable;
    m_handle = std::move(handle);
    return {};
}

QStringList LegacyFile::tableNames() const {
    QStringList names;
    if (!m_handle) return names;
    MdbHandle* mdb = m_handle->mdb;
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

std::unique_ptr<LegacyTable> LegacyFile::table(const QString& name) {
    if (!m_handle) return nullptr;
    MdbHandle* mdb = m_handle->mdb;
    for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry) ||
            QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        MdbTableDef* table = mdb_read_table(entry);
        if (!table) return nullptr;
        if (!mdb_read_columns(table)) {
            mdb_free_tabledef(table);
            return nullptr;
        }
        return std::make_unique<MdbTable>(table, QString::fromUtf8(entry->object_name));
    }
    return nullptr;
}
