// Everything that needs all items first: placing items on pages, groups
// from group ids, frame chains and their stories, spreads.
#include "ScribusReading.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace scribus {
namespace detail {

namespace {

class Assembler {
public:
    Assembler(Context& ctx, Document& doc, ReadState& state)
        : ctx_(ctx), doc_(doc), state_(state), src_(state.sources), groupIds_(state.groupIds),
          styles_(state.styleByIndex), original_(doc.items.size()) {}

    bool Run() {
        Place();
        FlatGroups();
        ListOnPages();
        Chains();
        if (!Stories()) return false;
        Spreads();
        return true;
    }

private:
    Item& At(int i) { return doc_.items[static_cast<std::size_t>(i)]; }

    // The first master page of that name, -1 for none; found by a table made
    // at the first question, not by a pass over the masters per item.
    int MasterNamed(const std::string& name) {
        if (name.empty()) return -1;
        if (masterByName_.empty())
            for (std::size_t m = doc_.masterPages.size(); m-- > 0;)
                masterByName_[doc_.masterPages[m].name] = static_cast<int>(m);
        auto found = masterByName_.find(name);
        return found == masterByName_.end() ? -1 : found->second;
    }

    // Positions from 1.3 on are canvas coordinates; make them page relative.
    void Place() {
        for (std::size_t i = 0; i < original_; ++i) {
            Item& it = doc_.items[i];
            ItemSource& s = src_[i];
            if (s.ownPage == -2) continue; // 1.2: placed while reading
            const Page* page = nullptr;
            switch (s.scope) {
            case ItemSource::kDocumentItems:
                if (s.ownPage >= 0 && static_cast<std::size_t>(s.ownPage) < doc_.pages.size()) {
                    it.page = static_cast<int>(s.ownPage);
                    page = &doc_.pages[static_cast<std::size_t>(s.ownPage)];
                } else if (s.ownPage != -1) {
                    ctx_.Warn(Warning::Code::kBadReference,
                              "item \"" + it.name + "\" lies on page " + std::to_string(s.ownPage) +
                                  ", which does not exist; it is kept off the pages");
                }
                break;
            case ItemSource::kMasterItems: {
                int found = MasterNamed(s.masterName);
                if (found < 0 && s.ownPage >= 0 &&
                    static_cast<std::size_t>(s.ownPage) < doc_.masterPages.size())
                    found = static_cast<int>(s.ownPage);
                if (found < 0) {
                    ctx_.Warn(Warning::Code::kBadReference,
                              "master item \"" + it.name + "\" refers to master page \"" +
                                  s.masterName + "\", which does not exist");
                    break;
                }
                it.page = found;
                it.onMasterPage = true;
                page = &doc_.masterPages[static_cast<std::size_t>(found)];
                break;
            }
            case ItemSource::kGroupMembers:
                if (it.parent >= 0) {
                    const Item& g = At(it.parent);
                    it.page = g.page;
                    it.onMasterPage = g.onMasterPage;
                    if (g.page >= 0) {
                        const std::vector<Page>& list =
                            g.onMasterPage ? doc_.masterPages : doc_.pages;
                        page = &list[static_cast<std::size_t>(g.page)];
                    }
                }
                break;
            case ItemSource::kAnchoredItems:
                break;
            }
            if (page) {
                it.x = s.canvasX - page->x;
                it.y = s.canvasY - page->y;
            }
        }
    }

    bool IsAncestor(int candidate, int item) {
        for (std::size_t guard = 0; candidate >= 0 && guard <= doc_.items.size(); ++guard) {
            if (candidate == item) return true;
            candidate = At(candidate).parent;
        }
        return false;
    }

