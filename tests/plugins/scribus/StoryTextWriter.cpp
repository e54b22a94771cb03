// A writer for the Scribus reader's pump tests (writer id 301,
// storytext.obwt): writes the text of every story of the StoryList as
// UTF-8, stories separated by an empty line, paragraph ends as line ends,
// the text of table cells after their story, one cell a line. It checks
// the tree it receives as far as the text depends on it and appends
// "!problem" lines for what breaks the conventions.
#include <ombra/plugin.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <string>

namespace {

std::string Utf8(unsigned c) {
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    std::string out(1, static_cast<char>(((0xFF << (7 - extra)) & 0xFF) | (c >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k)
        out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    return out;
}

class StoryTextWriter : public OBWriter {
public:
    StoryTextWriter() { SetWriterID(301); }

    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}

    void Init(OBStream* output, OBPreferenceList*) override {
        OBWriter::Init();
        SetStream(output);
        text_.clear();
    }

    void PutElement(Element* element) override {
        if (!element) {
            if (OBStream* out = GetStream())
                out->XferByte(reinterpret_cast<unsigned char*>(&text_[0]),
                              static_cast<long long>(text_.size()));
            text_.clear();
            return;
        }
        if (element->GetElementType() != EL::kStoryList) return;
        for (unsigned long long i = 0; i < element->GetChildCount(); ++i) {
            Element* story = element->GetNthChild(i);
            if (!story || story->GetElementType() != EL::kParentStory) {
                text_ += "!story list holds another kind\n";
                continue;
            }
            Element* child = story->GetChild(EL::kChildStory);
            if (!child) {
                text_ += "!story without text\n";
                continue;
            }
            Story(child, 0);
            text_ += "\n";
        }
    }

    void GetFormats(Format*& formats, short& count) override {
        count = 1;
        formats = new Format[1];
        formats[0] = Format("StoryText", 301, 0);
    }

private:
    void Story(Element* child, int depth) {
        auto* value = dynamic_cast<ValueStream*>(OBGetAttributeValue(child, AN::kTextStream));
        OBStream* stream = nullptr;
        if (value) value->Get(stream);
        if (!stream) {
            text_ += "!no text stream\n";
            return;
        }
        stream->Seek(0, kSeekFromStart);
        unsigned char pair[2];
        unsigned pending = 0;
        while (stream->XferByte(pair, 2) == 2) {
            unsigned c = pair[0] | (pair[1] << 8);
            if (c >= 0xD800 && c <= 0xDBFF) {
                pending = c;
                continue;
            }
            if (c >= 0xDC00 && c <= 0xDFFF && pending)
                c = 0x10000 + ((pending - 0xD800) << 10) + (c - 0xDC00);
            pending = 0;
            if (c == 0x2029 || c == 0x2028 || c == 0x0C)
                text_ += "\n";
            else if (c == 0xFFFC)
                text_ += " ";
            else
                text_ += Utf8(c);
        }
        text_ += "\n";
        if (depth > 32) return;
        Element* runs = child->GetChild(EL::kTableRunList);
        for (unsigned long long r = 0; runs && r < runs->GetChildCount(); ++r) {
            Element* table =
                runs->GetNthChild(r) ? runs->GetNthChild(r)->GetChild(EL::kTable) : nullptr;
            Element* rows = table ? table->GetChild(EL::kTableRowList) : nullptr;
            for (unsigned long long w = 0; rows && w < rows->GetChildCount(); ++w) {
                Element* cells = rows->GetNthChild(w)->GetChild(EL::kTableCellList);
                for (unsigned long long c = 0; cells && c < cells->GetChildCount(); ++c)
                    if (Element* text = cells->GetNthChild(c)->GetChild(EL::kChildStory))
                        Story(text, depth + 1);
            }
        }
    }

    std::string text_;
};

} // namespace

OB_DECLARE_WRITER(StoryTextWriter)
