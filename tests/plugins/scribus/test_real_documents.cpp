// Real documents written by Scribus 1.5 (tests/data/scribus/real, made by the
// scripts in its make/ folder), each checked against what Scribus itself
// reported for it (NAME.expected beside it): the text of every story and
// table cell exactly, with the paragraph style of each paragraph and the
// character style at each word Scribus was asked about; pages, master pages,
// layers, colours, style names and the items on each page.
//
// Scribus spells a few things in its story text (getAllText) differently from
// the model (ScribusModel.h, docs/document-model.md section 5). The expected
// text is mapped, character by character, before it is compared:
//   U+000D  paragraph end                       -> U+2029
//   U+001E  page number variable                -> U+FFFC with a kPageNumber marker
//   U+0017  page count variable                 -> U+FFFC with a kPageCount marker
//   U+001A  column break                        -> U+000C with a kColumnBreak marker
//   U+001B  frame break                         -> U+000C with a kFrameBreak marker
//   U+2029  an ordinary character to Scribus (it neither breaks nor shows) -> dropped
//   other controls below U+0020 but the tab     -> U+0020 (Scribus shows a blank)
// Everything else (tab, U+2028 line break, U+00A0, U+2011, U+00AD, U+200B,
// U+2060, letters of every script) is the same on both sides.
#include "ScribusTestSupport.h"

#include <ombra/messages.h>
#include <ombra/typedstreams.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace scribus;
using namespace scribus_test;

std::string RealDir() {
    return std::string(OMBRA_SCRIBUS_DATA_DIR) + "/real";
}

// ---------------------------------------------------------------------------
// The expected file: tab-separated records, texts escaped with \\ and \uXXXX.

struct ExpectedText {
    std::vector<std::string> frames; // a story: its frames in chain order
    std::string table;               // a cell: its table and place
    int row = -1, column = -1, rowSpan = 1, columnSpan = 1;
    std::u16string text;                      // as Scribus reports it
    std::vector<std::string> paragraphStyles; // of the paragraphs that hold a character
    std::vector<std::pair<std::size_t, std::string>>
        characterStyles; // (position in text, style) where it changes
    bool stylesRecorded = false;
};

struct Expected {
    std::string scribusVersion;
    int pages = -1;
    std::map<int, std::string> masterOfPage;
    std::vector<std::string> masters;
    std::vector<std::tuple<std::string, bool, bool>> layers; // name, visible, printable
    std::map<std::string, bool> colors;                      // name -> spot
    std::vector<std::string> paragraphStyles, characterStyles;
    std::map<int, std::vector<std::pair<std::string, int>>> items; // page -> (name, type)
    struct Frame {
        std::string page; // "3" or "master:NAME"
        double x, y, width, height;
    };
    std::map<std::string, Frame> frames; // text frames, paths with text, tables
    std::vector<std::string> frameOrder; // their names, bottom first on each page
    std::vector<ExpectedText> texts;
};

bool ReadExpected(const std::string& path, Expected& e, std::string& error) {
    std::istringstream in(ReadFile(path));
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f; // empty fields count, the last one too
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(Utf8(Unescaped(line.substr(start, tab - start))));
        f.push_back(Utf8(Unescaped(line.substr(start))));
        const std::string& kind = f[0];
        // A field the record leaves out is empty (and no number).
        auto field = [&f](std::size_t k) { return k < f.size() ? f[k] : std::string(); };
        auto integer = [&](std::size_t k) { return std::stoi(field(k)); };
        auto real = [&](std::size_t k) { return std::stod(field(k)); };
        if (kind == "scribus")
            e.scribusVersion = field(1);
        else if (kind == "pages")
            e.pages = integer(1);
        else if (kind == "page")
            e.masterOfPage[integer(1)] = field(2);
        else if (kind == "master")
            e.masters.push_back(field(1));
        else if (kind == "layer")
            e.layers.emplace_back(field(1), field(2) == "1", field(3) == "1");
        else if (kind == "color")
            e.colors[field(1)] = field(2) == "1";
        else if (kind == "paragraph-style")
            e.paragraphStyles.push_back(field(1));
        else if (kind == "character-style")
            e.characterStyles.push_back(field(1));
        else if (kind == "item")
            e.items[integer(1)].emplace_back(field(2), integer(3));
        else if (kind == "frame") {
            e.frames[f[1]] = {field(2), real(3), real(4), real(5), real(6)};
            e.frameOrder.push_back(f[1]);
        } else if (kind == "story" || kind == "cell") {
            e.texts.emplace_back();
            ExpectedText& t = e.texts.back();
            if (kind == "story") t.frames.assign(f.begin() + 1, f.end());
            if (kind == "cell")
                t = {{},         field(1), integer(2), integer(3), integer(4),
                     integer(5), {},       {},         {},         false};
        } else if (e.texts.empty() || (kind == "text" && !e.texts.back().text.empty())) {
            error = path + ":" + std::to_string(number) + ": " + kind + " without a story or cell";
        } else if (kind == "text") {
            e.texts.back().text = FromUtf8(field(1));
        } else if (kind == "paragraph-styles" || kind == "character-styles") {
            ExpectedText& t = e.texts.back();
            t.stylesRecorded = true;
            if (kind == "paragraph-styles") t.paragraphStyles.assign(f.begin() + 1, f.end());
            for (std::size_t k = 1; kind == "character-styles" && k < f.size(); k += 2)
                t.characterStyles.emplace_back(std::stoul(f[k]), field(k + 1));
        } else {
            error = path + ":" + std::to_string(number) + ": unknown record " + kind;
        }
        if (!error.empty()) return false;
    }
    if (e.pages < 0) error = path + ": no page count";
    return error.empty();
}

