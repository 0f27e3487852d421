#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QVBoxLayout;

// A titled panel: an optional header (title in the headline style, optional symbol in the
// secondary colour), then the caller's content, 12 apart, padded 16, on the rounded panel
// background. Without a title there is no header line at all.
class Card : public QWidget {
    Q_OBJECT

public:
    explicit Card(const QString &title = {}, const QString &symbol = {}, QWidget *parent = nullptr);

    // The column the content goes into; callers add their widgets and layouts to it.
    QVBoxLayout *contentLayout() const { return m_content; }
    // Adds one widget to the content column.
    void addContent(QWidget *widget);

    QString title() const { return m_titleText; }
    QString symbol() const { return m_symbol; }
    // The header row, or nullptr when the card has no title.
    QWidget *header() const { return m_header; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_titleText;
    QString m_symbol;
    QWidget *m_header = nullptr;
    QVBoxLayout *m_content = nullptr;
};
