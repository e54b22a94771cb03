#include "WriterTools.h"

#include <FaceWords.h>
#include <Languages.h>

#include <ombra/files.h>
#include <ombra/utf16.h>
#include <ombra/scripts.h>
#include <ombra/storedelements.h>
#include <ombra/views.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace obwalk {

namespace {

void AppendDate(Value* v, Utf8Text& out) {
    auto* date = dynamic_cast<ValueDateTime*>(v);
    if (!date || date->GetYear() <= 0 || date->GetMonth() < 1 || date->GetMonth() > 12 ||
        date->GetDay() < 1 || date->GetDay() > 31)
        return;
    char text[40];
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d", date->GetYear() % 10000,
                          date->GetMonth(), date->GetDay());
    if (date->GetHour() || date->GetMin() || date->GetSec())
        n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "T%02d:%02d:%02d",
                           date->GetHour() % 100, date->GetMin() % 100, date->GetSec() % 100);
    out.Append(text, n);
}

void Field(Element* source, AN::AttrNameEnum attr, Utf8Text& out) {
    if (out.IsEmpty()) GetUtf8(OBGetAttributeValue(source, attr), out);
}

bool Has(const char* word, const char* part) {
    return std::strstr(word, part) != nullptr;
}

// A heading by name: "Title", "Heading 2", "Sub Header", "見出し3", "h1".
// A digit at the end gives the level; otherwise titles and plain or main
// headings are 1, sub-headings 2 and other kinds of heading ("List
// Header") 3. Running heads and page headers are no headings.
bool NameIsHeading(const Utf8Text& name, int& level) {
    char word[96];
    int n = 0, digit = 0;
    for (long long i = 0; i < name.Size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name.Data()[i]);
        if (c == ' ' || c == '_' || c == '-' || c == '.') continue;
        if (c >= '1' && c <= '6' && i == name.Size() - 1) {
            digit = c - '0';
            continue;
        }
        if (n >= static_cast<int>(sizeof word) - 1) return false;
        word[n++] = static_cast<char>(std::tolower(c));
    }
    word[n] = 0;
    const char* midashi = "\xE8\xA6\x8B\xE5\x87\xBA\xE3\x81\x97"; // 見出し
    if (Has(word, "running") || Has(word, "pageheader") || Has(word, "pagehead")) return false;
    bool sub = std::strncmp(word, "sub", 3) == 0 || Has(word, "\xE4\xB8\xAD") ||
               Has(word, "\xE5\xB0\x8F"); // 中, 小
    if (std::strcmp(word, "h") == 0) {
        level = digit;
    } else if (Has(word, "title") ||
               Has(word, "\xE3\x82\xBF\xE3\x82\xA4\xE3\x83\x88\xE3\x83\xAB")) {
        level = digit ? digit : sub ? 2 : 1; // タイトル
    } else if (Has(word, "heading") || Has(word, "headline") || Has(word, "header") ||
               std::strcmp(word, "head") == 0 || Has(word, midashi)) {
        bool plain = std::strcmp(word, "heading") == 0 || std::strcmp(word, "headline") == 0 ||
                     std::strcmp(word, "header") == 0 || std::strcmp(word, "head") == 0 ||
                     std::strcmp(word, midashi) == 0 || std::strncmp(word, "main", 4) == 0 ||
                     std::strncmp(word, "chapter", 7) == 0 || Has(word, "\xE5\xA4\xA7"); // 大
        level = digit ? digit : plain ? 1 : sub ? 2 : 3;
        if (Has(word, "\xE5\xB0\x8F") && !digit) level = 3; // 小見出し
    } else {
        return false;
    }
    return level >= 1 && level <= 6;
}

double Clamp01(double v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

// CIE Lab (D50) to sRGB.
void LabToRgb(double l, double a, double b, double rgb[3]) {
    double fy = (l + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
    auto f = [](double t) {
        return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29);
    };
    double x = 0.9642 * f(fx), y = f(fy), z = 0.8249 * f(fz);
    double linear[3] = {3.1339 * x - 1.6169 * y - 0.4906 * z, -0.9788 * x + 1.9161 * y + 0.0335 * z,
                        0.0719 * x - 0.2290 * y + 1.4052 * z};
    for (int i = 0; i < 3; ++i) {
        double c = Clamp01(linear[i]);
        rgb[i] = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    }
}

double Component(Element* e, AN::AttrNameEnum attr) {
    double v = 0;
    GetPercent(OBGetAttributeValue(e, attr), v);
    return Clamp01(v);
}

double Real(Element* e, AN::AttrNameEnum attr) {
    auto* v = dynamic_cast<ValueOBReal*>(OBGetAttributeValue(e, attr));
    OBReal r = 0.0;
    if (v) v->Get(r);
    return std::isfinite(r.Value()) ? r.Value() : 0;
}

bool IsUrlSafe(unsigned char c) {
    return std::isalnum(c) || std::strchr("-._~/:@!$&'()*+,;=%", c) || c >= 0x80;
}

} // namespace

