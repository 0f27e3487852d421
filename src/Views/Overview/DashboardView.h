#pragma once

#include "Views/ScreenWidget.h"

#include <array>

class ActivityTimeline;
class BarList;
class Card;
class EventClassesCard;
class FindingsCard;
class QLabel;
class StatTile;

// "Overview": the header with the loaded span, six metric tiles, the activity timeline and the
// cards below it. Every figure leads on to the records, findings or processes behind it.
class DashboardView : public ScreenWidget {
    Q_OBJECT

public:
    explicit DashboardView(const ViewContext &context, QWidget *parent = nullptr);

    // The names of the loaded sources, in load order.
    QString subtitle() const override;

    ActivityTimeline *timeline() const { return m_timeline; }
    const std::array<StatTile *, 6> &tiles() const { return m_tiles; }
    QLabel *spanLabel() const { return m_span; }

private:
    void refreshHeader();
    void refreshTiles();
    void refreshStats();

    QLabel *m_span = nullptr;
    std::array<StatTile *, 6> m_tiles{};
    ActivityTimeline *m_timeline = nullptr;
    QLabel *m_caption = nullptr;
    FindingsCard *m_findings = nullptr;
    EventClassesCard *m_classes = nullptr;
    std::array<BarList *, 5> m_lists{};
};
