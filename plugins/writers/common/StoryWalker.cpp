// The walker's document side: what arrives before and after the stories
// (styles, layers, pages and their items, hyperlinks), where each story
// stands, and the order in which stories and pictures are walked.
#include "StoryWalker.h"

#include "WalkFormat.h"

#include <ombra/memory.h>
#include <ombra/storedelements.h>
#include <ombra/streams.h>
#include <ombra/views.h>

#include <algorithm>
#include <new>

using namespace obwalk;

OBWalkHandler::~OBWalkHandler() = default;

WSE::WritingScriptEnum OBWalkText::ScriptAt(long long i) const {
    if (!scripts || length == 0) return WSE::kSystemScript;
    if (i >= length) i = length - 1;
    if (i < 0) i = 0;
    return static_cast<WSE::WritingScriptEnum>(wideScripts ? wideScripts[i] : scripts[i]);
}

OBStoryWalker::OBStoryWalker(OBWalkHandler& handler, OBWriterProblems& problems,
                             const OBWalkOptions& options)
    : handler_(handler), problems_(problems), options_(options), current_(nullptr),
      currentWalk_(nullptr), publication_(nullptr), defaultParagraphStyle_(nullptr),
      links_(nullptr), linkCount_(0), linkCapacity_(0), formats_(nullptr), counts_(),
      nextPicture_(0), noteNumber_(0), storiesWritten_(0), finished_(false) {}

OBStoryWalker::~OBStoryWalker() {
    for (int i = 0; i < linkCount_; ++i)
        links_[i].~OBWalkLink();
    OBLibFree(links_);
    delete formats_;
}

Element* OBStoryWalker::MetaData() const {
    return publication_ ? publication_->GetChild(EL::kMetaData) : nullptr;
}

void OBStoryWalker::Put(Element* element) {
    if (finished_) return;
    if (!element) {
        Finish();
        return;
    }
    Dispatch(element);
}

void OBStoryWalker::Finish() {
    if (finished_) return;
    finished_ = true;
    if (options_.deferStories) WalkDeferred();
    handler_.EndDocument();
}

void OBStoryWalker::Dispatch(Element* element) {
    switch (element->GetElementType()) {
    case EL::kPublication:
        publication_ = element;
        break;
    case EL::kColorList:
        TakeList(element, colors_, EL::kColor, false);
        break;
    case EL::kLayerList:
        TakeLayers(element);
        break;
    case EL::kParagraphStyleList:
        TakeList(element, paragraphStyles_, EL::kParagraphStyle, true);
        break;
    case EL::kCharacterStyleList:
        TakeList(element, characterStyles_, EL::kCharacterStyle, false);
        break;
    case EL::kMasterSpreadList:
        TakeMasters(element);
        break;
    case EL::kRegularSpreadList:
        TakePages(element);
        break;
    case EL::kStoryList:
        TakeStories(element);
        break;
    case EL::kParentStory:
        WalkStory(element, element->GetChild(EL::kChildStory));
        break;
    case EL::kChildStory:
        WalkStory(nullptr, element); // a story's text without its parent
        break;
    case EL::kHyperlinkList:
        TakeHyperlinks(element);
        break;
    case EL::kObjectStyleList:
        counts_.objectStyles += static_cast<long long>(element->GetChildCount());
        break;
    case EL::kTOCStyleList:
        counts_.tocStyles += static_cast<long long>(element->GetChildCount());
        break;
    case EL::kIndexTopicList:
    case EL::kIndexEntryList:
        counts_.indexEntries += static_cast<long long>(element->GetChildCount());
        break;
    default:
        break; // fonts, inks and the rest shape no text
    }
}

// ---- what arrives before the stories --------------------------------------------

void OBStoryWalker::TakeList(Element* list, IdTable& table, EL::ElementTypeEnum kind,
                             bool paragraphStyles) {
    unsigned long long count = Children(list);
    if (count < (1ULL << 20)) table.Reserve(static_cast<int>(count)); // else it grows as it goes
    for (unsigned long long n = 0; n < count; ++n) {
        Element* item = Child(list, n);
        if (!item || item->GetElementType() != kind) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        if (paragraphStyles && !defaultParagraphStyle_) defaultParagraphStyle_ = item;
        if (!table.Add(item->GetId(), item)) problems_.Report(OBERR::kOutOfMemory);
    }
}

