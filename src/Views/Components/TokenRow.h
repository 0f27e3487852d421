#pragma once

#include "Engine/Parser/BSMToken.h"

#include <QString>
#include <QWidget>

#include <functional>

// The one-line summary of a token shown beside its name while its row is closed.
QString tokenPreview(const BSMToken &token);
// The token as one line: its name, then label=value for every field, joined with ", ".
QString tokenCopyText(const BSMToken &token);

class KeyValueRow;

// A key-value row of the inspector. A value that is one long word (a cdhash, a long path) must not
// widen the pane past its edge: it is cut there instead, whole in its tooltip and copy items.
KeyValueRow *inspectorRow(const QString &key, const QString &value, bool monospaced, QWidget *parent);

// One token of a record inspector's list: closed, its name, type byte and preview; open, every
// field. Whether it is open belongs to the inspector, which hands the state in and is told of
// every toggle, so that it can open or close all rows at once.
class TokenRow : public QWidget {
    Q_OBJECT

public:
    TokenRow(const BSMToken &token, bool expanded, std::function<void(bool)> setExpanded, QWidget *parent = nullptr);

    const BSMToken &token() const { return m_token; }

private:
    BSMToken m_token;
};
