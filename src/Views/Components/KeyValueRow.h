#pragma once

#include "Views/Components/LineBox.h"

#include <QWidget>

#include <optional>

class QAction;
class QLabel;
class WrappedText;

// A key and value line: the key right-aligned in a 118-wide column (callout, secondary), then the
// value (callout, monospaced when asked), wrapping (inside a word only when it alone is wider than
// the line) and selectable; "—" stands for an empty value.
// Its context menu copies "Copy Value" (the value itself, "" when empty) or
// "Copy “key: …”" (key, ": ", value). A value too long to lay out whole (a megabyte of arguments)
// shows in a scrolling LineBox made line by line, and is copied whole.
class KeyValueRow : public QWidget {
    Q_OBJECT

public:
    KeyValueRow(const QString &key, const QString &value, bool monospaced = false, QWidget *parent = nullptr);
    KeyValueRow(const QString &key, LongText value, QWidget *parent = nullptr);
    // Values longer than this many characters go into a LineBox.
    static constexpr qsizetype longValue = 4096;
    static constexpr int longValueLines = 12;

    void setValue(const QString &value);
    QString key() const { return m_key; }
    // The value, made whole for a long one.
    QString value() const { return m_long ? m_long->toQString() : m_value; }
    QLabel *keyLabel() const { return m_keyLabel; }
    // The value's text: a WrappedText, or for a long value the LineBox (the other is null).
    WrappedText *valueText() const { return m_valueText; }
    LineBox *valueBox() const { return m_valueBox; }
    // The two context-menu actions, in menu order.
    QAction *copyValueAction() const { return m_copyValue; }
    QAction *copyPairAction() const { return m_copyPair; }

private:
    void build(QWidget *valueView);
    void showMenu(const QPoint &position);

    QString m_key;
    QString m_value;
    std::optional<LongText> m_long;
    QLabel *m_keyLabel = nullptr;
    WrappedText *m_valueText = nullptr;
    LineBox *m_valueBox = nullptr;
    QAction *m_copyValue = nullptr;
    QAction *m_copyPair = nullptr;
};