void OBStoryWalker::TakeLayers(Element* list) {
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* layer = Child(list, n);
        if (!layer || layer->GetElementType() != EL::kLayer) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        bool visible = true;
        GetFlag(OBGetAttributeValue(layer, AN::kVisible), visible);
        // A hidden layer is entered with itself, a visible one with null.
        if (!layers_.Add(layer->GetId(), visible ? nullptr : layer))
            problems_.Report(OBERR::kOutOfMemory);
    }
}

void OBStoryWalker::TakeMasters(Element* list) {
    for (unsigned long long s = 0; s < Children(list); ++s) {
        Element* spread = Child(list, s);
        if (!spread || spread->GetElementType() != EL::kMasterSpread) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        for (unsigned long long p = 0; p < Children(spread); ++p) {
            Element* page = Child(spread, p);
            if (!page || page->GetElementType() != EL::kMasterPage) continue;
            masterPages_.Add(page->GetId(), page);
            TakeItems(page->GetChild(EL::kDrawingObjectList), -2, true, 0);
        }
    }
}

void OBStoryWalker::TakePages(Element* list) {
    long long first = 1;
    if (publication_) GetInt(publication_, AN::kStartPageNum, first);
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
            OBWalkPage entry = {pages_.Count(), first + pages_.Count(), page, nullptr};
            unsigned masterId = 0;
            if (GetId(page, AN::kBasedOn, masterId)) {
                entry.master = masterPages_.Find(masterId);
                if (!entry.master) problems_.Report(OBERR::kBrokenReference);
            }
            if (!pages_.Add(entry)) problems_.Report(OBERR::kOutOfMemory);
            handler_.OnPage(entry);
            TakeItems(page->GetChild(EL::kDrawingObjectList), entry.index, false, 0);
        }
    }
}

// Notes where the stories of the page items stand (page -2 for master pages,
// -1 for the pasteboard) and keeps the pictures.
void OBStoryWalker::TakeItems(Element* list, int page, bool hidden, int depth) {
    if (depth > OBWALK::kMaxDepth) {
        problems_.Report(OBERR::kLimitExceeded);
        return;
    }
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* item = Child(list, n);
        if (!item) continue;
        bool itemHidden = hidden || ItemHidden(item);
        EL::ElementTypeEnum kind = item->GetElementType();
        items_.Add(item->GetId(), item);
        OBRect box;
        bool placed = GetRect(item, AN::kBoundingBox, box);
        unsigned story = 0;
        if (GetId(item, AN::kStory, story)) {
            if (StoryEntry* entry = FindStory(story, true)) {
                OBWalkPlace& place = entry->place;
                if (itemHidden) {
                    ++place.hidden;
                } else {
                    if (page >= 0 && (place.firstPage < 0 || page < place.firstPage)) {
                        place.firstPage = page;
                        place.top = placed ? box.Top().Value() : 0;
                        place.left = placed ? box.Left().Value() : 0;
                    }
                    if (page >= 0 && page > place.lastPage) place.lastPage = page;
                    ++place.shown;
                }
                int direction = 0;
                if (GetEnum(OBGetAttributeValue(item, AN::kTextDirection), direction) &&
                    direction == TDE::kVertical)
                    entry->vertical = true;
            }
        }
        if (kind == EL::kPicture) {
            ++counts_.pictures;
            if (!itemHidden || options_.includeHidden) {
                PictureEntry entry = {item, itemHidden ? -1 : page, placed ? box.Top().Value() : 0,
                                      placed ? box.Left().Value() : 0};
                if (!pictures_.Add(entry)) problems_.Report(OBERR::kOutOfMemory);
            }
        } else if (kind == EL::kRectangle || kind == EL::kEllipse || kind == EL::kLine ||
                   kind == EL::kIrregularPolygon || kind == EL::kRegularPolygon ||
                   kind == EL::kBezier) {
            ++counts_.shapes;
        }
        // Group members and anything else an item holds.
        if (item->GetChildCount() > 0) TakeItems(item, page, itemHidden, depth + 1);
    }
}

