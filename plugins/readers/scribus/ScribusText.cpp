// Story text for every generation: ITEXT runs with flag bits and style
// indexes (1.2 to 1.3.3), and ITEXT/para/trail with named styles (1.3.4 on,
// inside StoryText from 1.5).
//
// How 1.5 writes a story, as Scribus 1.5.8 writes and reads it back (the
// documents under tests/data/scribus/real show each case):
// - ITEXT CH holds text. A line feed or carriage return in it (written as a
//   character reference) ends a paragraph; a tab is a tab.
// - A character that XML cannot carry is an ITEXT of its own whose Unicode
//   attribute holds its UTF-16 code (and wins over CH); a character outside
//   the basic plane comes as two of them, its surrogates. Codes 13, 9, 30,
//   23, 26 and 27 are a paragraph end, a tab, the page number, the page
//   count, a column and a frame break; 25 (an object mark without its
//   object) is nothing; any other control character shows as a blank.
// - A soft hyphen in the text is written twice in a row; a single one is a
//   hyphenation point found by the hyphenator, not a character.
// - para ends a paragraph and trail carries the last paragraph's format;
//   tab, breakline, nbspace, nbhyphen, zwspace and zwnbspace are those
//   characters; shyphen is nothing; var is the page number when its name is
//   "pgno" and the page count otherwise.
// - U+2029 in text is an ordinary character that neither breaks nor shows;
//   it is dropped, as U+2029 in a story means a paragraph end.
#include "ScribusText.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace scribus {
namespace detail {

// A text is no level or format (its role is kNone): its End does nothing.
inline void StoryBuilder::Text(const Attrs& a) {
    Context::TextMemo* m = FindText(a);
    if (!m || !PlainText(a.Get(kAttr_CH), m->known)) OtherText(a, m);
}

// The texts that PlainText does not take (kept apart, so that the common
// case stays small).
__attribute__((noinline)) void StoryBuilder::OtherText(const Attrs& a, Context::TextMemo* m) {
    if (m) {
        const Told told(textKnown_, &m->known);
        AppendSliced(a.Get(kAttr_CH), m->cstyle, m->local, nullptr);
    } else {
        TextElement(kElem_ITEXT, a, kNone);
    }
}

void StoryBuilder::Empty(ElementId id, const Attrs& a) {
    if (id == kElem_ITEXT && Parent() <= kLevel2) {
        Text(a);
        return;
    }
    EmptyElement(id, a);
}

// Start and End at once, with nothing kept open.
__attribute__((noinline)) void StoryBuilder::EmptyElement(ElementId id, const Attrs& a) {
    const Role role = Open(id, a);
    if (role == kParagraph || role == kTrail || role == kDefaults) EndFormat(role);
}

void StoryBuilder::Start(ElementId id, const Attrs& a) {
    const Role role = Open(id, a);
    if (depth_ < kDepth) open_[depth_] = role;
    ++depth_;
}

StoryBuilder::Role StoryBuilder::Open(ElementId id, const Attrs& a) {
    const Role parent = Parent();
    Role role = kNone;
    if (parent <= kLevel2 && id == kElem_ITEXT) {
        Text(a);
    } else if (parent <= kLevel2) {
        if (id == kElem_StoryText)
            role = parent < kLevel2 ? static_cast<Role>(parent + 1) : kNone;
        else if (id == kElem_para)
            role = kParagraph;
        else if (id == kElem_DefaultStyle)
            role = kDefaults;
        else if (id == kElem_trail) {
            // Frames after the first of a chain carry an empty trail of their
            // own; the one that ends the text counts.
            bool contributed = length_ != frameText_ || story_->paragraphs.size() != frameParas_;
            if (!haveTrail_ || contributed) role = kTrail;
        }
        TextElement(id, a, role);
    } else if (parent != kNone && id == kElem_Tabs) {
        Own(format_); // the format is no memo's reading any more
        formatReader_.Tab(ctx_, a);
    }
    return role;
}

void StoryBuilder::End() {
    if (depth_ == 0) return;
    --depth_;
    const Role role = depth_ < kDepth ? open_[depth_] : kNone;
    if (role == kParagraph || role == kTrail || role == kDefaults) EndFormat(role);
}

// An element whose parent holds text; role is what it is while open.
void StoryBuilder::TextElement(ElementId id, const Attrs& a, Role role) {
    // A soft hyphen that ends one text may pair with one that starts the
    // next, but not across anything else.
    bool softHyphenPending = softHyphenPending_;
    softHyphenPending_ = false;
    switch (id) {
    case kElem_ITEXT: {
        bool old = a.Has(kAttr_CAB) || a.Has(kAttr_CSIZE) || a.Has(kAttr_CFONT) ||
                   a.Has(kAttr_CSTYLE) || a.Has(kAttr_CCOLOR);
        if (old)
            OldText(a);
        else if (ctx_.storyText15 && a.Has(kAttr_Unicode))
            UnicodeText(a);
        else
            NewText(a, a.Get(kAttr_CH), softHyphenPending);
        break;
    }
    case kElem_para:
    case kElem_trail:
    case kElem_DefaultStyle:
        if (role != kNone) StartFormat(a);
        break;
    case kElem_MARK:
        ctx_.WarnOnce(Warning::Code::kUnsupported, "MARK", "marks and notes in text are not read");
        break;
    default:
        Special(id, a); // anything else (PageItemAttributes, ImageEffects, ...) is not text
        break;
    }
}

namespace {

// The attributes of the element from `from` on but `skip`, in their order:
// each as its id and its value with the NUL after it (a value holds no NUL);
// then, unless empty, kValuePadding NULs, as SameAttributes reads its values
// 16 bytes at once.
void AttributesKey(const Attrs& a, std::size_t from, std::string& key, AttrId skip = kAttrCount) {
    // Sized first and written in place, short values 16 bytes at once
    // (each has 16 readable bytes after its NUL).
    std::uint32_t lengths[kAttrCount];
    std::size_t size = 0;
    for (std::size_t i = from; i < a.Count(); ++i) {
        const AttrId id = a.IdAt(i);
        if (id == skip) continue;
        const char* v = a.Get(id);
        const unsigned nul = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(Sixteen(v), _mm_setzero_si128())));
        lengths[i] = static_cast<std::uint32_t>(nul ? __builtin_ctz(nul) : std::strlen(v));
        size += sizeof id + lengths[i] + 1;
    }
    if (size == 0) {
        key.clear();
        return;
    }
    key.resize(size + kValuePadding + 16); // 16: what a short value's store writes past it
    char* k = &key[0];
    for (std::size_t i = from; i < a.Count(); ++i) {
        const AttrId id = a.IdAt(i);
        if (id == skip) continue;
        const char* v = a.Get(id);
        std::memcpy(k, &id, sizeof id);
        k += sizeof id;
        if (lengths[i] < 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(k), Sixteen(v));
        else
            std::memcpy(k, v, lengths[i] + 1);
        k += lengths[i] + 1;
    }
    std::memset(k, 0, kValuePadding);
    key.resize(size + kValuePadding);
}

