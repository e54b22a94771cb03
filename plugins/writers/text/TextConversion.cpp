#include "TextConversion.h"

#include <ombra/memory.h>
#include <ombra/scripts.h>
#include <ombra/storedelements.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <algorithm>
#include <cmath>
#include <new>

namespace {

// Nesting beyond this (groups in groups, tables in cells, notes in notes,
// style chains) is not followed: a tree that deep is broken or hostile.
constexpr int kMaxDepth = 32;
// A story text larger than this is cut (1 GiB of UTF-16).
constexpr long long kMaxTextBytes = 1LL << 30;

constexpr unsigned short kParagraphEnd = 0x2029;
constexpr unsigned short kLineBreak = 0x2028;
constexpr unsigned short kFrameBreak = 0x000C;
constexpr unsigned short kObject = 0xFFFC;

// ---- reading values whatever class the element hands out

bool GetInt(Element* e, AN::AttrNameEnum attr, long long& out) {
    Value* v = OBGetAttributeValue(e, attr);
    if (auto* i = dynamic_cast<ValueInteger32*>(v)) {
        int n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    if (auto* i = dynamic_cast<ValueInteger64*>(v)) {
        long long n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    if (auto* i = dynamic_cast<ValueInteger16*>(v)) {
        short n = 0;
        i->Get(n);
        out = n;
        return true;
    }
    return false;
}

bool GetId(Element* e, AN::AttrNameEnum attr, unsigned& out) {
    auto* id = dynamic_cast<ValueOBID*>(OBGetAttributeValue(e, attr));
    if (id) id->Get(out);
    return id != nullptr;
}

bool GetFlag(Value* v, bool& out) {
    auto* flag = dynamic_cast<ValueBool16*>(v);
    if (!flag) return false;
    short n = 1;
    flag->Get(n);
    out = n != 0;
    return true;
}

bool GetLength(Element* e, AN::AttrNameEnum attr, UNITS::LINEAR::UnitEnum unit, double& out) {
    auto* length = dynamic_cast<ValueLength*>(OBGetAttributeValue(e, attr));
    if (!length) return false;
    OBReal value = std::nan("");
    length->Get(unit, value);
    if (!std::isfinite(value.Value())) return false;
    out = value.Value();
    return true;
}

// A string value as UTF-16; script is the 8-bit string's script, or -1 for
// UTF-16 text, whose script the caller takes from its context.
bool GetText(Value* v, WOBString& out, int& script) {
    auto* s = dynamic_cast<ValueString*>(v);
    const IOBString* text = s ? s->GetPtr() : nullptr;
    if (!text) return false;
    if (text->IsUnicode()) {
        out.SetXString(text->GrabWString(), text->Length());
        script = -1;
    } else {
        auto* narrow = static_cast<const COBString*>(text);
        out.Clear();
        out.AppendTranslate(narrow->GrabCString(), narrow->Length(), narrow->GetWSEScript());
        script = narrow->GetWSEScript();
    }
    return true;
}

Element* Child(Element* e, unsigned long long n) {
    return e ? e->GetNthChild(n) : nullptr;
}
unsigned long long Children(Element* e) {
    return e ? e->GetChildCount() : 0;
}

template <class T> void SortById(OBBaseTypeCollection<T>& items) {
    if (items.Count() > 1)
        std::stable_sort(&items[0], &items[0] + items.Count(),
                         [](const T& a, const T& b) { return a.id < b.id; });
}

template <class T> T* FindById(OBBaseTypeCollection<T>& items, bool& sorted, unsigned id) {
    if (!sorted) {
        SortById(items);
        sorted = true;
    }
    if (items.IsEmpty()) return nullptr;
    T* first = &items[0];
    T* last = first + items.Count();
    T* found = std::lower_bound(first, last, id, [](const T& a, unsigned b) { return a.id < b; });
    return found != last && found->id == id ? found : nullptr;
}

bool IsIdeographic(unsigned short u) {
    unsigned short property = OBCharacterClass::GetCharacterProperty(u);
    return OBCC::WidthOf(property) == OBCC::kFullWidth || (u >= 0xD840 && u <= 0xD8BF);
}

// A number for the geometry report: at most three decimals, no trailing zeros.
void FormatNumber(double value, char* out, int size) {
    if (!std::isfinite(value) || std::fabs(value) > 1e12) {
        OBSnprintf(out, static_cast<std::size_t>(size), "?");
        return;
    }
    long long scaled = std::llround(std::fabs(value) * 1000.0);
    long long whole = scaled / 1000;
    int fraction = static_cast<int>(scaled % 1000);
    const char* sign = value < 0 && scaled != 0 ? "-" : "";
    if (fraction == 0) {
        OBSnprintf(out, static_cast<std::size_t>(size), "%s%lld", sign, whole);
        return;
    }
    char digits[4];
    OBSnprintf(digits, sizeof digits, "%03d", fraction);
    int n = 3;
    while (n > 0 && digits[n - 1] == '0')
        --n;
    digits[n] = 0;
    OBSnprintf(out, static_cast<std::size_t>(size), "%s%lld.%s", sign, whole, digits);
}

const char* UnitLabel(UNITS::LINEAR::UnitEnum unit) {
    switch (unit) {
    case UNITS::LINEAR::kInches:
        return "in";
    case UNITS::LINEAR::kTwips:
        return "twips";
    default:
        return "pt";
    }
}

// A story without its text stream is left out whole, separator included.
bool HasText(Element* childStory) {
    auto* value = dynamic_cast<ValueStream*>(OBGetAttributeValue(childStory, AN::kTextStream));
    OBStream* stream = nullptr;
    if (value) value->Get(stream);
    return stream != nullptr;
}

// The UTF-16 text of a story, owned.
struct StoryText {
    unsigned short* units = nullptr;
    long long length = 0;
    StoryText() = default;
    StoryText(const StoryText&) = delete;
    StoryText& operator=(const StoryText&) = delete;
    ~StoryText() { OBLibFree(units); }
};

} // namespace

// What the walk over one text needs: its units, each unit's script, and its
// runs and anchors in text order.
struct OBTextConversion::Body {
    struct Span {
        long long start;
        long long end;
        Element* element;
    };
    enum AnchorKind : int { kFootnote = 0, kTable = 1, kVariable = 2 };
    struct Anchor {
        long long position;
        int kind;
        Element* element;
    };

    StoryText text;
    int* scripts = nullptr;
    OBBaseTypeCollection<Span> paragraphs; // by start
    OBBaseTypeCollection<Anchor> anchors;  // by position
    OBBaseTypeCollection<Span> rubies;     // by end
    Mode mode = kStoryText;
    bool pendingTag = false;
    long long paragraphStart = 0;
    bool blockInParagraph = false;

    Body() = default;
    Body(const Body&) = delete;
    Body& operator=(const Body&) = delete;
    ~Body() { OBLibFree(scripts); }

    WSE::WritingScriptEnum ScriptAt(long long i) const {
        if (!scripts || text.length == 0) return WSE::kSystemScript;
        if (i >= text.length) i = text.length - 1;
        return static_cast<WSE::WritingScriptEnum>(scripts[i < 0 ? 0 : i]);
    }
    // The paragraph run that holds position i, or null. Runs that overlap
    // (which they should not) are looked through a few back.
    Element* ParagraphAt(long long i) {
        int low = 0, high = paragraphs.Count(); // the first run starting after i
        while (low < high) {
            int middle = low + (high - low) / 2;
            if (paragraphs[middle].start <= i)
                low = middle + 1;
            else
                high = middle;
        }
        for (int k = low - 1; k >= 0 && k >= low - 4; --k)
            if (paragraphs[k].end > i) return paragraphs[k].element;
        return nullptr;
    }
};

OBTextConversion::OBTextConversion(OBStream* output, const OBTextWriterOptions& options)
    : options_(options), encoder_(output, options, problems_), lines_(encoder_, options.wrapColumn),
      publication_(nullptr), defaultParagraphStyle_(nullptr), paragraphStylesSorted_(true),
      characterStylesSorted_(true), masterPagesSorted_(true), layersSorted_(true),
      placesSorted_(true), pages_(0), noteNumber_(0), storiesWritten_(0), storiesLeftOut_(0),
      previousLastPage_(-1), reported_(false), afterBlock_(false), begun_(false), finished_(false) {
}

OBTextConversion::~OBTextConversion() = default;

void OBTextConversion::PutElement(Element* element) {
    if (finished_) return;
    if (!begun_) {
        begun_ = true;
        encoder_.Begin();
    }
    if (!element) {
        Finish();
        return;
    }
    try {
        Dispatch(element);
    } catch (const std::bad_alloc&) {
        problems_.Report(OBERR::kOutOfMemory);
    } catch (...) {
        // An element class of another plug-in threw from an accessor.
        problems_.Report(OBERR::kMalformedInput);
    }
}

void OBTextConversion::Finish() {
    if (finished_) return;
    if (!begun_) {
        begun_ = true;
        encoder_.Begin();
    }
    try {
        if (!endnotes_.IsEmpty()) {
            if (!lines_.IsLineEmpty()) lines_.EndLine();
            if (storiesWritten_ > 0 || reported_) lines_.EndLine();
            WriteNotes(endnotes_, 0);
            WriteNotes(footnotes_, 0); // notes that the endnotes hold
        }
        if (!lines_.IsLineEmpty()) lines_.EndLine();
    } catch (const std::bad_alloc&) {
        problems_.Report(OBERR::kOutOfMemory);
    } catch (...) {
        problems_.Report(OBERR::kMalformedInput);
    }
    encoder_.Flush();
    finished_ = true;
}

void OBTextConversion::Dispatch(Element* element) {
    switch (element->GetElementType()) {
    case EL::kPublication: {
        publication_ = element;
        if (!options_.reportGeometry) break;
        ReportPageSize("Page size", element, nullptr);
        double top = 0, bottom = 0, left = 0, right = 0;
        UNITS::LINEAR::UnitEnum unit = options_.geometryUnit;
        bool any = GetLength(element, AN::kTopMargin, unit, top);
        any = GetLength(element, AN::kBottomMargin, unit, bottom) || any;
        any = GetLength(element, AN::kLeftMargin, unit, left) || any;
        any = GetLength(element, AN::kRightMargin, unit, right) || any;
        if (any) {
            char t[32], b[32], l[32], r[32], line[192];
            FormatNumber(top, t, sizeof t);
            FormatNumber(bottom, b, sizeof b);
            FormatNumber(left, l, sizeof l);
            FormatNumber(right, r, sizeof r);
            OBSnprintf(line, sizeof line, "Margins: top %s, bottom %s, left %s, right %s %s", t, b,
                       l, r, UnitLabel(unit));
            ReportLine(line);
        }
        break;
    }
    case EL::kLayerList:
        TakeLayers(element);
        break;
    case EL::kParagraphStyleList:
        TakeStyles(element, paragraphStyles_, EL::kParagraphStyle, true);
        paragraphStylesSorted_ = false;
        break;
    case EL::kCharacterStyleList:
        TakeStyles(element, characterStyles_, EL::kCharacterStyle, false);
        characterStylesSorted_ = false;
        break;
    case EL::kMasterSpreadList:
        TakeMasters(element);
        break;
    case EL::kRegularSpreadList:
        TakePages(element);
        break;
    case EL::kStoryList:
        WriteStories(element);
        break;
    case EL::kParentStory:
        WriteStory(element);
        break;
    case EL::kChildStory:
        // A story's text without its parent: written like a story.
        if (!HasText(element)) {
            problems_.Report(OBERR::kMalformedInput);
            break;
        }
        if (!lines_.IsLineEmpty()) lines_.EndLine();
        if (storiesWritten_ > 0 || reported_) lines_.EndLine();
        WriteStoryText(element);
        break;
    default:
        break; // colours, fonts, hyperlinks and the rest have no text
    }
}

// ---- what arrives before the stories --------------------------------------------

void OBTextConversion::TakeLayers(Element* list) {
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* layer = Child(list, n);
        if (!layer || layer->GetElementType() != EL::kLayer) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        bool visible = true;
        GetFlag(OBGetAttributeValue(layer, AN::kVisible), visible);
        if (layers_.Add({layer->GetId(), visible}))
            layersSorted_ = false;
        else
            problems_.Report(OBERR::kOutOfMemory);
    }
}

void OBTextConversion::TakeStyles(Element* list, OBBaseTypeCollection<IdElement>& styles,
                                  EL::ElementTypeEnum kind, bool paragraphStyles) {
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* style = Child(list, n);
        if (!style || style->GetElementType() != kind) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        if (paragraphStyles && !defaultParagraphStyle_) defaultParagraphStyle_ = style;
        if (!styles.Add({style->GetId(), style})) problems_.Report(OBERR::kOutOfMemory);
    }
}

