// Cost of one run-log line in the real window, event processing included: appends lines the
// way the window takes them from a run (its view told and the window's turn every 20 ms) and
// reports time and memory a line.

#include <QApplication>
#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/LogModel.h"
#include "app/QtServices.h"
#include "app/TZumerForm.h"
#include "platform/SystemPlatform.h"
#include "settings/WindowSettings.h"

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 100'000;

    auto platform = sarvoli::platform::createSystemPlatform();
    sarvoli::app::QtMessageBoxes messages(nullptr);
    sarvoli::app::QtOpenFileDialog openFile(nullptr);
    sarvoli::app::QtShell shell;
    sarvoli::app::TZumerForm window(*platform, {&messages, &openFile, &shell},
                                   sarvoli::settings::exeFolderOf(platform->executablePath()));
    window.show();
    QCoreApplication::processEvents();

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto lastTurn = start;
    std::string line;
    for (long i = 0; i < lines; ++i) {
        line = "Z:\\varmuus\\projektit\\2026\\raportit\\osa" + std::to_string(i / 50) + "\\tiedosto"
               + std::to_string(i) + ".txt   7.12.2026 11:05:32";
        window.log().append(line, false);
        const auto now = Clock::now();
        if (now - lastTurn >= std::chrono::milliseconds(20)) {
            lastTurn = now;
            window.log().publish();
            QCoreApplication::processEvents();
        }
    }
    window.log().publish();
    QCoreApplication::processEvents();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    const double perLineUs = seconds * 1e6 / static_cast<double>(lines);
    const double bytesPerLine = static_cast<double>(window.log().memoryBytes()) / static_cast<double>(lines);
    std::printf("lines: %ld\ntotal: %.3f s\nper line: %.2f us (target 5 us or less)\n"
                "log memory: %.0f bytes a line (target 200 or less)\nshown rows: %d\n",
                lines, seconds, perLineUs, bytesPerLine, window.log().rowCount());
    return window.log().rowCount() == lines ? 0 : 1;
}
