#pragma once

#include "Engine/Parser/BSMToken.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The one-line summary of a token shown beside its name while its row is closed, cut to what a
// line shows (sixteen million arguments are not joined to show their start).
QString tokenPreview(const BSMToken &token);
// The token as one line: its name, then label=value for every field, joined with ", ".
QString tokenCopyText(const BSMToken &token);

class KeyValueRow;

// A key-value row of the inspector. A value that is one long word (a cdhash, a long path) must not
// widen the pane past its edge: it is cut there instead, whole in its tooltip (up to what a
// tooltip shows) and copy items. A value too long to lay out goes into a scrolling LineBox.
KeyValueRow *inspectorRow(const QString &key, const QString &value, bool monospaced, QWidget *parent);
// The same for a value that `keep` keeps alive, shown in place when long.
KeyValueRow *inspectorRow(const QString &key, std::string_view value, bool monospaced, std::shared_ptr<const void> keep,
                          QWidget *parent);

// What a token row shows, made where the token was decoded: on the pool for a big record. It
// keeps the fields, not the token, so a token of sixteen million arguments is let go of there.
struct TokenContent {
    uint8_t id = 0;
    QString name;
    QString preview;
    std::vector<std::pair<std::string, std::string>> fields;

    static TokenContent of(const BSMToken &token);
    // "Copy Token": the name, then label=value for every field, joined with ", ".
    QString copyText() const;
};

// One token of a record inspector's list: closed, its name, type byte and preview; open, every
// field. Whether it is open belongs to the inspector, which hands the state in and is told of
// every toggle, so that it can open or close all rows at once.
class TokenRow : public QWidget {
    Q_OBJECT

public:
    TokenRow(const BSMToken &token, bool expanded, std::function<void(bool)> setExpanded, QWidget *parent = nullptr);
    // The content is shared with the inspector, not copied: a field may hold megabytes.
    TokenRow(std::shared_ptr<const TokenContent> content, bool expanded, std::function<void(bool)> setExpanded,
             QWidget *parent = nullptr);

private:
    std::shared_ptr<const TokenContent> m_content;
};
