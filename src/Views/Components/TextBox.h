#pragma once

#include <QWidget>

class QAction;
class WrappedText;

// A block of monospaced, selectable text on a softly filled rounded rectangle (radius 6, padding
// 8), as wide as its column; long words break at its edge. Its context menu holds a single copy action that puts exactly the
// text on the clipboard: the finding summary and the process command line.
class TextBox : public QWidget {
    Q_OBJECT

public:
    TextBox(const QString &text, const QString &copyTitle, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    WrappedText *textView() const { return m_label; }
    QAction *copyAction() const { return m_copy; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    WrappedText *m_label = nullptr;
    QAction *m_copy = nullptr;
};
