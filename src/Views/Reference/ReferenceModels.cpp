#include "Views/Reference/ReferenceModels.h"

#include "Views/Components/Formatters.h"
#include "Views/Components/Style.h"

namespace {

const QString dash = QStringLiteral("—");

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

QString loaded(const std::optional<int64_t> &records)
{
    return records ? Format::count(*records) : dash;
}

using ClassCell = QString (*)(const ReferenceClassModel &, const ReferenceClassRow &);
using EventCell = QString (*)(const ReferenceEventModel &, const ReferenceEventRow &);

constexpr ClassCell className = [](const ReferenceClassModel &, const ReferenceClassRow &row) {
    return text(row.info.shortName);
};
constexpr ClassCell classMask = [](const ReferenceClassModel &, const ReferenceClassRow &row) {
    return QStringLiteral("0x%1").arg(row.info.mask, 8, 16, QLatin1Char('0'));
};
constexpr ClassCell classDescription = [](const ReferenceClassModel &, const ReferenceClassRow &row) {
    return text(row.info.description);
};
constexpr ClassCell classDefined = [](const ReferenceClassModel &, const ReferenceClassRow &row) {
    return QString::number(row.definedEvents);
};
constexpr ClassCell classLoaded = [](const ReferenceClassModel &, const ReferenceClassRow &row) {
    return loaded(row.loadedRecords);
};

// The columns in display order: the one place a column is written. All but the description are
// fixed, which takes the width the others leave.
constexpr TableColumn<ReferenceClassModel, ReferenceClassRow> classColumns[] = {
    {"Class", {60, 60}, className, nullptr, nullptr},
    {"Mask", {100, 100}, classMask, nullptr, nullptr},
    {"Description", {0, 0}, classDescription, nullptr, nullptr},
    {"Events defined", {100, 100}, classDefined, nullptr, nullptr},
    {"Loaded records", {110, 110}, classLoaded, nullptr, nullptr},
};
static_assert(std::size(classColumns) == ReferenceClassModel::numColumns, "one entry per column");

constexpr EventCell eventNumber = [](const ReferenceEventModel &, const ReferenceEventRow &row) {
    return QString::number(row.info.number);
};
constexpr EventCell eventName = [](const ReferenceEventModel &, const ReferenceEventRow &row) {
    return text(row.info.name);
};
constexpr EventCell eventDescription = [](const ReferenceEventModel &, const ReferenceEventRow &row) {
    return text(row.info.description);
};
constexpr EventCell eventClasses = [](const ReferenceEventModel &, const ReferenceEventRow &row) {
    QStringList classes;
    for (const auto &c : row.info.classes) classes << text(c);
    return classes.join(QLatin1Char(','));
};
constexpr EventCell eventLoaded = [](const ReferenceEventModel &, const ReferenceEventRow &row) {
    return loaded(row.loadedRecords);
};

// "#", "Classes" and "Loaded" are fixed; the name and the description give way down to 160.
constexpr TableColumn<ReferenceEventModel, ReferenceEventRow> eventColumns[] = {
    {"#", {60, 60}, eventNumber, nullptr, nullptr},
    {"Name", {160, 230}, eventName, nullptr, nullptr},
    {"Description", {160, 260}, eventDescription, nullptr, nullptr},
    {"Classes", {100, 100}, eventClasses, nullptr, nullptr},
    {"Loaded", {70, 70}, eventLoaded, nullptr, nullptr},
};
static_assert(std::size(eventColumns) == ReferenceEventModel::numColumns, "one entry per column");

} // namespace

ReferenceClassModel::ReferenceClassModel(QObject *parent) : RowListModel(classColumns, parent) {}

QVariant ReferenceClassModel::cellData(const Row &, int column, int role) const
{
    switch (role) {
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

ReferenceEventModel::ReferenceEventModel(QObject *parent) : RowListModel(eventColumns, parent) {}

QVariant ReferenceEventModel::cellData(const Row &row, int column, int role) const
{
    switch (role) {
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
