#pragma once

#include <QModelIndexList>
#include <QObject>
#include <QWidget>

#include <functional>
#include <utility>

class ContentUnavailable;
class QAbstractItemModel;
class QAbstractItemView;
class QHBoxLayout;
class QLabel;
class QMenu;
class QProgressBar;
class QSettings;
class QSplitter;
class QStackedWidget;
class QTableView;
class QVBoxLayout;

// The small indeterminate bar a screen shows while its rows are derived on the pool; hidden.
QProgressBar *busyIndicator(const char *objectName, QWidget *parent);
// A bar's "N things" line: callout text in the secondary colour.
QLabel *countLabel(const char *objectName, QWidget *parent);
// Ends a bar's row with the room left over, the busy indicator ("derivingIndicator") and the count.
std::pair<QProgressBar *, QLabel *> endWithCount(QHBoxLayout *row, const char *countName);

// A right press on the view's rows neither selects nor moves the current row, so a right-click
// opens the row's menu and leaves the selection (and the detail it drives) as it was.
void keepSelectionOnRightClick(QAbstractItemView *view);

// Keeps a screen's selection on an item view. The selection is ids the screen owns, not rows:
// the view forgets its rows on every model reset and a search may hide them, while the ids stay.
// After every reset the guard puts the kept ids back on the view, telling nobody; a change the
// user makes reaches the screen. It also keeps right-clicks from changing the selection.
class SelectionGuard : public QObject {
public:
    struct Binding {
        // The rows (an index of each, any column) that show the kept ids now; empty when none shows.
        std::function<QModelIndexList()> rows;
        // The user changed the view's selection to these rows (column 0, in selection order).
        std::function<void(const QModelIndexList &rows)> chosen;
    };

    // With reveal, the one selected row becomes the current row and is scrolled into view (the
    // lists that jump to a drill-down's record); without, the rows are only marked (the live
    // table, which must not jump while records stream in, and multiple selections).
    SelectionGuard(QAbstractItemView *view, Binding binding, bool reveal = true);

    QAbstractItemView *view() const { return m_view; }
    // Puts the kept ids back on the view; selection changes this causes are not the user's.
    void apply();
    // Runs a change of the view's model whose effects on the selection (rows removed under it)
    // are not the user's choice either.
    void quietly(const std::function<void()> &change);

private:
    void viewChanged();

    QAbstractItemView *m_view;
    Binding m_binding;
    bool m_reveal;
    bool m_quiet = false;
};

// Keeps a plain splitter's state (QSplitter::saveState) in the settings under the key whenever the
// user drags it, and restores the state kept there now. Without settings nothing is read or written.
void rememberSplitter(QSplitter *splitter, QSettings *settings, const QString &key);

// A screen's list and its detail: a column for the screen's bars around its table or outline,
// then optional side panes and a trailing pane, all in one splitter. The column takes the width
// the panes leave. A placeholder over an empty view covers only its viewport, so the header stays
// visible.
//
// The panes give way first: while the window is too narrow for the table's columns at their ideal
// widths beside the panes, the trailing pane narrows down to its minimum, then the side panes down
// to theirs, and only then do the table's columns narrow toward their minimums (below the sum of
// the minimums the table scrolls sideways). The widths the user gives the panes by dragging stand
// in for their ideal widths from then on.
class MasterDetail : public QWidget {
    Q_OBJECT

public:
    enum class PaneMode {
        alwaysShown,   // the user cannot close it
        toggled,       // shown and hidden by the screen's toggle (setPaneShown)
        whileSelected, // shown exactly while the screen has a selection (setPaneShown)
    };
    struct Widths {
        int minimum;
        int ideal;
        int maximum;
    };

    explicit MasterDetail(QWidget *parent = nullptr);
    // A frame that is the whole of the screen.
    static MasterDetail *filling(QWidget *screen);

    // The column left of the panes; the screen fills it top to bottom.
    QVBoxLayout *column() const { return m_column; }
    // Adds the table or outline to the column, taking the height the bars leave, with the
    // placeholder (if any) over its viewport; the screen shows the placeholder while it is empty.
    // A table whose columns are fitted (keepColumnsFitted) is the one the panes give way to.
    void addView(QAbstractItemView *view, ContentUnavailable *placeholder = nullptr);
    // The table the panes give way to, when the screen puts it in the column itself.
    void giveWayTo(QTableView *table);
    QWidget *columnWidget() const { return m_columnWidget; }
    QSplitter *splitter() const { return m_splitter; }
    // Adds a bar to the column, with a divider under it.
    void addBar(QWidget *bar);
    // A table over the model, set up as a list (setUpListTable); not yet in a layout.
    static QTableView *listTable(QWidget *parent, const char *objectName, QAbstractItemModel *model, int rowPadding);
    // Opens the menu menuFor gives for the pressed index (maybe invalid) of the view's viewport;
    // none for null, and an empty one is thrown away. Menus delete themselves when closed.
    static void openRowMenus(QAbstractItemView *view, std::function<QMenu *(const QModelIndex &)> menuFor);

    // A pane between the column and the trailing pane. It gives way to the trailing pane: at its
    // minimum width while that is shown, at its ideal width otherwise.
    void addSidePane(QWidget *pane, int minimumWidth, int idealWidth);
    // The trailing pane, within its minimum and maximum width, starting at its ideal width.
    void setPane(QWidget *pane, PaneMode mode, Widths widths);
    // The trailing pane as a stack of the placeholder and what the screen shows in its place.
    QStackedWidget *setPane(const char *objectName, QWidget *placeholder, PaneMode mode, Widths widths);
    QWidget *pane() const { return m_pane; }
    // Shows a widget in the stacked pane (kept there once added), or the placeholder for null.
    void showInPane(QWidget *widget);
    // Shows a detail made for the selection in the stacked pane; the detail shown before is
    // removed and deleted later (its own handler may be what replaces it). Null: the placeholder.
    void setDetail(QWidget *detail);
    QWidget *detail() const { return m_detail; }
    PaneMode paneMode() const { return m_mode; }
    // Shows or hides a toggled or while-selected pane; an always-shown pane stays.
    void setPaneShown(bool shown);
    bool paneShown() const;

    // Keeps the widths the user drags the panes to in the settings under the key, and takes back
    // the ones kept there now. Without settings nothing is read or written.
    void remember(QSettings *settings, const QString &key);

    // The least width at which the table's columns keep their ideal widths, the panes shown now
    // at their minimums beside it.
    int widthWanted() const;

signals:
    // widthWanted() changed: a pane came or went.
    void widthWantedChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct SidePane {
        QWidget *widget;
        int minimum;
        int ideal;
        int preferred; // the ideal, or the width the user dragged it to while the trailing pane was hidden
    };
    void fit();
    void dragged();
    int idealColumnWidth() const;
    int handlesWidth() const;

    QSplitter *m_splitter;
    QWidget *m_columnWidget;
    QVBoxLayout *m_column;
    QTableView *m_table = nullptr;
    std::vector<SidePane> m_sides;
    QWidget *m_pane = nullptr;
    QStackedWidget *m_paneStack = nullptr;
    QWidget *m_placeholder = nullptr;
    QWidget *m_detail = nullptr;
    PaneMode m_mode = PaneMode::alwaysShown;
    Widths m_widths{0, 0, QWIDGETSIZE_MAX};
    int m_panePreferred = 0; // the ideal, or the width the user dragged the pane to
    QSettings *m_settings = nullptr;
    QString m_key;
    int m_fittedWidth = -1;
};
