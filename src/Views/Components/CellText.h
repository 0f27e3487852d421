#pragma once

#include "Engine/Record/JoinedText.h"

#include <QString>

#include <string_view>

// Table cells and their tooltips show at most cellTextLimit characters of a text: a longer one is
// cut as the cell elides it (the middle, the end or the start) with "…" where it was cut, so a
// megabyte of arguments is laid out and painted like a line. The cut is made on the UTF-8 bytes,
// at character boundaries, without reading the rest of the text.
inline constexpr qsizetype cellTextLimit = 4096;

QString cellText(const JoinedText &text, Qt::TextElideMode mode = Qt::ElideRight);
QString cellText(std::string_view text, Qt::TextElideMode mode = Qt::ElideRight);
// The middle cut of a text longer than the limit known by its ends: at least half the limit of
// its first bytes and of its last.
QString cellTextFromEnds(std::string_view start, std::string_view end);
