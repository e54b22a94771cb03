// The DocumentBuilder: the publication with its lists, spreads, pages and
// items, and the top-level Elements built from them.
#include "DocumentBuilder.h"
#include "DocumentBuilderInternal.h"

#include <ReaderColors.h>
#include <ReaderItems.h>

namespace ombra_test {

namespace {

OBAttributeStore& Store(Element* e) {
    return *OBGetAttributeStore(e);
}

unsigned IdOf(const Element* e) {
    return e ? e->GetId() : kNoId;
}

} // namespace

DocumentBuilder::DocumentBuilder()
    : building_(new Building), b_(building_->b), publication_(new OBStoredPublication) {
    Keep(publication_);
    PageSize(612, 792).Margins(36, 36, 36, 36).StartPage(1);
}

DocumentBuilder::~DocumentBuilder() {
    if (!released_) {
        Build();
        for (Element* e : built_)
            delete e;
    }
}

Element* DocumentBuilder::Keep(Element* e) {
    if (e) elements_[e->GetId()] = e;
    return e;
}

Element* DocumentBuilder::List(Element*& list, EL::ElementTypeEnum kind) {
    if (!list) list = b_.Loose(kind);
    return list;
}

Element* DocumentBuilder::Named(Element*& list, EL::ElementTypeEnum listKind,
                                EL::ElementTypeEnum kind, const std::string& name) {
    Element* e = Keep(b_.Child(List(list, listKind), kind));
    b_.Utf8(e, AN::kName, name);
    return e;
}

DocumentBuilder& DocumentBuilder::PageSize(double width, double height,
                                           UNITS::LINEAR::UnitEnum unit) {
    b_.Length(publication_, AN::kPageWidth, width, unit);
    b_.Length(publication_, AN::kPageHeight, height, unit);
    return *this;
}

DocumentBuilder& DocumentBuilder::Margins(double top, double bottom, double left, double right,
                                          UNITS::LINEAR::UnitEnum unit) {
    b_.Length(publication_, AN::kTopMargin, top, unit);
    b_.Length(publication_, AN::kBottomMargin, bottom, unit);
    b_.Length(publication_, AN::kLeftMargin, left, unit);
    b_.Length(publication_, AN::kRightMargin, right, unit);
    return *this;
}

DocumentBuilder& DocumentBuilder::StartPage(int number) {
    b_.Int(publication_, AN::kStartPageNum, number);
    return *this;
}

DocumentBuilder& DocumentBuilder::MetaData(const std::string& title, const std::string& author) {
    MetaDataStore().SetUtf8(AN::kTitle, title.c_str());
    MetaDataStore().SetUtf8(AN::kAuthor, author.c_str());
    return *this;
}

OBAttributeStore& DocumentBuilder::MetaDataStore() {
    Element* meta = publication_->GetChild(EL::kMetaData);
    return Store(meta ? meta : b_.Child(publication_, EL::kMetaData));
}

OBAttributeStore& DocumentBuilder::CharacterFormat(unsigned style) {
    return Store(Find(style)->GetChild(EL::kCharacterAttributes));
}

OBAttributeStore& DocumentBuilder::ParagraphFormat(unsigned paragraphStyle) {
    return Store(Find(paragraphStyle)->GetChild(EL::kParagraphAttributes));
}

unsigned DocumentBuilder::AddRgbColor(const std::string& name, double red, double green,
                                      double blue) {
    obreader::ColorSpec rgb{name, false, CTE::kProcess, CME::kRGB, {red, green, blue, 0}};
    return IdOf(Keep(obreader::AddColor(b_, List(colors_, EL::kColorList), rgb)));
}

unsigned DocumentBuilder::AddCmykColor(const std::string& name, double cyan, double magenta,
                                       double yellow, double black) {
    obreader::ColorSpec cmyk{
        name, false, CTE::kProcess, CME::kCMYK, {cyan, magenta, yellow, black}};
    return IdOf(Keep(obreader::AddColor(b_, List(colors_, EL::kColorList), cmyk)));
}

unsigned DocumentBuilder::AddFont(const std::string& name, WSE::WritingScriptEnum script) {
    Element* font = Named(fonts_, EL::kFontList, EL::kFont, name);
    SetScript(b_, font, script);
    return IdOf(font);
}

unsigned DocumentBuilder::AddLayer(const std::string& name, bool visible, bool printing,
                                   bool locked) {
    Element* layer = Named(layers_, EL::kLayerList, EL::kLayer, name);
    b_.Bool(layer, AN::kVisible, visible);
    b_.Bool(layer, AN::kIsNonPrinting, !printing);
    b_.Bool(layer, AN::kLocked, locked);
    return IdOf(layer);
}

unsigned DocumentBuilder::AddCharacterStyle(const std::string& name, unsigned basedOn, int script) {
    Element* style = Named(characterStyles_, EL::kCharacterStyleList, EL::kCharacterStyle, name);
    if (basedOn != kNoId) b_.Id(style, AN::kBasedOn, basedOn);
    SetScript(b_, b_.Child(style, EL::kCharacterAttributes), script);
    return IdOf(style);
}

unsigned DocumentBuilder::AddParagraphStyle(const std::string& name, unsigned basedOn,
                                            unsigned next, int script) {
    Element* style = Named(paragraphStyles_, EL::kParagraphStyleList, EL::kParagraphStyle, name);
    if (basedOn != kNoId) b_.Id(style, AN::kBasedOn, basedOn);
    if (next != kNoId) b_.Id(style, AN::kNext, next);
    b_.Child(style, EL::kParagraphAttributes);
    SetScript(b_, b_.Child(style, EL::kCharacterAttributes), script);
    return IdOf(style);
}

unsigned DocumentBuilder::AddMasterSpread(const std::string& name) {
    return IdOf(Named(masterSpreads_, EL::kMasterSpreadList, EL::kMasterSpread, name));
}

unsigned DocumentBuilder::AddMasterPage(unsigned masterSpread, const std::string& name,
                                        double width, double height) {
    Element* page = Keep(b_.Child(Find(masterSpread), EL::kMasterPage));
    if (!page) return kNoId;
    b_.Utf8(page, AN::kName, name);
    if (width > 0) b_.Length(page, AN::kPageWidth, width);
    if (height > 0) b_.Length(page, AN::kPageHeight, height);
    containers_[page->GetId()] = b_.Child(page, EL::kDrawingObjectList);
    return page->GetId();
}

unsigned DocumentBuilder::AddSpread() {
    return IdOf(Keep(b_.Child(List(spreads_, EL::kRegularSpreadList), EL::kRegularSpread)));
}

unsigned DocumentBuilder::AddPage(unsigned spread, unsigned master) {
    Element* owner = Find(spread);
    // Pages come before the spread's pasteboard list, if it has one.
    Element* page = b_.Loose(EL::kRegularPage);
    long long pasteboard = -1;
    if (owner) owner->GetChildAndItsPosition(EL::kPasteboardDrawingObjectList, pasteboard);
    if (!owner || !page ||
        !(pasteboard >= 0 ? owner->AddChildBeforePosition(page, pasteboard)
                          : owner->AddChild(page))) {
        b_.Delete(page);
        return kNoId;
    }
    Keep(page);
    if (master != kNoId) b_.Id(page, AN::kBasedOn, master);
    containers_[page->GetId()] = b_.Child(page, EL::kDrawingObjectList);
    return page->GetId();
}

Element* DocumentBuilder::Item(unsigned container, EL::ElementTypeEnum kind, unsigned layer,
                               bool visible) {
    auto found = containers_.find(container);
    Element* target = found != containers_.end() ? found->second : nullptr;
    Element* spread = target ? nullptr : Find(container);
    if (!target && spread && spread->GetElementType() == EL::kRegularSpread)
        target = containers_[container] = b_.Child(spread, EL::kPasteboardDrawingObjectList);
    Element* item = Keep(b_.Child(target, kind));
    if (layer != kNoId) b_.Id(item, AN::kLayer, layer);
    b_.Bool(item, AN::kVisible, visible);
    return item;
}

unsigned DocumentBuilder::AddTextFrame(unsigned container, unsigned story, const OBRect& box,
                                       unsigned layer, bool visible) {
    Element* frame = Item(container, EL::kText, layer, visible);
    if (!frame) return kNoId;
    Store(frame).SetRect(AN::kBoundingBox, box);
    b_.Id(frame, AN::kStory, story);
    b_.Int(frame, AN::kNumberOfColumns, 1);
    frames_[story].push_back(frame);
    return frame->GetId();
}

unsigned DocumentBuilder::AddRectangle(unsigned container, const OBRect& box, unsigned layer) {
    Element* item = Item(container, EL::kRectangle, layer, true);
    if (item) Store(item).SetRect(AN::kBoundingBox, box);
    return IdOf(item);
}

unsigned DocumentBuilder::AddGroup(unsigned container, unsigned layer, bool visible) {
    Element* group = Item(container, EL::kGroup, layer, visible);
    if (group) containers_[group->GetId()] = group;
    return IdOf(group);
}

unsigned DocumentBuilder::AddPicture(unsigned container, const OBRect& box, const std::string& path,
                                     const std::string& alt, unsigned layer) {
    Element* item = Item(container, EL::kPicture, layer, true);
    if (!item) return kNoId;
    Store(item).SetRect(AN::kBoundingBox, box);
    if (!alt.empty()) b_.Utf8(item, AN::kAlternativeText, alt);
    obreader::AddLinkInformation(b_, item, path, false);
    return item->GetId();
}

StoryBuilder& DocumentBuilder::AddStory() {
    storyBuilders_.push_back(std::make_unique<StoryBuilder>());
    StoryBuilder& story = *storyBuilders_.back();
    story.parent_ = Keep(b_.Child(List(stories_, EL::kStoryList), EL::kParentStory));
    story.id_ = story.parent_ ? story.parent_->GetId() : story.id_;
    return story;
}

Element* DocumentBuilder::Find(unsigned id) const {
    auto found = elements_.find(id);
    return found == elements_.end() ? nullptr : found->second;
}

const std::vector<Element*>& DocumentBuilder::Build() {
    if (!built_.empty() || released_) return built_;
    std::vector<Element*> hyperlinks;
    for (auto& story : storyBuilders_) {
        if (!story->parent_) continue;
        b_.Attach(story->parent_, story->BuildChildStory(story->id_, hyperlinks));
        if (story->vertical_)
            b_.Enum(story->parent_, AN::kTextDirection, &ValueUtil::CreateValueTextDirectionEnum,
                    TDE::kVertical);
    }
    for (auto& chain : frames_) {
        for (size_t i = 0; i < chain.second.size(); ++i) {
            if (i > 0) b_.IdOf(chain.second[i], AN::kPreviousTextObject, chain.second[i - 1]);
            if (i + 1 < chain.second.size())
                b_.IdOf(chain.second[i], AN::kNextTextObject, chain.second[i + 1]);
        }
    }
    if (spreads_) {
        b_.Int(publication_, AN::kNumberOfSpreads, spreads_->GetChildCount());
        Element* first = spreads_->GetNthChild(0);
        long long pages = 0;
        for (unsigned long long i = 0; first && i < first->GetChildCount(); ++i)
            if (first->GetNthChild(i)->GetElementType() == EL::kRegularPage) ++pages;
        b_.Int(publication_, AN::kNumberOfPagesPerSpread, pages);
    }
    Element* links = hyperlinks.empty() ? nullptr : b_.Loose(EL::kHyperlinkList);
    for (Element* link : hyperlinks)
        b_.Attach(links, link);
    for (Element* e :
         {static_cast<Element*>(publication_), colors_, fonts_, layers_, characterStyles_,
          paragraphStyles_, masterSpreads_, spreads_, stories_, links})
        if (e) built_.push_back(e);
    return built_;
}

std::vector<Element*> DocumentBuilder::Release() {
    Build();
    released_ = true;
    std::vector<Element*> out;
    out.swap(built_);
    return out;
}

} // namespace ombra_test
