#pragma once

#include "Views/ScreenWidget.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class QFrame;
class QMenu;
class QScrollArea;
class QStackedLayout;
class QTableView;
class SelectionGuard;
class SourcesTableModel;
struct TrailSource;

// "Trail Files": every loaded source with its size, records, span and integrity, and below the
// table the selected source's path, file tokens and parse issues.
class SourcesView : public ScreenWidget {
    Q_OBJECT

public:
    explicit SourcesView(const ViewContext &context, QWidget *parent = nullptr);
    ~SourcesView() override;

    std::optional<int64_t> selection() const { return m_selection; }
    void setSelection(std::optional<int64_t> id);

    // The row menu for a source id; no items without an id or for an id no longer loaded.
    QMenu *buildContextMenu(std::optional<int64_t> id, QWidget *parent);

    // Tests replace the file manager.
    // Given the source's path, its native bytes.
    void setRevealer(std::function<void(const QByteArray &path)> reveal) { m_reveal = std::move(reveal); }

    QTableView *table() const { return m_table; }
    SourcesTableModel *model() const { return m_model; }
    // The detail pane, or nullptr while it is hidden.
    QScrollArea *detailPane() const;

private:
    void reload();
    void rebuildDetail();
    QWidget *detail(const TrailSource &source);
    void showContextMenu(const QPoint &pos);

    SourcesTableModel *m_model;
    QStackedLayout *m_stack;
    QWidget *m_empty;
    QWidget *m_content;
    QTableView *m_table;
    QFrame *m_divider;
    QScrollArea *m_detail;
    SelectionGuard *m_guard = nullptr;
    std::optional<int64_t> m_selection;
    std::optional<int64_t> m_detailShown;
    std::function<void(const QByteArray &)> m_reveal;
};
