#include "RosterFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <orcus/orcus_csv.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>

#include <cctype>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

namespace iface = orcus::spreadsheet::iface;
using orcus::spreadsheet::col_t;
using orcus::spreadsheet::row_t;

QString fromUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

class SharedStrings : public iface::import_shared_strings {
public:
    size_t append(std::string_view s) override {
        m_strings.push_back(fromUtf8(s));
        return m_strings.size() - 1;
    }
    size_t add(std::string_view s) override { return append(s); }
    void set_segment_font(size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                                orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override {}
    void append_segment(std::string_view s) override { m_segments += fromUtf8(s); }
    size_t commit_segments() override {
        m_strings.push_back(m_segments);
        m_segments.clear();
        return m_strings.size() - 1;
    }
    QString at(size_t index) const { return index < m_strings.size() ? m_strings[index] : QString(); }

private:
    std::vector<QString> m_strings;
    QString m_segments;
};

class Sheet : public iface::import_sheet {
public:
    Sheet(const SharedStrings& strings, QVector<QVector<RosterCell>>* rows) : m_strings(strings), m_rows(rows) {}

    void set_auto(row_t row, col_t col, std::string_view s) override {
        RosterCell c;
        c.text = fromUtf8(s);
        c.kind = RosterCell::Text;
        put(row, col, c);
    }
    void set_string(row_t row, col_t col, orcus::spreadsheet::string_id_t index) override {
        RosterCell c;
        c.kind = RosterCell::Text;
        c.text = m_strings.at(index);
        put(row, col, c);
    }
    void set_value(row_t row, col_t col, double value) override {
        RosterCell c;
        c.kind = RosterCell::Number;
        c.number = value;
        c.text = QString::number(value, 'f', value == qint64(value) ? 0 : 6);
        if (c.text.contains(QLatin1Char('.'))) {
            while (c.text.endsWith(QLatin1Char('0')))
                c.text.chop(1);
            if (c.text.endsWith(QLatin1Char('.'))) c.text.chop(1);
        }
        put(row, col, c);
    }
    void set_bool(row_t row, col_t col, bool value) override {
        RosterCell c;
        c.kind = RosterCell::Text;
        c.text = value ? QStringLiteral("是") : QStringLiteral("否");
        put(row, col, c);
    }
    void set_date_time(row_t row, col_t col, int year, int month, int day, int, int, double) override {
        RosterCell c;
        c.kind = RosterCell::Date;
        c.date = QDate(year, month, day);
        c.text = c.date.toString(Qt::ISODate);
        put(row, col, c);
    }
    void set_format(row_t, col_t, size_t) override {}
    void set_format(row_t, col_t, row_t, col_t, size_t) override {}
    void fill_down_cells(row_t src_row, col_t src_col, row_t range_size) override {
        if (!m_rows || src_row >= m_rows->size() || src_col >= (*m_rows)[src_row].size()) return;
        const RosterCell source = (*m_rows)[src_row][src_col];
        for (row_t r = 1; r <= range_size; ++r)
            put(src_row + r, src_col, source);
    }
    orcus::spreadsheet::range_size_t get_sheet_size() const override { return {1048576, 16384}; }

private:
    void put(row_t row, col_t col, const RosterCell& cell) {
        if (!m_rows || row < 0 || col < 0) return; // a later sheet: not read
        if (m_rows->size() <= row) m_rows->resize(row + 1);
        auto& cells = (*m_rows)[row];
        if (cells.size() <= col) cells.resize(col + 1);
        cells[col] = cell;
    }

