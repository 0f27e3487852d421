#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

class QLabel;

// A symbol followed by a sentence, both in one font and colour: the "checkmark.seal" and
// "info.circle" remarks under lists and in detail panes. The text wraps and can be selected.
class SymbolLabel : public QWidget {
    Q_OBJECT

public:
    SymbolLabel(const QString &symbol, const QString &text, const QFont &font, const QColor &color = {},
                QWidget *parent = nullptr);

    QString symbol() const { return m_symbol; }
    QString text() const;
    QLabel *textLabel() const { return m_text; }

private:
    QString m_symbol;
    QLabel *m_text = nullptr;
};
