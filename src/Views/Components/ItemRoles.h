#pragma once

#include <Qt>

// Item roles of the record, finding and alert tables. BadgeDelegate reads the badge roles from
// several models, so they are one set: a model that answers them takes its other roles from here
// too, and no number means two things in one table.
namespace ItemRoles {
enum Roles {
    // int 0..4: the cell paints a SeverityBadge of that severity.
    severityRole = Qt::UserRole,
    // bool: the cell paints a ResultBadge (tooltip "Success" / "Failure").
    resultRole,
    // qlonglong: the id of the record the row shows.
    recordIDRole,
};
} // namespace ItemRoles
