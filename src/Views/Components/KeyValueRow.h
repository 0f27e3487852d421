#pragma once

#include <QWidget>

class QAction;
class QLabel;

// A key and value line: the key right-aligned in a 118-wide column (callout, secondary), then the
// value (callout, monospaced when asked), wrapping and selectable; "—" stands for an empty value.
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
    QLabel *valueLabel() const { return m_valueLabel; }
    // The two context-menu actions, in menu order.
    QAction *copyValueAction() const { return m_copyValue; }
    QAction *copyPairAction() const { return m_copyPair; }

private:
    void showMenu(const QPoint &position);

    QString m_key;
    QString m_value;
    QLabel *m_keyLabel = nullptr;
    QLabel *m_valueLabel = nullptr;
    QAction *m_copyValue = nullptr;
    QAction *m_copyPair = nullptr;
};
