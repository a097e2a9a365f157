#include <gtest/gtest.h>

#include "text/MessageText.h"

using sarvoli::text::withFinalStop;

namespace {

TEST(MessageText, addsAFullStopAfterCharactersThatSortAfterIt)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Ei kelvollinen asematunnus", "Ei kelvollinen asematunnus."},
        {"Unable to write to Z:\\settings.ini", "Unable to write to Z:\\settings.ini."},
        {"value 7", "value 7."},
        {"ends in colon:", "ends in colon:."},
        {"already.", "already."},
        {"question?", "question?."},
        {"bang!", "bang!"},
        {"quoted'", "quoted'"},
        {"dash-", "dash-"},
        {"", ""},
        {"Käytössä ä", "Käytössä ä."},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(withFinalStop(in), out) << in;
}

}  // namespace
