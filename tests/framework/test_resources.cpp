// The string resources: string tables in memory and from files, the
// registered module, loading into the fixed buffer, and display texts as
// 8-bit strings in the script that holds them.
#include <ombra/convertorlumservice.h>
#include <ombra/resources.h>
#include <ombra/utf8.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using ombra_test::U16;

namespace {

std::string DataFile(const char* name) {
    return std::string(OMBRA_TEST_DATA_DIR) + "/resources/" + name;
}

std::vector<std::pair<int, OBRES::ProblemEnum>> Problems(const OBStringTable& table) {
    std::vector<std::pair<int, OBRES::ProblemEnum>> problems;
    for (int i = 0; i < table.GetProblemCount(); ++i) {
        int line = 0;
        OBRES::ProblemEnum kind = OBRES::kNoProblem;
        EXPECT_EQ(table.GetProblem(i, line, kind), 1);
        problems.emplace_back(line, kind);
    }
    return problems;
}

TEST(StringTable, LoadsAGoodFile) {
    OBStringTable table;
    ASSERT_EQ(table.LoadFile(DataFile("good.txt").c_str()), 1);
    EXPECT_EQ(table.GetProblemCount(), 0);
    EXPECT_EQ(table.GetStringCount(), 7);
    EXPECT_STREQ(table.GetString(1000), "Out of memory");
    EXPECT_STREQ(table.GetString(1001), "\xE3\x83\xA1\xE3\x83\xA2\xE3\x83\xAA\xE3\x81\x8C\xE4\xB8"
                                        "\x8D\xE8\xB6\xB3\xE3\x81\x97\xE3\x81\xA6\xE3\x81\x84\xE3"
                                        "\x81\xBE\xE3\x81\x99");
    EXPECT_STREQ(table.GetString(1016), "Line one\nLine two\tTabbed \\ backslash");
    EXPECT_STREQ(table.GetString(2000), "literal\ttab inside");
    EXPECT_STREQ(table.GetString(2001), "");
    EXPECT_EQ(table.GetString(1002), nullptr);
    EXPECT_STREQ(table.GetString(3009), "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 "
                                        "\xED\x85\x8D\xEC\x8A\xA4\xED\x8A\xB8");
}

TEST(StringTable, ReportsBadLinesAndKeepsTheGoodOnes) {
    OBStringTable table;
    ASSERT_EQ(table.LoadFile(DataFile("bad.txt").c_str()), 1);
    using P = OBRES::ProblemEnum;
    std::vector<std::pair<int, P>> expected = {
        {2, OBRES::kMissingTab}, {3, OBRES::kBadId},        {4, OBRES::kBadId},
        {5, OBRES::kBadId},      {6, OBRES::kBadId},        {7, OBRES::kBadEscape},
        {8, OBRES::kBadEscape},  {9, OBRES::kBadUTF8},      {10, OBRES::kBadUTF8},
        {11, OBRES::kBadUTF8},   {12, OBRES::kDuplicateId},
    };
    EXPECT_EQ(Problems(table), expected);
    EXPECT_EQ(table.GetStringCount(), 2);
    EXPECT_STREQ(table.GetString(1), "again"); // the later line of a duplicate wins
    EXPECT_STREQ(table.GetString(4294967295u), "last id");
    for (unsigned id : {7u, 8u, 9u, 10u, 11u})
        EXPECT_EQ(table.GetString(id), nullptr);

    int line = -1;
    OBRES::ProblemEnum kind = OBRES::kNoProblem;
    EXPECT_EQ(table.GetProblem(11, line, kind), 0);
    EXPECT_EQ(table.GetProblem(-1, line, kind), 0);
    EXPECT_EQ(line, -1);

    // Problems are those of the last load only; an id the table had before
    // is no duplicate.
    ASSERT_EQ(table.LoadText("1\tthird\n", 8), 1);
    EXPECT_EQ(table.GetProblemCount(), 0);
    EXPECT_STREQ(table.GetString(1), "third");
}

TEST(StringTable, AnUnreadableFileChangesNothing) {
    OBStringTable table;
    table.SetString(5, "kept");
    EXPECT_EQ(table.LoadFile(DataFile("missing.txt").c_str()), 0);
    EXPECT_EQ(table.LoadFile(OMBRA_TEST_DATA_DIR), 0); // a folder
    EXPECT_EQ(table.LoadFile(nullptr), 0);
    EXPECT_EQ(table.GetStringCount(), 1);
    EXPECT_STREQ(table.GetString(5), "kept");
}

TEST(StringTable, TextInMemory) {
    OBStringTable table;
    const char text[] = "1\ta\n\n2\tb\r\n3\t\\\\n\n#4\tno\n5\tx\\";
    ASSERT_EQ(table.LoadText(text, sizeof text - 1), 1);
    EXPECT_STREQ(table.GetString(1), "a");
    EXPECT_STREQ(table.GetString(2), "b");
    EXPECT_STREQ(table.GetString(3), "\\n");
    EXPECT_EQ(table.GetString(4), nullptr);
    EXPECT_EQ(table.GetString(5), nullptr);
    EXPECT_EQ(Problems(table),
              (std::vector<std::pair<int, OBRES::ProblemEnum>>{{6, OBRES::kBadEscape}}));
    // A NUL inside a line is no text.
    const char withNul[] = "6\ta\0b\n7\tok";
    ASSERT_EQ(table.LoadText(withNul, sizeof withNul - 1), 1);
    EXPECT_EQ(table.GetString(6), nullptr);
    EXPECT_STREQ(table.GetString(7), "ok");
    EXPECT_EQ(table.LoadText(nullptr, 3), 0);
    EXPECT_EQ(table.LoadText(nullptr, 0), 1);
}

TEST(StringTable, SetAndRemove) {
    OBStringTable table;
    EXPECT_EQ(table.SetString(1, "one"), 1);
    EXPECT_EQ(table.SetString(1, "uno"), 1);
    EXPECT_EQ(table.SetString(2, "\xC3"), 0);
    EXPECT_EQ(table.SetString(3, nullptr), 0);
    EXPECT_EQ(table.GetStringCount(), 1);
    EXPECT_STREQ(table.GetString(1), "uno");
    EXPECT_EQ(table.RemoveString(1), 1);
    EXPECT_EQ(table.RemoveString(1), 0);
    ombra_test::SweepAllocationFailures([] {
        OBStringTable t;
        const char* long_ = "a text long enough to need its own block of memory";
        bool ok = true;
        for (unsigned id = 0; id < 20; ++id) {
            bool set = t.SetString(id, long_) == 1;
            EXPECT_EQ(set, t.GetString(id) != nullptr);
            if (set) {
                EXPECT_STREQ(t.GetString(id), long_);
            }
            ok = ok && set;
        }
        return ok;
    });
}

// Registers a table as the module for one test.
class RegisteredTable : public ombra_test::WithTextService {
protected:
    void SetUp() override {
        WithTextService::SetUp();
        handle_ = &table_;
        OBConnectionUtility::SetCurrentHandle(&handle_);
    }
    void TearDown() override {
        OBConnectionUtility::SetCurrentHandle(nullptr);
        COBString::OBSetSystemScript(WSE::kSystemScript);
        OBConvertorLumService::SetSystemCodePage(1252);
        WithTextService::TearDown();
    }
    std::string Load(unsigned id, int size = kOBResourceBufferSize) {
        std::vector<char> buffer(static_cast<std::size_t>(size) + 8, 'x');
        int n = OBLoadResourceString(id, buffer.data(), size);
        EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buffer.data()));
        EXPECT_EQ(buffer[static_cast<std::size_t>(size)], 'x'); // nothing beyond the buffer
        return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    OBStringTable table_;
    HINSTANCE handle_ = nullptr;
};