bool OBStoryWalker::ItemHidden(Element* item) {
    bool visible = true;
    if (GetFlag(OBGetAttributeValue(item, AN::kVisible), visible) && !visible) return true;
    // Text frames have no Layer accessor in their view; readers that build
    // them from the stored classes keep the layer in the element's store.
    unsigned layerId = 0;
    if (!GetStoredId(item, AN::kLayer, layerId)) return false;
    bool known = false;
    Element* hiddenLayer = layers_.Find(layerId, &known);
    if (!known) {
        if (layers_.Count() > 0) problems_.Report(OBERR::kBrokenReference);
        return false;
    }
    return hiddenLayer != nullptr;
}

OBStoryWalker::StoryEntry* OBStoryWalker::FindStory(unsigned id, bool create) {
    auto found = stories_.find(id);
    if (found != stories_.end()) return &found->second;
    if (!create) return nullptr;
    StoryEntry& entry = stories_[id];
    entry = StoryEntry{id, {-1, -1, 0, 0, 0, 0}, false};
    return &entry;
}

// ---- hyperlinks ---------------------------------------------------------------------

namespace {

// A hyperlink's child of one of the kinds, preferring the one its id names.
Element* LinkPart(Element* link, AN::AttrNameEnum attr, std::initializer_list<int> kinds) {
    unsigned id = 0;
    bool named = GetId(link, attr, id);
    Element* any = nullptr;
    for (unsigned long long n = 0; n < Children(link); ++n) {
        Element* child = Child(link, n);
        if (!child) continue;
        for (int kind : kinds)
            if (child->GetElementType() == kind) {
                if (named && child->GetId() == id) return child;
                if (!any) any = child;
            }
    }
    return any;
}

} // namespace

void OBStoryWalker::TakeHyperlinks(Element* list) {
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* hyperlink = Child(list, n);
        if (!hyperlink || hyperlink->GetElementType() != EL::kHyperlink) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        ++counts_.links;
        Element* source =
            LinkPart(hyperlink, AN::kSource, {EL::kHyperLinkTextSource, EL::kHyperLinkDOSource});
        Element* anchor =
            LinkPart(hyperlink, AN::kAnchor,
                     {EL::kHyperLinkURLAnchor, EL::kHyperLinkPageAnchor, EL::kHyperLinkTextAnchor});
        if (!source) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        int index = AddLink(hyperlink, anchor);
        if (index < 0) continue;
        LinkRange range = {0, 0, -1, index};
        if (source->GetElementType() == EL::kHyperLinkTextSource) {
            if (!GetId(source, AN::kStory, range.story) ||
                !GetInt(source, AN::kStartPosition, range.start) ||
                !GetInt(source, AN::kEndPosition, range.end)) {
                problems_.Report(OBERR::kMalformedInput);
                continue;
            }
        } else {
            // A link on a page item: on a text frame it covers its story's
            // text, on a picture the picture.
            unsigned id = 0;
            Element* item = GetId(source, AN::kObject, id) ? items_.Find(id) : nullptr;
            if (item && item->GetElementType() == EL::kPicture) {
                pictureLinks_[id] = index;
                continue;
            } else if (!item || !GetId(item, AN::kStory, range.story)) {
                ++counts_.itemLinks;
                continue;
            }
        }
        if (!linkRanges_.Add(range)) problems_.Report(OBERR::kOutOfMemory);
    }
}

