#pragma once

#include <QScrollArea>

class QVBoxLayout;

// What a trailing pane shows of one selection (a finding, a process, an alert, a record): a
// frameless area that scrolls up and down only, as wide as the pane. A pane built once fills the
// column it is given and calls finish(); one that builds its content anew (the record inspector)
// sets its own widget.
class DetailPane : public QScrollArea {
    Q_OBJECT

public:
    DetailPane(const char *objectName, QWidget *parent);
    // With a column of widgets this far from the edges and apart.
    DetailPane(const char *objectName, int padding, int spacing, QWidget *parent);

protected:
    QWidget *content() const { return m_content; }
    QVBoxLayout *column() const { return m_column; }
    // Ends the column with the room left over and shows it.
    void finish();

private:
    QWidget *m_content = nullptr;
    QVBoxLayout *m_column = nullptr;
};