bool SameAttributes(const Attrs& a, std::size_t from, const std::string& key,
                    AttrId skip = kAttrCount) {
    const char* k = key.data();
    const char* const end = k + (key.empty() ? 0 : key.size() - kValuePadding);
    for (std::size_t i = from; i < a.Count(); ++i) {
        const AttrId id = a.IdAt(i);
        if (id == skip) continue;
        if (end - k < static_cast<std::ptrdiff_t>(sizeof id + 1) ||
            std::memcmp(k, &id, sizeof id) != 0)
            return false;
        k += sizeof id;
        const char* v = a.Get(id);
        // Values are mostly short: 16 bytes at once hold them.
        const __m128i value = Sixteen(v), kept = Sixteen(k), zero = _mm_setzero_si128();
        const unsigned nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(value, zero)));
        const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(value, kept)));
        // The length with the NUL, which the key has too; 0: longer.
        std::size_t n = nul ? static_cast<std::size_t>(__builtin_ctz(nul)) + 1 : 0;
        const unsigned bytes = (1u << n) - 1; // the value's with its NUL
        if (n && (static_cast<std::size_t>(end - k) < n || (same & bytes) != bytes)) return false;
        if (!n) {
            n = std::strlen(v) + 1;
            if (static_cast<std::size_t>(end - k) < n || std::memcmp(k, v, n) != 0) return false;
        }
        k += n;
    }
    return k == end;
}

} // namespace