int OBStoryWalker::AddLink(Element* hyperlink, Element* anchor) {
    if (linkCount_ == linkCapacity_) {
        int grown = linkCapacity_ ? 2 * linkCapacity_ : 16;
        auto* block = static_cast<OBWalkLink*>(
            OBLibAllocate(static_cast<std::size_t>(grown) * sizeof(OBWalkLink)));
        if (!block || grown > (1 << 26)) {
            OBLibFree(block);
            problems_.Report(OBERR::kOutOfMemory);
            return -1;
        }
        for (int i = 0; i < linkCount_; ++i) {
            new (&block[i]) OBWalkLink(links_[i]);
            links_[i].~OBWalkLink();
        }
        OBLibFree(links_);
        links_ = block;
        linkCapacity_ = grown;
    }
    OBWalkLink* link = new (&links_[linkCount_]) OBWalkLink();
    link->hyperlink = hyperlink;
    link->kind = OBWALK::kNoTarget;
    link->page = -1;
    link->target = 0;
    EL::ElementTypeEnum kind = anchor ? anchor->GetElementType() : EL::kUndefined;
    unsigned id = 0;
    if (kind == EL::kHyperLinkURLAnchor) {
        if (GetUtf8(OBGetAttributeValue(anchor, AN::kURL), link->url)) link->kind = OBWALK::kUrl;
    } else if (kind == EL::kHyperLinkPageAnchor && GetId(anchor, AN::kPage, id)) {
        link->kind = OBWALK::kPage;
        ++counts_.pageLinks;
        for (; pagesAt_ < pages_.Count(); ++pagesAt_)
            pageAt_.emplace(pages_[pagesAt_].page->GetId(), pagesAt_);
        auto found = pageAt_.find(id);
        if (found != pageAt_.end()) link->page = found->second;
    } else if (kind == EL::kHyperLinkTextAnchor && GetId(anchor, AN::kStory, id)) {
        long long position = 0;
        GetInt(anchor, AN::kPosition, position);
        OBWalkTarget target = {id, position < 0 ? 0 : position, targets_.Count() + 1};
        if (targets_.Add(target)) {
            link->kind = OBWALK::kText;
            link->target = target.number;
        }
    }
    if (link->kind == OBWALK::kNoTarget) problems_.Report(OBERR::kBrokenReference);
    return linkCount_++;
}

const OBWalkLink* OBStoryWalker::PictureLink(unsigned picture) const {
    auto found = pictureLinks_.find(picture);
    return found == pictureLinks_.end() ? nullptr : &links_[found->second];
}

// ---- stories --------------------------------------------------------------------------

void OBStoryWalker::TakeStories(Element* list) {
    for (unsigned long long n = 0; n < Children(list); ++n) {
        Element* story = Child(list, n);
        if (!story || story->GetElementType() != EL::kParentStory) {
            problems_.Report(OBERR::kMalformedInput);
            continue;
        }
        WalkStory(story, story->GetChild(EL::kChildStory));
    }
}

void OBStoryWalker::WalkStory(Element* story, Element* childStory) {
    if (options_.deferStories && !finished_) {
        if (!deferred_.Add(story ? story : childStory)) problems_.Report(OBERR::kOutOfMemory);
        return;
    }
    OBStream* text = TextStream(childStory);
    if (!text) {
        problems_.Report(OBERR::kMalformedInput);
        return;
    }
    OBWalkStory info = {story, childStory, {-1, -1, 0, 0, 0, 0}, false, storiesWritten_};
    if (StoryEntry* entry = story ? FindStory(story->GetId(), false) : nullptr) {
        if (entry->place.shown == 0 && !options_.includeHidden) {
            ++counts_.storiesLeftOut;
            return;
        }
        info.place = entry->place;
        info.vertical = entry->vertical;
    }
    int direction = 0;
    if ((GetEnum(OBGetAttributeValue(story, AN::kTextDirection), direction) ||
         GetEnum(OBGetAttributeValue(childStory, AN::kTextDirection), direction)) &&
        direction == TDE::kVertical)
        info.vertical = true;
    if (info.vertical) ++counts_.verticalStories;
    if (options_.deferStories) {
        double top = info.place.top, left = info.place.left;
        PlacePictures(info.place.firstPage < 0 ? 0x7FFFFFFF : info.place.firstPage, top, left);
    }
    if (options_.skipEmptyStories) {
        const bool empty = text->Seek(0, kSeekFromEnd) < 2; // not one UTF-16 unit
        text->Seek(0, kSeekFromStart);
        if (empty) return;
    }
    handler_.BeginStory(info);
    WalkText(childStory, OBWALK::kStoryText, 0, story ? story->GetId() : kNoStory, info.vertical);
    handler_.EndStory(info);
    ++storiesWritten_;
}