void ReadDocumentInfo(OBStoryWalker& walker, DocumentInfo& info) {
    Element* meta = walker.MetaData();
    Element* publication = walker.Publication();
    Field(meta, AN::kTitle, info.title);
    Field(meta, AN::kAuthor, info.author);
    Field(publication, AN::kAuthorName, info.author);
    Field(meta, AN::kSubject, info.subject);
    Field(meta, AN::kKeywords, info.keywords);
    Field(meta, AN::kComments, info.comments);
    AppendDate(OBGetAttributeValue(meta, AN::kCreated), info.created);
    if (info.created.IsEmpty())
        AppendDate(OBGetAttributeValue(publication, AN::kCreationDateTime), info.created);
    AppendDate(OBGetAttributeValue(meta, AN::kModified), info.modified);
    if (info.modified.IsEmpty())
        AppendDate(OBGetAttributeValue(publication, AN::kLastSavedDateTime), info.modified);
    long long pages = 0;
    if (GetInt(meta, AN::kNumPages, pages) && pages > 0)
        info.pages = pages;
    else
        info.pages = walker.Pages().Count();
}

int HeadingLevel(OBStoryWalker& walker, Element* style) {
    for (int depth = 0; style && depth <= OBWALK::kMaxDepth; ++depth) {
        Utf8Text name;
        int level = 0;
        if (GetUtf8(OBGetAttributeValue(style, AN::kName), name) && NameIsHeading(name, level))
            return level;
        unsigned basedOn = 0;
        if (!GetId(style, AN::kBasedOn, basedOn)) return 0;
        style = walker.FindParagraphStyle(basedOn);
    }
    return 0;
}

const char* DictionaryLanguageTag(Value* language) {
    int member = 0;
    return GetEnumOf<ValueDictionaryLanguageEnum>(language, member) ? oblanguage::TagOf(member)
                                                                    : nullptr;
}

const char* TextLanguage(int script, OBMCharacterAttributes* format) {
    const char* tag = oblanguage::ScriptTag(script);
    return tag || !format ? tag : DictionaryLanguageTag(format->GetDictionaryLanguage());
}

const char* TextLanguage(int script, Value* language) {
    const char* tag = oblanguage::ScriptTag(script);
    return tag ? tag : DictionaryLanguageTag(language);
}

bool ColorRgb(Element* color, double shade, int rgb[3], bool& converted) {
    if (!color) return false;
    bool none = false;
    if (GetFlag(OBGetAttributeValue(color, AN::kIsNone), none) && none) return false;
    double c[3] = {0, 0, 0};
    converted = true;
    if (Element* v = color->GetChild(EL::kRGB)) {
        c[0] = Component(v, AN::kRed), c[1] = Component(v, AN::kGreen),
        c[2] = Component(v, AN::kBlue);
        converted = false;
    } else if (Element* v = color->GetChild(EL::kCMYK)) {
        double k = Component(v, AN::kBlack);
        c[0] = (1 - Component(v, AN::kCyan)) * (1 - k);
        c[1] = (1 - Component(v, AN::kMagenta)) * (1 - k);
        c[2] = (1 - Component(v, AN::kYellow)) * (1 - k);
    } else if (Element* v = color->GetChild(EL::kLAB)) {
        LabToRgb(Real(v, AN::kLightness), Real(v, AN::kA), Real(v, AN::kB), c);
    } else {
        int type = 0;
        if (!GetEnum(OBGetAttributeValue(color, AN::kType), type) || type != CTE::kRegistration)
            return false;
    }
    // Tints and shades are that much of the ink on white paper.
    double ink = 1;
    double tint = 1;
    if (GetPercent(OBGetAttributeValue(color, AN::kTint), tint)) ink *= Clamp01(tint);
    ink *= Clamp01(shade);
    for (int i = 0; i < 3; ++i)
        rgb[i] = static_cast<int>(std::lround(255 * (1 - ink * (1 - Clamp01(c[i])))));
    return true;
}

