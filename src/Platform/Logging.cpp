#include "Platform/Logging.h"

// Warnings and above only: these categories report failures, never progress.
Q_LOGGING_CATEGORY(lcPlatform, "quillmarsh.platform", QtWarningMsg)
Q_LOGGING_CATEGORY(lcServices, "quillmarsh.services", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStore, "quillmarsh.store", QtWarningMsg)
Q_LOGGING_CATEGORY(lcViews, "quillmarsh.views", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "quillmarsh.app", QtWarningMsg)