void OBStoryWalker::CountScripts(long long scripts[64], long long languages[64]) {
    static const AN::AttrNameEnum kAttrs[2] = {AN::kWritingScript, AN::kDictionaryLanguage};
    // Runs take turns among a few pairs of styles: the last few are kept.
    constexpr int kMemos = 4;
    StyleMemo memos[kMemos];
    int nextMemo = 0;
    for (int n = 0; n < deferred_.Count(); ++n) {
        Element* e = deferred_[n];
        Element* text = e->GetElementType() == EL::kParentStory ? e->GetChild(EL::kChildStory) : e;
        Element* runs = text ? text->GetChild(EL::kCharacterRunList) : nullptr;
        for (unsigned long long k = 0; k < Children(runs); ++k) {
            Element* run = Child(runs, k);
            long long start = 0, end = 0;
            unsigned ids[2] = {};
            bool has[2] = {};
            if (!run || run->GetElementType() != EL::kCharacterRun ||
                !GetRunKeys(run, start, end, ids, has) || end <= start)
                continue;
            int script = WSE::kSystemScript, language = 0;
            // CharacterValues, with the run's own values and ids each read in one pass.
            Value* values[2];
            Element* own = run->GetChild(EL::kCharacterAttributes);
            auto* view =
                ombra_detail::CastLikely<OBStoredCharacterAttributes, OBMCharacterAttributes>(own);
            // Of a stored element's many values, the two are looked up (the
            // store knows at once which attributes it lacks) rather than all
            // read as the writers do.
            bool stored = view && typeid(*view) == typeid(OBStoredCharacterAttributes);
            for (int a = 0; a < 2; ++a)
                values[a] = stored
                                ? static_cast<OBStoredCharacterAttributes*>(view)->Find(kAttrs[a])
                                : OBGetAttributeValue(own, kAttrs[a]);
            if (!values[0] || !values[1]) {
                StyleMemo key;
                key.hasCharacterStyle = has[0], key.characterStyle = ids[0];
                key.hasParagraphStyle = has[1], key.paragraphStyle = ids[1];
                StyleMemo* memo = std::find_if(memos, memos + kMemos,
                                               [&](const StyleMemo& m) { return m.Same(key); });
                if (memo == memos + kMemos) {
                    memo = &memos[nextMemo];
                    nextMemo = (nextMemo + 1) % kMemos;
                }
                StyleValues(kAttrs, values, 2, run, key, *memo);
            }
            GetEnumOf<ValueWritingScriptEnum>(values[0], script);
            if (script >= 0 && script < 64) scripts[script] += end - start;
            GetEnumOf<ValueDictionaryLanguageEnum>(values[1], language);
            if (language >= 0 && language < 64) languages[language] += end - start;
        }
    }
}

OBStream* OBStoryWalker::TextStream(Element* childStory) {
    auto* value = dynamic_cast<ValueStream*>(OBGetAttributeValue(childStory, AN::kTextStream));
    OBStream* stream = nullptr;
    if (value) value->Get(stream);
    return stream;
}

namespace {
// Sorts a collection (of any length) stably.
template <class T, class Less> void SortAll(OBBaseTypeCollection<T>& items, Less less) {
    if (items.Count() > 1) std::stable_sort(&items[0], &items[0] + items.Count(), less);
}
} // namespace