const char* RubyStartTag(Element* run) {
    Element* attributes = run ? run->GetChild(EL::kRubiAttributes) : nullptr;
    int position = 0;
    return GetEnum(OBGetAttributeValue(attributes, AN::kPosition), position) &&
                   position == RKPE::kBelowLeft
               ? "<ruby style=\"ruby-position: under\">"
               : "<ruby>";
}

bool KentenCss(Element* run, Utf8Text& css) {
    Element* attributes = run ? run->GetChild(EL::kKentenAttributes) : nullptr;
    int kind = KKE::kSesameDot;
    if (!GetEnum(OBGetAttributeValue(run, AN::kKentenKind), kind))
        GetEnum(OBGetAttributeValue(attributes, AN::kKentenKind), kind);
    const char* style = nullptr;
    switch (kind) {
    case KKE::kNone:
        return false;
    case KKE::kWhiteSesameDot:
        style = "open sesame";
        break;
    case KKE::kFisheye:
        style = "filled double-circle";
        break;
    case KKE::kBullseye:
        style = "open double-circle";
        break;
    case KKE::kBlackCircle:
        style = "filled circle";
        break;
    case KKE::kWhiteCircle:
        style = "open circle";
        break;
    case KKE::kSmallBlackCircle:
        style = "filled dot";
        break;
    case KKE::kSmallWhiteCircle:
        style = "open dot";
        break;
    case KKE::kBlackTriangle:
        style = "filled triangle";
        break;
    case KKE::kWhiteTriangle:
        style = "open triangle";
        break;
    case KKE::kCustom:
        break;
    default:
        style = "filled sesame";
        break;
    }
    css.Append("text-emphasis: ");
    if (style) {
        css.Append(style);
    } else {
        auto* mark = dynamic_cast<ValueChar*>(OBGetAttributeValue(run, AN::kKentenCharacter));
        if (!mark)
            mark = dynamic_cast<ValueChar*>(OBGetAttributeValue(attributes, AN::kKentenCharacter));
        unsigned short unit = 0x25CF; // a black circle when the custom mark is missing
        if (mark) mark->Get(unit);
        if (unit < 0x20 || OBUTF16::IsSurrogate(unit)) unit = 0x25CF;
        css.Append('"');
        if (unit == '"' || unit == '\\') css.Append('\\'); // escaped in the CSS string
        css.AppendUtf16(&unit, 1);
        css.Append('"');
    }
    int position = 0;
    GetEnum(OBGetAttributeValue(attributes, AN::kPosition), position);
    css.Append(position == RKPE::kBelowLeft ? "; text-emphasis-position: under left"
                                            : "; text-emphasis-position: over right");
    return true;
}

namespace {

// Whether the n characters at s are a URL scheme: a letter, then letters,
// digits, '+', '-' or '.'; one letter is a drive.
bool IsScheme(const char* s, long long n) {
    if (n < 2 || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (long long i = 1; i < n; ++i)
        if (!std::isalnum(static_cast<unsigned char>(s[i])) && !std::strchr("+-.", s[i]))
            return false;
    return true;
}

// Whether the n characters at s begin with the file: scheme, as documents
// write it.
bool FileScheme(const char* s, long long n) {
    return n >= 5 && (std::strncmp(s, "file:", 5) == 0 || std::strncmp(s, "FILE:", 5) == 0);
}

// Whether the n characters at s are a relative file: URL ("file:../a.jpg",
// as some tools write links): a relative URL once "file:" is taken away.
bool RelativeFileUrl(const char* s, long long n) {
    return n > 5 && FileScheme(s, n) && s[5] != '/' && s[5] != '\\';
}

} // namespace

void PathToUrl(const Utf8Text& path, const Utf8Text& base, Utf8Text& url) {
    if (RelativeFileUrl(path.Data(), path.Size())) {
        url.Append(path.Data() + 5, path.Size() - 5);
        return;
    }
    Utf8Text slashed;
    for (long long i = 0; i < path.Size(); ++i)
        slashed.Append(path.Data()[i] == '\\' ? '/' : path.Data()[i]);
    const char* s = slashed.Data();
    long long n = slashed.Size();
    const char* colon = static_cast<const char*>(std::memchr(s, ':', static_cast<std::size_t>(n)));
    if (colon && colon + 1 < s + n && colon[1] == '/' && IsScheme(s, colon - s)) {
        // A URL already; file:/path (as IDML links are written) gets its empty host.
        bool emptyHost = colon + 2 < s + n && colon[2] == '/';
        bool file = colon - s == 4 && FileScheme(s, n);
        if (file && !emptyHost) {
            url.Append("file://");
            url.Append(colon + 1, n - (colon + 1 - s));
        } else {
            url.Append(s, n);
        }
        return;
    }
    long long start = 0;
    bool keepColons = false;
    if (!base.IsEmpty() && n > base.Size() &&
        std::strncmp(s, base.Data(), static_cast<std::size_t>(base.Size())) == 0 &&
        (s[base.Size()] == '/' || base.Data()[base.Size() - 1] == '/')) {
        start = base.Size() + (s[base.Size()] == '/' ? 1 : 0); // inside the base folder
    } else if (n >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':') {
        url.Append("file:///"); // a drive path
        keepColons = true;
    } else if (s[0] == '/') {
        url.Append("file://");
    } else if (colon) {
        url.Append("file:///"); // an old Mac path: volume:folder:file
        Utf8Text folders;
        for (long long i = 0; i < n; ++i)
            folders.Append(s[i] == ':' ? '/' : s[i]);
        slashed = folders;
        s = slashed.Data();
    }
    for (long long i = start; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsUrlSafe(c) && (c != ':' || keepColons)) {
            url.Append(static_cast<char>(c));
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            url.Append(escape, 3);
        }
    }
}

