#include "ReaderItems.h"

#include <ombra/files.h>

#include <cctype>
#include <cstring>

namespace obreader {

namespace {

bool EndsWith(const std::string& s, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    return true;
}

} // namespace

PTE::PictureTypeEnum PictureTypeOf(const std::string& file) {
    struct {
        const char* ext;
        PTE::PictureTypeEnum type;
    } const kTypes[] = {{".png", PTE::kPNG},   {".jpg", PTE::kJPEG},  {".jpeg", PTE::kJPEG},
                        {".tif", PTE::kTIFF},  {".tiff", PTE::kTIFF}, {".gif", PTE::kGIF},
                        {".bmp", PTE::kBMP},   {".eps", PTE::kEPS},   {".ps", PTE::kEPS},
                        {".pdf", PTE::kPDF},   {".psd", PTE::kPSD},   {".svg", PTE::kSVG},
                        {".wmf", PTE::kWMF},   {".emf", PTE::kEMF},   {".pct", PTE::kPICT},
                        {".pict", PTE::kPICT}, {".pcx", PTE::kPCX},   {".jp2", PTE::kJPEG2000}};
    std::string name = file;
    if (!name.empty() && name[0] != '.' && name.find('.') == std::string::npos) name = "." + name;
    for (const auto& t : kTypes)
        if (EndsWith(name, t.ext)) return t.type;
    return PTE::kUnknown;
}

Element* AddLinkInformation(ElementBuilder& b, Element* picture, const std::string& path,
                            bool embedded) {
    Element* link = b.Child(picture, EL::kLinkInformation);
    b.Bool(link, AN::kStoreCopyInPublication, embedded);
    if (link && !path.empty()) {
        OBSysFileRef file(path.c_str());
        Value* v = nullptr;
        ValueUtil::CreateValueFileSpec(file, v);
        b.Put(link, AN::kLinkedFile, v);
        b.Bool(link, AN::kIsLinkActive, true);
    }
    return link;
}

Element* AddTextWrap(ElementBuilder& b, Element* item, const TextWrapSpec& wrap) {
    if (wrap.option == WOE::kNone || wrap.option == WOE::kUndefined) return nullptr;
    Element* e = b.Child(item, EL::kTextWrapSettings);
    if (!e) return nullptr;
    b.Bool(e, AN::kWrapText, true);
    b.Enum(e, AN::kOption, &ValueUtil::CreateValueWrapOptionEnum, wrap.option);
    b.Enum(e, AN::kTextFlow, &ValueUtil::CreateValueTextFlowEnum, wrap.flow);
    b.Length(e, AN::kTopStandoff, wrap.top);
    b.Length(e, AN::kLeftStandoff, wrap.left);
    b.Length(e, AN::kBottomStandoff, wrap.bottom);
    b.Length(e, AN::kRightStandoff, wrap.right);
    b.Bool(e, AN::kInvert, wrap.invert);
    if (wrap.option == WOE::kObjectShape) b.Bool(e, AN::kOutsideEdgesOnly, wrap.outsideEdgesOnly);
    return e;
}

} // namespace obreader