void OBTextConversion::TakeMasters(Element* list) {
    for (unsigned long long s = 0; s < Children(list); ++s) {
        Element* spread = Child(list, s);
        if (!spread || spread->GetElementType() != EL::kMasterSpread) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        for (unsigned long long p = 0; p < Children(spread); ++p) {
            Element* page = Child(spread, p);
            if (!page || page->GetElementType() != EL::kMasterPage) continue;
            if (masterPages_.Add({page->GetId(), page})) masterPagesSorted_ = false;
            TakeItems(page->GetChild(EL::kDrawingObjectList), -2, true, 0);
        }
    }
}

void OBTextConversion::TakePages(Element* list) {
    for (unsigned long long s = 0; s < Children(list); ++s) {
        Element* spread = Child(list, s);
        if (!spread || spread->GetElementType() != EL::kRegularSpread) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        for (unsigned long long p = 0; p < Children(spread); ++p) {
            Element* page = Child(spread, p);
            if (!page) continue;
            if (page->GetElementType() == EL::kPasteboardDrawingObjectList) {
                TakeItems(page, -1, false, 0);
                continue;
            }
            if (page->GetElementType() != EL::kRegularPage) continue;
            int index = pages_++;
            if (options_.reportGeometry) {
                long long first = 1;
                if (publication_) GetInt(publication_, AN::kStartPageNum, first);
                char label[48];
                OBSnprintf(label, sizeof label, "Page %lld", first + index);
                unsigned masterId = 0;
                Element* master = nullptr;
                if (GetId(page, AN::kBasedOn, masterId)) {
                    master = FindStyle(masterPages_, masterPagesSorted_, masterId);
                    if (!master) problems_.Report(OBERR::kBrokenReference);
                }
                ReportPageSize(label, master, publication_);
            }
            TakeItems(page->GetChild(EL::kDrawingObjectList), index, false, 0);
        }
    }
}

