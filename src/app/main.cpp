#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "app/QtServices.h"
#include "app/TZumerForm.h"
#include "platform/SystemPlatform.h"
#include "settings/WindowSettings.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sarvoli3"));

    auto platform = sarvoli::platform::createSystemPlatform();
    sarvoli::app::QtMessageBoxes messages(nullptr);
    sarvoli::app::QtOpenFileDialog openFile(nullptr);
    sarvoli::app::QtShell shell;
    sarvoli::app::TZumerForm window(*platform, {&messages, &openFile, &shell},
                                   sarvoli::settings::exeFolderOf(platform->executablePath()));
    messages.setParent(&window);
    openFile.setParent(&window);
    window.show();

    // SARVOLI3_SCREENSHOT=file.png: save a picture of the screen once the window is up, and
    // end; for looking at the window on a machine without a display.
    const QString screenshot = qEnvironmentVariable("SARVOLI3_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(1000, &window, [&] {
            const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(screenshot, "PNG");
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
