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
        // A line the text is the end of, whose bytes in front of it may be read: never found in it.
        std::string_view line = {};
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
        // Texts that a longer buffer goes on behind, as a line of a block is followed by the next line: the
        // bytes behind would complete a match begun at the text's last two places.
        { "a match over the end of a step of 32 is none", std::string_view("0123456789abcdefghijklmnopqrstuaaa", 33),
            "aaa", npos },
        { "a match over the end of a step of 16 is none", std::string_view("0123456789abcdeaaa", 17), "aaa", npos },
        { "a short end part, found at its end", "4,805b)", "b)", 5, "Receiving 'x.pkt' (4,805b)" },
        { "a short end part without it, which its line has", "4,805)", "b)", npos, "Receiving 'b)' (4,805)" },
        { "a short end part whose match would begin in front of it", "b)", "'b)", npos, "Receiving 'x'b)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.text.find(c.what), c.at); // the expectation is that of the standard search
        EXPECT_EQ(findText(c.text, c.what), c.at);
        if (!c.line.empty()) {
            ASSERT_TRUE(c.line.ends_with(c.text));
            const size_t before = c.line.size() - c.text.size();
            EXPECT_EQ(findText(c.line.substr(before), c.what, before), c.at);
        }
        if (c.what.size() == 1) {
            EXPECT_EQ(findText(c.text, c.what[0]), c.at);
        }
    }
}

TEST(TextSearch, AgreesWithTheStandardSearchOnGeneratedTexts)
{
    // Texts of 0 to 80 bytes over a small alphabet, so that partial matches abound, searched for texts of
    // 1 to 6 bytes cut from the same alphabet or from the text itself: every place of a match against the
    // steps of 32 and 16 bytes and the last bytes is met.
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
        // The same text with `what` standing right behind it, as the next line of a block does: a match
        // that runs over the end is no match.
        const std::string followed = text + what;
        ASSERT_EQ(findText(std::string_view(followed).substr(0, text.size()), what), std::string_view(text).find(what))
            << "'" << text << "' followed by '" << what << "'";
        // The end part of the text from a place on, with the bytes in front of it readable: what stands in
        // front is never found, and a part of under 16 bytes is looked at at once.
        const size_t from = text.empty() ? 0 : random() % (text.size() + 1);
        const std::string_view end = std::string_view(text).substr(from);
        ASSERT_EQ(findText(end, what, from), end.find(what)) << "'" << text << "' from " << from << " '" << what << "'";
    }
}