// The memo of the texts whose attributes but CH are a's, or null. (In line:
// its call costs as much as the rest of it.)
inline __attribute__((always_inline)) Context::TextMemo* StoryBuilder::FindText(const Attrs& a) {
    const std::uint64_t prefix = a.Prefix();
    const std::size_t from = prefix ? a.PrefixCount() : 0;
    const std::size_t count = a.Count();
    for (Context::TextMemo& m : ctx_.textMemos) {
        if (m.prefix != prefix || m.count != count || m.from != from || !m.valid) continue;
        // An empty key: nothing but CH, if anything, after the prefix.
        if (m.key.empty() ? count == from || a.IdAt(from) == kAttr_CH
                          : SameAttributes(a, from, m.key, kAttr_CH))
            return &m;
    }
    return nullptr;
}

// Frames mostly repeat the formats of the frames before them: an element
// with the very attributes of one read before takes its reading. Elements
// with the same prefix number share the attributes of their prefix, so
// only those after it are compared; the few without one are compared whole.
void StoryBuilder::StartFormat(const Attrs& a) {
    if (a.Count() == 0 && ctx_.bareParagraph) { // many paragraphs end so: <para/>
        format_.shared = ctx_.bareParagraph;
        formatReader_.Resume(format_.local);
        return;
    }
    const std::uint64_t prefix = a.Prefix();
    const std::size_t from = prefix ? a.PrefixCount() : 0;
    for (unsigned k = 0; k < 4; ++k) {
        const Context::ParagraphMemo& m = ctx_.paragraphMemos[k];
        if (!m.key.empty() && m.prefix == prefix && m.prefixCount == from &&
            SameAttributes(a, from, m.key)) {
            format_.shared = m.reading;
            formatReader_.Resume(format_.local);
            return;
        }
    }
    format_.shared.reset();
    format_.style.clear();
    format_.local = ParagraphAttributes();
    if (const char* parent = a.Get(kAttr_PARENT)) format_.style = parent;
    const std::size_t before = ctx_.warnCalls;
    formatReader_.Start(ctx_, a, format_.local);
    // Warnings must come again; attributes without a prefix are few.
    if (ctx_.warnCalls != before || (!prefix && a.Count() > 2)) return;
    if (a.Count() == 0) {
        ctx_.bareParagraph = std::make_shared<ParagraphReading>();
        Share(ctx_.bareParagraph);
        return;
    }
    Context::ParagraphMemo& m = ctx_.paragraphMemos[ctx_.nextParagraphMemo++ % 4];
    m.prefix = prefix;
    m.prefixCount = from;
    AttributesKey(a, from, m.key);
    // The reading moves to the memo; format_ shares it (formatReader_ still
    // writes format_.local, which Own fills first, when Tabs follow).
    if (!m.reading || m.reading.use_count() > 1) m.reading = std::make_shared<ParagraphReading>();
    Share(m.reading);
}

// Moves the reading in format_ to r, which format_ shares then.
void StoryBuilder::Share(const std::shared_ptr<ParagraphReading>& r) {
    r->style = std::move(format_.style);
    r->local = std::move(format_.local);
    r->hasFormat = false;
    format_.shared = r;
}

