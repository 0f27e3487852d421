#pragma once

// The width each column of a table keeps when it is resized to almost nothing, as a drag would.

#include <QHeaderView>
#include <QTableView>

#include <vector>

inline std::vector<int> squeezedColumns(QTableView *table)
{
    QHeaderView *header = table->horizontalHeader();
    std::vector<int> out;
    for (int column = 0; column < header->count(); ++column) {
        header->resizeSection(column, 1);
        out.push_back(header->sectionSize(column));
    }
    return out;
}
