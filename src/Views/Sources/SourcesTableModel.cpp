#include "Views/Sources/SourcesTableModel.h"

#include "Views/Sources/SourceRows.h"

#include "Views/Components/Formatters.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"
#include "Views/Components/TableTime.h"

namespace {

QString fileCell(const SourcesTableModel &, const TrailSource &s)
{
    return QString::fromStdString(s.name);
}
QString pathCell(const SourcesTableModel &, const TrailSource &s)
{
    return QString::fromStdString(s.path.value_or(s.name));
}
QString kindCell(const SourcesTableModel &, const TrailSource &s)
{
    return QString::fromUtf8(rawValue(s.kind));
}
QString sizeCell(const SourcesTableModel &, const TrailSource &s)
{
    return Format::byteCount(s.bytes);
}
QString recordsCell(const SourcesTableModel &, const TrailSource &s)
{
    return Format::count(s.recordCount);
}
QString firstCell(const SourcesTableModel &, const TrailSource &s)
{
    return SourcesTableModel::timeText(s.first);
}
QString lastCell(const SourcesTableModel &, const TrailSource &s)
{
    return SourcesTableModel::timeText(s.last);
}
QString integrityCell(const SourcesTableModel &, const TrailSource &s)
{
    return integrityText(s);
}
QString widestTime()
{
    return SourcesTableModel::timeText(widestTableTime());
}

// The columns in display order: the one place a column is written.
constexpr TableColumn<SourcesTableModel, TrailSource> columns[] = {
    {"File", {200, 300}, fileCell, pathCell, nullptr},
    {"Kind", {70, 70}, kindCell, nullptr, nullptr},
    {"Size", {70, 70}, sizeCell, nullptr, nullptr},
    {"Records", {70, 70}, recordsCell, nullptr, nullptr},
    {"First record", {140, 160}, firstCell, nullptr, nullptr, {}, widestTime},
    {"Last record", {140, 160}, lastCell, nullptr, nullptr, {}, widestTime},
    {"Integrity", {90, 110}, integrityCell, nullptr, nullptr},
};
static_assert(std::size(columns) == SourcesTableModel::numColumns, "one entry per column");

QColor integrityColour(const TrailSource &s)
{
    return s.issues.empty() ? Style::green() : Style::orange();
}

} // namespace

SourcesTableModel::SourcesTableModel(QObject *parent) : ColumnTableModel(columns, parent) {}

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

QVariant SourcesTableModel::cellData(const TrailSource &s, int column, int role) const
{
    switch (role) {
    case Qt::DecorationRole:
        if (column == fileColumn) return symbolIcon(QString::fromUtf8(sourceKindSymbol(s.kind)));
        if (column == integrityColumn) return symbolIcon(QString::fromUtf8(integritySymbol(s)), integrityColour(s));
        break;
    case Qt::ForegroundRole:
        if (column == kindColumn) return Style::secondaryText();
        if (column == integrityColumn) return Style::ink(integrityColour(s));
        break;
    case symbolRole:
        if (column == fileColumn) return QString::fromUtf8(sourceKindSymbol(s.kind));
        if (column == integrityColumn) return QString::fromUtf8(integritySymbol(s));
        break;
    case sourceIDRole: return qint64(s.id);
    case Qt::TextAlignmentRole:
        if (column == sizeColumn || column == recordsColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}