void StoryBuilder::NewText(const Attrs& a, const char* text, bool softHyphenPending) {
    // Texts come by the thousand and mostly repeat the format before them:
    // they are read into the same objects each time.
    CharacterAttributes& local = local_;
    const std::size_t warned = ctx_.warnCalls;
    // Texts alternate with soft hyphens between them ("inherit shyphen"),
    // so the effects are read each time and the rest only when it changed.
    // A text that starts with the very bytes of one read before, and has
    // no field after them, has its fields too. Texts mostly alternate
    // between two such starts (FEATURES "inherit" and "inherit shyphen").
    const std::uint64_t prefix =
        a.Prefix() != 0 && !HasCharacterField(a, a.PrefixCount()) ? a.Prefix() : 0;
    const bool samePrefix =
        localValid_ && prefix != 0 && (prefix == localPrefixes_[0] || prefix == localPrefixes_[1]);
    if (!samePrefix) {
        if (!localValid_ || !SameCharacterFieldsKey(a, localKey_)) {
            const std::size_t before = ctx_.warnCalls;
            ReadCharacterFields(ctx_, a, local);
            localValid_ = ctx_.warnCalls == before; // else the warnings must come again
            if (localValid_) CharacterFieldsKey(a, localKey_);
            known_.valid = false;
            localPrefixes_[0] = 0;
        }
        localPrefixes_[1] = localPrefixes_[0];
        localPrefixes_[0] = prefix;
    }
    const std::optional<unsigned> effects = local.effects;
    ReadEffects(a, local);
    if (local.effects != effects) known_.valid = false;
    const char* parent = a.Get(kAttr_CPARENT);
    std::string& cstyle = cstyle_;
    if (parent ? cstyle != parent : !cstyle.empty()) {
        cstyle.assign(parent ? parent : "");
        known_.valid = false;
    }
    if (a.Has(kAttr_COBJ)) { // an anchored frame stands in the text here
        const long long id = Identifier(ctx_, a, kAttr_COBJ, -1);
        const Told told(textKnown_, &known_);
        AddMarker(Marker::Kind::kAnchoredItem, cstyle, local, id);
        return;
    }
    softHyphenPending_ = softHyphenPending;
    const bool clean = ctx_.warnCalls == warned; // else the warnings must come again
    {
        const Told told(textKnown_, &known_);
        AppendSliced(text, cstyle, local, nullptr);
    }
    if (clean) RememberText(a);
}

// Keeps the format just read (cstyle_, local_) for texts with a's attributes,
// in place of the older of the two.
void StoryBuilder::RememberText(const Attrs& a) {
    Context::TextMemo& m = ctx_.textMemos[ctx_.newestTextMemo ^= 1];
    m.prefix = a.Prefix();
    m.from = m.prefix ? a.PrefixCount() : 0;
    m.count = a.Count();
    AttributesKey(a, m.from, m.key, kAttr_CH);
    m.cstyle = cstyle_;
    m.local = local_;
    m.known = known_;
    m.valid = true;
}

