#pragma once

#include "Engine/Record/EventFilter.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class AuditStore;
class QAction;
class QButtonGroup;
class QHBoxLayout;
class QMenu;
class QPushButton;
class QToolButton;

// One removable chip of the filter bar. Its removal is a list of single-field changes that the
// bar assigns to the store one after the other, as the user would make them.
struct FilterBarChip {
    QString text;
    std::vector<std::function<void(EventFilter &)>> removal;
};

// The chips for a filter: the drill-down label alone when the filter carries one with a
// drill-down criterion, else one chip per such criterion.
std::vector<FilterBarChip> filterBarChips(const EventFilter &filter);
// "All classes", or the chosen class names in text order joined with ", ".
QString classMenuTitle(const EventFilter &filter);

// The strip above the Events table. It keeps no state: every control is rebuilt from the store's
// filter whenever that changes and writes straight back into it.
class FilterBar : public QWidget {
    Q_OBJECT

public:
    explicit FilterBar(AuditStore &store, QWidget *parent = nullptr);

private:
    void refresh();
    void buildClassMenu();
    void setClass(const std::string &name, bool chosen);

    AuditStore &m_store;
    QButtonGroup *m_resultGroup = nullptr;
    QToolButton *m_classButton = nullptr;
    QMenu *m_classMenu = nullptr;
    QAction *m_clearClassesSeparator = nullptr;
    QAction *m_clearClasses = nullptr;
    QToolButton *m_presetsButton = nullptr;
    QWidget *m_chips = nullptr;
    QHBoxLayout *m_chipLayout = nullptr;
    QPushButton *m_clearAll = nullptr;
};