    // Before 1.5 a group is a list of ids on each member, innermost first.
    void FlatGroups() {
        using Key = std::pair<bool, long long>;
        struct KeyHash {
            std::size_t operator()(const Key& k) const {
                return std::hash<long long>()(k.second) * 2 + k.first;
            }
        };
        // Every id named, then the group made for it (-1 until made). Groups
        // are made in the order their members name them.
        std::unordered_map<Key, int, KeyHash> groups;
        auto groupFor = [&](bool master, long long id, const Item& member) {
            int& made = groups.try_emplace(std::make_pair(master, id), -1).first->second;
            if (made >= 0) return made;
            Item g;
            g.kind = Item::Kind::kGroup;
            g.rawType = 12;
            g.name = "Group " + std::to_string(id);
            g.page = member.page;
            g.onMasterPage = member.onMasterPage;
            g.layer = member.layer;
            made = static_cast<int>(doc_.items.size());
            doc_.items.push_back(std::move(g));
            return made;
        };
        // Items are large: make room for every group before creating any.
        for (std::size_t i = 0; i < original_; ++i)
            for (std::uint32_t k = 0; k < src_[i].groupsCount; ++k)
                groups.try_emplace(std::make_pair(src_[i].scope == ItemSource::kMasterItems,
                                                  groupIds_[src_[i].groupsBegin + k]),
                                   -1);
        doc_.items.reserve(original_ + groups.size());
        for (std::size_t i = 0; i < original_; ++i) {
            ItemSource& s = src_[i];
            if (s.groupsCount == 0 || s.scope == ItemSource::kGroupMembers) continue;
            bool master = s.scope == ItemSource::kMasterItems;
            int child = static_cast<int>(i);
            for (std::uint32_t k = 0; k < s.groupsCount; ++k) {
                int g = groupFor(master, groupIds_[s.groupsBegin + k], doc_.items[i]);
                if (At(child).parent == g) break; // this branch is already linked
                if (At(child).parent >= 0 || IsAncestor(g, child)) {
                    ctx_.WarnOnce(
                        Warning::Code::kBadReference, "groups",
                        "group memberships contradict each other; an item keeps its first group");
                    break;
                }
                At(child).parent = g;
                At(g).children.push_back(child);
                child = g;
            }
        }
        // A group's box is the box of its members; member groups first.
        bounded_.assign(doc_.items.size(), 0);
        for (std::size_t g = original_; g < doc_.items.size(); ++g)
            Bounds(static_cast<int>(g));
    }

    void Bounds(int g) {
        if (bounded_[static_cast<std::size_t>(g)]) return;
        bounded_[static_cast<std::size_t>(g)] = 1; // also stops a cycle, should one exist
        bool first = true;
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        for (int c : At(g).children) {
            if (static_cast<std::size_t>(c) >= original_) Bounds(c);
            const Item& m = At(c);
            if (first) {
                x0 = m.x, y0 = m.y, x1 = m.x + m.width, y1 = m.y + m.height;
                first = false;
            } else {
                x0 = std::min(x0, m.x), y0 = std::min(y0, m.y);
                x1 = std::max(x1, m.x + m.width), y1 = std::max(y1, m.y + m.height);
            }
        }
        Item& group = At(g);
        group.x = x0, group.y = y0, group.width = x1 - x0, group.height = y1 - y0;
    }

    // A page lists its top-level items where their first member stood.
    // They are counted first, so that each list is made at its size.
    void ListOnPages() {
        const std::size_t pages = doc_.pages.size();
        std::vector<std::size_t> counts(pages + doc_.masterPages.size(), 0);
        ForEachListed([&](std::size_t slot, int) { ++counts[slot]; });
        for (std::size_t p = 0; p < counts.size(); ++p)
            if (counts[p])
                (p < pages ? doc_.pages[p] : doc_.masterPages[p - pages]).items.reserve(counts[p]);
        ForEachListed([&](std::size_t slot, int top) {
            (slot < pages ? doc_.pages[slot] : doc_.masterPages[slot - pages]).items.push_back(top);
        });
    }

    // f(slot, item) for each top-level item a page lists, in order; the slot
    // is the page's index, past doc_.pages for a master page.
    template <class F> void ForEachListed(F f) {
        std::vector<char> listed(doc_.items.size(), 0);
        for (std::size_t i = 0; i < original_; ++i) {
            if (src_[i].scope == ItemSource::kAnchoredItems) continue;
            int top = static_cast<int>(i);
            for (std::size_t guard = 0; At(top).parent >= 0 && guard < doc_.items.size(); ++guard)
                top = At(top).parent;
            if (listed[static_cast<std::size_t>(top)]) continue;
            listed[static_cast<std::size_t>(top)] = 1;
            const Item& it = At(top);
            if (it.page < 0) continue;
            const std::size_t page = static_cast<std::size_t>(it.page);
            if (!it.onMasterPage && page < doc_.pages.size())
                f(page, top);
            else if (it.onMasterPage && page < doc_.masterPages.size())
                f(doc_.pages.size() + page, top);
        }
    }

    bool CarriesText(const Item& it) {
        return it.kind == Item::Kind::kTextFrame || it.kind == Item::Kind::kPathText;
    }

