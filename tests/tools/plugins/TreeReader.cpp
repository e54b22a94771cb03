// A reader for the host's suites (reader id 2) that yields fixed trees of
// stored elements, chosen by the first line of the input:
//   OMBRA-TREE story    a publication header, a colour, one story with text;
//                       logs one note (OBERR::kBadValue) with a detail
//   OMBRA-TREE blanks   one story: "a", three empty paragraphs, "b"; no notes
//   OMBRA-TREE broken   nothing: logs that the input could not be read
//   OMBRA-TREE hostile  everything a dump must survive: escapes, unpaired
//                       surrogates, NaN, unnamed kinds, elements that are no
//                       views, an accessor that throws, shared children, a
//                       loop, deep nesting and a long story text whose
//                       surrogate pair straddles the writer's read size
// Anything else is not recognised.
#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/plugin.h>
#include <ombra/storedelements.h>
#include <ombra/typedstreams.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kMagic[] = "OMBRA-TREE ";

std::string Kind(OBStream* input) {
    if (!input) return std::string();
    input->Seek(0, kSeekFromStart);
    unsigned char buffer[64] = {};
    long long n = input->XferByte(buffer, sizeof buffer - 1);
    input->Seek(0, kSeekFromStart); // the next reader's probe starts there too
    std::string head(reinterpret_cast<char*>(buffer), n > 0 ? static_cast<std::size_t>(n) : 0);
    if (head.compare(0, sizeof kMagic - 1, kMagic) != 0) return std::string();
    std::string kind = head.substr(sizeof kMagic - 1);
    std::size_t end = kind.find_first_of("\r\n ");
    return end == std::string::npos ? kind : kind.substr(0, end);
}

// Little-endian bytes of UTF-16 units, as a story's text stream holds them.
OBStream* TextStream(const std::vector<unsigned short>& units, bool oddByte = false) {
    std::size_t size = units.size() * 2 + (oddByte ? 1 : 0);
    unsigned char* bytes = static_cast<unsigned char*>(OBLibAllocate(size ? size : 1));
    if (!bytes) return nullptr;
    for (std::size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<unsigned char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
    }
    if (oddByte) bytes[size - 1] = 'z';
    return OBStreamUtilRef::CreateBufferStreamRead(bytes, size, 1);
}

std::vector<unsigned short> Units(const char16_t* text) {
    std::vector<unsigned short> units;
    for (; *text; ++text)
        units.push_back(static_cast<unsigned short>(*text));
    return units;
}

// A publication whose PageHeight accessor throws.
class ThrowingPublication : public OBStoredPublication {
public:
    Value* GetPageHeight() override { throw 42; }
};

class TreeReader : public OBReader {
public:
    TreeReader() { SetReaderID(2); }
    ~TreeReader() override { Clear(); }

    short CanImportThis(OBStream* input) override { return Kind(input).empty() ? 0 : 1; }
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}

    void Init(OBStream* input, OBPreferenceList* preferences) override {
        OBReader::Init(input, preferences);
        std::string kind = Kind(input);
        if (kind == "story") BuildStory();
        if (kind == "hostile") BuildHostile();
        if (kind == "blanks") Yield(Story(u"a\u2029\u2029\u2029\u2029b"));
        if (kind == "broken")
            OBLoggerUtility::LogEntry(OBMessageId(OBERR::kUnreadableInput), "the tree ends early");
        next_ = 0;
    }

    void Reset() override {
        Clear();
        OBReader::Reset();
    }

    Element* GetFirstElement() override {
        next_ = 0;
        return GetNextElement();
    }
    Element* GetNextElement() override {
        return next_ < yielded_.size() ? yielded_[next_++] : nullptr;
    }

    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("TREE", 0x54524545u, 0x4F4D4252u);
    }

