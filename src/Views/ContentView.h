#pragma once

#include "Store/Screen.h"
#include "Views/EmptyStateView.h"
#include "Views/ScreenWidget.h"
#include "Views/ViewContext.h"

#include <QPointer>
#include <QWidget>

class MainToolbar;
class QLabel;
class QMessageBox;
class QPushButton;
class QSplitter;
class Sidebar;

// Dims the window while the store loads and takes the clicks that land on it; a card in the
// middle shows the loading message under a busy indicator.
class LoadingOverlay : public QWidget {
    Q_OBJECT

public:
    explicit LoadingOverlay(QWidget *parent = nullptr);
    void setMessage(const QString &message);
    QString message() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QWidget *m_card;
    QLabel *m_message;
};

// The main window's content: the sidebar beside the current screen with the toolbar over it, the
// loading overlay, dropped trail files and the store's error alert. Every screen switch makes a
// new screen widget, so a screen's local state ends when it is left. The sidebar keeps its ideal
// width (or the one the user dragged it to) while the screen has the room it wants beside it, and
// gives way down to its minimum once the screen's panes are at theirs.
class ContentView : public QWidget {
    Q_OBJECT

public:
    explicit ContentView(const ViewContext &context, QWidget *parent = nullptr);

    Sidebar *sidebar() const { return m_sidebar; }
    MainToolbar *toolbar() const { return m_toolbar; }
    QSplitter *splitter() const { return m_splitter; }
    LoadingOverlay *overlay() const { return m_overlay; }
    QMessageBox *errorAlert() const { return m_alert; }
    QPushButton *auditSetupButton() const { return m_auditSetupButton; }
    // The screen shown, or null while the empty state stands in for it.
    ScreenWidget *currentScreen() const { return m_screen; }
    EmptyStateView *emptyState() const { return m_empty; }
    // The title of what is shown: the screen's, or "Quillmarsh" over the empty state of an
    // analysis screen (Trail Files keeps its own).
    QString title() const;

    // Whether this screen gives way to the empty state with the store as it is.
    static bool showsEmptyState(Screen screen, const AuditStore &store);
    // A drop: the files among the URLs (folders left out) are opened in drop order as one batch;
    // false, and nothing opened, when no file is left.
    bool acceptDrop(const QList<QUrl> &urls);

signals:
    void titleChanged(const QString &title);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void showDetail(bool recreate);
    void updateOverlay();
    void updateAlert();
    void alertClosed();
    void fitSidebar();
    void sidebarDragged();

    ViewContext m_context;
    Sidebar *m_sidebar;
    MainToolbar *m_toolbar;
    QSplitter *m_splitter;
    QWidget *m_host;
    QPointer<ScreenWidget> m_screen;
    QPointer<EmptyStateView> m_empty;
    QWidget *m_detail = nullptr;
    Screen m_shownScreen = Screen::dashboard;
    LoadingOverlay *m_overlay;
    QMessageBox *m_alert;
    QPushButton *m_auditSetupButton;
    int m_sidebarPreferred;
    int m_fittedWidth = -1;
};