namespace {

bool Exists(const Utf8Text& path) {
    WOBFileUtility file(OBSysFileRef(path.Data()));
    return file.FileExists() != 0;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The local path a link names, a file: URL's %XX escapes undone; relative
// tells whether it is relative to the document (a path with no separator
// first and no colon, or a relative file: URL). False for another URL, an
// old Mac path or an escaped NUL.
bool LocalPath(const Utf8Text& link, Utf8Text& path, bool& relative) {
    const char* s = link.Data();
    const long long n = link.Size();
    long long from = 0;
    bool url = false;
    if (n > 5 && FileScheme(s, n)) {
        from = 5;
        url = true;
        if (n > 7 && s[5] == '/' && s[6] == '/') {
            from = 7; // file://host/path: the host is this machine's or none
            while (from < n && s[from] != '/')
                ++from;
        }
    }
    const bool drive = n - from > 2 && std::isalpha(static_cast<unsigned char>(s[from])) &&
                       s[from + 1] == ':' && (s[from + 2] == '\\' || s[from + 2] == '/');
    if (from >= n) return false;
    relative = s[from] != '/' && s[from] != '\\' && !drive;
    if (relative && !url && std::memchr(s, ':', static_cast<std::size_t>(n))) return false;
    for (long long i = from; i < n; ++i) {
        const int high = url && s[i] == '%' && i + 2 < n ? HexDigit(s[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(s[i + 2]) : -1;
        if (low >= 0) {
            if (high == 0 && low == 0) return false; // a NUL names no file
            path.Append(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            path.Append(s[i]);
        }
    }
    return true;
}

} // namespace

void LocatePicture(const Utf8Text& link, const Utf8Text& documentFolder, Utf8Text& found) {
    Utf8Text path;
    bool relative = false;
    if (documentFolder.IsEmpty() ||
        std::strlen(link.Data()) != static_cast<std::size_t>(link.Size()) ||
        !LocalPath(link, path, relative)) {
        found.Append(link);
        return;
    }
    if (relative) {
        // Relative to the document, not to where the output goes.
        Utf8Text there(documentFolder);
        there.Append('/');
        there.Append(path);
        if (Exists(there)) {
            found.Append(there);
            return;
        }
    } else if (Exists(path)) {
        found.Append(link);
        return;
    }
    // Its name: after the last separator of either kind.
    const char* name = path.Data() + path.Size();
    while (name > path.Data() && name[-1] != '/' && name[-1] != '\\')
        --name;
    for (const char* folder : {"/Links/", "/"}) {
        Utf8Text there(documentFolder);
        there.Append(folder);
        there.Append(name);
        if (*name && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && Exists(there)) {
            found.Append(there);
            return;
        }
    }
    found.Append(link);
}

void FontFamily(Value* font, Utf8Text& family) {
    Utf8Text name;
    if (!GetUtf8(font, name)) return;
    family.Append(name.Data(), static_cast<long long>(obface::FamilyLength(
                                   name.Data(), static_cast<std::size_t>(name.Size()))));
}

const char* DocumentLanguage(OBStoryWalker& walker, long long* units) {
    long long scripts[64] = {}, languages[64] = {};
    walker.CountScripts(scripts, languages);
    long long best = 0, unnamed = 0;
    const char* language = nullptr;
    if (units) *units = 0;
    for (int script = 0; script < 64; ++script) {
        if (units && scripts[script] > 0) // saturating: runs may claim anything
            *units += std::min(scripts[script], LLONG_MAX - *units);
        const char* tag = oblanguage::ScriptTag(script);
        if (!tag)
            unnamed += scripts[script];
        else if (scripts[script] > best)
            best = scripts[script], language = tag;
    }
    if (best > unnamed) return language;
    // Text whose script names no language is in the language its
    // formatting gives to most of it.
    best = 0;
    for (int member = 0; member < 64; ++member)
        if (languages[member] > best && oblanguage::TagOf(member))
            best = languages[member], language = oblanguage::TagOf(member);
    if (best > 0) return language;
    OBMCharacterAttributes* defaults =
        walker.ParagraphStyleCharacterFormat(walker.DefaultParagraphStyle());
    return defaults ? DictionaryLanguageTag(defaults->GetDictionaryLanguage()) : nullptr;
}

bool LinkedPages(OBStoryWalker& walker, OBBaseTypeCollection<int>& pages) {
    bool kept = true;
    for (int n = 0; n < walker.LinkCount(); ++n) {
        const OBWalkLink& link = walker.NthLink(n);
        if (link.kind == OBWALK::kPage && link.page >= 0) kept = pages.Add(link.page) && kept;
    }
    return kept;
}

bool IsIdeographic(unsigned short u) {
    unsigned short property = OBCharacterClass::GetCharacterProperty(u);
    return OBCC::WidthOf(property) == OBCC::kFullWidth || (u >= 0xD840 && u <= 0xD8BF);
}

bool SetsNothing(OBStoryWalker& walker, Element* characterStyle) {
    Element* style = characterStyle;
    for (int depth = 0; style && depth <= OBWALK::kMaxDepth; ++depth) {
        if (Element* format = style->GetChild(EL::kCharacterAttributes)) {
            const OBAttributeStore* store = OBGetAttributeStore(format);
            if (!store || store->Count() != 0) return false;
        }
        unsigned basedOn = 0;
        if (!GetId(style, AN::kBasedOn, basedOn)) return true;
        style = walker.FindCharacterStyle(basedOn);
    }
    return false; // a chain too deep, or a BasedOn that names no style
}

bool PerCharacterRuby(Element* rubiRun) {
    Element* attributes = rubiRun ? rubiRun->GetChild(EL::kRubiAttributes) : nullptr;
    int type = 0;
    return GetEnum(OBGetAttributeValue(attributes, AN::kType), type) && type == RTE::kPerCharacter;
}

long long CountCharacters(const unsigned short* units, long long start, long long end) {
    long long characters = 0;
    for (long long i = start; i < end; ++i)
        if (!OBUTF16::IsLowSurrogate(units[i])) ++characters;
    return characters;
}

long long NextCharacter(const unsigned short* units, long long at, long long end) {
    return at + (OBUTF16::IsHighSurrogate(units[at]) && at + 1 < end ? 2 : 1);
}

namespace {
bool IsReadingSpace(unsigned short u) {
    return u == ' ' || u == 0x3000;
}
} // namespace

RubyPairs::RubyPairs(const unsigned short* base, long long start, long long end,
                     const unsigned short* reading, long long length)
    : base_(base), reading_(reading), at_(start), end_(end), i_(0), length_(length) {
    long long readings = 0;
    for (long long i = 0; i < length; ++i)
        if (!IsReadingSpace(reading[i]) && (i == 0 || IsReadingSpace(reading[i - 1]))) ++readings;
    long long characters = CountCharacters(base, start, end);
    matches_ = characters > 0 && readings == characters;
}

bool RubyPairs::Next(long long& baseEnd, long long& from, long long& to) {
    if (!matches_) return false;
    while (i_ < length_ && IsReadingSpace(reading_[i_]))
        ++i_;
    from = i_;
    while (i_ < length_ && !IsReadingSpace(reading_[i_]))
        ++i_;
    if (from == i_ || at_ >= end_) return false;
    to = i_;
    at_ = NextCharacter(base_, at_, end_);
    baseEnd = at_;
    return true;
}

bool IsNoteNumber(const OBWalkText* text, const OBWalkRun& run) {
    return text && text->kind == OBWALK::kNoteText && run.position == 0;
}

} // namespace obwalk