// ---------------------------------------------------------------------------
// Scribus's story text in the model's terms (see the table at the top).

struct Mapped {
    std::u16string text;
    std::vector<std::pair<std::uint32_t, Marker::Kind>> markers;
    std::vector<std::size_t> position; // model position of each Scribus position
};

Mapped ToModel(const std::u16string& scribus) {
    // Scribus's spelling: the model's character and marker (none: -1).
    static const std::map<char16_t, std::pair<char16_t, int>> kSpelled = {
        {0x0D, {kParagraphSeparator, -1}},
        {0x1E, {kObjectReplacement, int(Marker::Kind::kPageNumber)}},
        {0x17, {kObjectReplacement, int(Marker::Kind::kPageCount)}},
        {0x1A, {u'\f', int(Marker::Kind::kColumnBreak)}},
        {0x1B, {u'\f', int(Marker::Kind::kFrameBreak)}}};
    Mapped m;
    for (char16_t c : scribus) {
        m.position.push_back(m.text.size());
        auto spelled = kSpelled.find(c);
        if (spelled != kSpelled.end() && spelled->second.second >= 0)
            m.markers.emplace_back(static_cast<std::uint32_t>(m.text.size()),
                                   Marker::Kind(spelled->second.second));
        if (spelled != kSpelled.end())
            m.text += spelled->second.first;
        else if (c != 0x2029)
            m.text += (c < 0x20 && c != kTab) ? u' ' : c;
    }
    return m;
}

// ---------------------------------------------------------------------------

/// An item's page as the expected file names it: "3" or "master:NAME".
std::string PageOf(const Document& doc, const Item& it) {
    if (it.page < 0) return "none";
    return it.onMasterPage ? "master:" + doc.masterPages[it.page].name
                           : std::to_string(it.page + 1);
}

/// The item Scribus calls `name`. Items whose file stores no name get one
/// from Scribus when it opens the file; those are found by page and place,
/// and unnamed items stacked exactly on each other in the order they lie.
int FindItem(const Document& doc, const Expected& e, const std::string& name) {
    int found = ItemNamed(doc, name);
    if (found != -1) return found;
    auto frame = e.frames.find(name);
    if (frame == e.frames.end()) return -1;
    const Expected::Frame& f = frame->second;
    auto near = [](double a, double b) { return std::abs(a - b) < 0.05; };
    auto samePlace = [&](const Expected::Frame& g) {
        return g.page == f.page && near(g.x, f.x) && near(g.y, f.y) && near(g.width, f.width) &&
               near(g.height, f.height);
    };
    std::size_t rank = 0; // how many frames Scribus lists at the same place before this one
    for (const std::string& other : e.frameOrder) {
        if (other == name) break;
        if (samePlace(e.frames.at(other)) && ItemNamed(doc, other) == -1) ++rank;
    }
    bool master = f.page.compare(0, 7, "master:") == 0;
    for (std::size_t i = 0; i < doc.items.size(); ++i) {
        const Item& it = doc.items[i];
        if (!it.name.empty() || it.onMasterPage != master || it.page < 0) continue;
        if (samePlace({PageOf(doc, it), it.x, it.y, it.width, it.height}) && rank-- == 0)
            return static_cast<int>(i);
    }
    return -1;
}

