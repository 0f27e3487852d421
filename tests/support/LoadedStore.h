#pragma once

// A store loaded from trails written into a private folder, for screen tests:
//   LoadedStore s; s.load({{"a.bsm", TestBSM::openReadRecords(3)}});

#include "Store/AuditStore.h"
#include "support/QtTestSupport.h"
#include "support/TrailBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

struct LoadedStore {
    QTemporaryDir dir;
    AuditStore store;

    QUrl write(const QString &name, const TestBSM::Bytes &bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return QUrl::fromLocalFile(dir.filePath(name));
    }

    // Loads the files in the order given and waits for the rebuild and its filter pass.
    void load(const std::vector<std::pair<QString, TestBSM::Bytes>> &files,
              TrailSource::Kind kind = TrailSource::Kind::file)
    {
        QList<QUrl> urls;
        for (const auto &[name, bytes] : files) urls << write(name, bytes);
        settle(store.open(urls, kind));
    }

    void settle(const QFuture<void> &operation)
    {
        ASSERT_TRUE(waitUntil([&] { return operation.isFinished(); }, 20000));
        ASSERT_TRUE(waitUntil([&] { return !store.isFiltering(); }));
    }
};