// Notes where the stories of the page items stand: page -2 for master pages,
// -1 for the pasteboard.
void OBTextConversion::TakeItems(Element* list, int page, bool hidden, int depth) {
    if (depth > kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* item = Child(list, n);
        if (!item) continue;
        bool itemHidden = hidden || ItemHidden(item);
        unsigned story = 0;
        if (GetId(item, AN::kStory, story)) {
            StoryPlace* place = FindPlace(story, true);
            if (place) {
                if (itemHidden) {
                    ++place->hidden;
                } else {
                    ++place->shown;
                    if (page >= 0) {
                        if (place->firstPage < 0 || page < place->firstPage)
                            place->firstPage = page;
                        if (page > place->lastPage) place->lastPage = page;
                    }
                }
            }
        }
        // Group members and anything else an item holds.
        if (item->GetChildCount() > 0) TakeItems(item, page, itemHidden, depth + 1);
    }
}

bool OBTextConversion::ItemHidden(Element* item) {
    bool visible = true;
    if (GetFlag(OBGetAttributeValue(item, AN::kVisible), visible) && !visible) return true;
    // Text frames have no Layer accessor in their view; readers that build
    // them from the stored classes keep the layer in the element's store.
    Value* layer = OBGetAttributeValue(item, AN::kLayer);
    if (!layer)
        if (OBAttributeStore* store = OBGetAttributeStore(item)) layer = store->Find(AN::kLayer);
    auto* id = dynamic_cast<ValueOBID*>(layer);
    if (!id) return false;
    unsigned layerId = 0;
    id->Get(layerId);
    Layer* found = FindById(layers_, layersSorted_, layerId);
    if (!found) {
        if (!layers_.IsEmpty()) problems_.Report(OBERR::kBrokenReference);
        return false;
    }
    return !found->visible;
}

