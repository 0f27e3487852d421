#pragma once

#include "Views/Components/LineBox.h"

#include <QWidget>

#include <optional>

class QAction;
class WrappedText;

// A block of monospaced, selectable text on a softly filled rounded rectangle (radius 6, padding
// 8), as wide as its column; long words break at its edge. Its context menu holds a single copy action that puts exactly the
// text on the clipboard: the finding summary and the process command line. A text too long to
// lay out whole (a megabyte of arguments) shows in a scrolling LineBox made line by line instead,
// and is copied whole.
class TextBox : public QWidget {
    Q_OBJECT

public:
    TextBox(const QString &text, const QString &copyTitle, QWidget *parent = nullptr);
    TextBox(LongText text, const QString &copyTitle, QWidget *parent = nullptr);

    // All of the text, made whole for a long one.
    QString text() const;
    // The text's view: a WrappedText, or for a long text the LineBox (the other is null).
    WrappedText *textView() const { return m_label; }
    LineBox *longView() const { return m_box; }
    QAction *copyAction() const { return m_copy; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void addCopyMenu(const QString &copyTitle);

    QString m_text;
    std::optional<LongText> m_long;
    WrappedText *m_label = nullptr;
    LineBox *m_box = nullptr;
    QAction *m_copy = nullptr;
};
