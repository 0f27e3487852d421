#include "Store/NativePath.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(NativePath, EveryByteSurvivesTheUrl)
{
    const QByteArray paths[] = {
        "/t/a.bsm",
        "/t/caf\xE9 100%.bsm",    // Latin-1 and a percent sign
        "/t/\xC3\xBC #?;=&+.bsm", // UTF-8 and characters a URL gives meaning to
        "/t/%41%E9.bsm",          // what looks like an escape already
        "/t/\x01\x7F\xFF\xFE/x",
    };
    for (const QByteArray &path : paths) {
        const QUrl url = NativePath::toUrl(path);
        EXPECT_TRUE(url.isLocalFile()) << path.toStdString();
        EXPECT_EQ(NativePath::fromUrl(url), path);
    }
    // A URL made the usual way from text gives the same bytes as the file-name encoding.
    const QString text = QString::fromUtf8("/t/\xC3\xBC 100%.bsm");
    EXPECT_EQ(NativePath::fromUrl(QUrl::fromLocalFile(text)), QFile::encodeName(text));
    EXPECT_EQ(NativePath::fromUrl(QUrl("https://example.com/a.bsm")), QByteArray());
}

} // namespace
