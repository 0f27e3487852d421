#pragma once

#include <QWidget>

class QAction;
class QLabel;
class WrappedText;

// A key and value line: the key right-aligned in a 118-wide column (callout, secondary), then the
// value (callout, monospaced when asked), wrapping (inside a word only when it alone is wider than
// the line) and selectable; "—" stands for an empty value.
// Its context menu copies "Copy Value" (the value itself, "" when empty) or
// "Copy “key: …”" (key, ": ", value).
class KeyValueRow : public QWidget {
    Q_OBJECT

public:
    KeyValueRow(const QString &key, const QString &value, bool monospaced = false, QWidget *parent = nullptr);

    void setValue(const QString &value);
    QString key() const { return m_key; }
    QString value() const { return m_value; }
    QLabel *keyLabel() const { return m_keyLabel; }
    WrappedText *valueText() const { return m_valueText; }
    // The two context-menu actions, in menu order.
    QAction *copyValueAction() const { return m_copyValue; }
    QAction *copyPairAction() const { return m_copyPair; }

private:
    void showMenu(const QPoint &position);

    QString m_key;
    QString m_value;
    QLabel *m_keyLabel = nullptr;
    WrappedText *m_valueText = nullptr;
    QAction *m_copyValue = nullptr;
    QAction *m_copyPair = nullptr;
};
