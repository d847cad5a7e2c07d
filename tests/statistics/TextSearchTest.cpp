#include "statistics/TextSearch.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <string_view>

using namespace velmar;

TEST(TextSearch, FindsWhatTheStandardSearchFinds)
{
    struct Case {
        const char* name;
        std::string_view text;
        std::string_view what;
        size_t at; // where std::string_view::find finds it
    };
    constexpr size_t npos = std::string_view::npos;
    const Case cases[] = {
        { "empty text and empty search", "", "", 0 },
        { "an empty search is found at the start", "abc", "", 0 },
        { "longer than the text", "ab", "abc", npos },
        { "the whole text", "abc", "abc", 0 },
        { "a first byte that leads nowhere, then the text", "Receiving '1.pkt' (4b)", "' (", 16 },
        { "the first of two", "x' (1' (2", "' (", 1 },
        { "at the very end of a long text", "0123456789abcdefghijklmnopqrstuvwxyz b)", "b)", 37 },
        { "two bytes across the 16th place", "0123456789abcdeb)", "b)", 15 },
        { "found by its first two bytes only, then not", "0123456789abcdefAddresX Address", "Address", 24 },
        { "a single byte beyond 17", "0123456789abcdefghij,", ",", 20 },
        { "a single byte nowhere", "0123456789abcdefghij", ",", npos },
        { "bytes above 127", "\xC0\xC1 \xE0\xE1\xE2", "\xE1\xE2", 4 },
        { "a zero byte", std::string_view("ab\0cd", 5), std::string_view("\0c", 2), 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.text.find(c.what), c.at); // the expectation is that of the standard search
        EXPECT_EQ(findText(c.text, c.what), c.at);
        if (c.what.size() == 1) {
            EXPECT_EQ(findText(c.text, c.what[0]), c.at);
        }
    }
}

TEST(TextSearch, AgreesWithTheStandardSearchOnGeneratedTexts)
{
    // Texts of 0 to 80 bytes over a small alphabet, so that partial matches abound, searched for texts of
    // 1 to 6 bytes cut from the same alphabet or from the text itself: every place of a match against the
    // 16-byte steps and the last bytes is met.
    std::mt19937 random(20261209);
    const std::string alphabet = "ab' (,";
    const auto pick = [&](size_t size) {
        std::string s;
        for (size_t i = 0; i < size; ++i)
            s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string text = pick(random() % 81);
        std::string what;
        if (!text.empty() && random() % 2 == 0) {
            const size_t from = random() % text.size();
            what = text.substr(from, 1 + random() % 6);
        } else {
            what = pick(1 + random() % 6);
        }
        ASSERT_EQ(findText(text, what), std::string_view(text).find(what)) << "'" << text << "' '" << what << "'";
    }
}