    int Resolve(std::size_t i) {
        const ItemSource& s = src_[i];
        if (s.next == -1) return -1;
        if (s.pageOrdinal >= 0) { // 1.2: page and position on that page
            auto found = legacy_.find(
                std::make_tuple(s.scope == ItemSource::kMasterItems, s.nextPage, s.next));
            return found == legacy_.end() ? -2 : found->second;
        }
        if (!idsListed_) ListIds();
        if (!ids_.empty()) {
            auto found = std::lower_bound(ids_.begin(), ids_.end(),
                                          std::make_pair(s.next, static_cast<int>(-1)));
            return found == ids_.end() || found->first != s.next ? -2 : found->second;
        }
        const std::vector<int>& list = byScope_[s.scope];
        if (static_cast<unsigned long long>(s.next) >= list.size()) return -2;
        return list[static_cast<std::size_t>(s.next)];
    }

    // Items by id, listed when a link first needs them: by id, then by
    // item, so that the first item of an id is the one found.
    void ListIds() {
        idsListed_ = true;
        for (std::size_t i = 0; i < original_; ++i)
            if (src_[i].id != -1) ids_.emplace_back(src_[i].id, static_cast<int>(i));
        std::sort(ids_.begin(), ids_.end());
    }

    void Chains() {
        // Each scope's list is made at its full size at once.
        std::size_t sizes[4] = {0, 0, 0, 0};
        for (std::size_t i = 0; i < original_; ++i)
            sizes[src_[i].scope] =
                std::max(sizes[src_[i].scope], static_cast<std::size_t>(src_[i].indexInScope) + 1);
        for (int scope = 0; scope < 4; ++scope)
            byScope_[scope].assign(sizes[scope], -1);
        for (std::size_t i = 0; i < original_; ++i) {
            const ItemSource& s = src_[i];
            if (s.pageOrdinal >= 0)
                legacy_.emplace(std::make_tuple(s.scope == ItemSource::kMasterItems,
                                                static_cast<long long>(s.pageOrdinal),
                                                static_cast<long long>(s.indexInScope)),
                                static_cast<int>(i));
            byScope_[s.scope][static_cast<std::size_t>(s.indexInScope)] = static_cast<int>(i);
        }
        for (std::size_t i = 0; i < original_; ++i) {
            Item& it = doc_.items[i];
            if (src_[i].next == -1 || it.kind != Item::Kind::kTextFrame) continue;
            int target = Resolve(i);
            if (target == static_cast<int>(i)) {
                ctx_.Warn(Warning::Code::kChainLoop,
                          "text frame \"" + it.name + "\" links to itself; the link is dropped");
                continue;
            }
            if (target < 0 || At(target).kind != Item::Kind::kTextFrame) {
                ctx_.Warn(
                    Warning::Code::kChainDangling,
                    "text frame \"" + it.name + "\" links to item " + std::to_string(src_[i].next) +
                        (target < 0 ? ", which does not exist" : ", which is not a text frame") +
                        "; its chain ends there");
                continue;
            }
            if (At(target).prevInChain >= 0) {
                ctx_.Warn(Warning::Code::kChainDangling,
                          "two text frames link to the same frame; the link from \"" + it.name +
                              "\" is dropped");
                continue;
            }
            it.nextInChain = target;
            At(target).prevInChain = static_cast<int>(i);
        }
        // Chains that come back to themselves have no first frame. Items are
        // visited in order, so the first one met in a loop is its lowest: the
        // loop is cut before it.
        std::vector<char> seen(original_, 0);
        for (std::size_t i = 0; i < original_; ++i) {
            if (doc_.items[i].prevInChain >= 0) continue;
            for (int f = static_cast<int>(i); f >= 0 && !seen[static_cast<std::size_t>(f)];
                 f = At(f).nextInChain)
                seen[static_cast<std::size_t>(f)] = 1;
        }
        for (std::size_t i = 0; i < original_; ++i) {
            if (seen[i] || doc_.items[i].prevInChain < 0) continue;
            int first = static_cast<int>(i);
            At(At(first).prevInChain).nextInChain = -1;
            At(first).prevInChain = -1;
            ctx_.Warn(Warning::Code::kChainLoop,
                      "linked text frames form a loop; it is cut before \"" + At(first).name +
                          "\"");
            for (int f = first; f >= 0 && !seen[static_cast<std::size_t>(f)]; f = At(f).nextInChain)
                seen[static_cast<std::size_t>(f)] = 1;
        }
    }

