#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "TempDir.h"
#include "platform/posix/PosixPlatform.h"
#include "settings/IniFile.h"
#include "settings/IniText.h"

using namespace sarvoli::settings;
using namespace sarvoli::testing;

namespace {

struct ReadRow {
    const char* text;
    const char* section;
    const char* key;
    const char* value;
};

TEST(IniText, readsWhatTheProfileFunctionsRead)
{
    const ReadRow rows[] = {
        {"[S]\r\nk=v\r\n", "S", "k", "v"},
        {"[S]\nk=v", "s", "K", "v"},                                 // names without regard to case
        {"[S]\rk=v\ra=b", "S", "a", "b"},                            // CR alone ends a line
        {"  [ S ] trailing\r\n \t k \t= \t v w \t\r\n", "S", "k", "v w"},  // blanks trimmed, text after ] ignored
        {"[S\r\nk=v\r\n", "S", "k", "v"},                            // a missing ] is tolerated
        {"[S]\r\nk=\"  v \"\r\n", "S", "k", "  v "},                 // outer quotes go, inner blanks stay
        {"[S]\r\nk='v'\r\n", "S", "k", "v"},
        {"[S]\r\nk=\"v'\r\n", "S", "k", "\"v'"},                     // mismatched quotes stay
        {"[S]\r\nk=\"\r\n", "S", "k", "\""},
        {"[S]\r\n;k=v\r\n", "S", "k", ""},                           // comment lines are never found
        {"[S]\r\n  ; k=v\r\nk=w\r\n", "S", "k", "w"},
        {"[S]\r\n#k=v\r\n", "S", "#k", "v"},                         // # is ordinary text
        {"[S]\r\nk=a;b\r\n", "S", "k", "a;b"},
        {"k=v\r\n[S]\r\n", "", "k", ""},                             // lines before any section are unreachable
        {"[S]\r\nk\r\n", "S", "k", ""},                              // a line without = is no key
        {"[S]\r\nk=1\r\nk=2\r\n", "S", "k", "1"},                    // the first key wins
        {"[S]\r\na=1\r\n[S]\r\nk=2\r\n", "S", "k", ""},              // a later section is never searched
        {"[T]\r\nk=v\r\n", "S", "k", ""},
        {"", "S", "k", ""},
        {"\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "v"},               // a UTF-8 mark is no text
        {"[S]\r\nk==v\r\n", "S", "k", "=v"},
        {"[S]\r\nk = \r\n", "S", "k", ""},
    };
    for (const ReadRow& r : rows)
        EXPECT_EQ(iniValue(r.text, r.section, r.key), r.value) << r.text;
}

TEST(IniText, cutsLongValuesAtWholeCharacters)
{
    const std::string long3000(3000, 'x');
    EXPECT_EQ(iniValue("[S]\r\nk=" + long3000 + "\r\n", "S", "k"), std::string(2047, 'x'));
    const std::string umlauts = std::string(2046, 'x') + "äö";  // ä takes bytes 2047 and 2048
    EXPECT_EQ(iniValue("[S]\r\nk=" + umlauts, "S", "k"), std::string(2046, 'x'));
}

struct WriteRow {
    const char* before;
    const char* section;
    const char* key;
    const char* value;  // nullptr: remove the key
    const char* after;
};

TEST(IniText, editsInPlaceAsTheProfileFunctionsDo)
{
    const WriteRow rows[] = {
        {"", "S", "k", "v", "[S]\r\nk=v\r\n"},
        {"[S]\r\nk=v\r\n", "S", "k", "w", "[S]\r\nk=w\r\n"},
        {"[S]\r\n  Key = old \r\n", "s", "KEY", "new", "[S]\r\nKey=new\r\n"},  // the stored spelling stays
        {"[S]\r\nk=v", "S", "k", "w", "[S]\r\nk=w\r\n"},                      // a rewritten last line gains CRLF
        {"[S]\na=1\n; note\n\n[T]\n", "S", "b", "2", "[S]\na=1\nb=2\r\n; note\n\n[T]\n"},  // after the last key
        {"[S]\n; note\n", "S", "b", "2", "[S]\nb=2\r\n; note\n"},
        {"[S]\r\na=1", "T", "b", "2", "[S]\r\na=1\r\n[T]\r\nb=2\r\n"},      // a new section at the end
        {"[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3", "[S]\r\nk=3\r\nk=2\r\n"},  // the first of duplicate keys
        {"[S]\r\na=1\r\n[S]\r\n", "S", "b", "2", "[S]\r\na=1\r\nb=2\r\n[S]\r\n"},
        {"[S]\r\nk=v\r\n", "S", "k", "two\r\nlines\nthree", "[S]\r\nk=two lines three\r\n"},
        {"[S]\r\na=1\r\nk=v\r\nb=2\r\n", "S", "k", nullptr, "[S]\r\na=1\r\nb=2\r\n"},
        {"[S]\r\na=1\r\n", "S", "k", nullptr, "[S]\r\na=1\r\n"},
    };
    for (const WriteRow& r : rows) {
        const std::string after =
            r.value ? withIniValue(r.before, r.section, r.key, r.value) : withoutIniKey(r.before, r.section, r.key);
        EXPECT_EQ(after, r.after) << r.before;
    }
    EXPECT_EQ(readBackForm(" \"a\r\nb\" "), "a b");
}

class IniFileTest : public ::testing::Test {
protected:
    sarvoli::platform::DriveTable drives()
    {
        sarvoli::platform::DriveTable t;
        t.set('D', sarvoli::platform::Drive{tmp.path(), sarvoli::platform::DriveFixed, true});
        return t;
    }

    std::string writeError(IniFile& file)
    {
        try {
            file.write("S", "k", "new");
        } catch (const SettingsWriteError& e) {
            return e.what();
        }
        return "written";
    }

    TempDir tmp;
    sarvoli::platform::PosixPlatform platform{drives()};
    IniFile ini{platform, "D:\\settings.ini"};
};

TEST_F(IniFileTest, writesReadsAndRemovesThroughTheFile)
{
    EXPECT_EQ(ini.read("S", "k"), "");
    ini.write("S", "k", "v");
    ini.write("S", "n", "1");
    EXPECT_EQ(ini.read("s", "K"), "v");
    ini.remove("S", "k");
    EXPECT_EQ(readFile(tmp / "settings.ini"), "[S]\r\nn=1\r\n");
    EXPECT_EQ(listFolder(tmp.path()), "settings.ini") << "no temporary file is left";
}

TEST_F(IniFileTest, aFileThatCannotBeWrittenIsLeftAsItWas)
{
    writeFile(tmp / "settings.ini", "[S]\r\nk=old\r\n");
    chmod((tmp / "settings.ini").c_str(), 0444);
    EXPECT_EQ(writeError(ini), "Unable to write to D:\\settings.ini");
    chmod((tmp / "settings.ini").c_str(), 0644);

    IniFile missingFolder(platform, "D:\\nothere\\settings.ini");
    EXPECT_EQ(writeError(missingFolder), "Unable to write to D:\\nothere\\settings.ini");

    // A write cut off half-way by a full disk (here a file size limit) leaves the old file.
    writeFile(tmp / "settings.ini", "[S]\r\nk=old\r\n" + std::string(1000, ';') + "\r\n");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 500;
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string error = writeError(ini);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(error, "Unable to write to D:\\settings.ini");
    EXPECT_EQ(ini.read("S", "k"), "old");
    EXPECT_EQ(listFolder(tmp.path()), "settings.ini");
}

TEST_F(IniFileTest, aFileThatCannotBeReadIsNotReplaced)
{
    std::filesystem::create_directories(tmp / "settings.ini");  // a folder in the way reads as no file
    EXPECT_EQ(writeError(ini), "Unable to write to D:\\settings.ini");
    EXPECT_TRUE(isDirectory(tmp / "settings.ini"));
}

TEST_F(IniFileTest, writesThroughALinkToTheFileItNames)
{
    writeFile(tmp / "real.ini", "[S]\r\nk=old\r\n");
    std::filesystem::create_symlink(tmp / "real.ini", tmp / "settings.ini");
    ini.write("S", "k", "new");
    EXPECT_TRUE(std::filesystem::is_symlink(tmp / "settings.ini"));
    EXPECT_EQ(readFile(tmp / "real.ini"), "[S]\r\nk=new\r\n");
}

}  // namespace
