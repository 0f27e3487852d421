#pragma once

#include "Views/ViewContext.h"

#include <QString>
#include <QWidget>

// One screen of the window. The shell makes a new one on every switch and destroys the old one, so
// a screen's local state (search, picks, selection) lives exactly as long as the widget.
//
// The switch often comes from one of the screen's own handlers (a double-click, a menu item, a
// button), which still runs when the store says to switch. So the shell first detaches the old
// screen, which leaves it unable to act, and deletes it only once control is back in the event loop.
//
// Screens with a search field say so with a non-empty searchPrompt(); the shell then shows its
// toolbar field with that placeholder and binds it both ways to search()/setSearch().
// The actions a screen adds to itself (QWidget::addAction) are its own toolbar items: the shell
// shows them in the window toolbar while the screen is shown.
class ScreenWidget : public QWidget {
    Q_OBJECT

public:
    explicit ScreenWidget(const ViewContext &context, QWidget *parent = nullptr) : QWidget(parent), m_context(context)
    {}

    const ViewContext &context() const { return m_context; }

    // Takes the screen out of service: hidden, cut off from the store, the live capture and the
    // alert centre, its timers stopped, its menus and dialogs closed and the signals inside it
    // blocked. It stays so until deleted.
    void detach();
    bool isDetached() const { return m_detached; }

    virtual QString searchPrompt() const { return {}; }
    bool hasSearch() const { return !searchPrompt().isEmpty(); }

    // The line under the screen's title in the toolbar; emit subtitleChanged() when it changes.
    virtual QString subtitle() const { return {}; }

    const QString &search() const { return m_search; }
    // Equal text notifies nothing, so the two-way binding with the toolbar field cannot loop.
    void setSearch(const QString &text)
    {
        if (text == m_search) return;
        m_search = text;
        emit searchChanged(m_search);
    }

signals:
    void searchChanged(const QString &text);
    void subtitleChanged();

protected:
    // The work a screen does each time it is shown: when the shell shows it and again when the
    // window comes back (from the tray, say) with the screen still current.
    virtual void appeared() {}
    void showEvent(QShowEvent *event) override;

private:
    ViewContext m_context;
    QString m_search;
    bool m_detached = false;
};

// What detach() does to a screen, for any widget the shell shows in a screen's place.
void detachFromServices(QWidget *widget, const ViewContext &context);