namespace {

// Widens the printable ASCII (0x20 to 0x7E) that text starts with into w,
// sixteen bytes at a time; how many bytes that is. w has room for size units,
// and units after the plain ones may be written too.
std::size_t WidenPlain(const char* text, std::size_t size, char16_t* w) {
    std::size_t i = 0;
    const __m128i below = _mm_set1_epi8(0x1F), above = _mm_set1_epi8(0x7F);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + i + 8), _mm_unpackhi_epi8(v, zero));
        // Signed: bytes from 0x80 on are below 0x1F too.
        const __m128i plain = _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, above));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu;
        if (other) return i + static_cast<std::size_t>(__builtin_ctz(other));
    }
    // Texts are mostly short: eight bytes, then the last eight (which may
    // overlap them), or four and the rest one by one when there are fewer.
    auto eight = [&](std::size_t at) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text + at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w + at), _mm_unpacklo_epi8(v, zero));
        const __m128i plain = _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, above));
        return ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFu;
    };
    if (i + 8 <= size) {
        if (const unsigned other = eight(i))
            return i + static_cast<std::size_t>(__builtin_ctz(other));
        i += 8;
    }
    if (i == size) return size;
    if (size >= 8) {
        const std::size_t at = size - 8; // the bytes before i are plain
        const unsigned other = eight(at);
        return other ? at + static_cast<std::size_t>(__builtin_ctz(other)) : size;
    }
    if (i + 4 <= size) {
        int four;
        std::memcpy(&four, text + i, sizeof four);
        const __m128i v = _mm_cvtsi32_si128(four);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(w + i), _mm_unpacklo_epi8(v, zero));
        const __m128i plain = _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, above));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFu;
        if (other) return i + static_cast<std::size_t>(__builtin_ctz(other));
        i += 4;
    }
    for (; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c - 0x20u >= 0x5Fu) return i;
        w[i] = c;
    }
    return size;
}

// WidenPlain and the text's length at once, for texts of fewer than 16
// bytes (most of them): w has room for 16 units. False, with nothing known,
// for longer texts.
inline bool WidenShort(const char* text, char16_t* w, std::size_t& size, std::size_t& plain) {
    const __m128i v = Sixteen(text);
    const __m128i zero = _mm_setzero_si128();
    const unsigned nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
    if (!nul) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 8), _mm_unpackhi_epi8(v, zero));
    // Signed: bytes from 0x80 on are below 0x1F too. The NUL is not plain.
    const __m128i ok = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)),
                                     _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
    const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(ok)) & 0xFFFFu;
    size = static_cast<std::size_t>(__builtin_ctz(nul));
    plain = static_cast<std::size_t>(__builtin_ctz(other));
    return true;
}

} // namespace

// ReadCharacterEffects, with the effects of the last two FEATURES lists
// kept: texts mostly alternate between two of them.
void StoryBuilder::ReadEffects(const Attrs& a, CharacterAttributes& local) {
    const char* features = a.Get(kAttr_FEATURES);
    if (!features) {
        ReadCharacterEffects(ctx_, a, local);
        return;
    }
    // Texts with one prefix number have one FEATURES, when it is in the prefix.
    std::uint64_t prefix = a.Prefix();
    for (std::size_t i = a.PrefixCount(); prefix && i < a.Count(); ++i)
        if (a.IdAt(i) == kAttr_FEATURES) prefix = 0;
    if (prefix)
        for (const Features& f : features_)
            if (f.valid && f.prefix == prefix) {
                local.effects = f.effects;
                return;
            }
    const std::size_t length = std::strlen(features);
    for (Features& f : features_)
        if (f.valid && f.text.size() == length &&
            std::memcmp(f.text.data(), features, length) == 0) {
            local.effects = f.effects;
            if (prefix) f.prefix = prefix;
            return;
        }
    ReadCharacterEffects(ctx_, a, local);
    std::swap(features_[0], features_[1]);
    features_[0].text.assign(features);
    features_[0].effects = local.effects;
    features_[0].valid = true;
    features_[0].prefix = prefix;
}

// Append, with the common case first: more of the text before, in the
// format of the last run.
inline void StoryBuilder::AppendMore(const char16_t* s, std::size_t n, const std::string& style,
                                     const CharacterAttributes& local) {
    const Known* known = textKnown_;
    if (known && known->valid && n > 0 && !full_ && !story_->runs.empty() &&
        story_->runs.back().format == known->format && length_ + n <= ctx_.options.maxStoryLength) {
        Put(s, n);
        story_->runs.back().length += static_cast<std::uint32_t>(n);
        return;
    }
    Append(s, n, style, local);
}

