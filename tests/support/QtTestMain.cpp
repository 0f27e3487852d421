// Runs GoogleTest inside a QApplication (offscreen), so tests can spin event loops, wait for
// signals and make widgets.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // CTest lists the tests while building, outside the tests' pinned environment; listing needs
    // no application, and making one there would only warn about the missing runtime folder.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setOrganizationName("QuillmarshTests");
    app.setApplicationName("quillmarsh-tests");
    return RUN_ALL_TESTS();
}
