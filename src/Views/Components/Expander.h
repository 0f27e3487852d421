#pragma once

#include <QAbstractButton>
#include <QWidget>

// A disclosure row: a header button (chevron turned 90° while expanded, then the caller's header)
// and, only while expanded, the caller's content indented 18. The state belongs to the caller:
// construct with it, keep it from expandedChanged, and set it back on a rebuilt expander.
class Expander : public QWidget {
    Q_OBJECT

public:
    Expander(QWidget *header, QWidget *content, bool expanded = false, QWidget *parent = nullptr);

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);
    QAbstractButton *headerButton() const { return m_button; }
    QWidget *content() const { return m_content; }

signals:
    // Only when the header is clicked, with the new state.
    void expandedChanged(bool expanded);

private:
    void apply();

    bool m_expanded;
    QAbstractButton *m_button = nullptr;
    QWidget *m_content = nullptr;
    QWidget *m_contentFrame = nullptr;
};