// AppendSliced and AppendMore, for the texts that most often come: their
// units go straight into the story's room.
inline bool StoryBuilder::PlainText(const char* text, const KnownFormat& known) {
    if (!known.valid || full_ || story_->runs.empty() || story_->runs.back().format != known.format)
        return false;
    if (!text) return true;
    std::size_t size, plain;
    if (WidenShort(text, Room(16), size, plain)) {
        if (length_ + size > limit_) return false;
    } else {
        size = std::strlen(text);
        if (size > kSlice || length_ + size > limit_) return false;
        plain = WidenPlain(text, size, Room(size));
    }
    if (plain == size) {
        if (size == 0) return true;
        softHyphenPending_ = false; // a single soft hyphen before was a hyphenation point
    } else if (plain > 0 && size - plain == 2 && text[plain] == '\xC2' &&
               text[plain + 1] == '\xAD' && ctx_.storyText15 && !ctx_.latin1) {
        softHyphenPending_ = true; // a hyphenation point after the text
    } else {
        return false; // the units after length_ are room still
    }
    length_ += plain;
    story_->runs.back().length += static_cast<std::uint32_t>(plain);
    return true;
}

// A huge text is converted a slice at a time, so that it is not held twice
// (AppendHuge). A slice ends before a byte that starts a character, or where
// no character can reach across the end (three continuation bytes before it).
void StoryBuilder::AppendSliced(const char* text, const std::string& cstyle,
                                const CharacterAttributes& local, const Para* oldPara) {
    const std::size_t size = text ? std::strlen(text) : 0;
    if (size == 0) return;
    if (size <= kSlice) {
        // Printable ASCII, most text, is taken as it is.
        char16_t* units = Scratch(size);
        const std::size_t plain = WidenPlain(text, size, units);
        if (plain == size) {
            softHyphenPending_ = false; // a single soft hyphen before was a hyphenation point
            AppendMore(units, size, cstyle, local);
            return;
        }
        // A soft hyphen (C2 AD) after it is a hyphenation point after the
        // text (as AppendChars takes it), which ends most other texts.
        if (plain > 0 && size - plain == 2 && text[plain] == '\xC2' && text[plain + 1] == '\xAD' &&
            ctx_.storyText15 && !ctx_.latin1) {
            AppendMore(units, plain, cstyle, local);
            softHyphenPending_ = true;
            return;
        }
        AppendDecoded(text, size, plain, cstyle, local, oldPara);
        return;
    }
    AppendHuge(text, size, cstyle, local, oldPara);
}

// The rest of a text that is not plain from plain on, decoded after the
// units of scratch_ that WidenPlain made.
void StoryBuilder::AppendDecoded(const char* text, std::size_t size, std::size_t plain,
                                 const std::string& cstyle, const CharacterAttributes& local,
                                 const Para* oldPara) {
    char16_t* units = &scratch_[0];
    const std::size_t n = plain + DecodeText(ctx_, text + plain, size - plain, units + plain);
    if (plain > 0 && n == plain + 1 && units[plain] == kSoftHyphen && ctx_.storyText15) {
        // A hyphenation point after the text (as AppendChars takes it).
        AppendMore(units, plain, cstyle, local);
        softHyphenPending_ = true;
        return;
    }
    AppendChars(units, n, plain, cstyle, local, oldPara);
}

void StoryBuilder::AppendHuge(const char* text, std::size_t size, const std::string& cstyle,
                              const CharacterAttributes& local, const Para* oldPara) {
    auto continues = [text](std::size_t i) { return (text[i] & 0xC0) == 0x80; };
    { // the story grows once, not by doubling
        std::size_t units = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            units += (c & 0xC0) != 0x80 ? 1 + (c >= 0xF0) : 0;
        }
        story_->text.resize(length_);
        story_->text.reserve(length_ + std::min(units, ctx_.options.maxStoryLength));
    }
    std::size_t at = 0;
    do {
        std::size_t end = std::min(size, at + kSlice);
        if (end < size) {
            std::size_t cut = end;
            for (int k = 0; k < 3 && continues(cut); ++k)
                --cut;
            if (!continues(cut)) end = cut;
        }
        char16_t* units = Scratch(end - at);
        AppendChars(units, DecodeText(ctx_, text + at, end - at, units), 0, cstyle, local, oldPara);
        at = end;
    } while (at < size);
}

