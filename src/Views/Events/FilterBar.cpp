#include "Views/Events/FilterBar.h"

#include "Engine/BSM/AuditCatalog.h"
#include "Engine/BSM/UserResolver.h"
#include "Store/AuditStore.h"
#include "Views/Components/FilterChip.h"
#include "Views/Components/Symbols.h"

#include <QAction>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QStringList>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <set>
#include <string>

namespace {

constexpr int barSpacing = 10;
constexpr int barPaddingH = 12;
constexpr int barPaddingV = 8;
constexpr int resultPickerWidth = 210;
constexpr int chipSpacing = 6;

struct Preset {
    const char *title; // a QAction text: "&&" is one ampersand
    std::set<std::string> classes;
};

const std::array<Preset, 5> &classPresets()
{
    static const std::array<Preset, 5> presets = {{
        {"Authentication && login", {"lo", "aa"}},
        {"Process execution", {"ex"}},
        {"Administrative", {"ad"}},
        {"File changes", {"fc", "fd", "fw", "fm"}},
        {"Network", {"nt"}},
    }};
    return presets;
}

QString escapedMnemonic(QString text)
{
    return text.replace(u'&', QLatin1String("&&"));
}

} // namespace

std::vector<FilterBarChip> filterBarChips(const EventFilter &filter)
{
    std::vector<FilterBarChip> chips;
    const bool drilledDown = filter.recordIDs || filter.pid || !filter.events.empty() || filter.start || filter.user;
    if (filter.label && drilledDown) {
        chips.push_back({QString::fromStdString(*filter.label),
                         {[](EventFilter &f) { f.recordIDs.reset(); }, [](EventFilter &f) { f.pid.reset(); },
                          [](EventFilter &f) { f.events.clear(); }, [](EventFilter &f) { f.start.reset(); },
                          [](EventFilter &f) { f.end.reset(); }, [](EventFilter &f) { f.user.reset(); },
                          [](EventFilter &f) { f.label.reset(); }}});
        return chips;
    }
    if (filter.pid) chips.push_back({"pid " + QString::number(*filter.pid), {[](EventFilter &f) { f.pid.reset(); }}});
    if (filter.user)
        chips.push_back({"user " + QString::fromStdString(UserResolver::shared().shortName(*filter.user)),
                         {[](EventFilter &f) { f.user.reset(); }}});
    if (!filter.events.empty()) {
        QStringList labels;
        for (uint16_t event : filter.events) labels << QString::fromStdString(AuditCatalog::shared().eventLabel(event));
        chips.push_back({labels.join(QLatin1String(", ")), {[](EventFilter &f) { f.events.clear(); }}});
    }
    if (filter.start || filter.end)
        chips.push_back(
            {"time window", {[](EventFilter &f) { f.start.reset(); }, [](EventFilter &f) { f.end.reset(); }}});
    if (filter.recordIDs) chips.push_back({"selected records", {[](EventFilter &f) { f.recordIDs.reset(); }}});
    return chips;
}

QString classMenuTitle(const EventFilter &filter)
{
    if (filter.classes.empty()) return QStringLiteral("All classes");
    QStringList names;
    for (const std::string &name : filter.classes) names << QString::fromStdString(name); // a set: already in order
    return names.join(QLatin1String(", "));
}

