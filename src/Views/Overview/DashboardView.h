#pragma once

#include "Views/Components/PoolWork.h"
#include "Views/Overview/OverviewCardData.h"
#include "Views/ScreenWidget.h"

#include <array>
#include <optional>

class ActivityTimeline;
class BarList;
class Card;
class EventClassesCard;
class FindingsCard;
class QLabel;
class StatTile;

// "Overview": the header with the loaded span, six metric tiles, the activity timeline and the
// cards below it. Every figure leads on to the records, findings or processes behind it. The
// statistics come ready-made from the store; what takes a pass over the findings is derived on the
// pool when the screen is made and after each rebuild, and shows when it lands.
class DashboardView : public ScreenWidget {
    Q_OBJECT

public:
    explicit DashboardView(const ViewContext &context, QWidget *parent = nullptr);

    // The names of the loaded sources, in load order.
    QString subtitle() const override;

    ActivityTimeline *timeline() const { return m_timeline; }
    const std::array<StatTile *, 6> &tiles() const { return m_tiles; }
    QLabel *spanLabel() const { return m_span; }
    // The findings are being summed up for the tiles and the findings card.
    bool isDeriving() const { return m_summarizing.pending(); }

private:
    void refreshHeader();
    void refreshTiles();
    void refreshStats();
    void summarize();

    QLabel *m_span = nullptr;
    std::array<StatTile *, 6> m_tiles{};
    ActivityTimeline *m_timeline = nullptr;
    QLabel *m_caption = nullptr;
    FindingsCard *m_findings = nullptr;
    EventClassesCard *m_classes = nullptr;
    std::array<BarList *, 5> m_lists{};
    std::optional<FindingsSummary> m_summary; // of the store's findings, once derived
    PoolWork::Latest m_summarizing;
};