char16_t* StoryBuilder::Scratch(std::size_t n) {
    if (scratch_.size() < n) scratch_.resize(n); // it only grows: no units are cleared each time
    return &scratch_[0];
}

namespace {

// The end of the units from i on, before n, that AppendChars takes as they
// are (none below U+0020, no paragraph separator, no soft hyphen where they
// pair): eight at a time, as texts are mostly long runs of them.
std::size_t PlainUnitsEnd(const char16_t* s, std::size_t i, std::size_t n, bool softHyphens) {
    const __m128i controls = _mm_set1_epi16(0x1F), separator = _mm_set1_epi16(0x2029);
    // Without pairs, a control stands in for the soft hyphen: it stops anyway.
    const __m128i hyphen = _mm_set1_epi16(softHyphens ? 0xAD : 0x1F);
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        // Saturated: zero for every unit up to U+001F.
        __m128i stop = _mm_cmpeq_epi16(_mm_subs_epu16(v, controls), _mm_setzero_si128());
        stop = _mm_or_si128(stop, _mm_cmpeq_epi16(v, separator));
        stop = _mm_or_si128(stop, _mm_cmpeq_epi16(v, hyphen));
        if (const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(stop)))
            return i + static_cast<std::size_t>(__builtin_ctz(m)) / 2;
    }
    for (; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x20 || c == kParagraphSeparator || (c == kSoftHyphen && softHyphens)) break;
    }
    return i;
}

} // namespace

// s[0, from) is printable ASCII, known to be plain text.
void StoryBuilder::AppendChars(const char16_t* s, std::size_t size, std::size_t from,
                               const std::string& cstyle, const CharacterAttributes& local,
                               const Para* oldPara) {
    std::size_t plain = 0; // start of the pending plain characters
    const bool pairedSoftHyphens = ctx_.storyText15;
    bool softHyphen = softHyphenPending_ && from == 0;
    softHyphenPending_ = false;
    for (std::size_t i = from; i < size; ++i) {
        const std::size_t stop = PlainUnitsEnd(s, i, size, pairedSoftHyphens);
        if (stop != i) {
            softHyphen = false; // a single soft hyphen before was a hyphenation point
            if ((i = stop) == size) break;
        }
        char16_t c = s[i];
        if (i > plain) Append(s + plain, i - plain, cstyle, local);
        plain = i + 1;
        if (c == kSoftHyphen) {
            if (softHyphen) Append(&c, 1, cstyle, local);
            softHyphen = !softHyphen;
            continue;
        }
        softHyphen = false;
        if (c == kParagraphSeparator) {
            ctx_.WarnOnce(Warning::Code::kUnsupported, "u2029",
                          "a paragraph separator character inside a paragraph, which Scribus "
                          "neither shows nor "
                          "breaks at, is dropped");
            continue;
        }
        char16_t mapped = 0;
        switch (c) {
        case 5:
        case 13:
        case 10: {
            Para none;
            EndParagraph(oldPara ? *oldPara : none, cstyle, local);
            break;
        }
        case 4:
        case 9:
            mapped = kTab;
            break;
        case 28:
            mapped = kLineBreak;
            break;
        case 29:
            mapped = kNoBreakSpace;
            break;
        case 24:
            mapped = kNoBreakHyphen;
            break;
        case 26:
            AddMarker(Marker::Kind::kColumnBreak, cstyle, local, -1);
            break;
        case 27:
            AddMarker(Marker::Kind::kFrameBreak, cstyle, local, -1);
            break;
        case 30:
            AddMarker(Marker::Kind::kPageNumber, cstyle, local, -1);
            break;
        case 23:
            AddMarker(Marker::Kind::kPageCount, cstyle, local, -1);
            break;
        case 25:
            AddMarker(Marker::Kind::kAnchoredItem, cstyle, local, -1);
            break;
        default:
            ctx_.WarnOnce(Warning::Code::kUnsupported, "ctl" + std::to_string(int(c)),
                          "control character " + std::to_string(int(c)) + " in text is dropped");
            break;
        }
        if (mapped) Append(&mapped, 1, cstyle, local);
    }
    if (size > plain) Append(s + plain, size - plain, cstyle, local);
    softHyphenPending_ = softHyphen;
}