OBTextConversion::StoryPlace* OBTextConversion::FindPlace(unsigned story, bool create) {
    StoryPlace* place = FindById(places_, placesSorted_, story);
    if (place || !create) return place;
    if (!places_.Add({story, -1, -1, 0, 0})) {
        problems_.Report(OBERR::kOutOfMemory);
        return nullptr;
    }
    placesSorted_ = false;
    return FindById(places_, placesSorted_, story);
}

Element* OBTextConversion::FindStyle(OBBaseTypeCollection<IdElement>& styles, bool& sorted,
                                     unsigned id) {
    IdElement* found = FindById(styles, sorted, id);
    return found ? found->element : nullptr;
}

void OBTextConversion::ReportLine(const char* text) {
    if (!lines_.IsLineEmpty()) lines_.EndLine();
    encoder_.WriteAscii(text);
    encoder_.LineEnd();
    reported_ = true;
}

void OBTextConversion::ReportPageSize(const char* label, Element* source, Element* fallback) {
    UNITS::LINEAR::UnitEnum unit = options_.geometryUnit;
    double width = 0, height = 0;
    bool known = GetLength(source, AN::kPageWidth, unit, width) &&
                 GetLength(source, AN::kPageHeight, unit, height);
    if (!known)
        known = GetLength(fallback, AN::kPageWidth, unit, width) &&
                GetLength(fallback, AN::kPageHeight, unit, height);
    char line[160];
    if (known) {
        char w[32], h[32];
        FormatNumber(width, w, sizeof w);
        FormatNumber(height, h, sizeof h);
        OBSnprintf(line, sizeof line, "%s: %s x %s %s", label, w, h, UnitLabel(unit));
    } else {
        OBSnprintf(line, sizeof line, "%s: unknown", label);
    }
    ReportLine(line);
}

// ---- stories -------------------------------------------------------------------

void OBTextConversion::WriteStories(Element* list) {
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* story = Child(list, n);
        if (!story || story->GetElementType() != EL::kParentStory) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        WriteStory(story);
    }
}

void OBTextConversion::WriteStory(Element* story) {
    Element* child = story->GetChild(EL::kChildStory);
    if (!HasText(child)) {
        problems_.Report(OBERR::kMalformedInput);
        return;
    }
    StoryPlace* place = FindPlace(story->GetId(), false);
    if (place && place->shown == 0 && !options_.includeHidden) {
        ++storiesLeftOut_;
        return;
    }
    int firstPage = place ? place->firstPage : -1;
    int lastPage = place ? place->lastPage : -1;

    if (!lines_.IsLineEmpty()) lines_.EndLine();
    if (storiesWritten_ > 0 || reported_) {
        bool newPage = storiesWritten_ > 0 && firstPage >= 0 && previousLastPage_ >= 0 &&
                       firstPage > previousLastPage_;
        if (options_.markBreaks && newPage)
            WriteBreak();
        else
            lines_.EndLine();
    }
    WriteStoryText(child);
    if (lastPage >= 0) previousLastPage_ = lastPage;
}

void OBTextConversion::WriteStoryText(Element* childStory) {
    afterBlock_ = false;
    WriteBody(childStory, kStoryText, 0);
    if (!lines_.IsLineEmpty()) lines_.EndLine();
    if (!footnotes_.IsEmpty()) {
        lines_.EndLine();
        WriteNotes(footnotes_, 0);
    }
    ++storiesWritten_;
}

