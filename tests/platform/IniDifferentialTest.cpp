#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"
#include "settings/IniText.h"

using namespace sarvoli::testing;
using sarvoli::settings::iniValue;

namespace {

// What GetPrivateProfileStringA reads for a key, with the buffer the program uses.
std::string systemValue(const std::string& file, const std::string& section, const std::string& key)
{
    char buffer[2048];
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, file.c_str());
    return std::string(buffer, n);
}

// Every section and key name that a file could be asked for: what the system lists, and the
// names that a line of the file spells, found or not.
std::set<std::pair<std::string, std::string>> namesOf(const std::string& file, const std::string& text)
{
    std::set<std::string> sections;
    std::set<std::string> keys;
    char buffer[32768];
    const DWORD n = GetPrivateProfileSectionNamesA(buffer, sizeof buffer, file.c_str());
    for (const char* p = buffer; p < buffer + n && *p; p += std::strlen(p) + 1)
        sections.insert(p);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos) {
            line = line.substr(first);
            if (line[0] == '[')
                sections.insert(line.substr(1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1));
            else if (const std::size_t eq = line.find('='); eq != std::string::npos)
                keys.insert(line.substr(line[0] == ';' ? 1 : 0, eq - (line[0] == ';' ? 1 : 0)));
        }
        start = end + 1;
    }
    std::set<std::pair<std::string, std::string>> names;
    for (const std::string& section : sections) {
        const DWORD k = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer, sizeof buffer, file.c_str());
        for (const char* p = buffer; p < buffer + k && *p; p += std::strlen(p) + 1)
            names.insert({section, p});
        for (const std::string& key : keys)
            names.insert({section, key});
    }
    return names;
}

struct Difference {
    const char* text;
    const char* section;
    const char* key;
    const char* why;
};

// Where our reading differs from Wine's, and why. Windows itself reads these as we do
// (platform-facts 1.2 and 1.5); Wine's profile functions are an imitation of them.
const Difference kKnown[] = {
    {"  [ S ] after\r\n \t k \t= \t v w \t\r\n", "S", "k \t",
     "Wine trims tabs around a name it is asked for; Windows trims only spaces, as we do"},
    {"  [ S ] after\r\n \t k \t= \t v w \t\r\n", " S ", "k \t", "the same, with the section's spaces"},
    {"[S\r\nk=v\r\n", "S", "k", "Windows takes a section line without its \"]\"; Wine does not"},
    {"[S]\r\nk\r\nk=1\r\nk=2\r\nK=3\r\n", "S", "k",
     "Wine takes a line without \"=\" for an empty key that hides the next one; to Windows it is no key"},
    {"[S]\r\nk\r\nk=1\r\nk=2\r\nK=3\r\n", "S", "K", "the same, asked with another case"},
};

TEST(IniDifferential, ourReaderReadsWhatGetPrivateProfileStringReads)
{
    const std::string long2047(2047, 'a');
    const std::string long3000(3000, 'b');
    const std::vector<std::string> corpus = {
        "[S]\r\nk=v\r\n",
        "[S]\nk=v\na=b",
        "[S]\rk=v\ra=b\r",
        "  [ S ] after\r\n \t k \t= \t v w \t\r\n",
        "[S\r\nk=v\r\n",
        "[S]\r\nk=\"  v \"\r\nq='v'\r\nm=\"v'\r\nh=\"\r\n",
        "[S]\r\n;k=v\r\n  ; c=d\r\nk=w\r\n#h=1\r\ns=a;b\r\n",
        "k=v\r\n[S]\r\nk=1\r\n",
        "[S]\r\nk\r\nk=1\r\nk=2\r\nK=3\r\n",
        "[S]\r\na=1\r\n[s]\r\nk=2\r\n[T]\r\nk=3\r\n",
        "[S]\r\nk==v\r\ne=\r\nb = \r\n",
        "[S]\r\nlong=" + long2047 + "\r\nlonger=" + long3000 + "\r\n",
        "[ZumerForm]\r\nFromBox=D:\\data\\\r\nDate=7.12.2026 13:13:10\r\n[FromBox]\r\n0=D:\\data\\_7.12.2026 11:06:34\r\n",
        // A UTF-8 mark: Wine skips it as we do; Windows would lose the first section (1.12).
        "\xEF\xBB\xBF[S]\r\nk=v\r\n",
    };
    TempDir tmp;
    std::string file = tmp / "corpus.ini";
    std::replace(file.begin(), file.end(), '/', '\\');
    std::string differences;
    int compared = 0;
    for (const std::string& text : corpus) {
        writeFile(file, text);
        for (const auto& [section, key] : namesOf(file, text)) {
            const std::string ours = iniValue(text, section, key);
            const std::string theirs = systemValue(file, section, key);
            ++compared;
            if (ours == theirs)
                continue;
            bool known = false;
            for (const Difference& d : kKnown)
                known = known || (text == d.text && section == d.section && key == d.key);
            if (!known)
                differences += "[" + section + "] " + key + ": ours '" + ours + "', system '" + theirs + "' in "
                               + text.substr(0, 40) + "\n";
        }
    }
    EXPECT_GT(compared, 30);
    EXPECT_EQ(differences, "");
}

}  // namespace
