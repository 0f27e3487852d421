#pragma once

#include "Engine/Parser/BSMToken.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
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
KeyValueRow *inspectorRow(const QString &key, std::string value, bool monospaced, QWidget *parent);

// What a token row shows, made where the token was decoded: on the pool for a big record.
struct TokenContent {
    std::shared_ptr<const BSMToken> token;
    QString name;
    QString preview;
    std::vector<std::pair<std::string, std::string>> fields;

    static TokenContent of(std::shared_ptr<const BSMToken> token);
};

// One token of a record inspector's list: closed, its name, type byte and preview; open, every
// field. Whether it is open belongs to the inspector, which hands the state in and is told of
// every toggle, so that it can open or close all rows at once.
class TokenRow : public QWidget {
    Q_OBJECT

public:
    TokenRow(const BSMToken &token, bool expanded, std::function<void(bool)> setExpanded, QWidget *parent = nullptr);
    TokenRow(TokenContent content, bool expanded, std::function<void(bool)> setExpanded, QWidget *parent = nullptr);

    const BSMToken &token() const { return *m_content.token; }

private:
    TokenContent m_content;
};
