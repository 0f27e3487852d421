#pragma once

// Finds visible texts that do not fit: labels and buttons narrower than their text (and not elided
// on purpose), wrapped texts shorter than their lines, anything standing past the side of an
// ancestor that cannot scroll it into view, and table cells of chosen columns narrower than their
// value. The check every screen runs at each window size.

#include "Views/Components/WrappedText.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractScrollArea>
#include <QHeaderView>
#include <QLabel>
#include <QStringList>
#include <QStyleOptionViewItem>
#include <QTableView>
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
    for (const QString &line : text.split(u'\n'))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    return widest + 2 * label->margin() + std::max(label->indent(), 0);
}

// Whether the widget runs past the left or right side of an ancestor up to root. A scroll area
// that scrolls sideways (a visible horizontal bar, or one marked "scrollsSideways") may hold wider
// content; one that scrolls only vertically may not.
inline bool standsOutside(const QWidget *widget, const QWidget *root)
{
    QRect area = widget->rect();
    for (const QWidget *child = widget; child != root && child->parentWidget(); child = child->parentWidget()) {
        const QWidget *parent = child->parentWidget();
        area.translate(child->pos());
        if (const auto *scroller = qobject_cast<const QAbstractScrollArea *>(parent->parentWidget());
            scroller && scroller->viewport() == parent
            && (scroller->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff
                || scroller->property("scrollsSideways").toBool()))
            return false;
        if (area.left() < 0 || area.right() > parent->rect().right()) return true;
    }
    return false;
}

// One line per widget that clips: "<class> '<text>': needs N, has M" or "... stands outside".
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
    const auto inside = [&](const QWidget *widget, const QString &text) {
        if (!text.isEmpty() && standsOutside(widget, root))
            problems << QStringLiteral("%1 '%2': stands outside its ancestors")
                            .arg(QString::fromLatin1(widget->metaObject()->className()), text);
    };
    for (const QWidget *widget : root->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(root) || widget->width() <= 0) continue;
        if (const auto *label = qobject_cast<const QLabel *>(widget)) {
            if (label->text().isEmpty() || label->text().endsWith(QChar(0x2026))) continue;
            inside(label, label->text());
            if (label->wordWrap()) {
                // Wrapped text must fit its height instead: the height the label needs at its width,
                // its margins included, against the height it has.
                check(label, label->text(), label->heightForWidth(label->width()), label->height());
                continue;
            }
            check(label, label->text(), neededWidth(label), label->contentsRect().width());
        } else if (const auto *wrapped = qobject_cast<const WrappedText *>(widget)) {
            inside(wrapped, wrapped->text());
            // Lines cut on purpose end in "…"; all others must fit the height.
            if (!wrapped->isElided())
                check(wrapped, wrapped->text(), wrapped->heightForWidth(wrapped->width()), wrapped->height());
        } else if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
            if (button->text().isEmpty() || button->text().endsWith(QChar(0x2026))) continue;
            // Custom-painted buttons elide themselves; only styled ones are measured, and the
            // ones that wrap their text.
            static const QStringList styled = {"QToolButton", "QPushButton", "QCheckBox", "QRadioButton"};
            if (!styled.contains(QString::fromLatin1(button->metaObject()->className())) && !button->hasHeightForWidth())
                continue;
            inside(button, button->text());
            if (button->hasHeightForWidth())
                check(button, button->text(), button->heightForWidth(button->width()), button->height());
            else check(button, button->text(), button->sizeHint().width(), button->width());
        }
    }
    return problems;
}

// The cells of the columns with these titles, in every visible table: each row's value must fit
// its column. "<table>/<title> row N '<text>': needs N, has M"
inline QStringList clippedCells(const QWidget *root, const QStringList &titles, int rows = 100)
{
    QStringList problems;
    for (const QTableView *table : root->findChildren<QTableView *>()) {
        if (!table->isVisibleTo(root) || !table->model()) continue;
        const QAbstractItemModel *model = table->model();
        const QHeaderView *header = table->horizontalHeader();
        for (int column = 0; column < model->columnCount(); ++column) {
            const QString title = model->headerData(column, Qt::Horizontal).toString();
            if (header->isSectionHidden(column) || !titles.contains(title)) continue;
            for (int row = 0; row < std::min(rows, model->rowCount()); ++row) {
                const QModelIndex index = model->index(row, column);
                QStyleOptionViewItem option;
                option.initFrom(table);
                option.widget = table;
                option.font = table->font();
                option.rect = table->visualRect(index);
                const int needed = table->itemDelegateForIndex(index)->sizeHint(option, index).width();
                if (needed > header->sectionSize(column))
                    problems << QStringLiteral("%1/%2 row %3 '%4': needs %5, has %6")
                                    .arg(table->objectName(), title)
                                    .arg(row)
                                    .arg(index.data().toString())
                                    .arg(needed)
                                    .arg(header->sectionSize(column));
            }
        }
    }
    return problems;
}

} // namespace TextFit
