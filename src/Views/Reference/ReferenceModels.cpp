#include "Views/Reference/ReferenceModels.h"

#include "Views/PendingComponents.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>

#include <array>

namespace {

const QString dash = QStringLiteral("—");

QString text(const std::string &utf8) { return QString::fromStdString(utf8); }

QFont monospaced(double scale = 1.0, bool bold = false)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(QGuiApplication::font().pointSizeF() * scale);
    font.setBold(bold);
    return font;
}

// Callout is 12 points beside the 13-point body.
constexpr double callout = 12.0 / 13.0;

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

int ReferenceClassModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int ReferenceClassModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : NUM_COLUMNS; }

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
        case loadedColumn: return row.loadedRecords ? QLocale().toString(qlonglong(*row.loadedRecords)) : dash;
        }
        return {};
    case Qt::FontRole:
        if (column == classColumn) return monospaced(1.0, true);
        if (column == maskColumn) return monospaced(callout);
        return {};
    case Qt::ForegroundRole:
        if (column == maskColumn) return Pending::secondary(QGuiApplication::palette());
        return {};
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
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

int ReferenceEventModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }
int ReferenceEventModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : NUM_COLUMNS; }

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
        case loadedColumn: return row.loadedRecords ? QLocale().toString(qlonglong(*row.loadedRecords)) : dash;
        }
        return {};
    case Qt::FontRole:
        if (column == nameColumn || column == classesColumn) return monospaced(callout);
        return {};
    case Qt::ForegroundRole:
        if (column == classesColumn) return Pending::secondary(QGuiApplication::palette());
        if (column == loadedColumn)
            return row.loadedRecords ? QGuiApplication::palette().color(QPalette::Link)
                                     : Pending::tertiary(QGuiApplication::palette());
        return {};
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

QVariant ReferenceEventModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static constexpr std::array<const char *, 5> titles = {"#", "Name", "Description", "Classes", "Loaded"};
    return header(titles, section, orientation, role);
}
