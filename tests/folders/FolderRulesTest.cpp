#include <gtest/gtest.h>

#include "folders/FolderRules.h"

using namespace sarvoli::folders;

namespace {

TEST(FolderRules, aChosenNameStandsForItsFolder)
{
    struct Row {
        const char* name;
        const char* folder;  // nullptr: no folder
    };
    const Row rows[] = {
        {"D:\\Kuvat\\*", "D:\\Kuvat\\"},
        {"D:\\Kuvat\\loma.jpg", "D:\\Kuvat\\"},
        {"D:\\*", "D:\\"},
        {"D:\\Kuvat\\", "D:\\Kuvat\\"},
        {"D:\\Omat\\Työpöytä\\Projekti.lnk", "D:\\Omat\\Työpöytä\\Projekti\\"},
        {"D:\\Kuvat\\PROJEKTI.LNK", "D:\\Kuvat\\"},  // only the lower-case ending is a shortcut
        {"D:\\Kuvat\\*.jpg", "D:\\Kuvat\\"},
        // Decided here: ".lnk" inside the path does not make the chosen file a folder.
        {"D:\\vanha.lnk\\kuva.jpg", "D:\\vanha.lnk\\"},
        {"*", nullptr},                  // nothing before the wildcard
        {"loma.jpg", nullptr},           // no folder in the name
        {"D:", nullptr},
        {"", nullptr},
    };
    for (const Row& r : rows) {
        const auto folder = chosenFolder(r.name);
        if (r.folder)
            EXPECT_EQ(folder, std::optional<std::string>(r.folder)) << r.name;
        else
            EXPECT_EQ(folder, std::nullopt) << r.name;
    }
}

TEST(FolderRules, samePathPutsTheSourceBelowTheDestinationsDrive)
{
    struct Row {
        const char* source;
        const char* destination;
        const char* result;
    };
    const std::string longTail(120, 'x');
    const std::string longSource = "D:\\" + longTail;
    const std::string longResult = "E:\\" + longTail;
    const Row rows[] = {
        {"D:\\Documents and Settings\\Matti\\Omat tiedostot\\Kuvat", "E:\\Varmuus", "E:\\Omat tiedostot\\Kuvat\\"},
        {"D:\\Users\\matti\\Documents\\Työ\\", "", "X:\\Documents\\Työ\\"},
        {"D:\\Projektit\\2008\\Raportit", "F:\\", "F:\\Projektit\\2008\\Raportit"},
        {"D:\\Users\\matti", "G:\\Vanhat\\2007", "G:\\Users\\matti"},
        {"D:\\Users\\matti\\", "G:\\Vanhat", "G:\\Users\\matti\\"},
        {"D:\\users\\matti\\Documents", "E:\\Kopiot", "E:\\users\\matti\\Documents"},
        {"D:\\Users2\\a\\b\\c", "E:\\Kopiot", "E:\\b\\c\\"},
        {"D:\\Data", "E:", "X:\\Data"},
        {"D:", "E:\\Kopiot", "E:\\"},
        // A profile folder keeps nine levels below the user's name, no more.
        {"D:\\Users\\matti\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k", "E:\\Kopiot", "E:\\a\\b\\c\\d\\e\\f\\g\\h\\i\\"},
        // Mended: a long path is not cut, and a network path keeps its server's name.
        {longSource.c_str(), "E:\\", longResult.c_str()},
        {"\\\\palvelin\\Users\\a\\b", "E:\\Kopiot", "E:\\palvelin\\Users\\a\\b"},
        {"\\\\\x95", "", "X:\\\x95"},  // a stray byte after the drive is no part of it
    };
    for (const Row& r : rows) {
        const auto once = samePathDestination(r.source, r.destination);
        EXPECT_EQ(once, std::optional<std::string>(r.result)) << r.source;
        EXPECT_EQ(samePathDestination(r.source, once.value_or("")), once) << "twice is once: " << r.source;
    }
    EXPECT_EQ(samePathDestination("", "E:\\Kopiot"), std::nullopt);
}

TEST(FolderRules, aTypedHostPathStandsForItsFolder)
{
    const char* home = "/home/matti";
    const std::pair<const char*, const char*> rows[] = {
        {"/home/matti/docs", "/home/matti/docs/"},
        {"/home/matti/docs/", "/home/matti/docs/"},
        {"~", "/home/matti/"},
        {"~/docs", "/home/matti/docs/"},
        {"/", "/"},
        {"//srv///kopiot/./2026/", "/srv/kopiot/2026/"},
        {"/srv/kopiot/../vanhat", "/srv/vanhat/"},
        {"/..", "/"},
        {"/home/matti/Työpöytä", "/home/matti/Työpöytä/"},
        {"~matti/docs", nullptr},  // another user's home is not looked up
        {"docs", nullptr},
        {"Z:\\home\\matti", nullptr},
        {"", nullptr},
    };
    for (const auto& [typed, host] : rows) {
        const auto folder = typedHostPath(typed, home);
        if (host)
            EXPECT_EQ(folder, std::optional<std::string>(host)) << typed;
        else
            EXPECT_EQ(folder, std::nullopt) << typed;
    }
    EXPECT_EQ(typedHostPath("~/docs", ""), std::nullopt) << "no home folder";
}

TEST(FolderRules, aFolderTypedOnWindowsIsExpandedAndTakenFromTheWorkingFolder)
{
    const auto variable = [](std::string_view name) -> std::optional<std::string> {
        if (name == "USERPROFILE")
            return "C:\\Users\\matti";
        if (name == "LOCALAPPDATA")
            return "C:\\Users\\matti\\AppData\\Local";
        return std::nullopt;
    };
    struct Row {
        const char* typed;
        const char* working;
        const char* folder;  // nothing: the text stands for itself
    };
    const Row rows[] = {
        {"%USERPROFILE%\\Documents", "", "C:\\Users\\matti\\Documents\\"},
        {"%LOCALAPPDATA%", "D:\\rel", "C:\\Users\\matti\\AppData\\Local\\"},
        {"~", "", "C:\\Users\\matti\\"},
        {"~\\docs", "D:\\rel", "C:\\Users\\matti\\docs\\"},
        {"docs", "D:\\rel", "D:\\rel\\docs\\"},
        {"..\\kopiot\\.\\2026", "D:\\rel\\sub", "D:\\rel\\kopiot\\2026\\"},
        {"\\kopiot", "D:\\rel", "D:\\kopiot\\"},
        {"a-folder-name-longer-than-any-short-text\\and-below-it", "D:\\rel",
         "D:\\rel\\a-folder-name-longer-than-any-short-text\\and-below-it\\"},
        {"%UNSET%\\x", "D:\\rel", "D:\\rel\\%UNSET%\\x\\"},  // as cmd leaves it
        {"docs", "", nullptr},
        {"E:\\kopiot", "D:\\rel", nullptr},
        {"\\\\palvelin\\jako", "D:\\rel", nullptr},
        {"100%", "", nullptr},
    };
    for (const Row& r : rows) {
        const auto folder = typedWindowsFolder(r.typed, "C:\\Users\\matti", r.working, variable);
        if (r.folder)
            EXPECT_EQ(folder, std::optional<std::string>(r.folder)) << r.typed << " in " << r.working;
        else
            EXPECT_EQ(folder, std::nullopt) << r.typed << " in " << r.working;
    }
}

}  // namespace
