#include "Views/MainToolbar.h"

#include "Store/AuditStore.h"
#include "Views/Actions.h"
#include "Views/ScreenWidget.h"
#include "Views/Components/Style.h"
#include "Views/Components/Symbols.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace {

constexpr int searchWidth = 240;
constexpr int subtitleWidth = 520;

QToolButton *menuButton(const QString &text, const QString &symbol, const QString &tip, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    setSymbol(button, symbol);
    button->setToolTip(tip);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setMenu(new QMenu(button));
    return button;
}

} // namespace

MainToolbar::MainToolbar(const ViewContext &context, QWidget *parent) : QToolBar(parent), m_context(context)
{
    setObjectName(QStringLiteral("mainToolbar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(18, 18));
    AuditStore *store = context.store;

    auto *titles = new QWidget(this);
    auto *titleLayout = new QVBoxLayout(titles);
    titleLayout->setContentsMargins(8, 2, 8, 2);
    titleLayout->setSpacing(0);
    m_title = new QLabel(titles);
    m_title->setObjectName(QStringLiteral("screenTitle"));
    m_title->setFont(Style::semibold(Style::title3()));
    m_subtitle = new QLabel(titles);
    m_subtitle->setObjectName(QStringLiteral("screenSubtitle"));
    Style::setTextStyle(m_subtitle, Style::subheadline(), Style::secondaryText());
    m_subtitle->setMinimumWidth(0);
    titleLayout->addWidget(m_title);
    titleLayout->addWidget(m_subtitle);
    titles->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(titles);

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("toolbarSearch"));
    m_search->setClearButtonEnabled(true);
    m_search->setFixedWidth(searchWidth);
    m_searchAction = addWidget(m_search);

    using Actions::Command;
    const auto command = [this, store](QMenu *menu, const char *text, const char *symbol, Command which,
                                       std::function<void(QAction *, const Actions::State &)> rule = {}) {
        QAction *action = menu->addAction(QString::fromUtf8(text));
        if (symbol) setSymbol(action, QString::fromUtf8(symbol));
        return Actions::bind(action, which, *store, this, std::move(rule));
    };

    m_openButton = menuButton(QStringLiteral("Open"), QStringLiteral("plus.rectangle.on.folder"),
                              QStringLiteral("Open BSM audit trail files"), this);
    m_openButton->setObjectName(QStringLiteral("openButton"));
    m_openButton->setPopupMode(QToolButton::MenuButtonPopup);
    connect(m_openButton, &QToolButton::clicked, this,
            [this, store] { Actions::run(Command::openTrail, *store, this); });
    QMenu *open = m_openButton->menu();
    command(open, "Open Trail File…", "doc", Command::openTrail);
    command(open, "Load System Trails (/var/audit)…", "lock.shield", Command::loadSystemTrails);
    command(open, "Open Sample Trail", "testtube.2", Command::openSample);
    m_closeAllSeparator = open->addSeparator();
    // Here the item and its divider come and go with the records; the menu bar greys its item.
    m_closeAll = command(open, "Close All Trails", "xmark.circle", Command::closeAllTrails,
                         [separator = m_closeAllSeparator](QAction *action, const Actions::State &state) {
                             separator->setVisible(state.hasRecords);
                             action->setVisible(state.hasRecords);
                         });
    addWidget(m_openButton);

    m_exportButton = menuButton(QStringLiteral("Export"), QStringLiteral("square.and.arrow.up"),
                                QStringLiteral("Export the current event selection or findings"), this);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_exportButton->setPopupMode(QToolButton::InstantPopup);
    // The style's corner arrow sits under the text on an instant menu; the menu is plain enough.
    m_exportButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    QMenu *exports = m_exportButton->menu();
    // The event items stay enabled on an empty filter result: they then write a file without records.
    command(exports, "Events as CSV…", nullptr, Command::exportEventsCSV);
    command(exports, "Events as JSON…", nullptr, Command::exportEventsJSON);
    exports->addSeparator();
    m_findingsReport = command(exports, "Findings Report (Markdown)…", nullptr, Command::exportFindingsReport,
                               [](QAction *action, const Actions::State &state) {
                                   action->setEnabled(state.hasFindings);
                               });
    m_exportAction = addWidget(m_exportButton);
    Actions::follow(*store, m_exportAction,
                    [this](const Actions::State &state) { m_exportAction->setVisible(state.hasRecords); });

    setScreen(nullptr, QStringLiteral("Quillmarsh"));
}

bool MainToolbar::exportShown() const
{
    return m_exportAction->isVisible();
}

QList<QAction *> MainToolbar::screenActions() const
{
    QList<QAction *> actions;
    for (const QPointer<QAction> &action : m_screenActions)
        if (action) actions << action;
    return actions;
}

void MainToolbar::setScreen(ScreenWidget *screen, const QString &title)
{
    for (const auto &connection : m_screenConnections) disconnect(connection);
    m_screenConnections.clear();
    for (const QPointer<QAction> &action : std::as_const(m_screenActions))
        if (action) removeAction(action);
    m_screenActions.clear();
    if (screen) {
        for (QAction *action : screen->actions()) {
            insertAction(m_searchAction, action);
            m_screenActions << action;
            // Labelled like "Open" and "Export", not a bare icon.
            if (auto *button = qobject_cast<QToolButton *>(widgetForAction(action)))
                button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        }
    }
    m_screen = screen;
    m_title->setText(title);
    const bool searchable = screen && screen->hasSearch();
    m_searchAction->setVisible(searchable);
    {
        const QSignalBlocker blocker(m_search);
        m_search->setPlaceholderText(searchable ? screen->searchPrompt() : QString());
        m_search->setText(searchable ? screen->search() : QString());
    }
    if (searchable) {
        m_screenConnections << connect(m_search, &QLineEdit::textChanged, screen, &ScreenWidget::setSearch);
        m_screenConnections << connect(screen, &ScreenWidget::searchChanged, m_search, [this](const QString &text) {
            if (m_search->text() != text) m_search->setText(text);
        });
    }
    if (screen)
        m_screenConnections << connect(screen, &ScreenWidget::subtitleChanged, this, &MainToolbar::updateSubtitle);
    updateSubtitle();
}

void MainToolbar::updateSubtitle()
{
    const QString subtitle = m_screen ? m_screen->subtitle() : QString();
    // Many loaded trails make a long line: cut it, the whole of it in the tooltip.
    m_subtitle->setText(m_subtitle->fontMetrics().elidedText(subtitle, Qt::ElideRight, subtitleWidth));
    m_subtitle->setToolTip(subtitle);
    m_subtitle->setVisible(!subtitle.isEmpty());
}
