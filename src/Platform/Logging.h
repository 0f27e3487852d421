#pragma once

#include <QLoggingCategory>

// One category per Qt library, for failures that have no place in the user interface. They go to
// standard error through qCWarning; the application keeps no log file. Declared here, in the
// lowest Qt layer, so that every layer above can reach its own.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform) // "quillmarsh.platform"
Q_DECLARE_LOGGING_CATEGORY(lcServices) // "quillmarsh.services"
Q_DECLARE_LOGGING_CATEGORY(lcStore)    // "quillmarsh.store"
Q_DECLARE_LOGGING_CATEGORY(lcViews)    // "quillmarsh.views"
Q_DECLARE_LOGGING_CATEGORY(lcApp)      // "quillmarsh.app"
