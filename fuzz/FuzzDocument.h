// A document made from fuzz input: the bytes are a program of document
// builder calls (stories, paragraphs, runs of every kind, notes, tables,
// links, styles, pages, frames and layers), so that writers meet trees of
// every shape the document model allows, and some it does not (table cells
// outside their table, frames of stories that come later).
#ifndef OMBRA_FUZZ_FUZZDOCUMENT_H
#define OMBRA_FUZZ_FUZZDOCUMENT_H

#include "support/DocumentBuilder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ombra_fuzz {

/// Reads the fuzz input front to back; past the end every read gives 0.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    unsigned Byte() { return at_ < size_ ? data_[at_++] : 0; }
    /// A length byte, then that many bytes (as far as there are).
    std::string Text() {
        size_t n = Byte() % 48;
        std::string out;
        while (n-- && More())
            out.push_back(static_cast<char>(Byte()));
        return out;
    }
    /// As Text, two bytes a UTF-16 unit.
    std::u16string Units() {
        size_t n = Byte() % 24;
        std::u16string out;
        while (n-- && More())
            out.push_back(static_cast<char16_t>(Byte() | Byte() << 8));
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

/// Runs the program in the bytes on builder; at most maxSteps calls.
class DocumentProgram {
public:
    using Builder = ombra_test::DocumentBuilder;
    using TextBuilder = ombra_test::TextBuilder;

    DocumentProgram(Builder& builder, Bytes& in) : b_(builder), in_(in) {}

    void Run(int maxSteps = 400) {
        text_ = &b_.AddStory();
        stories_.push_back(static_cast<ombra_test::StoryBuilder*>(text_)->Id());
        for (int step = 0; step < maxSteps && in_.More(); ++step)
            Step(in_.Byte());
    }

private:
    unsigned Pick(const std::vector<unsigned>& ids) {
        unsigned i = in_.Byte();
        return ids.empty() || i == 255 ? ombra_test::kNoId : ids[i % ids.size()];
    }
    ombra_test::RunStyle Style() {
        unsigned kind = in_.Byte();
        if (kind < 128) return ombra_test::RunStyle();
        int script = static_cast<int>(in_.Byte() % 40) - 1;
        return ombra_test::RunStyle::Style(Pick(characterStyles_), script);
    }
    unsigned Page() {
        if (pages_.empty() || in_.Byte() < 32) {
            if (spreads_.empty() || in_.Byte() < 64) spreads_.push_back(b_.AddSpread());
            pages_.push_back(b_.AddPage(spreads_.back(), Pick(masterPages_)));
        }
        return Pick(pages_);
    }
    void Table() {
        int rows = 1 + static_cast<int>(in_.Byte() % 5),
            columns = 1 + static_cast<int>(in_.Byte() % 5);
        auto& table = text_->AddTable(rows, columns);
        table.HeaderRows(static_cast<int>(in_.Byte() % 3));
        for (int cells = static_cast<int>(in_.Byte() % 8); cells > 0; --cells) {
            int row = static_cast<int>(in_.Byte() % 7), column = static_cast<int>(in_.Byte() % 7);
            int endRow = static_cast<int>(in_.Byte() % 8) - 1;
            int endColumn = static_cast<int>(in_.Byte() % 8) - 1;
            if (in_.Byte() < 200) {
                table.Cell(row, column, in_.Text(), endRow, endColumn);
            } else if (depth_ < 3) { // a cell with runs, notes or tables of its own
                TextBuilder* outer = text_;
                text_ = &table.CellText(row, column, endRow, endColumn);
                ++depth_;
                for (int n = static_cast<int>(in_.Byte() % 6); n > 0 && in_.More(); --n)
                    Step(in_.Byte());
                --depth_;
                text_ = outer;
            }
        }
    }
    void Note() {
        bool endnote = in_.Byte() & 1;
        if (depth_ >= 3 || in_.Byte() < 160) {
            text_->Footnote(in_.Text(), endnote);
            return;
        }
        TextBuilder* outer = text_;
        text_ = &outer->AddFootnote(endnote);
        ++depth_;
        for (int n = static_cast<int>(in_.Byte() % 6); n > 0 && in_.More(); --n)
            Step(in_.Byte());
        --depth_;
        text_ = outer;
    }
    void Item(unsigned kind) {
        unsigned page = Page();
        OBRect box(in_.Byte(), in_.Byte(), in_.Byte() * 3.0, in_.Byte() * 3.0);
        unsigned layer = Pick(layers_);
        if (kind == 0)
            b_.AddTextFrame(page, Pick(stories_), box, layer, in_.Byte() < 200);
        else if (kind == 1)
            b_.AddRectangle(page, box, layer);
        else
            b_.AddGroup(page, layer, in_.Byte() < 200);
    }
    void Step(unsigned op);

    Builder& b_;
    Bytes& in_;
    TextBuilder* text_ = nullptr;
    int depth_ = 0;
    std::vector<unsigned> stories_, pages_, spreads_, masterPages_, layers_, characterStyles_,
        paragraphStyles_;
};

inline void DocumentProgram::Step(unsigned op) {
    switch (op % 25) {
    case 0:
        text_->Para(in_.Text(), Pick(paragraphStyles_), Style());
        break;
    case 1:
    case 2:
        text_->Text(in_.Text(), Style());
        break;
    case 3:
        text_->Units(in_.Units(), Style());
        break;
    case 4:
        text_->EndPara(Pick(paragraphStyles_));
        break;
    case 5:
        text_->ParaStyle(Pick(paragraphStyles_));
        break;
    case 6:
        text_->Ruby(in_.Text(), in_.Text(), Style());
        break;
    case 7:
        text_->Kenten(in_.Text(), static_cast<KKE::KentenKindEnum>(in_.Byte() % 8), Style());
        break;
    case 8:
        text_->Warichu(in_.Text(), Style());
        break;
    case 9:
        text_->Tcy(in_.Text(), Style());
        break;
    case 10:
        Note();
        break;
    case 11:
        if (depth_ < 3) Table();
        break;
    case 12:
        text_->Variable(in_.Text());
        break;
    case 13:
        text_->Link(in_.Text(), in_.Text(), Style());
        break;
    case 14:
        text_->PageLink(in_.Text(), Page(), Style());
        break;
    case 15:
        if (depth_ == 0) {
            text_ = &b_.AddStory();
            stories_.push_back(static_cast<ombra_test::StoryBuilder*>(text_)->Id());
        }
        break;
    case 16:
        Item(in_.Byte() % 3);
        break;
    case 17:
        paragraphStyles_.push_back(b_.AddParagraphStyle(in_.Text(), Pick(paragraphStyles_),
                                                        Pick(paragraphStyles_),
                                                        static_cast<int>(in_.Byte() % 40) - 1));
        break;
    case 18:
        characterStyles_.push_back(b_.AddCharacterStyle(in_.Text(), Pick(characterStyles_),
                                                        static_cast<int>(in_.Byte() % 40) - 1));
        break;
    case 19: {
        unsigned spread = b_.AddMasterSpread(in_.Text());
        masterPages_.push_back(
            b_.AddMasterPage(spread, in_.Text(), in_.Byte() * 4.0, in_.Byte() * 4.0));
        break;
    }
    case 20: {
        unsigned flags = in_.Byte();
        layers_.push_back(b_.AddLayer(in_.Text(), flags & 1, flags & 2, flags & 4));
        break;
    }
    case 21:
        b_.MetaData(in_.Text(), in_.Text());
        break;
    case 22:
        b_.PageSize(in_.Byte() * 8.0, in_.Byte() * 8.0)
            .StartPage(static_cast<int>(in_.Byte()) - 16);
        break;
    case 23: // a list marker of any kind and level, some out of range
        text_->Marker(in_.Text(), in_.Byte() % (PNSE::kArabicAlphabet + 2),
                      static_cast<int>(in_.Byte() % 16) - 2);
        break;
    default:
        b_.AddFont(in_.Text(), static_cast<WSE::WritingScriptEnum>(in_.Byte() % 40));
        b_.AddRgbColor(in_.Text(), in_.Byte() / 255.0, in_.Byte() / 255.0, in_.Byte() / 255.0);
        break;
    }
}

} // namespace ombra_fuzz

#endif
