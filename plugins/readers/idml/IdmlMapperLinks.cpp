// Hyperlinks and cross-references: their text or page-item sources and
// their URL, page or text destinations (see IdmlMapperInternal.h).
#include "IdmlMapperInternal.h"
#include "IdmlParser.h"

#include <ombra/messages.h>

namespace idml {
namespace mapping {

// A position in a story, or in the story that holds a cell or footnote
// (then the position of the table or footnote there).
bool Mapper::TextPosition(int story, std::uint32_t position, int& top, std::uint32_t& at) const {
    for (int guard = 0; story >= 0 && guard <= kMaxItemDepth; ++guard) {
        const std::pair<int, std::uint32_t>& holder = holder_[static_cast<std::size_t>(story)];
        if (holder.first < 0) {
            top = story;
            at = position;
            return stories_[static_cast<std::size_t>(story)] != nullptr;
        }
        story = holder.first;
        position = holder.second;
    }
    return false;
}

namespace {

// Where the first of items with each Self is: a hyperlink finds its ends in
// constant time, as a scan of every item per link takes quadratic time.
template <class T>
void IndexBySelf(const std::vector<T>& items,
                 std::unordered_map<std::string_view, std::size_t>& at) {
    at.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        at.emplace(items[i].self, i);
}

} // namespace

Element* Mapper::LinkSource(Element* link, const std::string& ref) {
    if (auto found = sourceAt_.find(ref); found != sourceAt_.end()) {
        const TextRange& r = doc_.sources[found->second];
        int top = -1, top2 = -1;
        std::uint32_t start = 0, end = 0;
        if (!TextPosition(r.story, r.start, top, start) || !TextPosition(r.story, r.end, top2, end))
            return nullptr;
        if (top != r.story) end = start + 1; // a range inside a cell or footnote: its holder
        Element* e = b_.Child(link, EL::kHyperLinkTextSource);
        b_.IdOf(e, AN::kStory, stories_[static_cast<std::size_t>(top)]);
        b_.Int(e, AN::kStartPosition, start);
        b_.Int(e, AN::kEndPosition, end);
        return e;
    }
    auto item = doc_.pageItemSources.find(ref);
    if (item == doc_.pageItemSources.end()) return nullptr;
    auto index = itemIndex_.find(item->second);
    if (index == itemIndex_.end()) return nullptr;
    Element* target = placed_[static_cast<std::size_t>(index->second)].element;
    if (!target) return nullptr;
    Element* e = b_.Child(link, EL::kHyperLinkDOSource);
    b_.IdOf(e, AN::kObject, target);
    return e;
}

Element* Mapper::LinkAnchor(Element* link, const std::string& ref) {
    if (auto found = destinationAt_.find(ref); found != destinationAt_.end()) {
        const Destination& d = doc_.destinations[found->second];
        if (d.kind == Destination::Kind::kPage) {
            auto page = pageIndex_.find(d.page);
            if (page == pageIndex_.end() || !pages_[static_cast<std::size_t>(page->second)])
                return nullptr;
            Element* e = b_.Child(link, EL::kHyperLinkPageAnchor);
            b_.IdOf(e, AN::kPage, pages_[static_cast<std::size_t>(page->second)]);
            return e;
        }
        if (d.url.empty()) return nullptr;
        Element* e = b_.Child(link, EL::kHyperLinkURLAnchor);
        b_.Utf8(e, AN::kURL, d.url);
        return e;
    }
    if (auto found = targetAt_.find(ref); found != targetAt_.end()) {
        const TextRange& r = doc_.textTargets[found->second];
        int top = -1;
        std::uint32_t at = 0;
        if (!TextPosition(r.story, r.start, top, at)) return nullptr;
        Element* e = b_.Child(link, EL::kHyperLinkTextAnchor);
        b_.IdOf(e, AN::kStory, stories_[static_cast<std::size_t>(top)]);
        b_.Int(e, AN::kPosition, at);
        return e;
    }
    return nullptr;
}

void Mapper::Hyperlinks() {
    if (doc_.hyperlinks.empty()) return;
    IndexBySelf(doc_.sources, sourceAt_);
    IndexBySelf(doc_.destinations, destinationAt_);
    IndexBySelf(doc_.textTargets, targetAt_);
    Element* list = nullptr;
    for (const Hyperlink& h : doc_.hyperlinks) {
        Element* link = b_.Loose(EL::kHyperlink);
        if (!link) continue;
        Element* source = LinkSource(link, h.source);
        Element* anchor = source ? LinkAnchor(link, h.destination) : nullptr;
        if (!source || !anchor) {
            // A link whose source or destination is not there (or was left
            // out with its layer or page) is no link.
            b_.Delete(link);
            b_.BadReference("hyperlink \"" + h.self + "\" has no " +
                            (source ? "destination" : "source") + " that is read");
            continue;
        }
        b_.Utf8(link, AN::kName, h.name);
        b_.IdOf(link, AN::kSource, source);
        b_.IdOf(link, AN::kAnchor, anchor);
        if (!list) list = b_.Top(EL::kHyperlinkList);
        b_.Attach(list, link);
    }
}

} // namespace mapping
} // namespace idml