/// The story of an expected text, checked to run through the frames or lie
/// in the cell Scribus says; null (a failure) when there is none. Item -1
/// is none, -2 several of that name.
const Story* StoryFor(const Document& doc, const Expected& e, const ExpectedText& t) {
    int item = FindItem(doc, e, t.table.empty() ? t.frames[0] : t.table), story = -1;
    if (item >= 0 && !t.table.empty() && doc.items[item].table) {
        for (const Cell& c : doc.items[item].table->cells)
            if (c.row == t.row && c.column == t.column) {
                EXPECT_EQ(std::make_pair(t.rowSpan, t.columnSpan),
                          std::make_pair(c.rowSpan, c.columnSpan))
                    << "the cell's spans";
                story = c.story;
                break;
            }
    } else if (item >= 0 && t.table.empty() && doc.items[item].story >= 0) {
        story = doc.items[item].story;
        const Story& s = doc.stories[story];
        std::vector<std::string> frames;
        for (std::size_t k = 0; k < s.frames.size(); ++k) {
            frames.push_back(doc.items[s.frames[k]].name);
            if (frames[k].empty() && k < t.frames.size() &&
                FindItem(doc, e, t.frames[k]) == s.frames[k])
                frames[k] = t.frames[k];
        }
        EXPECT_EQ(t.frames, frames) << "the frames the story runs through";
    }
    if (story < 0) ADD_FAILURE() << "no story for it (item " << item << ")";
    return story < 0 ? nullptr : &doc.stories[story];
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

std::vector<std::string> RealDocuments() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(RealDir(), ec))
        if (entry.path().extension() == ".expected") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class RealDocument : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const std::string path = RealDir() + "/" + GetParam();
        std::string bytes = ReadFile(path);
        ASSERT_FALSE(bytes.empty()) << path;
        std::string error;
        ASSERT_TRUE(ReadExpected(path + ".expected", expected_, error)) << error;
        result_ = ParseBytes(bytes);
    }

    Expected expected_;
    ParseResult result_;
};

/// The paragraph style of each paragraph and the character style at each
/// place Scribus was asked are those of the story's runs.
void ExpectStyles(const ExpectedText& t, const Mapped& m, const Document& doc, const Story& story) {
    std::vector<std::string> paragraphs;
    for (const ParagraphRun& p : story.paragraphs)
        if (p.length > 0) paragraphs.push_back(doc.Format(p).style);
    EXPECT_EQ(t.paragraphStyles, paragraphs) << "paragraph styles";
    for (const auto& [at, style] : t.characterStyles) {
        std::size_t pos = at < m.position.size() ? m.position[at] : story.text.size();
        const CharacterRun* run = nullptr;
        for (const CharacterRun& r : story.runs)
            if (r.start <= pos && pos < r.start + r.length) run = &r;
        if (!run) {
            ADD_FAILURE() << "no character run at " << pos;
            continue;
        }
        EXPECT_EQ(style, doc.Format(*run).style)
            << "character style at " << pos << " (\"" << Utf8(story.text.substr(pos, 20)) << "\")";
    }
}

TEST_P(RealDocument, ReadsCleanlyAsTheNewGeneration) {
    EXPECT_EQ(ParseResult::Status::kOk, result_.status);
    for (const Warning& w : result_.warnings)
        ADD_FAILURE() << "warning: " << w.message;
    EXPECT_EQ(Generation::k15, result_.document.generation);
    EXPECT_EQ(expected_.scribusVersion, result_.document.version);
    for (std::size_t i = 0; i < result_.document.stories.size(); ++i)
        EXPECT_EQ("", CheckCoverage(result_.document.stories[i])) << "story " << i;
}

TEST_P(RealDocument, StoriesAndCellsHoldTheTextScribusReports) {
    const Document& doc = result_.document;
    std::set<const Story*> matched;
    for (const ExpectedText& t : expected_.texts) {
        std::string where = t.table.empty()
                                ? "story \"" + t.frames[0] + "\""
                                : "cell " + std::to_string(t.row) + "," + std::to_string(t.column) +
                                      " of \"" + t.table + "\"";
        SCOPED_TRACE(where);
        const Story* story = StoryFor(doc, expected_, t);
        if (!story) continue;
        matched.insert(story);
        Mapped m = ToModel(t.text);
        EXPECT_EQ(Utf8(m.text), Utf8(story->text));
        std::vector<std::pair<std::uint32_t, Marker::Kind>> markers;
        for (const Marker& k : story->markers)
            markers.emplace_back(k.position, k.kind);
        EXPECT_EQ(m.markers, markers);
        if (t.stylesRecorded) ExpectStyles(t, m, doc, *story);
    }
    // Every story the parser found is one Scribus reported (empty ones aside:
    // Scribus keeps no text for frames it never filled).
    for (std::size_t i = 0; i < doc.stories.size(); ++i)
        if (!matched.count(&doc.stories[i]) && !doc.stories[i].text.empty())
            ADD_FAILURE() << "story " << i << " (\"" << Utf8(doc.stories[i].text).substr(0, 60)
                          << "\") is not among those Scribus reports";
}