void OBTextConversion::WriteNotes(OBBaseTypeCollection<Note>& notes, int depth) {
    // Notes may hold notes of their own, which join the list as it is written.
    for (int i = 0; i < notes.Count(); ++i) {
        Note note = notes[i];
        char marker[24];
        OBSnprintf(marker, sizeof marker, "[%d] ", note.number);
        WriteAscii(marker, WSE::kSystemScript);
        Element* text = note.note->GetChild(EL::kChildStory);
        if (text)
            WriteBody(text, kNoteText, depth + 1);
        else
            problems_.Report(OBERR::kMalformedInput);
        if (!lines_.IsLineEmpty()) lines_.EndLine();
    }
    notes.Clear();
}

void OBTextConversion::WriteBreak() {
    if (!lines_.IsLineEmpty()) lines_.EndLine();
    WriteLiteral(options_.breakText.GrabWString(), options_.breakText.Length(), WSE::kSystemScript);
    lines_.EndLine();
    afterBlock_ = false;
}

void OBTextConversion::WriteLiteral(const unsigned short* units, long long n,
                                    WSE::WritingScriptEnum script, unsigned flags) {
    for (long long i = 0; units && i < n; ++i) {
        if (units[i] == 0x0A)
            lines_.EndLine();
        else
            lines_.Put(units[i], script, flags);
    }
    if (n > 0) afterBlock_ = false;
}

void OBTextConversion::WriteAscii(const char* text, WSE::WritingScriptEnum script, unsigned flags) {
    for (; text && *text; ++text) {
        lines_.Put(static_cast<unsigned char>(*text), script, flags);
        flags &= ~static_cast<unsigned>(OBTextLineWrapper::kGlue);
    }
    afterBlock_ = false;
}

// ---- one text: a story's, a note's or a table cell's ---------------------------

