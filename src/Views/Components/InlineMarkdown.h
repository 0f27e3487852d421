#pragma once

#include <QString>

// Rich text for a fixed interface text with inline code spans: the text HTML-escaped and each
// `span` in backticks shown in code style without its backticks. An unpaired backtick stays as
// typed. Texts computed at run time are never passed through this; they are shown verbatim.
QString inlineMarkdown(const QString &text);