    const SharedStrings& m_strings;
    QVector<QVector<RosterCell>>* m_rows;
};

// Cell addresses in A1 form, as workbooks name their cells.
class A1References : public iface::import_reference_resolver {
public:
    orcus::spreadsheet::src_address_t resolve_address(std::string_view address) override {
        orcus::spreadsheet::src_address_t at{0, 0, 0};
        size_t i = 0;
        int column = 0, row = 0;
        const auto skipDollar = [&] {
            if (i < address.size() && address[i] == '$') ++i;
        };
        skipDollar();
        for (; i < address.size() && std::isalpha(static_cast<unsigned char>(address[i])); ++i)
            column = column * 26 + (std::toupper(static_cast<unsigned char>(address[i])) - 'A' + 1);
        skipDollar();
        for (; i < address.size() && std::isdigit(static_cast<unsigned char>(address[i])); ++i)
            row = row * 10 + (address[i] - '0');
        if (column == 0 || row == 0 || i != address.size())
            throw std::invalid_argument("not a cell address: " + std::string(address));
        at.row = row - 1;
        at.column = column - 1;
        return at;
    }
    orcus::spreadsheet::src_range_t resolve_range(std::string_view range) override {
        const size_t colon = range.find(':');
        if (colon == std::string_view::npos) return {resolve_address(range), resolve_address(range)};
        return {resolve_address(range.substr(0, colon)), resolve_address(range.substr(colon + 1))};
    }
};

// Keeps the cells of the first sheet only.
class Factory : public iface::import_factory {
public:
    explicit Factory(QVector<QVector<RosterCell>>& rows) : m_rows(rows) {}
    iface::import_shared_strings* get_shared_strings() override { return &m_strings; }
    iface::import_reference_resolver* get_reference_resolver(orcus::spreadsheet::formula_ref_context_t) override {
        return &m_references;
    }
    iface::import_sheet* append_sheet(orcus::spreadsheet::sheet_t, std::string_view name) override {
        m_sheets.push_back(std::make_unique<Sheet>(m_strings, m_sheets.empty() ? &m_rows : nullptr));
        m_names.push_back(std::string(name));
        return m_sheets.back().get();
    }
    iface::import_sheet* get_sheet(std::string_view name) override {
        for (size_t i = 0; i < m_names.size(); ++i)
            if (m_names[i] == name) return m_sheets[i].get();
        return nullptr;
    }
    iface::import_sheet* get_sheet(orcus::spreadsheet::sheet_t index) override {
        return index >= 0 && size_t(index) < m_sheets.size() ? m_sheets[index].get() : nullptr;
    }
    void finalize() override {}

private:
    QVector<QVector<RosterCell>>& m_rows;
    SharedStrings m_strings;
    A1References m_references;
    std::vector<std::unique_ptr<Sheet>> m_sheets;
    std::vector<std::string> m_names;
};

// The bytes as UTF-8, and the encoding they came in: UTF-8 when they decode as such, else GBK
// (read as GB18030, its superset).
QByteArray csvAsUtf8(QByteArray bytes, QString& encoding) {
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError()) {
        encoding = QStringLiteral("UTF-8");
        return bytes;
    }
    QStringDecoder gbk("GB18030");
    encoding = QStringLiteral("GBK");
    return QString(gbk.decode(bytes)).toUtf8();
}

} // namespace

RosterGrid readRosterFile(const QString& path) {
    RosterGrid grid;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        grid.error = QStringLiteral("无法打开文件 '%1'。").arg(path);
        return grid;
    }
    QByteArray bytes = file.readAll();
    file.close();
    const QString suffix = QFileInfo(path).suffix().toLower();
    Factory factory(grid.rows);
    try {
        if (suffix == QLatin1String("csv") || suffix == QLatin1String("txt")) {
            bytes = csvAsUtf8(bytes, grid.encoding);
            orcus::orcus_csv reader(&factory);
            reader.read_stream(std::string_view(bytes.constData(), size_t(bytes.size())));
        } else if (suffix == QLatin1String("xlsx")) {
            orcus::orcus_xlsx reader(&factory);
            reader.read_stream(std::string_view(bytes.constData(), size_t(bytes.size())));
        } else if (suffix == QLatin1String("ods")) {
            orcus::orcus_ods reader(&factory);
            reader.read_stream(std::string_view(bytes.constData(), size_t(bytes.size())));
        } else {
            grid.error = QStringLiteral("只能导入 .xlsx、.ods 或 .csv 文件：%1").arg(path);
        }
    } catch (const std::exception& e) {
        grid.rows.clear();
        grid.error = QStringLiteral("无法读取文件 '%1'，文件已损坏或不是所说的格式（%2）。")
                         .arg(path, QString::fromUtf8(e.what()));
    }
    return grid;
}
