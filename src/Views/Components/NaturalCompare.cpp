#include "Views/Components/NaturalCompare.h"

#include <QString>

namespace {

qsizetype digitRunEnd(QStringView s, qsizetype from)
{
    while (from < s.size() && s[from].isDigit()) ++from;
    return from;
}

// Compares two digit runs by value without converting them, so any length works.
int compareNumbers(QStringView a, QStringView b)
{
    auto significant = [](QStringView run) {
        qsizetype zeros = 0;
        while (zeros < run.size() - 1 && run[zeros] == u'0') ++zeros;
        return run.mid(zeros);
    };
    const QStringView x = significant(a);
    const QStringView y = significant(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    for (qsizetype i = 0; i < x.size(); ++i) {
        const int dx = x[i].digitValue();
        const int dy = y[i].digitValue();
        if (dx != dy) return dx < dy ? -1 : 1;
    }
    return 0;
}

} // namespace

int naturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype endA = digitRunEnd(a, i);
            const qsizetype endB = digitRunEnd(b, j);
            if (const int order = compareNumbers(a.mid(i, endA - i), b.mid(j, endB - j))) return order;
            i = endA;
            j = endB;
            continue;
        }
        const char32_t x = QChar::toCaseFolded(a[i].unicode());
        const char32_t y = QChar::toCaseFolded(b[j].unicode());
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return a.compare(b);
}