void OBStoryWalker::WalkDeferred() {
    handler_.BeginDocument();
    SortAll(linkRanges_, [](const LinkRange& a, const LinkRange& b) { return a.story < b.story; });
    SortAll(targets_, [](const OBWalkTarget& a, const OBWalkTarget& b) {
        return a.story != b.story ? a.story < b.story : a.position < b.position;
    });
    // Pictures anchored in text are walked where they stand, not on their page.
    for (int n = 0; n < deferred_.Count(); ++n) {
        Element* e = deferred_[n];
        NoteInlineItems(e->GetElementType() == EL::kParentStory ? e->GetChild(EL::kChildStory) : e,
                        0);
    }
    SortAll(inlineItems_, [](unsigned a, unsigned b) { return a < b; });
    SortAll(pictures_, [](const PictureEntry& a, const PictureEntry& b) {
        unsigned pa = static_cast<unsigned>(a.page), pb = static_cast<unsigned>(b.page);
        if (pa != pb) return pa < pb; // pictures off the pages last
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    for (int n = 0; n < deferred_.Count(); ++n) {
        Element* e = deferred_[n];
        if (e->GetElementType() == EL::kParentStory)
            WalkStory(e, e->GetChild(EL::kChildStory));
        else
            WalkStory(nullptr, e);
    }
    PlacePictures(-1, 0, 0);
}

void OBStoryWalker::NoteInlineItems(Element* childStory, int depth) {
    if (!childStory || depth > OBWALK::kMaxDepth) return;
    if (auto* list =
            dynamic_cast<ValueIdRefList*>(OBGetAttributeValue(childStory, AN::kInlineObjectList)))
        for (long long i = 0; i < list->Count() && i < 0x7FFFFFFF; ++i)
            if (!inlineItems_.Add(list->Get(static_cast<int>(i))))
                problems_.Report(OBERR::kOutOfMemory);
    // Notes and cells have texts of their own.
    for (unsigned long long n = 0; n < Children(childStory); ++n) {
        Element* runs = Child(childStory, n);
        EL::ElementTypeEnum kind = runs ? runs->GetElementType() : EL::kUndefined;
        if (kind != EL::kFootnoteList && kind != EL::kTableRunList) continue;
        for (unsigned long long k = 0; k < Children(runs); ++k) {
            Element* item = Child(runs, k);
            if (!item) continue;
            if (item->GetElementType() == EL::kFootnote) {
                NoteInlineItems(item->GetChild(EL::kChildStory), depth + 1);
                continue;
            }
            Element* rows = item->GetChild(EL::kTable)
                                ? item->GetChild(EL::kTable)->GetChild(EL::kTableRowList)
                                : nullptr;
            for (unsigned long long r = 0; r < Children(rows); ++r) {
                Element* cells =
                    Child(rows, r) ? Child(rows, r)->GetChild(EL::kTableCellList) : nullptr;
                for (unsigned long long c = 0; c < Children(cells); ++c)
                    if (Element* cell = Child(cells, c))
                        NoteInlineItems(cell->GetChild(EL::kChildStory), depth + 1);
            }
        }
    }
}

bool OBStoryWalker::IsInlineItem(unsigned id) const {
    const unsigned* first = inlineItems_.IsEmpty() ? nullptr : &inlineItems_[0];
    return std::binary_search(first, first + inlineItems_.Count(), id);
}

// Walks the pictures that stand before a story on page `page` whose first
// frame is at (top, left); page -1 walks all that are left.
void OBStoryWalker::PlacePictures(int page, double top, double left) {
    for (; nextPicture_ < static_cast<unsigned long long>(pictures_.Count()); ++nextPicture_) {
        const PictureEntry& entry = pictures_[static_cast<int>(nextPicture_)];
        if (page >= 0) {
            unsigned pictureKey = static_cast<unsigned>(entry.page);
            unsigned storyKey = static_cast<unsigned>(page);
            if (pictureKey > storyKey) return;
            if (pictureKey == storyKey &&
                (entry.top > top || (entry.top == top && entry.left >= left)))
                return;
        }
        if (IsInlineItem(entry.picture->GetId())) continue;
        WalkPicture(entry.picture, entry.page, false);
    }
}

void OBStoryWalker::WalkPicture(Element* picture, int page, bool inlined) {
    OBWalkPicture info;
    info.picture = picture;
    info.page = page;
    info.inlined = inlined;
    info.link = PictureLink(picture->GetId());
    if (!GetRect(picture, AN::kBoundingBox, info.box)) info.box = OBRect();
    GetUtf8(OBGetAttributeValue(picture, AN::kAlternativeText), info.alt);
    Element* link = picture->GetChild(EL::kLinkInformation);
    auto* file = dynamic_cast<ValueFileSpec*>(OBGetAttributeValue(link, AN::kLinkedFile));
    if (file) {
        COBString path;
        file->GetAsString(path);
        // The value holds the path as 8-bit text, UTF-8 for paths made from UTF-16.
        info.path.Append(path.GrabCString(), path.Length());
    }
    if (info.path.IsEmpty()) ++counts_.picturesWithoutLink;
    handler_.OnPicture(info);
}

Element* OBStoryWalker::ParagraphStyleOf(Element* paragraphRun) {
    unsigned id = 0;
    Element* style = nullptr;
    if (paragraphRun && GetId(paragraphRun, AN::kParagraphStyleID, id)) {
        style = paragraphStyles_.Find(id);
        if (!style) problems_.Report(OBERR::kBrokenReference);
    }
    return style ? style : defaultParagraphStyle_;
}
