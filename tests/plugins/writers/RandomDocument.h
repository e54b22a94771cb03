// Documents of random content for the writers' tests:
// stories with every kind of run, note and table, some of them breaking
// the document-model conventions (runs and anchors out of place, styles
// that never arrive). The same seed gives the same document.
#ifndef OMBRA_TESTS_WRITERS_RANDOMDOCUMENT_H
#define OMBRA_TESTS_WRITERS_RANDOMDOCUMENT_H

#include "support/DocumentBuilder.h"

#include <ombra/storedelements.h>

#include <sstream>
#include <string>
#include <vector>

namespace writers_test {

// A document of random content, some of it breaking the conventions.
class RandomDocument {
public:
    explicit RandomDocument(unsigned seed) : state_(seed * 2654435761u + 1) {}

    void Build(ombra_test::DocumentBuilder& b) {
        using namespace ombra_test;
        std::vector<unsigned> styles, characterStyles, pages;
        for (int i = Below(4); i >= 0; --i)
            styles.push_back(
                b.AddParagraphStyle("P" + std::to_string(i), styles.empty() ? kNoId : styles[0]));
        for (int i = Below(3); i > 0; --i)
            characterStyles.push_back(
                b.AddCharacterStyle("C" + std::to_string(i), kNoId,
                                    Below(2) ? WSE::kJapaneseScript : WSE::kGreekScript));
        unsigned hidden = b.AddLayer("H", false);
        unsigned master = b.AddMasterPage(b.AddMasterSpread("M"), "A", 300 + Below(300), 0);
        for (int i = Below(4); i >= 0; --i)
            pages.push_back(b.AddPage(b.AddSpread(), Below(2) ? master : kNoId));
        for (int s = Below(5); s >= 0; --s) {
            StoryBuilder& story = b.AddStory();
            Fill(story, styles, characterStyles, 0);
            int where = Below(6);
            unsigned container = where == 0 ? master : pages[Below(pages.size())];
            for (int f = Below(3); f >= 0; --f)
                b.AddTextFrame(container, story.Id(), OBRect(Below(500), Below(700), 600, 780),
                               where == 1 ? hidden : kNoId);
        }
        if (Below(4) == 0) Break(b);
    }

private:
    int Below(std::size_t n) {
        state_ = state_ * 1103515245u + 12345u;
        return n ? static_cast<int>((state_ >> 8) % n) : 0;
    }
    ombra_test::RunStyle Style(const std::vector<unsigned>& characterStyles) {
        int pick = Below(characterStyles.size() + 3);
        if (pick == 0) return ombra_test::RunStyle::Script(WSE::kJapaneseScript);
        if (pick == 1) return ombra_test::RunStyle::Script(WSE::kCyrillicScript);
        if (pick == 2) return ombra_test::RunStyle();
        return ombra_test::RunStyle::Style(characterStyles[pick - 3]);
    }
    void Fill(ombra_test::TextBuilder& text, const std::vector<unsigned>& styles,
              const std::vector<unsigned>& characterStyles, int depth) {
        static const std::vector<std::string> kWords = [] { // separated by '|'
            std::vector<std::string> words;
            std::istringstream list("word |a\tb|x\u2028y|\f|\u00ADsoft|\u3001|\u300C\u6F22\u300D|"
                                    "\u6F22\u5B57\u304B\u306A|\u0416\u0436 |12.5 |\r\n|"
                                    "long-hyphenated-word |\xF0\x9F\x98\x80|\u00A0|\u2011|\u200B");
            for (std::string word; std::getline(list, word, '|');)
                words.push_back(word);
            return words;
        }();
        for (int p = Below(6); p >= 0; --p) {
            if (Below(3) == 0) { // a list paragraph, of any kind and level, some out of range
                static const int kKinds[] = {0, PNSE::kBullet, PNSE::kArabic, PNSE::kLowerRoman,
                                             PNSE::kUpperAlpha};
                static const char* const kMarkers[] = {"1.\t", "\u2022 ", "(iv)", "", "B)"};
                text.Marker(kMarkers[Below(5)], kKinds[Below(5)], Below(13) - 1);
            }
            for (int r = Below(8); r >= 0; --r) {
                int kind = Below(depth > 1 ? 14 : 18);
                const char* word = kWords[Below(kWords.size())].c_str();
                ombra_test::RunStyle style = Style(characterStyles);
                if (kind == 0)
                    text.Ruby(word, Below(2) ? "\u304B\u3093" : "ruby", style)
                        .Over(Below(3) ? 0 : Below(10));
                else if (kind == 1)
                    text.Kenten(word, KKE::kSesameDot, style);
                else if (kind == 2)
                    text.Warichu(word, style);
                else if (kind == 3)
                    text.Tcy("12", style);
                else if (kind == 4)
                    text.Variable(Below(2) ? "7" : "");
                else if (kind == 5)
                    text.Link(word, "http://x");
                else if (kind == 6)
                    text.Units(u"\uFFFC");
                else if (kind == 14)
                    text.Footnote(word, Below(3) == 0);
                else if (kind == 15)
                    Fill(text.AddFootnote(), styles, characterStyles, depth + 1);
                else if (kind >= 16)
                    Table(text, styles, characterStyles, depth);
                else
                    text.Text(word, style);
            }
            if (Below(5)) text.EndPara(styles[Below(styles.size())]);
        }
    }
    void Table(ombra_test::TextBuilder& text, const std::vector<unsigned>& styles,
               const std::vector<unsigned>& characterStyles, int depth) {
        int rows = 1 + Below(3), columns = 1 + Below(4);
        ombra_test::TableBuilder& table = text.AddTable(rows, columns);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                if (Below(4) == 0) continue;
                int span = Below(3) == 0 ? c + 1 : -1;
                Fill(table.CellText(r, c, -1, span < columns ? span : -1), styles, characterStyles,
                     depth + 1);
                if (span > 0) ++c;
            }
    }
    // Moves a few positions and references out of place.
    void Break(ombra_test::DocumentBuilder& b) {
        const std::vector<Element*>& elements = b.Build();
        for (EL::ElementTypeEnum kind : {EL::kCharacterRun, EL::kParagraphRun, EL::kRubiRun,
                                         EL::kFootnote, EL::kTableRun, EL::kTableCell}) {
            std::vector<Element*> all = ombra_test::FindAll(elements, kind);
            if (all.empty()) continue;
            OBAttributeStore* store = OBGetAttributeStore(all[Below(all.size())]);
            for (AN::AttrNameEnum attr :
                 {AN::kStartCharacterPosition, AN::kEndCharacterPosition, AN::kPosition,
                  AN::kTextIndex, AN::kColumnNumber, AN::kEndColumnNumber})
                if (store->Find(attr) && Below(2)) store->SetInteger(attr, Below(40) - 5);
            if (Below(3) == 0) store->SetId(AN::kParagraphStyleID, 99999);
        }
    }

    unsigned state_;
};

} // namespace writers_test

#endif