    // A frame's text was read with the document when the frame stands
    // alone; frames of a chain kept theirs (or the tree has them), read now
    // in chain order. False when a frame that stood alone turns out to be
    // part of a chain.
    bool Stories() {
        std::size_t heads = 0;
        for (std::size_t i = 0; i < original_; ++i)
            if (CarriesText(doc_.items[i]) && doc_.items[i].prevInChain < 0) ++heads;
        doc_.stories.reserve(doc_.stories.size() + heads);
        for (std::size_t i = 0; i < original_; ++i) {
            Item& head = doc_.items[i];
            if (!CarriesText(head) || head.prevInChain >= 0) continue;
            const int storyIndex = static_cast<int>(doc_.stories.size());
            if (src_[i].built >= 0) {
                if (head.nextInChain >= 0) return false;
                BuiltStory& b = state_.built[static_cast<std::size_t>(src_[i].built)];
                head.story = storyIndex;
                b.story.frames.push_back(static_cast<int>(i));
                ctx_.Release(b.warnings);
                ResolveAnchors(b.story, b.anchoredIds);
                doc_.stories.push_back(std::move(b.story));
                continue;
            }
            Story story;
            StoryBuilder builder(ctx_, story, styles_);
            for (int f = static_cast<int>(i); f >= 0; f = At(f).nextInChain) {
                const ItemSource& s = src_[static_cast<std::size_t>(f)];
                if (s.built >= 0) return false;
                Item& frame = At(f);
                frame.story = storyIndex;
                story.frames.push_back(f);
                builder.BeginFrame();
                if (s.record >= 0)
                    state_.records[static_cast<std::size_t>(s.record)].Replay(builder);
                else if (s.node)
                    WalkTree(s.node, builder);
                builder.EndFrame(&frame.defaults);
            }
            builder.Finish();
            ResolveAnchors(story, builder.anchoredIds);
            doc_.stories.push_back(std::move(story));
        }
        return true;
    }

    void ResolveAnchors(Story& story, const std::vector<long long>& ids) {
        std::size_t k = 0;
        for (Marker& m : story.markers) {
            if (m.kind != Marker::Kind::kAnchoredItem) continue;
            long long id = k < ids.size() ? ids[k] : -1;
            ++k;
            if (id == -1) continue;
            const std::vector<int>& anchored = byScope_[ItemSource::kAnchoredItems];
            for (int a : anchored)
                if (a >= 0 && src_[static_cast<std::size_t>(a)].anchorId == id) m.item = a;
            if (m.item < 0 && static_cast<unsigned long long>(id) < anchored.size())
                m.item = anchored[static_cast<std::size_t>(id)];
            if (m.item < 0)
                ctx_.Warn(Warning::Code::kBadReference,
                          "text anchors frame " + std::to_string(id) + ", which does not exist");
        }
    }

    // Spreads follow the page set in use: the first spread holds the pages
    // from the set's first position on, later ones a full row each.
    void Spreads() {
        Publication& pub = doc_.publication;
        int columns = 1, first = 0;
        if (pub.facingPages) {
            if (static_cast<std::size_t>(pub.pageSetIndex) < doc_.pageSets.size()) {
                const PageSet& set = doc_.pageSets[static_cast<std::size_t>(pub.pageSetIndex)];
                columns = set.columns;
                first = set.firstPage;
            } else {
                columns = 2;
                first = ctx_.legacyFirstLeft ? 0 : 1;
            }
        }
        if (columns < 1) columns = 1;
        if (first < 0 || first >= columns) first = 0;
        int slot = first;
        for (std::size_t p = 0; p < doc_.pages.size(); ++p) {
            if (p == 0 || slot >= columns) {
                if (p != 0) slot = 0;
                doc_.spreads.emplace_back();
            }
            doc_.spreads.back().pages.push_back(static_cast<int>(p));
            doc_.pages[p].position = slot++;
        }
    }

    Context& ctx_;
    Document& doc_;
    ReadState& state_;
    std::vector<ItemSource>& src_;
    const std::vector<long long>& groupIds_;
    const std::vector<std::string>& styles_;
    std::size_t original_;
    std::vector<char> bounded_;
    std::unordered_map<std::string, int> masterByName_;
    std::vector<std::pair<long long, int>> ids_; ///< (id, item)
    bool idsListed_ = false;
    std::map<std::tuple<bool, long long, long long>, int> legacy_;
    std::vector<int> byScope_[4];
};

} // namespace

bool Assemble(Context& ctx, Document& doc, ReadState& state) {
    return Assembler(ctx, doc, state).Run();
}

} // namespace detail
} // namespace scribus