// How many of n more units the story takes; at its limit it says so, once.
std::size_t StoryBuilder::Fit(std::size_t n) {
    if (n == 0 || full_) return 0;
    const std::size_t limit = ctx_.options.maxStoryLength;
    if (length_ + n > limit) {
        n = limit > length_ ? limit - length_ : 0;
        full_ = true;
        ctx_.Warn(Warning::Code::kLimit, "a story is longer than " + std::to_string(limit) +
                                             " characters; the rest of it is skipped");
    }
    return n;
}

// The room comes a step at a time (its units are cleared first) within the
// capacity of the text, which grows by doubling as a string's does, from
// a first kFirstRoom units (most stories fit them) rather than a few.
void StoryBuilder::Grow(std::size_t n) {
    constexpr std::size_t kFirstRoom = 128;
    std::size_t size = length_ + std::max(n, std::size_t(1024));
    if (size > story_->text.capacity())
        size = std::max({length_ + n, story_->text.capacity(), kFirstRoom});
    story_->text.resize(size);
}

void StoryBuilder::Put(const char16_t* s, std::size_t n) {
    std::u16string& t = story_->text;
    if (t.size() - length_ >= n) {
        std::memcpy(&t[0] + length_, s, n * sizeof *s);
    } else {
        t.resize(length_); // without the room, whose units a string appending need not clear
        t.append(s, n);
    }
    length_ += n;
}

void StoryBuilder::Append(const char16_t* s, std::size_t n, const std::string& style,
                          const CharacterAttributes& local) {
    if (full_ || length_ + n > ctx_.options.maxStoryLength) n = Fit(n);
    if (n == 0) return;
    const std::uint32_t start = static_cast<std::uint32_t>(length_);
    Put(s, n);
    // A text's format, once found, is told by its index.
    Known* const known = textKnown_;
    if (!story_->runs.empty()) {
        CharacterRun& last = story_->runs.back();
        if (known && known->valid && last.format == known->format) {
            last.length += static_cast<std::uint32_t>(n);
            return;
        }
        const CharacterFormat& f = ctx_.result.document.Format(last);
        if (f.style == style && SameCharacter(f.local, local)) {
            last.length += static_cast<std::uint32_t>(n);
            if (known) *known = Known{true, last.format};
            return;
        }
    }
    const std::uint32_t format = ctx_.formats.Character(style, local);
    if (known) *known = Known{true, format};
    story_->runs.push_back(CharacterRun{start, static_cast<std::uint32_t>(n), format});
}

void StoryBuilder::AddMarker(Marker::Kind kind, const std::string& cstyle,
                             const CharacterAttributes& local, long long id) {
    if (full_) return;
    Marker m;
    m.kind = kind;
    m.position = static_cast<std::uint32_t>(length_);
    const bool isBreak = kind == Marker::Kind::kColumnBreak || kind == Marker::Kind::kFrameBreak;
    const char16_t c = isBreak ? kBreak : kObjectReplacement;
    Append(&c, 1, cstyle, local);
    if (full_ && length_ == m.position) return;
    story_->markers.push_back(m);
    if (kind == Marker::Kind::kAnchoredItem) anchoredIds.push_back(id);
}

} // namespace detail
} // namespace scribus