private:
    // A child that finds no room in its parent is not leaked.
    static void Adopt(Element* parent, Element* child) {
        if (parent->AddChild(child) != 1) delete child;
    }

    void Yield(Element* element) {
        if (!element) return;
        yielded_.push_back(element);
        owned_.push_back(element);
    }

    // Null when memory ran out (the sweeps of the suites make it run out).
    Element* Story(const char16_t* content) {
        auto* stories = new OBStoredStoryList;
        auto* story = new OBStoredParentStory;
        auto* text = new OBStoredChildStory;
        if (!stories || !story || !text) {
            delete stories;
            delete story;
            delete text;
            return nullptr;
        }
        text->SetStream(AN::kTextStream, TextStream(Units(content)));
        Adopt(story, text);
        Adopt(stories, story);
        return stories;
    }

    void BuildStory() {
        OBLoggerUtility::LogEntry(OBMessageId(OBERR::kBadValue), "colour \"Gold\" is too bright");
        auto* publication = new OBStoredPublication;
        auto* meta = new OBStoredMetaData;
        auto* colours = new OBStoredColorList;
        auto* gold = new OBStoredColor;
        Element* stories = Story(u"Hello, world\u2029日本語 \U0001D11E");
        if (!publication || !meta || !colours || !gold || !stories) {
            for (Element* e :
                 std::initializer_list<Element*>{publication, meta, colours, gold, stories})
                delete e;
            OBLoggerUtility::LogEntry(OBMessageId(OBERR::kOutOfMemory));
            return;
        }
        publication->SetLength(AN::kPageWidth, 595.25);
        publication->SetBool(AN::kIsFacingPage, true);
        publication->SetInteger(AN::kStartPageNum, 3);
        meta->SetUtf8(AN::kTitle, "Grüße, 日本");
        Adopt(publication, meta);
        Yield(publication);

        gold->SetUtf8(AN::kName, "Gold");
        gold->SetPercent(AN::kTint, 0.5);
        gold->SetReal(AN::kLPIRuling, 133.5);
        Adopt(colours, gold);
        Yield(colours);

        Yield(stories);
    }

    void BuildHostile() {
        // 1: strings that need escapes, a NaN, a throwing accessor.
        auto* publication = new ThrowingPublication;
        const unsigned short nasty[] = {'"',    '\\', '\n',   0x01,   0x7F,  0x2028,
                                        0xD800, 'x',  0xDC00, 0xDC00, 0xD800};
        publication->SetText(AN::kAuthorName, nasty, sizeof nasty / sizeof nasty[0]);
        publication->SetString(AN::kFoldType, COBString("caf\xE9", WSE::kRomanScript));
        publication->SetReal(AN::kMMOpticalSize, std::nan(""));
        publication->SetInteger(AN::kStartPageNum, -7);
        publication->SetLength(AN::kPageHeight, 10);
        Yield(publication);

        // 2: kinds without a name, and an Element that is no view.
        Element* unnamed = new Element(static_cast<EL::ElementTypeEnum>(228));
        unnamed->AddChild(new Element);
        Yield(unnamed);
        Yield(new Element(EL::kPublication));

        // 3: an indexed accessor.
        auto* ink = new OBStoredMultiInk;
        for (int n = 0; n < 3; ++n)
            ink->SetId(AN::kNthColorID, 5 + n, n);
        ink->SetPercent(AN::kNthColorPercentage, 0.25, 0);
        Yield(ink);

        // 4: a child in two lists: B is a copy of A and borrows its child.
        auto* a = new OBStoredGroup;
        a->AddChild(new OBStoredGroup);
        Yield(a);
        Yield(new OBMGroup(*a));

        // 5: a loop: P holds Q, Q holds P.
        auto* p = new OBStoredGroup;
        auto* q = new OBStoredGroup;
        p->AddChild(q);
        q->AddChild(p);
        loopBack_ = q;
        yielded_.push_back(p);
        owned_.push_back(p);

        // 6: nesting deeper than a dump writes.
        auto* deep = new OBStoredGroup;
        Element* at = deep;
        for (int level = 0; level < 150; ++level) {
            Element* child = new OBStoredGroup;
            at->AddChild(child);
            at = child;
        }
        Yield(deep);

        // 7: a long story text: a surrogate pair across the first 8192
        // bytes, an unpaired low surrogate and an odd byte at the end.
        std::vector<unsigned short> units(4095, 'a');
        units.push_back(0xD834);
        units.push_back(0xDD1E);
        units.insert(units.end(), 40000, 'b');
        units.push_back(0xDC00);
        auto* text = new OBStoredChildStory;
        text->SetStream(AN::kTextStream, TextStream(units, true));
        Yield(text);
    }

    void Clear() {
        // The loop is opened before anything is deleted.
        if (loopBack_) loopBack_->RemoveNthChild(0, false);
        loopBack_ = nullptr;
        for (Element* element : owned_)
            delete element;
        owned_.clear();
        yielded_.clear();
        next_ = 0;
    }

    std::vector<Element*> yielded_;
    std::vector<Element*> owned_;
    Element* loopBack_ = nullptr;
    std::size_t next_ = 0;
};

} // namespace

OB_DECLARE_READER(TreeReader)
OB_DECLARE_PLUGIN_VERSION(2, 1)