FilterBar::FilterBar(AuditStore &store, QWidget *parent) : QWidget(parent), m_store(store)
{
    setObjectName("filterBar");
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(barPaddingH, barPaddingV, barPaddingH, barPaddingV);
    layout->setSpacing(barSpacing);

    auto *picker = new QWidget(this);
    picker->setObjectName("resultPicker");
    picker->setAccessibleName("Result");
    picker->setFixedWidth(resultPickerWidth);
    auto *pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    m_resultGroup = new QButtonGroup(this);
    m_resultGroup->setExclusive(true);
    for (ResultFilter result : allResultFilters) {
        auto *segment = new QToolButton(picker);
        segment->setText(QString::fromLatin1(rawValue(result)));
        segment->setCheckable(true);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_resultGroup->addButton(segment, int(result));
        pickerLayout->addWidget(segment);
    }
    connect(m_resultGroup, &QButtonGroup::idClicked, this, [this](int id) {
        EventFilter filter = m_store.filter();
        filter.result = ResultFilter(id);
        m_store.setFilter(std::move(filter));
    });
    layout->addWidget(picker);

    m_classButton = new QToolButton(this);
    m_classButton->setObjectName("classMenu");
    m_classButton->setPopupMode(QToolButton::InstantPopup);
    m_classButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setSymbol(m_classButton, "square.stack.3d.up");
    m_classMenu = new QMenu(m_classButton);
    m_classButton->setMenu(m_classMenu);
    buildClassMenu();
    layout->addWidget(m_classButton);

    m_presetsButton = new QToolButton(this);
    m_presetsButton->setObjectName("presetsMenu");
    m_presetsButton->setText("Presets");
    m_presetsButton->setPopupMode(QToolButton::InstantPopup);
    m_presetsButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setSymbol(m_presetsButton, "wand.and.stars");
    auto *presets = new QMenu(m_presetsButton);
    for (const Preset &preset : classPresets()) {
        presets->addAction(preset.title, this, [this, classes = preset.classes] {
            EventFilter filter = m_store.filter();
            filter.classes = classes;
            m_store.setFilter(std::move(filter));
        });
    }
    presets->addSeparator();
    presets->addAction("Failures only", this, [this] {
        EventFilter filter = m_store.filter();
        filter.result = ResultFilter::failure;
        m_store.setFilter(std::move(filter));
    });
    m_presetsButton->setMenu(presets);
    layout->addWidget(m_presetsButton);

    auto *chipScroll = new QScrollArea(this);
    chipScroll->setObjectName("chipRow");
    chipScroll->setFrameShape(QFrame::NoFrame);
    chipScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chipScroll->setWidgetResizable(true);
    chipScroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // A scroll area asks for far more height than one row of chips.
    chipScroll->setFixedHeight(std::max(m_classButton->sizeHint().height(), FilterChip("x", [] {}).sizeHint().height()));
    chipScroll->viewport()->setAutoFillBackground(false);
    m_chips = new QWidget(chipScroll);
    m_chips->setAutoFillBackground(false);
    m_chipLayout = new QHBoxLayout(m_chips);
    m_chipLayout->setContentsMargins(0, 0, 0, 0);
    m_chipLayout->setSpacing(chipSpacing);
    m_chipLayout->addStretch(1);
    chipScroll->setWidget(m_chips);
    layout->addWidget(chipScroll, 1);

    m_clearAll = new QPushButton("Clear All", this);
    m_clearAll->setFlat(true);
    connect(m_clearAll, &QPushButton::clicked, this, [this] { m_store.setFilter(EventFilter()); });
    layout->addWidget(m_clearAll);

    connect(&m_store, &AuditStore::filterChanged, this, &FilterBar::refresh);
    refresh();
}

void FilterBar::setClass(const std::string &name, bool chosen)
{
    EventFilter filter = m_store.filter();
    if (chosen) {
        filter.classes.insert(name);
    } else {
        filter.classes.erase(name);
    }
    m_store.setFilter(std::move(filter));
}

void FilterBar::buildClassMenu()
{
    for (const AuditClassInfo &info : AuditCatalog::shared().selectableClasses()) {
        const QString title = QString::fromStdString(info.shortName) + QString::fromUtf8(" \u2014 ")
                              + QString::fromStdString(info.description);
        QAction *action = m_classMenu->addAction(escapedMnemonic(title));
        action->setCheckable(true);
        action->setData(QString::fromStdString(info.shortName));
        connect(action, &QAction::triggered, this, [this, name = info.shortName](bool on) { setClass(name, on); });
    }
    m_clearClassesSeparator = m_classMenu->addSeparator();
    m_clearClasses = m_classMenu->addAction("Clear Classes", this, [this] {
        EventFilter changed = m_store.filter();
        changed.classes.clear();
        m_store.setFilter(std::move(changed));
    });
}

void FilterBar::refresh()
{
    const EventFilter &filter = m_store.filter();
    if (QAbstractButton *segment = m_resultGroup->button(int(filter.result))) segment->setChecked(true);
    m_classButton->setText(escapedMnemonic(classMenuTitle(filter)));
    for (QAction *action : m_classMenu->actions()) {
        if (action->isCheckable()) action->setChecked(filter.classes.contains(action->data().toString().toStdString()));
    }
    m_clearClassesSeparator->setVisible(!filter.classes.empty());
    m_clearClasses->setVisible(!filter.classes.empty());

    // A chip's own click may have brought us here: its widget goes later, not under its feet.
    while (m_chipLayout->count() > 1) {
        QLayoutItem *item = m_chipLayout->takeAt(0);
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    int index = 0;
    for (FilterBarChip &chip : filterBarChips(filter)) {
        auto *widget = new FilterChip(
            chip.text,
            [this, steps = std::move(chip.removal)] {
                for (const auto &step : steps) {
                    EventFilter changed = m_store.filter();
                    step(changed);
                    m_store.setFilter(std::move(changed));
                }
            },
            m_chips);
        m_chipLayout->insertWidget(index++, widget);
        widget->show();
    }
    m_clearAll->setVisible(filter.isActive());
}
