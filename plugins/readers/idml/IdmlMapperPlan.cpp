// Before any Element: where each page item lies (page, place, geometry),
// which items and stories are kept, and the frames each story flows through.
#include "IdmlMapperInternal.h"
#include "IdmlParser.h"

#include <ombra/messages.h>

#include <algorithm>
#include <unordered_map>

namespace idml {
namespace mapping {

void Mapper::Indexes() {
    for (std::size_t i = 0; i < doc_.layers.size(); ++i)
        layerIndex_.emplace(doc_.layers[i].self, static_cast<int>(i));
    for (std::size_t i = 0; i < doc_.pages.size(); ++i)
        pageIndex_.emplace(doc_.pages[i].self, static_cast<int>(i));
    for (std::size_t i = 0; i < doc_.items.size(); ++i)
        if (!itemIndex_.emplace(doc_.items[i].self, static_cast<int>(i)).second &&
            !doc_.items[i].self.empty())
            b_.Report(OBERR::kMalformedInput); // two items of one name: the first keeps it
    holder_.assign(doc_.stories.size(), {-1, 0});
    for (std::size_t s = 0; s < doc_.stories.size(); ++s) {
        const Story& story = doc_.stories[s];
        if (story.owner < 0) storyIndex_.emplace(story.self, static_cast<int>(s));
        for (const Marker& m : story.markers) {
            std::pair<int, std::uint32_t> at(static_cast<int>(s), m.position);
            if (m.kind == Marker::Kind::kFootnote && m.index >= 0 &&
                static_cast<std::size_t>(m.index) < holder_.size())
                holder_[static_cast<std::size_t>(m.index)] = at;
            if (m.kind == Marker::Kind::kTable && m.index >= 0 &&
                static_cast<std::size_t>(m.index) < doc_.tables.size())
                for (const Cell& c : doc_.tables[static_cast<std::size_t>(m.index)].cells)
                    if (c.story >= 0 && static_cast<std::size_t>(c.story) < holder_.size())
                        holder_[static_cast<std::size_t>(c.story)] = at;
        }
    }
}

bool Mapper::Bounds(int item, const Matrix& m, double box[4], int depth) const {
    if (depth > kMaxItemDepth) return false;
    const Item& it = doc_.items[static_cast<std::size_t>(item)];
    bool any = false;
    auto take = [&](const obreader::Point& p) {
        obreader::Point q = m.Apply(p);
        if (!any) box[0] = box[2] = q.x, box[1] = box[3] = q.y;
        box[0] = std::min(box[0], q.x), box[2] = std::max(box[2], q.x);
        box[1] = std::min(box[1], q.y), box[3] = std::max(box[3], q.y);
        any = true;
    };
    for (const SubPath& s : it.outline)
        for (const obreader::PathPoint& p : s.points)
            take(p.left), take(p.anchor), take(p.right);
    for (int c : it.children) {
        double inner[4];
        const Item& child = doc_.items[static_cast<std::size_t>(c)];
        if (!Bounds(c, child.transform.Then(m), inner, depth + 1)) continue;
        take({inner[0], inner[1]});
        take({inner[2], inner[3]});
    }
    return any;
}

void Mapper::PageBoxes() {
    spreadPages_.assign(doc_.spreads.size(), SpreadPages());
    for (std::size_t s = 0; s < doc_.spreads.size(); ++s) {
        SpreadPages& sp = spreadPages_[s];
        int order = 0;
        for (int p : doc_.spreads[s].pages) {
            const Page& page = doc_.pages[static_cast<std::size_t>(p)];
            obreader::Point a = page.transform.Apply({page.bounds[1], page.bounds[0]});
            obreader::Point b = page.transform.Apply({page.bounds[3], page.bounds[2]});
            PageBox box{std::min(a.x, b.x),
                        std::min(a.y, b.y),
                        std::max(a.x, b.x),
                        std::max(a.y, b.y),
                        order++,
                        p};
            if (!(box.l <= box.r && box.t <= box.b)) continue; // NaN: under no box
            sp.boxes.push_back(box);
            sp.widest = std::max(sp.widest, box.r - box.l);
        }
        std::sort(sp.boxes.begin(), sp.boxes.end(),
                  [](const PageBox& x, const PageBox& y) { return x.l < y.l; });
    }
}

// The page of the spread under the middle of the box (the first in the
// spread's order), else the one it overlaps most (the first of equals); -1
// when it overlaps none. Only the pages whose left edge lies within the
// widest page's width of the box can, so a spread of many pages side by
// side costs a search, not a pass over them all.
int Mapper::PageAt(int spread, const double box[4]) const {
    const SpreadPages& sp = spreadPages_[static_cast<std::size_t>(spread)];
    const double cx = (box[0] + box[2]) / 2, cy = (box[1] + box[3]) / 2;
    const double from = std::min(box[0], cx) - sp.widest, to = std::max(box[2], cx);
    auto at = std::lower_bound(sp.boxes.begin(), sp.boxes.end(), from,
                               [](const PageBox& x, double l) { return x.l < l; });
    const PageBox *under = nullptr, *best = nullptr;
    double bestArea = 0;
    for (; at != sp.boxes.end() && at->l <= to; ++at) {
        const PageBox& p = *at;
        if (cx >= p.l && cx <= p.r && cy >= p.t && cy <= p.b) {
            if (!under || p.order < under->order) under = &p;
            continue;
        }
        double w = std::min(p.r, box[2]) - std::max(p.l, box[0]);
        double h = std::min(p.b, box[3]) - std::max(p.t, box[1]);
        if (w > 0 && h > 0 &&
            (w * h > bestArea || (w * h == bestArea && best && p.order < best->order))) {
            bestArea = w * h;
            best = &p;
        }
    }
    return under ? under->page : best ? best->page : -1;
}

Matrix Mapper::PageFromSpread(int page) const {
    Matrix m;
    if (page < 0) return m;
    const Page& p = doc_.pages[static_cast<std::size_t>(page)];
    if (!p.transform.Inverse(m)) return Matrix();
    Matrix origin;
    origin.tx = -p.bounds[1];
    origin.ty = -p.bounds[0];
    return m.Then(origin);
}

// Sets the item's geometry from its map to page space, and its members'.
void Mapper::PlaceItem(int item, const Matrix& toPage, int depth) {
    Placed& p = placed_[static_cast<std::size_t>(item)];
    p.toPage = toPage;
    double box[4];
    if (Bounds(item, toPage, box, 0)) p.x = box[0], p.y = box[1];
    if (depth > kMaxItemDepth) return;
    for (int c : doc_.items[static_cast<std::size_t>(item)].children) {
        Placed& member = placed_[static_cast<std::size_t>(c)];
        member.place = Placed::kMember;
        member.page = p.page;
        PlaceItem(c, doc_.items[static_cast<std::size_t>(c)].transform.Then(toPage), depth + 1);
    }
}

void Mapper::Include(int item, int depth) {
    Placed& p = placed_[static_cast<std::size_t>(item)];
    const Item& it = doc_.items[static_cast<std::size_t>(item)];
    if (depth > kMaxItemDepth || p.included || !LayerIncluded(it.layer)) return;
    p.included = true;
    for (int c : it.children)
        Include(c, depth + 1);
}

void Mapper::Plan() {
    Indexes();
    PageBoxes();
    placed_.assign(doc_.items.size(), Placed());
    onPage_.assign(doc_.pages.size(), {});
    for (const Spread& s : doc_.spreads)
        for (int item : s.items) {
            const Item& it = doc_.items[static_cast<std::size_t>(item)];
            Placed& p = placed_[static_cast<std::size_t>(item)];
            double box[4];
            p.page = Bounds(item, it.transform, box, 0) ? PageAt(it.spread, box) : -1;
            p.place = p.page >= 0 ? (s.master ? Placed::kMaster : Placed::kRegular)
                                  : (s.master ? Placed::kNowhere : Placed::kPasteboard);
            // Items on the pasteboard are measured from the spread's first page.
            int origin = p.page >= 0 ? p.page : s.pages.empty() ? -1 : s.pages.front();
            PlaceItem(item, it.transform.Then(PageFromSpread(origin)), 0);
            if (p.page >= 0)
                onPage_[static_cast<std::size_t>(p.page)].emplace_back(
                    static_cast<int>(&s - doc_.spreads.data()), item);
        }
    for (std::size_t i = 0; i < doc_.items.size(); ++i) {
        const Item& it = doc_.items[i];
        if (it.anchorStory < 0 || it.parent >= 0) continue;
        placed_[i].place = Placed::kAnchored;
        PlaceItem(static_cast<int>(i), it.transform, 0);
    }
    for (std::size_t i = 0; i < doc_.items.size(); ++i) {
        Placed::Place where = placed_[i].place;
        bool keep = where == Placed::kRegular ||
                    (where == Placed::kMaster && options_.masterItems) ||
                    (where == Placed::kPasteboard && options_.pasteboardItems);
        if (keep) Include(static_cast<int>(i), 0);
    }
    StoryFrames();
    KeptStories();
}

// The frames of each story in chain order, then the paths that show it.
void Mapper::StoryFrames() {
    storyFrames_.assign(doc_.stories.size(), std::vector<int>());
    std::vector<std::vector<int>> frames(doc_.stories.size()), paths(doc_.stories.size());
    for (std::size_t i = 0; i < doc_.items.size(); ++i) {
        const Item& it = doc_.items[i];
        if (it.kind == Item::Kind::kTextFrame && !it.story.empty()) {
            auto found = storyIndex_.find(it.story);
            if (found == storyIndex_.end())
                b_.BadReference("text frame \"" + it.self + "\" shows the story \"" + it.story +
                                "\", which does not exist");
            else
                frames[static_cast<std::size_t>(found->second)].push_back(static_cast<int>(i));
        }
        for (const TextPathInfo& path : it.textPaths) {
            auto found = storyIndex_.find(path.story);
            if (found != storyIndex_.end())
                paths[static_cast<std::size_t>(found->second)].push_back(static_cast<int>(i));
        }
    }
    for (std::size_t s = 0; s < frames.size(); ++s) {
        std::vector<int>& list = frames[s];
        std::unordered_map<std::string, std::size_t> at;
        for (std::size_t k = 0; k < list.size(); ++k)
            at.emplace(doc_.items[static_cast<std::size_t>(list[k])].self, k);
        std::vector<char> taken(list.size(), 0);
        std::vector<int>& out = storyFrames_[s];
        // The chain from its first frame: one whose previous frame is not in
        // the story (none, or one that points nowhere).
        for (std::size_t k = 0; k < list.size() && out.empty(); ++k) {
            const Item& first = doc_.items[static_cast<std::size_t>(list[k])];
            if (!first.previous.empty() && at.count(first.previous)) continue;
            if (!first.previous.empty())
                b_.BadReference("text frame \"" + first.self + "\" follows \"" + first.previous +
                                "\", which is no frame of its story");
            for (std::size_t here = k; !taken[here];) {
                taken[here] = 1;
                out.push_back(list[here]);
                const std::string& next = doc_.items[static_cast<std::size_t>(list[here])].next;
                if (next.empty()) break;
                auto hit = at.find(next);
                if (hit == at.end() || taken[hit->second]) {
                    b_.BadReference(
                        "text frame \"" + doc_.items[static_cast<std::size_t>(list[here])].self +
                        "\" leads to \"" + next + "\", which " +
                        (hit == at.end() ? "is no frame of its story" : "closes a loop"));
                    break;
                }
                here = hit->second;
            }
        }
        // Frames outside the chain still show the story; a chain without
        // a first frame is a loop, taken in the order of the spreads.
        const bool loop = out.empty() && !list.empty();
        if (loop)
            b_.BadReference("the text frames of the story \"" + doc_.stories[s].self +
                            "\" form a loop");
        for (std::size_t k = 0; k < list.size(); ++k)
            if (!taken[k]) {
                if (!loop)
                    b_.BadReference("text frame \"" +
                                    doc_.items[static_cast<std::size_t>(list[k])].self +
                                    "\" is outside the frame chain of its story");
                out.push_back(list[k]);
            }
        for (int p : paths[s])
            out.push_back(p);
    }
}

int Mapper::FirstFrame(int story) const {
    for (int f : storyFrames_[static_cast<std::size_t>(story)])
        if (placed_[static_cast<std::size_t>(f)].included) return f;
    return -1;
}

// The page that shows a story's first frame; stories held in cells and
// footnotes, and frames anchored in text, go with what holds them.
int Mapper::HomePage(int story, int depth) const {
    if (story < 0 || depth > kMaxItemDepth) return -1;
    const std::pair<int, std::uint32_t>& holder = holder_[static_cast<std::size_t>(story)];
    if (holder.first >= 0) return HomePage(holder.first, depth + 1);
    int frame = FirstFrame(story);
    if (frame < 0) return -1;
    const Placed& p = placed_[static_cast<std::size_t>(frame)];
    int top = frame;
    for (int guard = 0;
         guard <= kMaxItemDepth && doc_.items[static_cast<std::size_t>(top)].parent >= 0; ++guard)
        top = doc_.items[static_cast<std::size_t>(top)].parent;
    const Placed& t = placed_[static_cast<std::size_t>(top)];
    if (t.place == Placed::kAnchored)
        return HomePage(doc_.items[static_cast<std::size_t>(top)].anchorStory, depth + 1);
    return t.place == Placed::kRegular || t.place == Placed::kMaster ? p.page : -1;
}

// A story is kept when one of its frames is, or when it has none at all (a
// package whose spread is lost): it comes last. Items anchored in text are kept
// with the story that holds them, and so are the stories they show.
void Mapper::KeptStories() {
    kept_.assign(doc_.stories.size(), 0);
    for (int round = 0; round <= kMaxItemDepth; ++round) {
        bool changed = false;
        for (std::size_t s = 0; s < doc_.stories.size(); ++s)
            if (!kept_[s] && doc_.stories[s].owner < 0 &&
                (FirstFrame(static_cast<int>(s)) >= 0 || storyFrames_[s].empty()))
                kept_[s] = 1, changed = true;
        for (std::size_t i = 0; i < doc_.items.size(); ++i) {
            if (placed_[i].place != Placed::kAnchored || placed_[i].included) continue;
            int host = doc_.items[i].anchorStory;
            for (int guard = 0; guard <= kMaxItemDepth && host >= 0 &&
                                holder_[static_cast<std::size_t>(host)].first >= 0;
                 ++guard)
                host = holder_[static_cast<std::size_t>(host)].first;
            if (host < 0 || !kept_[static_cast<std::size_t>(host)]) continue;
            Include(static_cast<int>(i), 0);
            changed = true;
        }
        if (!changed) break;
    }
    for (std::size_t i = 0; i < doc_.items.size(); ++i)
        if (placed_[i].place == Placed::kAnchored)
            placed_[i].page = HomePage(doc_.items[i].anchorStory, 0);
}

} // namespace mapping
} // namespace idml
