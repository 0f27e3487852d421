#include "Views/Sources/SourcesTableModel.h"

#include "Views/Sources/SourceRows.h"

#include "Views/Components/Formatters.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <array>

namespace {

constexpr std::array<const char *, SourcesTableModel::NUM_COLUMNS> titles = {
    "File", "Kind", "Size", "Records", "First record", "Last record", "Integrity"};

QColor integrityColour(const TrailSource &s) { return s.issues.empty() ? Style::green() : Style::orange(); }

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

int SourcesTableModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : NUM_COLUMNS; }

QVariant SourcesTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const TrailSource &s = (*m_sources)[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FileColumn: return QString::fromStdString(s.name);
        case KindColumn: return QString::fromUtf8(rawValue(s.kind));
        case SizeColumn: return Format::byteCount(s.bytes);
        case RecordsColumn: return Format::count(s.recordCount);
        case FirstColumn: return timeText(s.first);
        case LastColumn: return timeText(s.last);
        case IntegrityColumn: return integrityText(s);
        }
        break;
    case Qt::ToolTipRole:
        if (index.column() == FileColumn) return QString::fromStdString(s.path.value_or(s.name));
        break;
    case Qt::DecorationRole:
        if (index.column() == FileColumn) return symbolIcon(QString::fromUtf8(sourceKindSymbol(s.kind)));
        if (index.column() == IntegrityColumn)
            return symbolIcon(QString::fromUtf8(integritySymbol(s)), integrityColour(s));
        break;
    case Qt::ForegroundRole:
        if (index.column() == KindColumn) return Style::secondaryText();
        if (index.column() == IntegrityColumn) return integrityColour(s);
        break;
    case SymbolRole:
        if (index.column() == FileColumn) return QString::fromUtf8(sourceKindSymbol(s.kind));
        if (index.column() == IntegrityColumn) return QString::fromUtf8(integritySymbol(s));
        break;
    case SourceIDRole: return qint64(s.id);
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn || index.column() == RecordsColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant SourcesTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= NUM_COLUMNS) return {};
    return QString::fromUtf8(titles[size_t(section)]);
}
