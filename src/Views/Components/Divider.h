#pragma once

class QFrame;
class QWidget;

// A one-pixel horizontal rule in the separator colour, between a list and its detail or between
// parts of a card. A plain QFrame line would take the full text colour.
QFrame *makeDivider(QWidget *parent = nullptr);
