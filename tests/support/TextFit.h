#pragma once

// Finds visible labels and buttons whose text does not fit their width and is not elided: the
// check every screen runs at the window's snapshot size.

#include <QAbstractButton>
#include <QLabel>
#include <QStringList>
#include <QTextDocument>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace TextFit {

// The width the label's text needs on one line (per line when it holds line breaks).
inline int neededWidth(const QLabel *label)
{
    const QString text = label->text();
    if (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        document.setHtml(text);
        return int(std::ceil(document.idealWidth()));
    }
    int widest = 0;
    for (const QString &line : text.split(u'\n')) widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    return widest + 2 * label->margin() + std::max(label->indent(), 0);
}

// One line per widget that clips: "<class> '<text>': needs N, has M".
inline QStringList clipped(const QWidget *root)
{
    QStringList problems;
    const auto check = [&](const QWidget *widget, const QString &text, int needed, int available) {
        if (text.isEmpty() || needed <= available) return;
        problems << QStringLiteral("%1 '%2': needs %3, has %4")
                        .arg(QString::fromLatin1(widget->metaObject()->className()), text)
                        .arg(needed)
                        .arg(available);
    };
    for (const QWidget *widget : root->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(root) || widget->width() <= 0) continue;
        if (const auto *label = qobject_cast<const QLabel *>(widget)) {
            if (label->text().isEmpty() || label->text().endsWith(QChar(0x2026))) continue;
            if (label->wordWrap()) {
                // Wrapped text must fit its height instead.
                const int needed = label->heightForWidth(label->contentsRect().width());
                check(label, label->text(), needed, label->contentsRect().height());
                continue;
            }
            check(label, label->text(), neededWidth(label), label->contentsRect().width());
        } else if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
            if (button->text().isEmpty() || button->text().endsWith(QChar(0x2026))) continue;
            // Custom-painted buttons elide themselves; only styled ones are measured.
            if (!qobject_cast<const QToolButton *>(button) && !button->inherits("QPushButton") &&
                !button->inherits("QCheckBox") && !button->inherits("QRadioButton"))
                continue;
            check(button, button->text(), button->sizeHint().width(), button->width());
        }
    }
    return problems;
}

} // namespace TextFit
