// The document reader's page items: an item's attributes at its start, then
// what its children hold (item attributes, the members of a group, a
// table's cells, a frame's text), and tables.
#include "ScribusReading.h"

#include "ScribusNumberReaders.h"
#include "ScribusOutlines.h"

#include <ReaderTables.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace scribus {
namespace detail {

namespace {

Item::Kind KindOf(long long type) {
    switch (type) {
    case 2:
        return Item::Kind::kImageFrame;
    case 4:
        return Item::Kind::kTextFrame;
    case 5:
        return Item::Kind::kLine;
    case 6:
    case 13:
        return Item::Kind::kPolygon;
    case 7:
    case 15:
        return Item::Kind::kPolyLine;
    case 8:
        return Item::Kind::kPathText;
    case 12:
        return Item::Kind::kGroup;
    case 16:
        return Item::Kind::kTable;
    case 1:
    case 3:
    case 14:
        return Item::Kind::kShape;
    default:
        return Item::Kind::kOther;
    }
}

// Group ids as files write them, whole numbers of up to nine digits each
// followed by one space, appended to ids; false, with ids as they were, for
// any other text (or more than max numbers), which NumberList then reads.
bool PlainIds(const char* p, std::vector<long long>& ids, std::size_t max) {
    const std::size_t before = ids.size();
    while (*p) {
        long long v = 0;
        const char* start = p;
        // A tenth digit already fails the number, and ends the loop before
        // a longer run could overflow.
        for (; static_cast<unsigned char>(*p - '0') < 10 && p - start < 10; ++p)
            v = v * 10 + (*p - '0');
        if (p == start || p - start > 9 || *p != ' ' || ids.size() - before == max) {
            ids.resize(before);
            return false;
        }
        ids.push_back(v);
        ++p;
    }
    return true;
}

long long SpanKey(long long row, long long column) {
    return row * 1000003 + column;
}

} // namespace

// Reads one item's attributes. kIgnore when the item limit is reached.
DocumentReader::Kind DocumentReader::StartItem(const Attrs& a, ItemSource::Scope scope, int depth,
                                               int parent) {
    if (doc_.items.size() >= ctx_.options.maxItems) {
        ctx_.WarnOnce(Warning::Code::kLimit, "items",
                      "the document has more than " + std::to_string(ctx_.options.maxItems) +
                          " items; the rest are skipped");
        return kIgnore;
    }
    const int index = static_cast<int>(doc_.items.size());
    if (doc_.items.size() == doc_.items.capacity()) {
        // Items are large, and each step of growth moves all of them: the
        // first steps, for a few items each, are skipped.
        const std::size_t room = std::max<std::size_t>(128, 2 * doc_.items.size());
        doc_.items.reserve(room);
        state_.sources.reserve(room);
    }
    doc_.items.emplace_back();
    state_.sources.emplace_back();
    Item& it = doc_.items.back();
    ItemSource& src = state_.sources.back();
    src.scope = scope;
    src.indexInScope = scopeCount_[scope]++;
    it.rawType = static_cast<int>(InlineInteger(ctx_, a, kAttr_PTYPE, 6));
    it.kind = KindOf(it.rawType);
    // The item and its source are new: their texts are empty until read.
    if (const char* name = a.Get(kAttr_ANNAME)) it.name = name;
    it.layer = static_cast<int>(InlineInteger(ctx_, a, kAttr_LAYER, 0));
    it.parent = parent;
    ReadItemShape(a, it, src);
    ReadItemFrame(a, it);
    ReadItemContent(a, it);
    ReadItemLinks(a, src);

    items_.emplace_back();
    ItemState& state = items_.back();
    state.index = index;
    state.depth = depth;
    state.group = it.kind == Item::Kind::kGroup;
    state.table = it.kind == Item::Kind::kTable;
    if (state.table) {
        // Scribus writes the table's size on the item, not on TableData.
        state.tableState = std::make_unique<TableState>();
        TableState& ts = *state.tableState;
        ts.rows = InlineInteger(ctx_, a, kAttr_Rows, -1);
        ts.columns = InlineInteger(ctx_, a, kAttr_Columns, -1);
        NumberList(a.Get(kAttr_RowHeights), ts.rowHeights, 100000);
        NumberList(a.Get(kAttr_ColumnWidths), ts.columnWidths, 100000);
        NumberList(a.Get(kAttr_CellAreas), ts.cellAreas, 400000);
    }
    if (state.group && depth >= ctx_.options.maxNesting) {
        ctx_.Warn(Warning::Code::kLimit, "groups are nested deeper than " +
                                             std::to_string(ctx_.options.maxNesting) +
                                             " levels; the inner ones are skipped");
        state.membersStopped = true;
    }
    if (it.kind == Item::Kind::kTextFrame || it.kind == Item::Kind::kPathText)
        StartText(state, src);
    return kItem;
}

void DocumentReader::ReadItemShape(const Attrs& a, Item& it, ItemSource& src) {
    src.canvasX = InlineNumber(ctx_, a, kAttr_XPOS, 0);
    src.canvasY = InlineNumber(ctx_, a, kAttr_YPOS, 0);
    it.x = src.canvasX;
    it.y = src.canvasY;
    it.width = InlineNumber(ctx_, a, kAttr_WIDTH, 0);
    it.height = InlineNumber(ctx_, a, kAttr_HEIGHT, 0);
    it.rotation = InlineNumber(ctx_, a, kAttr_ROT, 0);
    it.flipH = InlineFlag(a, kAttr_FLIPPEDH, false);
    it.flipV = InlineFlag(a, kAttr_FLIPPEDV, false);
    it.locked = InlineFlag(a, kAttr_LOCK, false);
    it.printable = InlineFlag(a, kAttr_PRINTABLE, true);
    // The colours stay "None" when not given.
    if (const char* fill = a.Get(kAttr_PCOLOR)) it.fillColor = fill;
    it.fillShade = InlineNumber(ctx_, a, kAttr_SHADE, 100);
    if (const char* line = a.Get(kAttr_PCOLOR2)) it.lineColor = line;
    it.lineShade = InlineNumber(ctx_, a, kAttr_SHADE2, 100);
    it.fillOpacity = 1 - InlineNumber(ctx_, a, kAttr_TransValue, 0);
    it.lineOpacity = 1 - InlineNumber(ctx_, a, kAttr_TransValueS, 0);
    it.lineWidth = InlineNumber(ctx_, a, kAttr_PWIDTH, 0);
    it.lineStyle = static_cast<int>(InlineInteger(ctx_, a, kAttr_PLINEART, 1));
    it.lineCap = static_cast<int>(InlineInteger(ctx_, a, kAttr_PLINEEND, 0));
    it.lineJoin = static_cast<int>(InlineInteger(ctx_, a, kAttr_PLINEJOIN, 0));
    it.cornerRadius = InlineNumber(ctx_, a, kAttr_RADRECT, 0);
    if (a.Has(kAttr_FRTYPE)) {
        long long frame = InlineInteger(ctx_, a, kAttr_FRTYPE, -1);
        if (frame >= 0 && frame <= 3) it.frameType = static_cast<int>(frame);
    }
    // The outline and the contour, each from the legacy coordinates or else
    // SVG path data. Nothing maps the contour: one that differs from the
    // outline is read for what it warns of, into room used again.
    const char* coords = a.Get(kAttr_POCOOR);
    const char* path = a.Get(kAttr_path);
    SvgEnding ending; // of the path, when the outline is read from it
    if (coords && *coords)
        CoordinatesToPath(ctx_, coords, it.outline);
    else if (path)
        ending = SvgToPathEnding(ctx_, path, it.outline);
    const char* contour = a.Get(kAttr_COCOOR);
    if (contour && *contour && (!coords || std::strcmp(contour, coords) != 0)) {
        // Its only warning is for more than maxPathPoints points, of eight
        // numbers of a byte or more each: a shorter text is not read.
        if (std::strlen(contour) / 8 > ctx_.options.maxPathPoints) {
            contour_.clear();
            CoordinatesToPath(ctx_, contour, contour_);
        }
    } else if (const char* copath = a.Get(kAttr_copath)) {
        if (*copath && (!path || std::strcmp(copath, path) != 0)) {
            SvgContourWarnings(ctx_, copath, path, ending, contour_);
        }
    }
}

void DocumentReader::ReadItemFrame(const Attrs& a, Item& it) {
    it.columns = static_cast<int>(InlineInteger(ctx_, a, kAttr_COLUMNS, 1));
    if (it.columns < 1 || it.columns > 1000) it.columns = 1;
    it.columnGap = InlineNumber(ctx_, a, kAttr_COLGAP, 0);
    it.textInsets.left = InlineNumber(ctx_, a, kAttr_EXTRA, 0);
    it.textInsets.top = InlineNumber(ctx_, a, kAttr_TEXTRA, 0);
    it.textInsets.bottom = InlineNumber(ctx_, a, kAttr_BEXTRA, 0);
    it.textInsets.right = InlineNumber(ctx_, a, kAttr_REXTRA, 0);
    if (a.Has(kAttr_TEXTFLOWMODE))
        it.textFlow = static_cast<int>(InlineInteger(ctx_, a, kAttr_TEXTFLOWMODE, 0));
    else if (InlineFlag(a, kAttr_TEXTFLOW3, false))
        it.textFlow = 3;
    else if (InlineFlag(a, kAttr_TEXTFLOW2, false))
        it.textFlow = 2;
    else if (InlineFlag(a, kAttr_TEXTFLOW, false))
        it.textFlow = 1;
    it.defaults = FrameDefaults(a);
}

// The format of the frame's default attributes. Most frames set none, or
// only an alignment (resaved documents write 6, out of range): the format of
// each alignment alone is looked up once.
int DocumentReader::FrameDefaults(const Attrs& a) {
    int alignment = -1;
    if (a.Has(kAttr_ALIGN)) {
        long long v = InlineInteger(ctx_, a, kAttr_ALIGN, 0);
        if (v >= 0 && v <= 4) alignment = static_cast<int>(v);
    }
    static constexpr AttrId kOthers[] = {kAttr_LINESP,    kAttr_LINESPMode, kAttr_IFONT,
                                         kAttr_ISIZE,     kAttr_TXTFILL,    kAttr_TXTSTROKE,
                                         kAttr_TXTFILLSH, kAttr_TXTSTRSH,   kAttr_TXTSCALE,
                                         kAttr_TXTSCALEV, kAttr_TXTSTYLE};
    if (std::none_of(std::begin(kOthers), std::end(kOthers),
                     [&](AttrId id) { return a.Has(id); })) {
        int& known = alignmentDefaults_[alignment + 1];
        if (known < 0) {
            ParagraphAttributes d{};
            if (alignment >= 0) d.alignment = alignment;
            known = static_cast<int>(ctx_.formats.Paragraph(std::string(), d));
        }
        return known;
    }
    ParagraphAttributes d;
    if (alignment >= 0) d.alignment = alignment;
    ReadFrameDefaults(a, d);
    return static_cast<int>(ctx_.formats.Paragraph(std::string(), d));
}

// The frame's default attributes after its alignment.
void DocumentReader::ReadFrameDefaults(const Attrs& a, ParagraphAttributes& d) {
    OptionalNumber(ctx_, a, kAttr_LINESP, d.lineSpacing);
    if (a.Has(kAttr_LINESPMode))
        d.lineSpacingMode = static_cast<int>(InlineInteger(ctx_, a, kAttr_LINESPMode, 0));
    CharacterAttributes& c = d.character;
    if (const char* v = a.Get(kAttr_IFONT)) c.font = std::string(v);
    OptionalNumber(ctx_, a, kAttr_ISIZE, c.size);
    if (const char* v = a.Get(kAttr_TXTFILL)) c.fillColor = std::string(v);
    if (const char* v = a.Get(kAttr_TXTSTROKE)) c.strokeColor = std::string(v);
    OptionalNumber(ctx_, a, kAttr_TXTFILLSH, c.fillShade);
    OptionalNumber(ctx_, a, kAttr_TXTSTRSH, c.strokeShade);
    OptionalNumber(ctx_, a, kAttr_TXTSCALE, c.scaleH);
    OptionalNumber(ctx_, a, kAttr_TXTSCALEV, c.scaleV);
    if (a.Has(kAttr_TXTSTYLE))
        c.effects = EffectBits(ctx_, InlineInteger(ctx_, a, kAttr_TXTSTYLE, 0));
}

// Pictures, text on a path, old tables' cell frames and annotations.
void DocumentReader::ReadItemContent(const Attrs& a, Item& it) {
    // The item is new: an empty name needs no copy.
    if (const char* file = a.Get(kAttr_PFILE); file && *file) it.imageFile = file;
    it.imageOffsetX = InlineNumber(ctx_, a, kAttr_LOCALX, 0);
    it.imageOffsetY = InlineNumber(ctx_, a, kAttr_LOCALY, 0);
    it.imageScaleX = InlineNumber(ctx_, a, kAttr_LOCALSCX, 1);
    it.imageScaleY = InlineNumber(ctx_, a, kAttr_LOCALSCY, 1);
    it.imageRotation = InlineNumber(ctx_, a, kAttr_LOCALROT, 0);
    if (InlineFlag(a, kAttr_isInlineImage, false)) {
        it.imageEmbedded = true;
        it.embeddedImageType = String(a, kAttr_inlineImageExt);
        const char* data = a.Get(kAttr_ImageData);
        std::size_t len = data ? std::strlen(data) : 0;
        if (len > ctx_.options.maxEmbeddedImageBytes)
            ctx_.Warn(Warning::Code::kLimit, "embedded image of " + std::to_string(len) +
                                                 " bytes in item \"" + it.name +
                                                 "\" exceeds the limit; skipped");
        else if (data)
            it.embeddedImageData.assign(data, len);
    }
    it.pathTextType = static_cast<int>(InlineInteger(ctx_, a, kAttr_textPathType, 0));
    it.pathTextFlipped = InlineFlag(a, kAttr_textPathFlipped, false);
    it.pathTextOffset = InlineNumber(ctx_, a, kAttr_BASEOF, 0);
    it.isTableCellFrame = InlineFlag(a, kAttr_isTableItem, false);
    it.isGroupControl = InlineFlag(a, kAttr_isGroupControl, false);
    if (InlineFlag(a, kAttr_ANNOTATION, false)) {
        Annotation an;
        an.type = static_cast<int>(InlineInteger(ctx_, a, kAttr_ANTYPE, 0));
        an.actionType = static_cast<int>(InlineInteger(ctx_, a, kAttr_ANACTYP, 0));
        an.name = it.name;
        an.tooltip = String(a, kAttr_ANTOOLTIP);
        an.external = String(a, kAttr_ANEXTERN);
        an.action = String(a, kAttr_ANACTION);
        an.targetPage = static_cast<int>(InlineInteger(ctx_, a, kAttr_ANZIEL, -1));
        it.annotation = std::make_unique<Annotation>(std::move(an));
    }
}

void DocumentReader::ReadItemLinks(const Attrs& a, ItemSource& src) {
    src.next = Identifier(ctx_, a, kAttr_NEXTITEM, -1);
    src.back = Identifier(ctx_, a, kAttr_BACKITEM, -1);
    src.nextPage = InlineInteger(ctx_, a, kAttr_NEXTPAGE, -1);
    src.backPage = InlineInteger(ctx_, a, kAttr_BACKPAGE, -1);
    src.id = Identifier(ctx_, a, kAttr_ItemID, -1);
    src.anchorId = Identifier(ctx_, a, kAttr_InID, -1);
    src.ownPage = InlineInteger(ctx_, a, kAttr_OwnPage, -1);
    // The source is new: an empty name needs no copy.
    if (const char* master = a.Get(kAttr_OnMasterPage); master && *master) src.masterName = master;
    if (const char* groups = a.Get(kAttr_GROUPS)) {
        src.groupsBegin = static_cast<std::uint32_t>(state_.groupIds.size());
        if (!PlainIds(groups, state_.groupIds, 1000)) {
            numbers_.clear();
            NumberList(groups, numbers_, 1000);
            for (double g : numbers_)
                if (g >= 0 && g < 1e9 && g == static_cast<double>(static_cast<long long>(g)))
                    state_.groupIds.push_back(static_cast<long long>(g));
        }
        src.groupsCount = static_cast<std::uint32_t>(state_.groupIds.size() - src.groupsBegin);
    }
}

StoryBuilder& DocumentReader::Builder(std::optional<StoryBuilder>& builder, Story& story) {
    if (builder)
        builder->Restart(story);
    else
        builder.emplace(ctx_, story, state_.styleByIndex);
    return *builder;
}

// A frame's text: from the tree later, kept now when the frame is linked to
// another (its story is read in chain order once every item is known), or
// read now.
void DocumentReader::StartText(ItemState& state, ItemSource& src) {
    const Item& it = doc_.items[static_cast<std::size_t>(state.index)];
    if (state_.tree) {
        src.node = node_;
        return;
    }
    textDepth_ = 0;
    if (it.kind == Item::Kind::kTextFrame && (src.next != -1 || src.back != -1)) {
        src.record = static_cast<int>(state_.records.size());
        state_.records.emplace_back();
        state.record = &state_.records.back();
        text_ = state.record;
        textHold_ = nullptr;
        return;
    }
    src.built = static_cast<int>(state_.built.size());
    state_.built.emplace_back();
    BuiltStory& b = state_.built.back();
    state.text = &Builder(frameText_, b.story);
    state.text->BeginFrame();
    text_ = state.text;
    textHold_ = &b.warnings;
}

DocumentReader::Kind DocumentReader::ItemChild(ElementId id, const Attrs& a) {
    if (!ItemReads(id)) return kIgnore;
    ItemState& state = items_.back();
    switch (id) {
    case kElem_PageItemAttributes:
        if (state.sawAttributes) return kIgnore;
        state.sawAttributes = true;
        return kItemAttributes;
    case kElem_PAGEOBJECT: {
        if (!state.group || state.membersStopped) return kIgnore;
        const int group = state.index;
        const int depth = state.depth;
        Kind kind = StartItem(a, ItemSource::kGroupMembers, depth + 1, group);
        if (kind != kItem) {
            items_.back().membersStopped = true;
            return kind;
        }
        doc_.items[static_cast<std::size_t>(group)].children.push_back(items_.back().index);
        return kind;
    }
    case kElem_TableData:
        if (!state.table || state.sawTableData) return kIgnore;
        state.sawTableData = true;
        StartTable(state, a);
        return kTableData;
    default:
        return kIgnore;
    }
}

void DocumentReader::EndItem() {
    ItemState& state = items_.back();
    Item& it = doc_.items[static_cast<std::size_t>(state.index)];
    if (state.tableState) {
        if (!state.sawTableData) StartTable(state, none_);
        Table& t = state.tableState->table;
        KeepRowsHeld(t);
        it.table = std::make_unique<Table>(std::move(t));
    }
    if (state.text) {
        BuiltStory& b = state_.built[static_cast<std::size_t>(
            state_.sources[static_cast<std::size_t>(state.index)].built)];
        HeldWarnings* before = ctx_.Hold(&b.warnings);
        state.text->EndFrame(&it.defaults);
        state.text->Finish();
        ctx_.Hold(before);
        b.anchoredIds = std::move(state.text->anchoredIds);
        b.unknownStyleIndex = state.text->unknownStyleIndex;
    }
    if (state.text || state.record) {
        text_ = nullptr;
        textHold_ = nullptr;
    }
    items_.pop_back();
}

void DocumentReader::StartTable(ItemState& state, const Attrs& a) {
    TableState& ts = *state.tableState;
    Table& t = ts.table;
    long long rows = InlineInteger(
        ctx_, a, kAttr_Rows, ts.rows >= 0 ? ts.rows : static_cast<long long>(ts.rowHeights.size()));
    long long columns =
        Integer(ctx_, a, kAttr_Columns,
                ts.columns >= 0 ? ts.columns : static_cast<long long>(ts.columnWidths.size()));
    t.rows = rows > 1000000 ? -1 : static_cast<int>(rows);
    t.columns = columns > 1000000 ? -1 : static_cast<int>(columns);
    if (t.rows < 0 || t.columns < 0 || static_cast<double>(t.rows) * t.columns > 1e6) {
        ctx_.Warn(Warning::Code::kLimit, "a table claims " + std::to_string(t.rows) + " x " +
                                             std::to_string(t.columns) +
                                             " cells; its cells are skipped");
        t.rows = t.columns = 0;
    }
    t.style = String(a, kAttr_Style);
    t.fillColor = String(a, kAttr_FillColor);
    t.rowHeights = std::move(ts.rowHeights);
    t.columnWidths = std::move(ts.columnWidths);
    // Spans come from the table's list of merged areas: row, column,
    // height and width of each.
    const std::vector<double>& areas = ts.cellAreas;
    for (std::size_t k = 0; k + 3 < areas.size(); k += 4)
        ts.spans[SpanKey(static_cast<long long>(areas[k]), static_cast<long long>(areas[k + 1]))] =
            std::make_pair(std::max(1, static_cast<int>(areas[k + 2])),
                           std::max(1, static_cast<int>(areas[k + 3])));
    ts.maxCells = static_cast<std::size_t>(t.rows) * static_cast<std::size_t>(t.columns);
    state.cellsStopped = t.rows <= 0;
}

// A table keeps the rows its data hold and a few empty ones, no more.
void DocumentReader::KeepRowsHeld(Table& t) {
    const obreader::RowsKept r(t.rows, t.rowHeights.size(), t.cells, ctx_.emptyRows);
    if (!r.Cut()) return;
    ctx_.Warn(Warning::Code::kLimit, r.Note());
    r.Apply(t);
}

DocumentReader::Kind DocumentReader::StartCell(const Attrs& a) {
    ItemState& state = items_.back();
    if (state.cellsStopped || !state.tableState) return kIgnore;
    TableState& ts = *state.tableState;
    Table& t = ts.table;
    if (t.cells.size() >= ts.maxCells) {
        ctx_.Warn(Warning::Code::kLimit,
                  "a table has more cells than rows times columns; the rest are skipped");
        state.cellsStopped = true;
        return kIgnore;
    }
    cell_.emplace();
    Cell& cell = cell_->cell;
    cell.row = static_cast<int>(InlineInteger(ctx_, a, kAttr_Row, -1));
    cell.column = static_cast<int>(InlineInteger(ctx_, a, kAttr_Column, -1));
    if (cell.row < 0 || cell.row >= t.rows || cell.column < 0 || cell.column >= t.columns) {
        ctx_.Warn(Warning::Code::kBadReference, "a table cell lies outside its table; skipped");
        cell_.reset();
        return kIgnore;
    }
    cell.style = String(a, kAttr_Style);
    cell.fillColor = String(a, kAttr_FillColor);
    cell.fillShade = InlineNumber(ctx_, a, kAttr_FillShade, 100);
    cell.padding.left = InlineNumber(ctx_, a, kAttr_LeftPadding, 0);
    cell.padding.right = InlineNumber(ctx_, a, kAttr_RightPadding, 0);
    cell.padding.top = InlineNumber(ctx_, a, kAttr_TopPadding, 0);
    cell.padding.bottom = InlineNumber(ctx_, a, kAttr_BottomPadding, 0);
    auto span = ts.spans.find(SpanKey(cell.row, cell.column));
    if (span != ts.spans.end()) {
        cell.rowSpan = span->second.first;
        cell.columnSpan = span->second.second;
    }
    Story& story = cell_->story;
    story.table = state.index;
    story.cellRow = cell.row;
    story.cellColumn = cell.column;
    StoryBuilder& builder = Builder(cellText_, story);
    builder.BeginFrame();
    text_ = &builder;
    textHold_ = nullptr;
    textDepth_ = 0;
    return kCell;
}

void DocumentReader::EndCell() {
    text_ = nullptr;
    if (!cell_) return;
    cellText_->EndFrame(nullptr);
    cellText_->Finish();
    Cell& cell = cell_->cell;
    cell.story = static_cast<int>(doc_.stories.size());
    doc_.stories.push_back(std::move(cell_->story));
    items_.back().tableState->table.cells.push_back(std::move(cell));
    cell_.reset();
}

} // namespace detail
} // namespace scribus
