#pragma once

#include "Engine/Analysis/Finding.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

#include <vector>

// The live findings, latest first (the capture keeps them in time order).
class LiveFindingsModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Roles { severityRole = Qt::UserRole, ruleRole, timeRole, summaryRole };

    using QAbstractListModel::QAbstractListModel;

    void setFindings(const std::vector<Finding> &inTimeOrder);
    const Finding &findingAt(int row) const { return m_findings[size_t(row)]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    std::vector<Finding> m_findings; // latest first
};

// One finding per row: compact severity badge, rule, time of day, then two lines of summary.
class LiveFindingDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// Rows without selection or action: a click does nothing.
class LiveFindingsList : public QListView {
    Q_OBJECT

public:
    explicit LiveFindingsList(QWidget *parent = nullptr);
    LiveFindingsModel *findingsModel() const { return m_model; }

private:
    LiveFindingsModel *m_model;
};

// At most `lines` lines of `text` wrapped at `width`, the last one elided at its end.
QStringList wrappedLines(const QString &text, const QFont &font, int width, int lines);
