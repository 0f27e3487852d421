#include "Views/Sources/SourcesTableModel.h"

#include "Views/Sources/SourceRows.h"

#include "Views/Components/Formatters.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <array>

namespace {

constexpr std::array<const char *, SourcesTableModel::numColumns> titles = {"File",     "Kind",         "Size",
                                                                            "Records",  "First record", "Last record",
                                                                            "Integrity"};

QColor integrityColour(const TrailSource &s)
{
    return s.issues.empty() ? Style::green() : Style::orange();
}

} // namespace

QString SourcesTableModel::timeText(const std::optional<double> &time)
{
    if (!time) return QStringLiteral("—");
    return Format::dateTime(*time, Format::DateStyle::abbreviated, Format::TimeStyle::standard);
}

void SourcesTableModel::setSources(SourcesSnapshot sources)
{
    beginResetModel();
    m_sources = sources ? std::move(sources) : std::make_shared<const std::vector<TrailSource>>();
    m_rowByID.clear();
    m_rowByID.reserve(qsizetype(m_sources->size()));
    for (size_t i = 0; i < m_sources->size(); ++i) m_rowByID.insert((*m_sources)[i].id, int(i));
    endResetModel();
}

int SourcesTableModel::rowOf(int64_t id) const
{
    return m_rowByID.value(id, -1);
}

int SourcesTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_sources->size());
}

int SourcesTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : numColumns;
}

QVariant SourcesTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const TrailSource &s = (*m_sources)[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case fileColumn: return QString::fromStdString(s.name);
        case kindColumn: return QString::fromUtf8(rawValue(s.kind));
        case sizeColumn: return Format::byteCount(s.bytes);
        case recordsColumn: return Format::count(s.recordCount);
        case firstColumn: return timeText(s.first);
        case lastColumn: return timeText(s.last);
        case integrityColumn: return integrityText(s);
        }
        break;
    case Qt::ToolTipRole:
        if (index.column() == fileColumn) return QString::fromStdString(s.path.value_or(s.name));
        break;
    case Qt::DecorationRole:
        if (index.column() == fileColumn) return symbolIcon(QString::fromUtf8(sourceKindSymbol(s.kind)));
        if (index.column() == integrityColumn)
            return symbolIcon(QString::fromUtf8(integritySymbol(s)), integrityColour(s));
        break;
    case Qt::ForegroundRole:
        if (index.column() == kindColumn) return Style::secondaryText();
        if (index.column() == integrityColumn) return Style::ink(integrityColour(s));
        break;
    case symbolRole:
        if (index.column() == fileColumn) return QString::fromUtf8(sourceKindSymbol(s.kind));
        if (index.column() == integrityColumn) return QString::fromUtf8(integritySymbol(s));
        break;
    case sourceIDRole: return qint64(s.id);
    case Qt::TextAlignmentRole:
        if (index.column() == sizeColumn || index.column() == recordsColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant SourcesTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= numColumns) return {};
    return QString::fromUtf8(titles[size_t(section)]);
}
