// Runs GoogleTest inside a QApplication (offscreen), so tests can spin event loops, wait for
// signals and make widgets.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setOrganizationName("QuillmarshTests");
    app.setApplicationName("quillmarsh-tests");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