TEST_P(RealDocument, PagesLayersColoursAndStylesAreThoseScribusReports) {
    const Document& doc = result_.document;
    ASSERT_EQ(static_cast<std::size_t>(expected_.pages), doc.pages.size());
    for (const auto& pm : expected_.masterOfPage)
        EXPECT_EQ(pm.second, doc.pages[pm.first - 1].masterName) << "page " << pm.first;
    std::vector<std::string> masters;
    for (const Page& p : doc.masterPages)
        masters.push_back(p.name);
    EXPECT_EQ(Sorted(expected_.masters), Sorted(masters));

    std::vector<Layer> layers = doc.layers;
    std::stable_sort(layers.begin(), layers.end(),
                     [](const Layer& a, const Layer& b) { return a.level < b.level; });
    std::vector<std::tuple<std::string, bool, bool>> got;
    for (const Layer& l : layers)
        got.emplace_back(l.name, l.visible, l.printable);
    EXPECT_EQ(expected_.layers, got);

    std::map<std::string, bool> colors;
    for (const Color& c : doc.colors)
        colors[c.name] = c.spot;
    EXPECT_EQ(expected_.colors, colors);

    std::vector<std::string> paragraphStyles, characterStyles;
    for (const auto& s : doc.paragraphStyles)
        paragraphStyles.push_back(s.name);
    for (const auto& s : doc.characterStyles)
        characterStyles.push_back(s.name);
    EXPECT_EQ(Sorted(expected_.paragraphStyles), Sorted(paragraphStyles));
    EXPECT_EQ(Sorted(expected_.characterStyles), Sorted(characterStyles));
}

TEST_P(RealDocument, EachPageListsTheItemsScribusShowsThere) {
    const Document& doc = result_.document;
    for (std::size_t p = 0; p < doc.pages.size(); ++p) {
        std::vector<std::pair<std::string, int>> items;
        for (int i : doc.pages[p].items)
            items.emplace_back(doc.items[i].name, doc.items[i].rawType);
        auto found = expected_.items.find(static_cast<int>(p) + 1);
        std::vector<std::pair<std::string, int>> scribus;
        if (found != expected_.items.end()) scribus = found->second;
        // Names Scribus made up for unnamed items are not in the file.
        for (std::size_t k = 0; k < items.size() && k < scribus.size(); ++k)
            if (items[k].first.empty()) items[k].first = scribus[k].first;
        EXPECT_EQ(scribus, items) << "page " << p + 1;
    }
}

TEST_P(RealDocument, TextFramesAndTablesLieWhereScribusPutsThem) {
    const Document& doc = result_.document;
    for (const auto& [name, f] : expected_.frames) {
        int i = FindItem(doc, expected_, name);
        if (i < 0) {
            ADD_FAILURE() << "no item for " << name;
            continue;
        }
        const Item& it = doc.items[i];
        EXPECT_EQ(f.page, PageOf(doc, it)) << name;
        EXPECT_NEAR(f.x, it.x, 0.01) << name;
        EXPECT_NEAR(f.y, it.y, 0.01) << name;
        EXPECT_NEAR(f.width, it.width, 0.01) << name;
        EXPECT_NEAR(f.height, it.height, 0.01) << name;
    }
}

// Through the text convertor (writer 259) as a host runs it, with hidden and
// master-page stories included and UTF-8 output, every text Scribus reports
// is there, word for word and in order, and the writer finds nothing to
// complain about but references the document itself breaks.
TEST_P(RealDocument, TheTextConvertorGivesTheWordsScribusShows) {
    Pump pump;
    std::vector<std::u16string> texts;
    for (const ExpectedText& t : expected_.texts)
        texts.push_back(ToModel(t.text).text);
    std::vector<unsigned> log;
    EXPECT_EQ(CheckConversion(pump, ReadFile(RealDir() + "/" + GetParam()), texts, &log), "");
    for (unsigned id : log)
        for (int code : {OBERR::kMalformedInput, OBERR::kBadValue, OBERR::kLimitExceeded})
            EXPECT_NE(id, OBMessageId(code)) << "code " << code;
}

INSTANTIATE_TEST_SUITE_P(Scribus15, RealDocument, ::testing::ValuesIn(RealDocuments()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (char c : info.param)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(RealDocuments, TheCorpusIsThere) {
    // A missing folder would otherwise leave the suite above empty.
    EXPECT_GE(RealDocuments().size(), 13u);
}

} // namespace
