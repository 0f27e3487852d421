#pragma once

#include <QWidget>

class QLabel;

// The empty-state placeholder: a large symbol in the secondary colour, a bold title and an optional
// one-sentence description, centred. Over a table, attach it to the table's viewport so the header
// stays visible: it then follows the viewport's size.
class ContentUnavailable : public QWidget {
    Q_OBJECT

public:
    ContentUnavailable(const QString &title, const QString &symbol, const QString &description = {},
                       QWidget *parent = nullptr);

    void setTitle(const QString &title);
    void setSymbol(const QString &symbol);
    void setDescription(const QString &description); // empty: no description line

    QString title() const;
    QString symbol() const { return m_symbol; }
    QString description() const;

    // Makes this a child of host that always covers it; show()/hide() as the state requires. When
    // the host is a scroll area's viewport, the scroll area is kept at least as tall as the
    // placeholder needs in the font, so its texts are never squeezed.
    void attachTo(QWidget *host);
    // The height the placeholder needs at its widest (the description at its full width).
    int neededHeight() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void keepHostTallEnough();

    QString m_symbol;
    QLabel *m_icon = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_description = nullptr;
};
