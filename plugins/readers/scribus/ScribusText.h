// Builds one Story from the text elements of the frames in a chain, as they
// stream by, and keeps the elements of a frame to be read later.
#ifndef OMBRA_SCRIBUS_TEXT_H
#define OMBRA_SCRIBUS_TEXT_H

#include "ScribusXml.h"

#include <emmintrin.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace scribus {
namespace detail {

/// The 16 bytes at p, which starts a value handed on in Attrs or kept in a
/// memo's key: every such text is followed by 16 readable bytes after its
/// NUL, in its own allocation (ScribusInternal.h).
inline __m128i Sixteen(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

/// Decodes size bytes of text into out, which has room for size units (no
/// more units than bytes); how many units that made.
std::size_t DecodeText(Context& ctx, const char* text, std::size_t size, char16_t* out);

/// Takes the elements inside a frame's element (or a table cell's), frame
/// after frame.
class StoryBuilder final : public XmlHandler {
public:
    /// styleByIndex: paragraph style names in file order, for documents that
    /// refer to styles by position (index 5 is the first saved style).
    StoryBuilder(Context& ctx, Story& story, const std::vector<std::string>& styleByIndex);

    /// The next frame's elements follow.
    void BeginFrame();
    void Start(ElementId id, const Attrs& a) override;
    void End() override;
    void Empty(ElementId id, const Attrs& a) override;
    /// The frame's elements are over; defaults receives the frame's default
    /// paragraph format (Item::defaults) when its text carries one.
    void EndFrame(int* defaults);

    /// Closes the last paragraph. Anchored-item markers keep the raw ids in
    /// anchoredIds (parallel to the kAnchoredItem markers, in order).
    void Finish();

    std::vector<long long> anchoredIds;
    /// The lowest style number that named no style yet, or -1: a style read
    /// later may be the one it means.
    long long unknownStyleIndex = -1;

private:
    // A paragraph format: style and local, or a memo's reading when
    // `shared` is set (then style and local mean nothing).
    struct Para {
        std::string style;
        ParagraphAttributes local;
        std::shared_ptr<ParagraphReading> shared;
        const std::string& Style() const { return shared ? shared->style : style; }
        const ParagraphAttributes& Local() const { return shared ? shared->local : local; }
    };
    /// Makes p hold its format itself.
    static void Own(Para& p);
    /// from's format as a reading (from is left unspecified).
    static std::shared_ptr<ParagraphReading> Taken(Para& from);
    // What an open element is to the text: a level whose children are text
    // (the frame, StoryText), a paragraph format whose Tabs children count,
    // or nothing.
    enum Role : std::uint8_t { kLevel0, kLevel1, kLevel2, kParagraph, kTrail, kDefaults, kNone };
    /// What Start does but keep the element open; its role.
    Role Open(ElementId id, const Attrs& a);
    void Text(const Attrs& a);
    void OtherText(const Attrs& a, Context::TextMemo* m);
    void EmptyElement(ElementId id, const Attrs& a);
    void TextElement(ElementId id, const Attrs& a, Role role);
    void Special(ElementId id, const Attrs& a);
    void StartFormat(const Attrs& a);
    void Share(const std::shared_ptr<ParagraphReading>& r);
    void EndFormat(Role role);
    void OldText(const Attrs& a);
    void NewText(const Attrs& a, const char* text, bool softHyphenPending);
    void ReadEffects(const Attrs& a, CharacterAttributes& local);
    void UnicodeText(const Attrs& a);
    std::size_t Fit(std::size_t n);
    /// Where n more units of text go: story_.text holds them after length_
    /// (Finish cuts it to its length).
    char16_t* Room(std::size_t n) {
        if (story_.text.size() - length_ < n) Grow(n);
        return &story_.text[0] + length_;
    }
    void Grow(std::size_t n);
    /// n units at the end of the text.
    void Put(const char16_t* s, std::size_t n);
    /// Appends a text that continues the last run in the format known of it
    /// and is printable ASCII (perhaps with a hyphenation point after it),
    /// most texts; false when it is not such a text and nothing was added.
    bool PlainText(const char* text, const KnownFormat& known);
    /// Room for n units in scratch_.
    char16_t* Scratch(std::size_t n);
    void Append(const char16_t* s, std::size_t n, const std::string& style,
                const CharacterAttributes& local);
    void AppendMore(const char16_t* s, std::size_t n, const std::string& style,
                    const CharacterAttributes& local);
    static constexpr std::size_t kSlice = 1 << 16;
    void AppendSliced(const char* text, const std::string& cstyle, const CharacterAttributes& local,
                      const Para* oldPara);
    void AppendDecoded(const char* text, std::size_t size, std::size_t plain,
                       const std::string& cstyle, const CharacterAttributes& local,
                       const Para* oldPara);
    void AppendHuge(const char* text, std::size_t size, const std::string& cstyle,
                    const CharacterAttributes& local, const Para* oldPara);
    void AppendChars(const char16_t* s, std::size_t size, std::size_t from,
                     const std::string& cstyle, const CharacterAttributes& local,
                     const Para* oldPara);
    void AddMarker(Marker::Kind kind, const std::string& cstyle, const CharacterAttributes& local,
                   long long id);
    // What Append knows of the format of a text.
    using Known = KnownFormat;
    Context::TextMemo* FindText(const Attrs& a);
    void RememberText(const Attrs& a);
    void EndParagraph(const Para& p, const std::string& cstyle, const CharacterAttributes& local);
    std::uint32_t ParagraphFormat(const Para& p) const;
    std::uint32_t ReadingFormat(ParagraphReading& r, bool frameDefaults) const;
    Para ParaFromCab(long long cab);

    Context& ctx_;
    Story& story_;
    const std::vector<std::string>& styleByIndex_;
    // The roles of the open elements: those deeper than kDepth are all
    // kNone (no text level nests that deep), so only the depth is kept.
    static constexpr std::size_t kDepth = 8;
    Role open_[kDepth] = {};
    std::size_t depth_ = 0;
    Role Parent() const {
        return depth_ == 0 ? kLevel0 : depth_ <= kDepth ? open_[depth_ - 1] : kNone;
    }
    std::shared_ptr<ParagraphReading> defaults_;
    bool haveDefaults_ = false;
    Para format_; ///< the paragraph format element being read
    ParagraphFormatReader formatReader_;
    std::uint32_t paraStart_ = 0;
    std::shared_ptr<ParagraphReading> trail_;
    bool haveTrail_ = false;
    std::optional<Para> lastOldPara_; ///< of the last old-generation text, if any
    bool full_ = false;
    bool softHyphenPending_ = false; ///< 1.5: the last text ended in a single soft hyphen
    bool loneSurrogates_ = false;    ///< a Unicode attribute gave half a pair
    std::size_t frameText_ = 0, frameParas_ = 0;
    // The story's length: its text grows by doubling, and the units after
    // length_ are room that texts are decoded into.
    std::size_t length_ = 0;
    const std::size_t limit_;             ///< the options' maxStoryLength
    std::u16string& scratch_;             ///< the context's textScratch
    CharacterAttributes local_;           ///< NewText's format, reused
    std::string localKey_;                ///< the attribute texts local_ was read from
    bool localValid_ = false;             ///< local_ may be reused for texts with localKey_
    std::uint64_t localPrefixes_[2] = {}; ///< texts with these Attrs::Prefix have local_'s fields
    Known known_;                         ///< of cstyle_ and local_
    std::string cstyle_;                  ///< NewText's character style, reused
    Known* textKnown_ = nullptr;          ///< while a text is appended: what is known of its format
    // Tells Append what is known of the format of the text appended while it
    // lives.
    class Told {
    public:
        Told(Known*& slot, Known* known) : slot_(slot) { slot_ = known; }
        ~Told() { slot_ = nullptr; }
        Told(const Told&) = delete;
        Told& operator=(const Told&) = delete;

    private:
        Known*& slot_;
    };
    struct Features {
        std::string text;
        std::optional<unsigned> effects;
        bool valid = false;
        std::uint64_t prefix =
            0; ///< the Attrs::Prefix of a text it was in, when FEATURES was in it
    };
    Features features_[2]; ///< the last FEATURES lists read, newest first
};

/// The elements inside one frame's element, kept to be handed on later.
class TextRecord final : public XmlHandler {
public:
    void Start(ElementId id, const Attrs& a) override { Add('S', id, a); }
    void End() override;
    void Empty(ElementId id, const Attrs& a) override { Add('M', id, a); }
    /// Hands the kept elements to handler, in order.
    void Replay(XmlHandler& handler) const;

private:
    /// An entry for the start (kind 'S') or the whole (kind 'M') of an element.
    void Add(char kind, ElementId id, const Attrs& a);
    /// Room for n more bytes at the end: the record grows by doubling, and
    /// its bytes are written once, in place. kPadding bytes follow the end
    /// in the allocation: the values Replay hands on are read 16 bytes at
    /// once.
    char* Room(std::size_t n);
    static constexpr std::size_t kPadding = 16;
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0, capacity_ = 0;
};

} // namespace detail
} // namespace scribus

#endif
