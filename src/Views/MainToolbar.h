#pragma once

#include "Views/ScreenWidget.h"
#include "Views/ViewContext.h"

#include <QPointer>
#include <QToolBar>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;

// The toolbar over the detail column: the current screen's title and subtitle, the one search
// field of the window (bound to the current screen's search, hidden where it has none), and the
// "Open" and "Export" menus. A screen's own items (its actions()) stand before the search field
// while it is shown.
class MainToolbar : public QToolBar {
    Q_OBJECT

public:
    explicit MainToolbar(const ViewContext &context, QWidget *parent = nullptr);

    // Binds the search field to this screen (null: the empty state) and shows its title.
    void setScreen(ScreenWidget *screen, const QString &title);

    QToolButton *openButton() const { return m_openButton; }
    QToolButton *exportButton() const { return m_exportButton; }
    bool exportShown() const;
    QLineEdit *searchField() const { return m_search; }
    QLabel *titleLabel() const { return m_title; }
    QLabel *subtitleLabel() const { return m_subtitle; }
    QAction *closeAllAction() const { return m_closeAll; }
    QAction *findingsReportAction() const { return m_findingsReport; }
    // The shown screen's own items, in order.
    QList<QAction *> screenActions() const;

private:
    void updateSubtitle();

    ViewContext m_context;
    QLabel *m_title;
    QLabel *m_subtitle;
    QLineEdit *m_search;
    QAction *m_searchAction;
    QToolButton *m_openButton;
    QToolButton *m_exportButton;
    QAction *m_exportAction;
    QAction *m_closeAllSeparator;
    QAction *m_closeAll;
    QAction *m_findingsReport;
    QPointer<ScreenWidget> m_screen;
    QList<QMetaObject::Connection> m_screenConnections;
    QList<QPointer<QAction>> m_screenActions;
};