void OBTextConversion::WriteBody(Element* childStory, Mode mode, int depth) {
    if (depth > kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    Body body;
    body.mode = mode;
    body.pendingTag = options_.markStyles && (mode == kStoryText || mode == kNoteText);

    // The text: UTF-16LE in the ChildStory's stream.
    auto* streamValue =
        dynamic_cast<ValueStream*>(OBGetAttributeValue(childStory, AN::kTextStream));
    OBStream* stream = nullptr;
    if (streamValue) streamValue->Get(stream);
    if (!stream) {
        problems_.Report(OBERR::kMalformedInput);
        return;
    }
    long long bytes = stream->Seek(0, kSeekFromEnd);
    stream->Seek(0, kSeekFromStart);
    if (bytes > kMaxTextBytes) {
        problems_.Report(OBERR::kLimitExceeded);
        bytes = kMaxTextBytes;
    }
    if (bytes % 2 != 0) {
        problems_.Report(OBERR::kMalformedInput);
        --bytes;
    }
    if (bytes > 0) {
        auto* raw = static_cast<unsigned char*>(OBLibAllocate(static_cast<std::size_t>(bytes)));
        body.scripts =
            static_cast<int*>(OBLibAllocate(static_cast<std::size_t>(bytes / 2) * sizeof(int)));
        body.text.units =
            static_cast<unsigned short*>(OBLibAllocate(static_cast<std::size_t>(bytes)));
        if (!raw || !body.scripts || !body.text.units) {
            OBLibFree(raw);
            problems_.Report(OBERR::kOutOfMemory);
            return;
        }
        long long got = stream->XferByte(raw, bytes);
        stream->Seek(0, kSeekFromStart);
        if (got < bytes) {
            problems_.Report(OBERR::kTruncatedInput);
            bytes = got > 0 ? got - got % 2 : 0;
        }
        body.text.length = bytes / 2;
        for (long long i = 0; i < body.text.length; ++i) {
            body.text.units[i] = static_cast<unsigned short>(raw[2 * i] | (raw[2 * i + 1] << 8));
            body.scripts[i] = WSE::kSystemScript;
        }
        OBLibFree(raw);
    }
    const long long length = body.text.length;

    // Runs and anchors, each list in text order.
    auto range = [&](Element* run, long long& start, long long& end) {
        if (!GetInt(run, AN::kStartCharacterPosition, start) ||
            !GetInt(run, AN::kEndCharacterPosition, end)) {
            problems_.Report(OBERR::kMalformedInput);
            return false;
        }
        if (start < 0 || end > length || start > end) {
            problems_.Report(OBERR::kBadValue);
            start = std::max(0LL, std::min(start, length));
            end = std::max(start, std::min(end, length));
        }
        return start < end;
    };
    auto anchor = [&](Element* item, AN::AttrNameEnum attr, int kind) {
        long long position = 0;
        if (!GetInt(item, attr, position)) {
            problems_.Report(OBERR::kMalformedInput);
            position = length;
        } else if (position < 0 || position >= length) {
            problems_.Report(OBERR::kBadValue);
            position = length; // kept, at the end of the text
        } else if (body.text.units[position] != kObject) {
            problems_.Report(OBERR::kBadValue); // written before the character it names
        }
        if (!body.anchors.Add({position, kind, item})) problems_.Report(OBERR::kOutOfMemory);
    };

    OBBaseTypeCollection<Body::Span> characterRuns;
    for (unsigned long long n = 0; n < Children(childStory); ++n) {
        Element* list = Child(childStory, n);
        if (!list) continue;
        EL::ElementTypeEnum listKind = list->GetElementType();
        EL::ElementTypeEnum itemKind;
        switch (listKind) {
        case EL::kParagraphRunList:
            itemKind = EL::kParagraphRun;
            break;
        case EL::kCharacterRunList:
            itemKind = EL::kCharacterRun;
            break;
        case EL::kRubiRunList:
            itemKind = EL::kRubiRun;
            break;
        case EL::kFootnoteList:
            itemKind = EL::kFootnote;
            break;
        case EL::kTableRunList:
            itemKind = EL::kTableRun;
            break;
        case EL::kVariableRunList:
            itemKind = EL::kVariableRun;
            break;
        default:
            continue; // kenten, warichu, tate-chu-yoko: their text is the story's
        }
        for (unsigned long long k = 0; k < Children(list); ++k) {
            Element* item = Child(list, k);
            if (!item || item->GetElementType() != itemKind) {
                problems_.Report(OBERR::kMalformedInput);
                continue;
            }
            long long start = 0, end = 0;
            switch (itemKind) {
            case EL::kParagraphRun:
                if (range(item, start, end)) body.paragraphs.Add({start, end, item});
                break;
            case EL::kCharacterRun:
                if (range(item, start, end)) characterRuns.Add({start, end, item});
                break;
            case EL::kRubiRun:
                if (range(item, start, end)) body.rubies.Add({start, end, item});
                break;
            case EL::kFootnote:
                anchor(item, AN::kPosition, Body::kFootnote);
                break;
            case EL::kVariableRun:
                anchor(item, AN::kPos, Body::kVariable);
                break;
            case EL::kTableRun: {
                Element* table = item->GetChild(EL::kTable);
                if (!table) {
                    problems_.Report(OBERR::kMalformedInput);
                    break;
                }
                long long position = 0;
                if (!GetInt(item, AN::kTextIndex, position) || position < 0 || position >= length) {
                    problems_.Report(OBERR::kBadValue);
                    position = length;
                } else if (body.text.units[position] != kObject) {
                    problems_.Report(OBERR::kBadValue);
                }
                if (!body.anchors.Add({position, Body::kTable, table}))
                    problems_.Report(OBERR::kOutOfMemory);
                break;
            }
            default:
                break;
            }
        }
    }
    auto byStart = [](const Body::Span& a, const Body::Span& b) { return a.start < b.start; };
    if (body.paragraphs.Count() > 1)
        std::stable_sort(&body.paragraphs[0], &body.paragraphs[0] + body.paragraphs.Count(),
                         byStart);
    if (body.rubies.Count() > 1)
        std::stable_sort(&body.rubies[0], &body.rubies[0] + body.rubies.Count(),
                         [](const Body::Span& a, const Body::Span& b) { return a.end < b.end; });
    if (body.anchors.Count() > 1)
        std::stable_sort(
            &body.anchors[0], &body.anchors[0] + body.anchors.Count(),
            [](const Body::Anchor& a, const Body::Anchor& b) { return a.position < b.position; });
    // Each character run gives its range its writing script (its own
    // formatting, its style's, its paragraph's, the default style's).
    for (int k = 0; k < characterRuns.Count(); ++k) {
        const Body::Span& run = characterRuns[k];
        Value* value = CharacterValue(AN::kWritingScript, run.element, body.ParagraphAt(run.start));
        auto* script = dynamic_cast<ValueWritingScriptEnum*>(value);
        if (!script) continue;
        WSE::WritingScriptEnum member = WSE::kSystemScript;
        script->Get(member);
        for (long long i = run.start; i < run.end; ++i)
            body.scripts[i] = member;
    }

    // The walk.
    const bool inCell = mode == kCellText || mode == kInlineCellText;
    int nextAnchor = 0;
    int nextRuby = 0;
    for (long long i = 0; i <= length; ++i) {
        while (nextAnchor < body.anchors.Count() && body.anchors[nextAnchor].position <= i) {
            const Body::Anchor& a = body.anchors[nextAnchor++];
            if (a.kind == Body::kTable) {
                if (inCell) {
                    lines_.Put(' ', body.ScriptAt(i));
                    WriteTable(a.element, kInlineCellText, depth + 1);
                } else {
                    // A paragraph that holds only a table gets no tag.
                    WriteTable(a.element, mode, depth + 1);
                    body.blockInParagraph = true;
                }
            } else if (a.kind == Body::kFootnote) {
                FlushPendingTag(body);
                bool endnote = false;
                GetFlag(OBGetAttributeValue(a.element, AN::kIsEndNote), endnote);
                Note note = {++noteNumber_, a.element};
                if (!(endnote ? endnotes_ : footnotes_).Add(note))
                    problems_.Report(OBERR::kOutOfMemory);
                char marker[24];
                OBSnprintf(marker, sizeof marker, "[%d]", note.number);
                WriteAscii(marker, body.ScriptAt(i), OBTextLineWrapper::kGlue);
            } else {
                FlushPendingTag(body);
                WOBString shown;
                int script = -1;
                if (GetText(OBGetAttributeValue(a.element, AN::kStaticText), shown, script))
                    WriteLiteral(shown.GrabWString(), shown.Length(),
                                 script >= 0 ? static_cast<WSE::WritingScriptEnum>(script)
                                             : body.ScriptAt(i));
            }
        }
        if (i == length) break;

        unsigned short c = body.text.units[i];
        WSE::WritingScriptEnum script = body.ScriptAt(i);
        switch (c) {
        case kObject:
            break; // an anchor took it, or an inline graphic that has no text
        case kParagraphEnd:
            if (inCell) {
                if (i + 1 < length) lines_.Put(' ', script);
                break;
            }
            if (!body.blockInParagraph) FlushPendingTag(body);
            if (!(lines_.IsLineEmpty() && afterBlock_)) lines_.EndLine();
            afterBlock_ = false;
            body.blockInParagraph = false;
            body.pendingTag = options_.markStyles && i + 1 < length;
            body.paragraphStart = i + 1;
            break;
        case 0x000D:
        case 0x000A:
        case kLineBreak:
            if (c == 0x000D && i + 1 < length && body.text.units[i + 1] == 0x000A) break;
            if (inCell) {
                lines_.Put(' ', script);
                break;
            }
            FlushPendingTag(body);
            lines_.EndLine();
            break;
        case '\t':
            if (inCell) {
                lines_.Put(' ', script);
                break;
            }
            FlushPendingTag(body);
            lines_.Put(c, script);
            afterBlock_ = false;
            break;
        case kFrameBreak:
            if (inCell) {
                lines_.Put(' ', script);
                break;
            }
            if (options_.markBreaks)
                WriteBreak();
            else if (!lines_.IsLineEmpty())
                lines_.EndLine();
            break;
        default:
            FlushPendingTag(body);
            lines_.Put(c, script);
            afterBlock_ = false;
            break;
        }

        // Ruby readings follow the last character of their base.
        while (nextRuby < body.rubies.Count() && body.rubies[nextRuby].end <= i + 1) {
            const Body::Span& ruby = body.rubies[nextRuby++];
            if (!options_.rubyReadings) continue;
            WOBString reading;
            int readingScript = -1;
            if (!GetText(OBGetAttributeValue(ruby.element, AN::kRubiText), reading,
                         readingScript) ||
                reading.IsNull())
                continue;
            WSE::WritingScriptEnum s = readingScript >= 0
                                           ? static_cast<WSE::WritingScriptEnum>(readingScript)
                                           : body.ScriptAt(ruby.start);
            bool wide = IsIdeographic(body.text.units[ruby.start]);
            lines_.Put(wide ? 0xFF08 : '(', s, OBTextLineWrapper::kGlue);
            WriteLiteral(reading.GrabWString(), reading.Length(), s, OBTextLineWrapper::kGlue);
            lines_.Put(wide ? 0xFF09 : ')', s, OBTextLineWrapper::kGlue);
        }
    }
    // The tag of a last paragraph that holds nothing but its tag.
    if (body.pendingTag && !body.blockInParagraph && body.paragraphStart < length)
        FlushPendingTag(body);
}

void OBTextConversion::FlushPendingTag(Body& body) {
    if (!body.pendingTag) return;
    body.pendingTag = false;
    WriteStyleTag(body, body.paragraphStart);
}

void OBTextConversion::WriteStyleTag(Body& body, long long position) {
    Element* run = body.ParagraphAt(position);
    unsigned id = 0;
    Element* style = nullptr;
    if (run && GetId(run, AN::kParagraphStyleID, id)) {
        style = FindStyle(paragraphStyles_, paragraphStylesSorted_, id);
        if (!style) problems_.Report(OBERR::kBrokenReference);
    }
    if (!style) style = defaultParagraphStyle_;
    WOBString name;
    int nameScript = -1;
    if (!style || !GetText(OBGetAttributeValue(style, AN::kName), name, nameScript)) return;
    WSE::WritingScriptEnum script =
        nameScript >= 0 ? static_cast<WSE::WritingScriptEnum>(nameScript) : body.ScriptAt(position);
    const unsigned short* t = options_.styleTemplate.GrabWString();
    long long n = options_.styleTemplate.Length();
    for (long long i = 0; i < n; ++i) {
        if (t[i] == '%' && i + 1 < n && t[i + 1] == 's') {
            WriteLiteral(name.GrabWString(), name.Length(), script);
            ++i;
        } else if (t[i] == '%' && i + 1 < n && t[i + 1] == '%') {
            WriteLiteral(t + i, 1, script);
            ++i;
        } else {
            WriteLiteral(t + i, 1, script);
        }
    }
}

// ---- tables ----------------------------------------------------------------

void OBTextConversion::WriteTable(Element* table, Mode mode, int depth) {
    if (depth > kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    const bool inlineCells = mode == kInlineCellText;
    Element* rows = table->GetChild(EL::kTableRowList);
    if (!rows) {
        problems_.Report(OBERR::kMalformedInput);
        return;
    }
    // The table's width: its declared columns, widened by the cells it holds.
    long long columns = 0;
    if (GetInt(table, AN::kNumberOfColumns, columns) && (columns < 0 || columns > 4096)) {
        problems_.Report(OBERR::kBadValue);
        columns = 0;
    }
    struct Cell {
        long long column;
        long long lastColumn;
        Element* cell;
    };
    OBBaseTypeCollection<Cell> cells;
    if (!inlineCells && !lines_.IsLineEmpty()) lines_.EndLine();

    bool firstCell = true;
    for (unsigned long long r = 0; r < Children(rows); ++r) {
        Element* row = Child(rows, r);
        if (!row || row->GetElementType() != EL::kTableRow) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        Element* list = row->GetChild(EL::kTableCellList);
        cells.Clear();
        long long next = 0;
        for (unsigned long long k = 0; k < Children(list); ++k) {
            Element* cell = Child(list, k);
            if (!cell || cell->GetElementType() != EL::kTableCell) {
                problems_.Report(OBERR::kMalformedInput);
                continue;
            }
            long long column = next, last = -1;
            if (GetInt(cell, AN::kColumnNumber, column) && (column < 0 || column > 4096)) {
                problems_.Report(OBERR::kBadValue);
                column = next;
            }
            if (!GetInt(cell, AN::kEndColumnNumber, last) || last < column || last > 4096)
                last = column;
            if (!cells.Add({column, last, cell})) problems_.Report(OBERR::kOutOfMemory);
            next = last + 1;
            if (last + 1 > columns) columns = last + 1;
        }
        if (cells.Count() > 1)
            std::stable_sort(&cells[0], &cells[0] + cells.Count(),
                             [](const Cell& a, const Cell& b) { return a.column < b.column; });

        long long column = 0;
        for (int k = 0; k < cells.Count(); ++k) {
            const Cell& cell = cells[k];
            if (cell.column < column) {
                problems_.Report(OBERR::kBadValue); // two cells claim one place
                continue;
            }
            if (inlineCells) {
                if (!firstCell) lines_.Put(' ', WSE::kSystemScript);
            } else {
                for (; column < cell.column; ++column)
                    if (column > 0) lines_.Put('\t', WSE::kSystemScript);
                if (cell.column > 0) lines_.Put('\t', WSE::kSystemScript);
            }
            firstCell = false;
            Element* text = cell.cell->GetChild(EL::kChildStory);
            if (text) WriteBody(text, inlineCells ? kInlineCellText : kCellText, depth + 1);
            for (column = cell.column + 1; column <= cell.lastColumn; ++column)
                if (!inlineCells) lines_.Put('\t', WSE::kSystemScript);
        }
        if (!inlineCells) {
            for (; column < columns; ++column)
                if (column > 0) lines_.Put('\t', WSE::kSystemScript);
            lines_.EndLine();
        }
    }
    if (!inlineCells) afterBlock_ = true;
}

// ---- formatting through styles ---------------------------------------------------

Value* OBTextConversion::StyleChainValue(Element* style, bool paragraphStyle,
                                         AN::AttrNameEnum attr) {
    for (int depth = 0; style && depth <= kMaxDepth; ++depth) {
        if (Value* v = OBGetAttributeValue(style->GetChild(EL::kCharacterAttributes), attr))
            return v;
        unsigned basedOn = 0;
        if (!GetId(style, AN::kBasedOn, basedOn)) return nullptr;
        Element* next = paragraphStyle
                            ? FindStyle(paragraphStyles_, paragraphStylesSorted_, basedOn)
                            : FindStyle(characterStyles_, characterStylesSorted_, basedOn);
        if (!next) problems_.Report(OBERR::kBrokenReference);
        if (next == style) return nullptr;
        style = next;
    }
    if (style) problems_.Report(OBERR::kBrokenReference); // a loop of BasedOn
    return nullptr;
}

Value* OBTextConversion::CharacterValue(AN::AttrNameEnum attr, Element* characterRun,
                                        Element* paragraphRun) {
    if (Value* v = OBGetAttributeValue(characterRun->GetChild(EL::kCharacterAttributes), attr))
        return v;
    unsigned id = 0;
    if (GetId(characterRun, AN::kCharacterStyleID, id)) {
        Element* style = FindStyle(characterStyles_, characterStylesSorted_, id);
        if (!style) problems_.Report(OBERR::kBrokenReference);
        if (Value* v = StyleChainValue(style, false, attr)) return v;
    }
    if (paragraphRun)
        if (Value* v = OBGetAttributeValue(paragraphRun->GetChild(EL::kCharacterAttributes), attr))
            return v;
    Element* paragraphStyle = nullptr;
    if ((paragraphRun && GetId(paragraphRun, AN::kParagraphStyleID, id)) ||
        GetId(characterRun, AN::kParagraphStyleID, id)) {
        paragraphStyle = FindStyle(paragraphStyles_, paragraphStylesSorted_, id);
        if (!paragraphStyle) problems_.Report(OBERR::kBrokenReference);
    }
    if (Value* v = StyleChainValue(paragraphStyle, true, attr)) return v;
    if (defaultParagraphStyle_ != paragraphStyle)
        return StyleChainValue(defaultParagraphStyle_, true, attr);
    return nullptr;
}
