#pragma once

#include <QString>
#include <QWidget>

#include <chrono>

class QLabel;
class QPushButton;
class QScrollArea;

// A copyable block of monospaced text: shown and copied exactly as given, never as Markdown.
// Long lines scroll sideways instead of wrapping. The button reads "Copied" for a moment after
// each press; every press starts its own reset and none cancels an earlier one, so two quick
// presses return to "Copy" when the first one's time is up.
class CodeBlock : public QWidget {
    Q_OBJECT

public:
    explicit CodeBlock(QString text, QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    bool copied() const { return m_copied; }

    static constexpr std::chrono::milliseconds copiedDuration{1500};

signals:
    void copiedChanged(bool copied);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void copy();
    void setCopied(bool copied);
    void updateButton();
    void placeButton();
    void fitHeight();

    QString m_text;
    bool m_copied = false;
    QScrollArea *m_scroll = nullptr;
    QLabel *m_label = nullptr;
    QPushButton *m_button = nullptr;
};