TEST(ResourceModule, NothingIsRegisteredAtStart) {
    EXPECT_EQ(OBConnectionUtility::GetCurrentHandle(), nullptr);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(OBLoadResourceString(1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    COBString text("unchanged");
    EXPECT_EQ(OBLoadResourceText(1, OBL::kEnglish, text), 0);
    EXPECT_STREQ(text.GrabCString(), "unchanged");
}

TEST_F(RegisteredTable, LoadsLikeThePlatformStringLoader) {
    table_.SetString(1000, "Out of memory");
    EXPECT_EQ(Load(1000), "Out of memory");
    EXPECT_EQ(Load(1001), "");
    EXPECT_EQ(Load(1000, 4), "Out");
    EXPECT_EQ(Load(1000, 1), "");
    EXPECT_EQ(OBLoadResourceString(1000, nullptr, 10), 0);
    char untouched = 'q';
    EXPECT_EQ(OBLoadResourceString(1000, &untouched, 0), 0);
    EXPECT_EQ(untouched, 'q');
}

// Cut at 1023 bytes, leaving out whole a character that would straddle the end.
TEST_F(RegisteredTable, LongTextsAreCutAtACharacterBoundary) {
    const struct {
        std::size_t as;
        const char* tail;
        const char* kept;
    } rows[] = {{2000, "", ""},
                {1022,
                 "\xC3\xA9"
                 "b",
                 ""},
                {1021,
                 "\xC3\xA9"
                 "b",
                 "\xC3\xA9"},
                {1020, "\xF0\x9F\x98\x80", ""},
                {1019,
                 "\xF0\x9F\x98\x80"
                 "z",
                 "\xF0\x9F\x98\x80"}};
    for (const auto& row : rows) {
        table_.SetString(1, (std::string(row.as, 'a') + row.tail).c_str());
        EXPECT_EQ(Load(1), std::string(std::min<std::size_t>(row.as, 1023), 'a') + row.kept);
    }
}

TEST_F(RegisteredTable, TheHandleIsReadThroughThePointer) {
    table_.SetString(7, "first table");
    OBStringTable other;
    other.SetString(7, "second table");
    EXPECT_EQ(Load(7), "first table");
    handle_ = &other;
    EXPECT_EQ(Load(7), "second table");
    handle_ = nullptr;
    EXPECT_EQ(Load(7), "");
    COBString text("unchanged");
    EXPECT_EQ(OBLoadResourceText(7, OBL::kEnglish, text), 0);
    EXPECT_STREQ(text.GrabCString(), "unchanged");
}

TEST_F(RegisteredTable, DisplayTextsAreFoundByBasePlusLocale) {
    table_.SetString(2000, "Units");
    table_.SetString(2002, "Einheiten");
    COBString text("old");
    ASSERT_EQ(OBLoadResourceText(2000, OBL::kEnglish, text), 1);
    EXPECT_STREQ(text.GrabCString(), "Units");
    ASSERT_EQ(OBLoadResourceText(2000, OBL::kGerman, text), 1);
    EXPECT_STREQ(text.GrabCString(), "Einheiten");
    ASSERT_EQ(OBLoadResourceText(2000, OBL::kFrench, text), 1);
    EXPECT_EQ(text.Length(), 0);
}

// The script a display text arrives in: the system script when the system
// code page holds it, else the locale's script, else the first script that
// holds it, else the system script with what it can hold.
TEST_F(RegisteredTable, EachTextArrivesInAScriptThatHoldsIt) {
    const auto kSys = WSE::kSystemScript, kJa = WSE::kJapaneseScript;
    struct Row {
        const char* utf8;
        OBL::LocaleIDEnum locale;
        unsigned systemCodePage;
        WSE::WritingScriptEnum systemScript, script;
        const char* bytes;
    } rows[] = {
        {"Caf\xC3\xA9 \xE2\x82\xAC", OBL::kEnglish, 1252, kSys, kSys, "Caf\xE9 \x80"},
        {"\xE3\x83\xA1\xE3\x83\xA2", OBL::kJapanese, 1252, kSys, kJa, "\x83\x81\x83\x82"},
        {"\xE3\x83\xA1\xE3\x83\xA2", OBL::kEnglish, 1252, kSys, kJa, "\x83\x81\x83\x82"},
        {"\xE3\x83\xA1\xE3\x83\xA2", OBL::kJapanese, 932, kSys, kSys, "\x83\x81\x83\x82"},
        {"\xE4\xB8\xAD\xE6\x96\x87", OBL::kSimplifiedChinese, 1252, kSys, WSE::kSimpChineseScript,
         "\xD6\xD0\xCE\xC4"},
        {"\xE4\xB8\xAD\xE6\x96\x87", OBL::kJapanese, 1252, kSys, kJa, "\x92\x86\x95\xB6"},
        {"\xED\x95\x9C", OBL::kKorean, 1252, kSys, WSE::kKoreanScript, "\xD0\x65"},
        {"\xCE\xB1\xCE\xB2", OBL::kEnglish, 1252, WSE::kGreekScript, WSE::kGreekScript, "\xE1\xE2"},
        {"A\xE6\x97\xA5\xD8\xB3"
         "B",
         OBL::kJapanese, 1252, kSys, kSys, "A??B"},
        // A character beyond the basic plane: one '?', or its bytes where a page holds it.
        {"a\xF0\x9F\x98\x80"
         "b",
         OBL::kEnglish, 1252, kSys, kSys, "a?b"},
        {"a\xF0\x9F\x98\x80"
         "b",
         OBL::kEnglish, 65001, kSys, kSys,
         "a\xF0\x9F\x98\x80"
         "b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utf8);
        ASSERT_EQ(OBConvertorLumService::SetSystemCodePage(row.systemCodePage), 1);
        COBString::OBSetSystemScript(row.systemScript);
        table_.SetString(16 * 10 + row.locale, row.utf8);
        COBString text;
        ASSERT_EQ(OBLoadResourceText(16 * 10, row.locale, text), 1);
        EXPECT_EQ(text.GetWSEScript(), row.script);
        EXPECT_EQ(std::string(text.GrabCString()), row.bytes);
        // The text reads back as it was written, where a script holds it whole.
        WOBString written;
        OBStringUtils::ConvertUTF8ToUTF16String(row.utf8, std::strlen(row.utf8), written);
        if (std::string(row.bytes).find('?') == std::string::npos) {
            EXPECT_EQ(U16(text.GrabAsWString()), U16(written.GrabWString()));
        }
    }
}

TEST_F(RegisteredTable, TheLongestTextConvertsWhole) {
    // 341 three-byte characters fill 1023 bytes: all of them arrive.
    std::string utf8;
    for (int i = 0; i < 400; ++i)
        utf8 += "\xE3\x81\x82"; // あ
    table_.SetString(80, utf8.c_str());
    COBString text;
    ASSERT_EQ(OBLoadResourceText(80, OBL::kEnglish, text), 1);
    EXPECT_EQ(text.Length(), 2 * 341);
    EXPECT_EQ(U16(text.GrabAsWString()), std::u16string(341, u'\u3042'));
}

} // namespace
