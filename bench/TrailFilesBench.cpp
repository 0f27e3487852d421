// The Trail Files screen while trails pour in: ten thousand small trails opened in one call with
// the screen shown, and then a trail with two million parse issues beside them. Reports how long
// the open took, how often the screen refreshed, the longest the GUI thread was kept from a 5 ms
// timer meanwhile, and what one refresh of the screen costs with all of them loaded. Figures are
// printed, not asserted: run TrailFilesBench from a release build.

#include "Store/AuditStore.h"
#include "Views/Sources/SourcesView.h"
#include "support/TrailBuilder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The longest the GUI thread went without running a 5 ms timer, from start() on.
class Watchdog {
public:
    Watchdog()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, milliseconds(m_since) - 5);
            m_since.start();
        });
    }
    void start()
    {
        m_longest = 0;
        m_since.start();
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

QUrl write(const QTemporaryDir &dir, const QString &name, const TestBSM::Bytes &bytes)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    return QUrl::fromLocalFile(file.fileName());
}

void settle(AuditStore &store, const QFuture<void> &operation)
{
    while (!operation.isFinished() || store.isFiltering()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QList<QUrl> small;
    for (int i = 0; i < 10000; ++i)
        small << write(dir, QString("t%1.bsm").arg(i), TestBSM::openReadRecords(1, 1714564800 + uint32_t(i)));
    // A header whose size chains to the next but which cannot be decoded, two million times.
    TestBSM::ByteWriter header;
    header.u8(0x15).u32(19).u8(11).u16(72).u16(0).u32(0xFFFFFFFF).u32(0).u8(0);
    TestBSM::Bytes damaged;
    for (int i = 0; i < 2000000; ++i) damaged.insert(damaged.end(), header.data().begin(), header.data().end());
    const QUrl issues = write(dir, "damaged.bsm", damaged);

    AuditStore store;
    SourcesView view(ViewContext{&store, nullptr, nullptr});
    view.resize(1280, 800);
    view.show();
    int refreshes = 0;
    QObject::connect(&store, &AuditStore::sourcesChanged, [&] { ++refreshes; });
    QCoreApplication::processEvents();
    Watchdog watchdog;

    std::printf("%d cores\n", QThread::idealThreadCount());
    QElapsedTimer timer;
    timer.start();
    watchdog.start();
    settle(store, store.open(small, TrailSource::Kind::file));
    std::printf("10,000 small trails in one call: %.0f ms, %d refreshes, GUI thread blocked at most %.1f ms\n",
                milliseconds(timer), refreshes, watchdog.stop());

    refreshes = 0;
    timer.start();
    watchdog.start();
    settle(store, store.open({issues}, TrailSource::Kind::file));
    std::printf("a trail with %lld parse issues: %.0f ms, %d refreshes, GUI thread blocked at most %.1f ms\n",
                static_cast<long long>(store.sources().back().issues.total()), milliseconds(timer), refreshes,
                watchdog.stop());

    // The screen selects the damaged trail (its 50 issues listed), then refreshes as on a change.
    view.setSelection(store.sources().back().id);
    QCoreApplication::processEvents();
    timer.start();
    constexpr int rounds = 20;
    for (int i = 0; i < rounds; ++i) {
        emit store.sourcesChanged();
        QCoreApplication::processEvents();
    }
    std::printf("one refresh of Trail Files with %zu sources: %.2f ms\n", store.sources().size(),
                milliseconds(timer) / rounds);
    return 0;
}
