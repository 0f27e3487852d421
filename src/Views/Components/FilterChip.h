#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

// A removable chip: the text on one line and a "xmark.circle.fill" button that calls onRemove,
// in the caption style on a capsule of the accent colour at 14 %.
class FilterChip : public QWidget {
    Q_OBJECT

public:
    FilterChip(const QString &text, std::function<void()> onRemove, QWidget *parent = nullptr);

    QString text() const;
    QToolButton *removeButton() const { return m_remove; }

signals:
    void removeClicked();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_text = nullptr;
    QToolButton *m_remove = nullptr;
    std::function<void()> m_onRemove;
};
