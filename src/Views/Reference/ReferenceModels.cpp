#include "Views/Reference/ReferenceModels.h"

#include "Views/Components/Formatters.h"
#include "Views/Components/Style.h"

#include <array>

namespace {

const QString dash = QStringLiteral("—");

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

QVariant header(const std::array<const char *, 5> &titles, int section, Qt::Orientation orientation, int role)
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= int(titles.size()))
        return {};
    return QString::fromUtf8(titles[size_t(section)]);
}

} // namespace

void ReferenceClassModel::setRows(std::vector<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int ReferenceClassModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}
int ReferenceClassModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : numColumns;
}

QVariant ReferenceClassModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const Row &row = m_rows[size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case classColumn: return text(row.info.shortName);
        case maskColumn: return QStringLiteral("0x%1").arg(row.info.mask, 8, 16, QLatin1Char('0'));
        case descriptionColumn: return text(row.info.description);
        case definedColumn: return QString::number(row.definedEvents);
        case loadedColumn: return row.loadedRecords ? Format::count(*row.loadedRecords) : dash;
        }
        return {};
    case Qt::FontRole:
        if (column == classColumn) return Style::semibold(Style::monospaced(Style::body()));
        if (column == maskColumn) return Style::monospaced(Style::callout());
        return {};
    case Qt::ForegroundRole:
        if (column == maskColumn) return Style::secondaryText();
        return {};
    case Qt::TextAlignmentRole: return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant ReferenceClassModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static constexpr std::array<const char *, 5> titles = {"Class", "Mask", "Description", "Events defined",
                                                           "Loaded records"};
    return header(titles, section, orientation, role);
}

void ReferenceEventModel::setRows(std::vector<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int ReferenceEventModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}
int ReferenceEventModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : numColumns;
}

QVariant ReferenceEventModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const Row &row = m_rows[size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case numberColumn: return QString::number(row.info.number);
        case nameColumn: return text(row.info.name);
        case descriptionColumn: return text(row.info.description);
        case classesColumn: {
            QStringList classes;
            for (const auto &c : row.info.classes) classes << text(c);
            return classes.join(QLatin1Char(','));
        }
        case loadedColumn: return row.loadedRecords ? Format::count(*row.loadedRecords) : dash;
        }
        return {};
    case Qt::FontRole:
        if (column == nameColumn || column == classesColumn) return Style::monospaced(Style::callout());
        return {};
    case Qt::ForegroundRole:
        if (column == classesColumn) return Style::secondaryText();
        // The count reads as a link; without records the dash is only a placeholder.
        if (column == loadedColumn) return row.loadedRecords ? Style::accent() : Style::tertiaryText();
        return {};
    case Qt::TextAlignmentRole: return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant ReferenceEventModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static constexpr std::array<const char *, 5> titles = {"#", "Name", "Description", "Classes", "Loaded"};
    return header(titles, section, orientation, role);
}
