// sarvoli3.com, the console twin of sarvoli3.exe on Windows. A window program has no console:
// started from cmd.exe or PowerShell it would print nothing and be waited for by nobody. The
// shells take "sarvoli3" to mean sarvoli3.com before sarvoli3.exe, so "sarvoli3 --run" prints
// its lines and sets its exit status there and in the Task Scheduler; without --run the twin
// opens the window of sarvoli3.exe beside it.
#include <windows.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <iostream>
#include <optional>

#include "run/ProgramStart.h"
#include "run/UnattendedRun.h"

namespace {

// The console shows the program's UTF-8 texts as they are while the twin runs, and its own
// code page again afterwards.
class Utf8Console {
public:
    Utf8Console() : m_before(GetConsoleOutputCP())
    {
        if (m_before != 0)
            SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console()
    {
        if (m_before != 0)
            SetConsoleOutputCP(m_before);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    UINT m_before;
};

int openWindow(int argc, char* argv[])
{
    wchar_t self[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
    QString program = QString::fromWCharArray(self, static_cast<qsizetype>(n));
    program.replace(program.size() - 4, 4, QStringLiteral(".exe"));
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!QProcess::startDetached(program, arguments)) {
        std::cerr << "Ohjelmaa ei voi käynnistää: " << program.toLocal8Bit().constData() << '\n';
        return sarvoli::run::kNotStarted;
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    const Utf8Console console;
    const sarvoli::run::Options options = sarvoli::run::parseCommandLine(argc, argv);
    if (const std::optional<int> status = sarvoli::run::answeredByCommandLine(options))
        return *status;
    if (!options.run)
        return openWindow(argc, argv);
    return sarvoli::run::runWithoutWindow(argc, argv, options);
}
