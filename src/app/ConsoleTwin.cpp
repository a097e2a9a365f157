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
#include <streambuf>
#include <string>
#include <optional>

#include "platform/win32/Win32Files.h"
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

// The program's texts written to a console as the console shows them, through WriteConsoleW
// (the C runtime's own conversion garbles them under some runtimes), and to a pipe or a file as
// they are, UTF-8. A line is written once it is whole, so that no character is cut in two.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(DWORD which) : m_handle(GetStdHandle(which))
    {
        DWORD mode = 0;
        m_console = m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr && GetConsoleMode(m_handle, &mode);
    }
    ~ConsoleBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override
    {
        if (c == traits_type::eof())
            return sync() == 0 ? traits_type::not_eof(c) : traits_type::eof();
        m_pending.push_back(static_cast<char>(c));
        if (c == '\n')
            sync();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        m_pending.append(s, static_cast<std::size_t>(n));
        if (m_pending.find('\n') != std::string::npos)
            sync();
        return n;
    }
    int sync() override
    {
        if (m_pending.empty())
            return 0;
        const std::string text = std::move(m_pending);
        m_pending.clear();
        if (!m_console) {
            DWORD written = 0;
            return WriteFile(m_handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ? 0 : -1;
        }
        const std::wstring wide = sarvoli::platform::wideOf(text);
        DWORD written = 0;
        return WriteConsoleW(m_handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) ? 0 : -1;
    }

private:
    HANDLE m_handle;
    bool m_console = false;
    std::string m_pending;
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
    ConsoleBuffer out(STD_OUTPUT_HANDLE);
    ConsoleBuffer err(STD_ERROR_HANDLE);
    std::streambuf* const coutBefore = std::cout.rdbuf(&out);
    std::streambuf* const cerrBefore = std::cerr.rdbuf(&err);
    struct Restore {
        std::streambuf* out;
        std::streambuf* err;
        ~Restore()
        {
            std::cout.flush();
            std::cerr.flush();
            std::cout.rdbuf(out);
            std::cerr.rdbuf(err);
        }
    } restore{coutBefore, cerrBefore};
    const sarvoli::run::Options options = sarvoli::run::parseCommandLine(argc, argv);
    if (const std::optional<int> status = sarvoli::run::answeredByCommandLine(options))
        return *status;
    if (!options.run)
        return openWindow(argc, argv);
    return sarvoli::run::runWithoutWindow(argc, argv, options);
}
