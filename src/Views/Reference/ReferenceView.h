#pragma once

#include "Views/ScreenWidget.h"

#include <array>
#include <cstdint>

class QButtonGroup;
class QStackedWidget;
class QTableView;
class QVBoxLayout;
class ReferenceClassModel;
class ReferenceEventModel;

// The Reference screen: the catalogue's audit classes and events with the record counts of the
// loaded trails, and the token and detection-rule documentation, all under one toolbar search.
// Everything shown is derived afresh from the catalogue, the fixed tables and the store.
class ReferenceView : public ScreenWidget {
    Q_OBJECT

public:
    enum class Tab { classes, events, tokens, rules };
    static constexpr std::array<Tab, 4> allTabs = {Tab::classes, Tab::events, Tab::tokens, Tab::rules};
    // Also the segment titles.
    static const char *rawValue(Tab tab);

    explicit ReferenceView(const ViewContext &context, QWidget *parent = nullptr);

    QString searchPrompt() const override;

    Tab tab() const { return m_tab; }
    void setTab(Tab tab);

    // Shows the Events screen filtered to this one event, labelled with its description.
    void showEventRecords(uint16_t number);

private:
    // Rows and counts of the shown tab for the current search and store.
    void refresh();
    void fillTokens();
    void fillRules();

    Tab m_tab = Tab::classes;
    QButtonGroup *m_tabGroup = nullptr;
    QStackedWidget *m_pages = nullptr;
    ReferenceClassModel *m_classModel = nullptr;
    ReferenceEventModel *m_eventModel = nullptr;
    QTableView *m_classTable = nullptr;
    QTableView *m_eventTable = nullptr;
    QVBoxLayout *m_tokenRows = nullptr;
    QVBoxLayout *m_ruleRows = nullptr;
};
