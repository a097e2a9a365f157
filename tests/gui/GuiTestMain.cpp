#include <gtest/gtest.h>

#include <QApplication>

// GUI tests need one application object for the whole test program.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sarvoli3"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
