#include "Store/FilterPass.h"

#include <exception>

FilterPass::FilterPass(QObject *receiver, Background::Tasks &tasks,
                       std::function<void(std::optional<RecordSelection>)> landed)
    : m_receiver(receiver)
    , m_tasks(tasks)
    , m_landed(std::move(landed))
    , m_pool(&Parallel::Pool::shared(), [](Parallel::Pool *) {})
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(std::chrono::milliseconds(180));
    QObject::connect(&m_timer, &QTimer::timeout, [this] { run(); });
}

void FilterPass::schedule(const EventFilter &filter, RecordSnapshot records, bool immediate)
{
    m_timer.stop();
    m_pending = std::make_shared<Pass>(Pass{filter, std::move(records), filter.pass(), m_series.next()});
    if (immediate) run();
    else m_timer.start();
}

void FilterPass::run()
{
    if (!m_pending) return;
    std::shared_ptr<Pass> pass = std::move(m_pending);

    if (!pass->filter.isActive()) return m_landed(RecordSelection(pass->records));

    m_tasks.run(
        m_receiver,
        [pass, pool = m_pool]() -> RecordSelection::Positions {
            const auto superseded = [&] { return pass->ticket.stale(); };
            try {
                std::optional<std::vector<uint32_t>> positions = pass->filter.select(*pass->records, pass->prepared,
                                                                                     *pool, superseded);
                if (positions) return std::make_shared<const std::vector<uint32_t>>(std::move(*positions));
            } catch (const std::exception &) {
                // Out of memory: the list on show stays, and the pass ends rather than runs for ever.
            }
            return nullptr;
        },
        [this, pass](RecordSelection::Positions matching) {
            if (pass->ticket.stale()) return;
            if (matching) m_landed(RecordSelection(pass->records, std::move(matching)));
            else m_landed(std::nullopt);
        });
}
