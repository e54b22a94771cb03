// The streaming XML reader (see ScribusXml.h). What it accepts and how it
// turns attribute values into text follow pugixml's default options: a
// value ends at its first quote character; tabs and line ends in it become
// spaces (CR LF one space); the five named references and numeric ones are
// replaced, numeric ones by any code they name, as UTF-8, and anything else
// after '&' stays as it is. Comments, processing instructions, CDATA
// sections and character data are skipped; a NUL ends the document outside
// the root element and is damage inside it.
#include "ScribusXml.h"
#include "ScribusXmlScan.h"

#include <emmintrin.h>

#include <bitset>
#include <cstring>
#include <memory>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace scribus {
namespace detail {

ByteSource::~ByteSource() {}
XmlHandler::~XmlHandler() {}

long long MemorySource::Read(char* data, std::size_t size) {
    std::size_t n = size < size_ - at_ ? size : size_ - at_;
    std::memcpy(data, data_ + at_, n);
    at_ += n;
    return static_cast<long long>(n);
}

namespace {

using namespace xmlscan;

// The first '<' or NUL from p on.
const char* ScanText(const char* p) {
    for (;; p += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned stop = Mask(v, '<') | Mask(v, 0);
        if (stop) return p + __builtin_ctz(stop);
    }
}

// The reader proper. The bytes sit in one buffer that is refilled from the
// source as they are used up; a token (a tag with all its attributes, a
// comment, ...) is only acted on once all of it is in the buffer, so one
// that runs past the bytes read so far is read again from its start after
// the refill, which keeps what is left and doubles the buffer when that is
// more than half of it.
class XmlReader {
public:
    XmlReader(ByteSource& source, XmlHandler& handler, std::size_t maxBytes)
        : source_(source), handler_(handler), maxBytes_(maxBytes) {
        deferred_.reserve(64);
    }

    XmlResult Run() {
        if (!Grow(kInitialSize)) return XmlResult::kUnreadable;
        while (end_ < 3 && !eof_)
            if (!Fill()) return failure_;
        if (end_ >= 3 && std::memcmp(buf_.get(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
        for (;;) {
            if (pos_ == end_) {
                if (!Refill()) return failure_;
                if (pos_ == end_) break; // the end of the input
            }
            // Text mostly ends at the next tag's '<'.
            Step step = buf_[pos_] == '<' ? kOk : Text();
            if (step == kOk && pos_ != end_) step = Markup();
            if (step == kMore) {
                std::size_t before = end_ - pos_;
                if (!Refill()) return failure_;
                if (end_ - pos_ == before) return XmlResult::kMalformed; // cut inside a token
            } else if (step == kBad) {
                return XmlResult::kMalformed;
            } else if (step == kStop) {
                break;
            }
        }
        return depth_ == 0 && sawElement_ ? XmlResult::kDone : XmlResult::kMalformed;
    }

private:
    enum Step { kOk, kMore, kBad, kStop };
    static constexpr std::size_t kInitialSize = 64 * 1024;
    // NULs after the bytes, for the 16-byte scans; they pad the values in
    // the buffer too.
    static constexpr std::size_t kPadding = 64;
    static_assert(kPadding >= kValuePadding, "values in the buffer keep their padding");

    // A value whose text waits for the whole tag: one with references, tabs
    // or line ends, or in single quotes.
    struct Deferred {
        bool special;
        char* value;
        char* end;
    };
    // The attributes of a start tag but its last, as they stood.
    struct SpanAt {
        AttrId id;
        bool special;
        std::uint32_t value, end; // from the start of the bytes
    };
    // An attribute of the spans with its text.
    struct MemoValue {
        AttrId id;
        const char* text; // in TagMemo::bytes
    };
    struct TagMemo {
        // The bytes as they stood (size of them), then, once a tag repeats
        // them, the same bytes with the values turned into text and the
        // values' padding: such tags take their values from here and leave
        // their own bytes alone.
        std::string bytes;
        std::size_t size = 0;
        bool ready = false; // values and the text they point into are there
        std::vector<SpanAt> spans;
        std::vector<MemoValue> values;
        std::size_t attributes = 0; // all of them, known or not
        std::uint64_t number = 0;   // new with every change of the bytes
    };

    bool Grow(std::size_t size) {
        std::unique_ptr<char[]> larger(new char[size + kPadding]); // may throw std::bad_alloc
        if (end_) std::memcpy(larger.get(), buf_.get(), end_);
        buf_ = std::move(larger);
        size_ = size;
        Pad();
        return true;
    }

    void Pad() { std::memset(buf_.get() + end_, 0, kPadding); }

    // Reads more bytes after end_; false when the source failed or the limit
    // was passed.
    bool Fill() {
        if (eof_ || end_ == size_) return true;
        long long n = source_.Read(buf_.get() + end_, size_ - end_);
        if (n < 0) {
            failure_ = XmlResult::kUnreadable;
            return false;
        }
        if (n == 0) eof_ = true;
        end_ += static_cast<std::size_t>(n);
        total_ += static_cast<std::size_t>(n);
        Pad();
        if (total_ > maxBytes_) {
            failure_ = XmlResult::kTooLarge;
            return false;
        }
        return true;
    }

    // Keeps the bytes from pos_ on at the start of the buffer and reads more.
    bool Refill() {
        std::size_t kept = end_ - pos_;
        if (pos_ > 0) std::memmove(buf_.get(), buf_.get() + pos_, kept);
        pos_ = 0;
        end_ = kept;
        Pad();
        if (kept > size_ / 2 && !Grow(size_ * 2)) return false;
        return Fill();
    }

    char* At(std::size_t i) { return buf_.get() + i; }
    // True at the end of the bytes read so far (not a NUL in the input).
    bool AtEnd(const char* p) const { return p >= buf_.get() + end_; }

    // Character data: skipped, up to the next '<'.
    Step Text() {
        const char* p = ScanText(At(pos_));
        if (AtEnd(p)) {
            pos_ = end_;
            return kOk;
        }
        if (*p == 0) return depth_ == 0 ? kStop : kBad;
        pos_ = static_cast<std::size_t>(p - buf_.get());
        return kOk;
    }

    Step Markup() {
        const char* p = At(pos_ + 1);
        if (AtEnd(p)) return kMore;
        if (Is(*p, kStartSymbol)) return StartTag();
        if (*p == '/') return EndTag();
        if (*p == '?') return Instruction();
        if (*p == '!') return Declaration();
        return kBad;
    }

    // Skips white space; kMore at the end of the bytes.
    Step SkipSpace(char*& p) {
        while (Is(*p, kSpace))
            ++p;
        return AtEnd(p) ? kMore : kOk;
    }

    Step StartTag() {
        char* name = At(pos_ + 1);
        char* p = name;
        ElementId element;
        // Elements mostly repeat the name of the one before, and the space
        // after it.
        if ((Word(name) & lastMask_[0]) == lastWord_[0] &&
            (Word(name + 8) & lastMask_[1]) == lastWord_[1]) {
            p += lastNameLength_;
            element = lastElement_;
        } else {
            p = const_cast<char*>(SymbolEnd(p));
            element = ElementOf(name, static_cast<std::size_t>(p - name));
        }
        if (AtEnd(p)) return kMore;
        const std::size_t nameLength = static_cast<std::size_t>(p - name);
        attrs_.Begin();
        prefixNumber_ = 0;
        bool empty = false;
        if (*p == '/') {
            if (AtEnd(++p)) return kMore;
            if (*p != '>') return kBad;
            empty = true;
        } else if (Is(*p, kSpace)) {
            char* const from = p;
            Step s = Attributes(p, empty, element);
            if (s != kOk) {
                if (s == kMore) Requote(from, static_cast<std::size_t>(At(end_) - from));
                deferred_.clear();
                return s;
            }
        } else if (*p != '>') {
            return kBad;
        }
        pos_ = static_cast<std::size_t>(p + 1 - buf_.get());
        Open(element, name, nameLength, empty);
        return kOk;
    }

    // The id of a name other than the one before; the bytes after the name
    // can be read.
    ElementId ElementOf(const char* name, std::size_t length) {
        const ElementId id = ElementIdOf(name, length);
        if (length < sizeof lastWord_ && name[length] == ' ') {
            // The masks of the first n bytes (the words are little-endian).
            const std::size_t n = length + 1, bits = 8 * (n % 8);
            const std::uint64_t part = bits ? (std::uint64_t{1} << bits) - 1 : ~std::uint64_t{0};
            lastMask_[0] = n >= 8 ? ~std::uint64_t{0} : part;
            lastMask_[1] = n >= 16 ? ~std::uint64_t{0} : n > 8 ? part : 0;
            lastWord_[0] = Word(name) & lastMask_[0];
            lastWord_[1] = Word(name + 8) & lastMask_[1];
            lastNameLength_ = length;
            lastElement_ = id;
        }
        return id;
    }

    // The attributes of a start tag up to its '>' (p then points at it),
    // set in attrs_ as they are read. Tags of one name mostly repeat all but
    // their last attribute (a text's characters) from one of the two before
    // them: those bytes, compared whole, give the attributes read from them
    // then.
    Step Attributes(char*& p, bool& empty, ElementId element) {
        char* const start = p;
        TagMemo* memos = memos_[element].get(); // none before the first Remember
        TagMemo* hit = MemoAt(p, memos, element);
        std::size_t i = 0;
        if (hit) { // its values come first
            // Texts' memos mostly hold a score of values: the loop below
            // sets four a step.
            if (!hit->ready) Prepare(*hit, p);
#pragma GCC unroll 4
            for (const MemoValue& v : hit->values) // each once
                attrs_.SetFresh(v.id, v.text);
            p += hit->size;
            i = hit->attributes;
            lastMemo_[element] = static_cast<std::uint8_t>(hit - memos);
            misses_[element] = 0;
            prefixNumber_ = hit->number;
            prefixCount_ = attrs_.Count();
        }
        Guess* guesses = guesses_[element].get(); // none before the first place
        std::size_t places = places_[element];
        // The byte stores that end values may alias any member: the names
        // are read through a local.
        const NameWords::Entry* words = Words();
        char* last = nullptr; // where the last attribute starts
        PlainWindow plain;
        for (;; ++i) {
            if (i < places) i += PlainRun(p, last, guesses + i, places - i, words, plain);
            // One space between attributes, mostly; the NULs after the bytes
            // read so far end the scans.
            if (*p == ' ' && Is(p[1], kStartSymbol)) {
                ++p;
            } else {
                while (Is(*p, kSpace))
                    ++p;
                if (!Is(*p, kStartSymbol)) {
                    if (*p == '>' || *p == '/') break;
                    return AtEnd(p) ? kMore : kBad;
                }
            }
            last = p;
            // Mostly a guess, '="', a plain value, '"'; at a place no tag of
            // the name reached before, nothing to guess.
            Guess* guess = i < places ? guesses + i : &spareGuess_;
            const bool fresh = i == places && i < kGuesses;
            if (fresh) {
                if (!guesses) guesses = GuessesOf(element);
                guess = guesses + i;
                *guess = kNoGuess;
                places_[element] = static_cast<std::uint8_t>(++places);
            }
            std::uint32_t id = kAttrCount;
            const std::size_t n = fresh ? 0 : Guessed(*guess, words, p, id);
            if (n) {
                char* const value = p + n + 2;
                char* const end = const_cast<char*>(plain.Scan(value));
                if (*end == '"' && !Is(end[1], kStartSymbol)) {
                    *end = 0;
                    if (id < kAttrCount) attrs_.Set(static_cast<AttrId>(id), value);
                    p = end + 1;
                    continue;
                }
            }
            Step s = Attribute(p, *guess, fresh, n, id);
            if (s != kOk) return s;
            words = Words(); // it may have grown
        }
        if (*p == '/') {
            if (AtEnd(++p)) return kMore;
            if (*p != '>') return kBad;
            empty = true;
        }
        if (i >= 2 && last && (!hit || last != start + hit->size))
            Remember(memos, element, start, last, p, i - 1);
        return kOk;
    }

    // The memo of the element that the bytes from p on start with, if any.
    TagMemo* MemoAt(const char* p, TagMemo* memos, ElementId element) {
        // Memos hold over 8 bytes: the first eight tell most misses (the
        // padding makes them readable).
        const std::uint64_t head = Word(p), *heads = &memoHeads_[2 * element];
        for (int k = 0; k < 2; ++k) {
            if (head != heads[k]) continue;
            const TagMemo& m = memos[k];
            if (m.size <= static_cast<std::size_t>(At(end_) - p) &&
                std::memcmp(p, m.bytes.data(), m.size) == 0)
                return &memos[k];
        }
        return nullptr;
    }

    // Keeps the bytes [start, last) of a tag whose attributes were read, and
    // what they gave, in place of the memo used less recently; its last
    // attribute lies in [last, end).
    void Remember(TagMemo* memos, ElementId element, const char* start, const char* last,
                  const char* end, std::size_t attributes) {
        const std::size_t n = static_cast<std::size_t>(last - start);
        if (n <= 8 || n > kMemoBytes) return;
        // Tags of some names never repeat the ones before (colours start with
        // their own names): after 8 memos in a row that no tag took, only
        // every 64th is kept.
        const std::uint32_t missed = ++misses_[element];
        if (missed > 8 && missed % 64 != 0) return;
        // The attributes before the last: all but one the last set itself.
        std::size_t known = attrs_.Count();
        if (known) {
            const auto value = reinterpret_cast<std::uintptr_t>(attrs_.Get(attrs_.IdAt(known - 1)));
            if (value >= reinterpret_cast<std::uintptr_t>(last) &&
                value < reinterpret_cast<std::uintptr_t>(end))
                --known;
        }
        if (!memos) {
            memos_[element].reset(new TagMemo[2]); // may throw std::bad_alloc, as Grow
            memos = memos_[element].get();
        }
        const std::uint8_t k = static_cast<std::uint8_t>(lastMemo_[element] ^ 1);
        lastMemo_[element] = k;
        TagMemo& m = memos[k];
        m.bytes.assign(start, n);
        Requote(&m.bytes[0], n);
        memoHeads_[2 * element + k] = Word(m.bytes.c_str()); // n > 8
        m.size = n;
        m.ready = false; // most memos are never repeated: their spans wait for that
        m.attributes = attributes;
        m.number = ++memoNumbers_;
        prefixNumber_ = m.number;
        prefixCount_ = known;
    }

    // The spans and values of a memo, once a tag repeats its bytes, which
    // lie at tag (in the buffer, before its padding): the attributes read
    // from them, which were read once already, and a copy of the bytes
    // after them, turned into text where the values lie.
    void Prepare(TagMemo& m, const char* tag) {
        const std::size_t n = m.size;
        m.spans.clear();
        m.spans.reserve(m.attributes); // at most one each: grown once, not by steps
        for (const char* p = tag;;) {
            while (Is(*p, kSpace))
                ++p;
            if (p >= tag + n) break;
            const char* name = p;
            p = SymbolEnd(p);
            const std::uint32_t id = Attrs::AttrIdOf(name, static_cast<std::size_t>(p - name));
            while (*p != '"' && *p != '\'') // spaces and '='
                ++p;
            const char quote = *p++;
            bool special = false;
            const char* end = ScanValue(p, quote, special);
            if (id < kAttrCount)
                m.spans.push_back(SpanAt{static_cast<AttrId>(id), special,
                                         static_cast<std::uint32_t>(p - tag),
                                         static_cast<std::uint32_t>(end - tag)});
            p = end + 1;
        }
        // The values, handed on as they are, need their padding after them.
        m.bytes.reserve(2 * n + kValuePadding);
        m.bytes.append(m.bytes.data(), n);
        m.bytes.append(kValuePadding, '\0');
        char* text = &m.bytes[n];
        m.values.clear();
        m.values.reserve(m.spans.size());
        std::bitset<kAttrCount> seen; // of duplicates only the first counts, as in Attrs
        for (const SpanAt& a : m.spans) {
            if (seen[a.id]) continue;
            seen[a.id] = true;
            if (a.special) {
                if (DecodeValue(text + a.value, text + a.end)) handler_.ZeroReference();
            } else
                text[a.end] = 0;
            m.values.push_back(MemoValue{a.id, text + a.value});
        }
        m.ready = true;
    }

    // An element mostly has the attributes of one of the two of its name
    // before, in the same order: the names guessed at each place are
    // compared, and only looked up when neither is the one there. When the
    // two differ, elements mostly alternate between them (as texts with and
    // without a feature do), and the one not seen last is compared first.
    // Names the parser does not read are guessed too: a NameId is an
    // AttrId, kAttrCount for none, or past it a name the parser does not
    // read (nameWords_ holds the words of each).
    struct Guess {
        std::uint16_t first, second; // NameIds
        // Whether the last two had one each.
        bool alternate;
    };
    static constexpr Guess kNoGuess{kAttrCount, kAttrCount, false};

    // The length of the name at p when a guess is that name and '="'
    // follows it (id then says which), else 0.
    static std::size_t Guessed(Guess& g, const NameWords::Entry* words, const char* p,
                               std::uint32_t& id) {
        if (const std::size_t length = NameLengthAt(words[g.first], g.first, p)) {
            id = g.first;
            if (g.alternate) std::swap(g.first, g.second);
            return length;
        }
        const std::size_t length = NameLengthAt(words[g.second], g.second, p);
        if (length) {
            id = g.second;
            if (g.alternate) std::swap(g.first, g.second);
            g.alternate = !g.alternate;
        }
        return length;
    }

    // The attributes from p on that go as guessed, each after one space,
    // with a plain value in '"', up to room of them: set in attrs_ and
    // their guesses taken, p then after the last one's quote and last at
    // its name. How many. Nothing of the attribute it stops before is
    // taken. A loop of its own, with its state in locals and no call,
    // keeps that state in registers (the loop of Attributes has too much
    // live for that).
    std::size_t PlainRun(char*& p, char*& last, Guess* guesses, std::size_t room,
                         const NameWords::Entry* words, PlainWindow& window) {
        std::size_t k = 0;
        char* at = p;
        char* name = last;
        PlainWindow plain = window;
        // A name that does not start as names do matches no guess.
        while (k < room && *at == ' ') {
            Guess& g = guesses[k];
            std::uint32_t id = g.first;
            // Longer names stop it: a call would take the registers.
            std::size_t n = ShortNameLengthAt(words[id], at + 1);
            if (!n) {
                id = g.second;
                n = ShortNameLengthAt(words[id], at + 1);
                if (!n) break;
            }
            char* const value = at + n + 3;
            char* const end = const_cast<char*>(plain.Scan(value));
            if (*end != '"' || Is(end[1], kStartSymbol)) break;
            // As Guessed takes them (the second can only match when it is
            // not the first).
            const bool second = id != g.first;
            if (g.alternate) std::swap(g.first, g.second);
            if (second) g.alternate = !g.alternate;
            *end = 0;
            ++k;
            if (id < kAttrCount) attrs_.Set(static_cast<AttrId>(id), value);
            name = at + 1;
            at = end + 1;
        }
        p = at;
        last = name;
        window = plain;
        return k;
    }

    // Left unset: each is set when a tag first reaches its place.
    Guess* GuessesOf(ElementId element) {
        guesses_[element].reset(new Guess[kGuesses]); // may throw std::bad_alloc, as Grow
        return guesses_[element].get();
    }

    // A new NameId for a name that is no AttrId, kAttrCount when there is
    // none. A name that moves from place to place may get several.
    std::uint32_t UnknownName(const char* name, std::size_t length) {
        if (length == 0 || length > NameWords::kShort ||
            nameWords_.size() >= kAttrCount + 1 + kUnknownNames)
            return kAttrCount;
        if (nameWords_.empty()) {
            // Room for every name it may take at once: documents with
            // unknown names have hundreds, and each growth copies the words.
            nameWords_.reserve(kAttrCount + 1 + kUnknownNames);
            nameWords_.assign(std::begin(kNameWords.at), std::end(kNameWords.at));
        }
        nameWords_.push_back(NameWords::Of(name, length));
        return static_cast<std::uint32_t>(nameWords_.size() - 1);
    }

    // An attribute whose name was guessed (its length and id) or is still
    // to be looked up (length 0), at a place fresh or not.
    Step Attribute(char*& p, Guess& guess, bool fresh, std::size_t length, std::uint32_t id) {
        if (length) {
            p += length + 1; // past the '='
        } else {
            const char* name = p;
            p = const_cast<char*>(SymbolEnd(p));
            const std::size_t nameLength = static_cast<std::size_t>(p - name);
            if (SkipSpace(p) == kMore) return kMore;
            if (*p++ != '=') return kBad;
            if (SkipSpace(p) == kMore) return kMore;
            id = Attrs::AttrIdOf(name, nameLength);
            // Most unknown names are in tags whose places no tag repeats (a
            // document's settings): a name gets words once it is not the
            // first at its place.
            if (id >= kAttrCount)
                id = fresh ? static_cast<std::uint32_t>(kAttrCount) : UnknownName(name, nameLength);
            guess.second = guess.first;
            guess.first = static_cast<std::uint16_t>(id);
            guess.alternate = false;
        }
        char quote = *p;
        if (quote != '"' && quote != '\'') { // space after '='?
            if (SkipSpace(p) == kMore) return kMore;
            quote = *p;
            if (quote != '"' && quote != '\'') return kBad;
        }
        char* value = ++p;
        bool special = false;
        p = const_cast<char*>(quote == '"' ? ScanValue(value, '"', special)
                                           : ScanValue(value, '\'', special));
        if (*p == 0) return AtEnd(p) ? kMore : kBad;
        char* end = p++;
        // A name right after the quote; the end of the bytes read so far is
        // seen by the caller.
        if (Is(*p, kStartSymbol)) return kBad;
        // Every '"' that ends a value becomes its NUL now (Requote undoes
        // that); the rest wait for the tag to be complete.
        if (quote == '"') *end = 0;
        if (id < kAttrCount) {
            attrs_.Set(static_cast<AttrId>(id), value);
            if (special || quote != '"') deferred_.push_back(Deferred{special, value, end});
        }
        return kOk;
    }

    // Puts back the '"' that NULs stand for in n bytes of a tag read so far
    // (only values ended by '"' can have become NULs in it).
    static void Requote(char* p, std::size_t n) {
        const auto fix = [](char* at) { // 16 bytes at a time, the last ones again
            auto* q = reinterpret_cast<__m128i*>(at);
            const __m128i v = _mm_loadu_si128(q);
            const __m128i nul = _mm_cmpeq_epi8(v, _mm_setzero_si128());
            _mm_storeu_si128(q, _mm_or_si128(v, _mm_and_si128(nul, _mm_set1_epi8('"'))));
        };
        if (n < 16) {
            for (char* const end = p + n; p < end; ++p)
                if (*p == 0) *p = '"';
            return;
        }
        for (std::size_t k = 0; k + 16 < n; k += 16)
            fix(p + k);
        fix(p + n - 16);
    }

    // The tag is complete: the values that waited become text.
    void Open(ElementId element, const char* name, std::size_t length, bool empty) {
        if (!deferred_.empty()) {
            for (const Deferred& d : deferred_) {
                if (d.special) {
                    if (DecodeValue(d.value, d.end)) handler_.ZeroReference();
                } else
                    *d.end = 0;
            }
            deferred_.clear();
        }
        if (prefixNumber_) attrs_.SetPrefix(prefixNumber_, prefixCount_);
        sawElement_ = true;
        if (empty) {
            handler_.Empty(element, attrs_);
            return;
        }
        handler_.Start(element, attrs_);
        names_.append(name, length);
        lengths_.push_back(static_cast<std::uint32_t>(length));
        ++depth_;
    }

    Step EndTag() {
        if (depth_ == 0) return kBad;
        const std::size_t length = lengths_.back();
        const char* open = names_.data() + names_.size() - length;
        char* p = At(pos_ + 2);
        // Mostly the name whole; byte by byte it tells damage from the end
        // of the bytes read so far.
        if (length <= end_ - (pos_ + 2) && std::memcmp(p, open, length) == 0 &&
            !Is(p[length], kSymbol)) {
            p += length;
        } else {
            std::size_t k = 0;
            for (; Is(*p, kSymbol); ++p, ++k)
                if (k >= length || *p != open[k]) return kBad;
            if (AtEnd(p)) return kMore;
            if (k != length) return kBad;
        }
        if (SkipSpace(p) == kMore) return kMore;
        if (*p != '>') return kBad;
        pos_ = static_cast<std::size_t>(p + 1 - buf_.get());
        names_.resize(names_.size() - length);
        lengths_.pop_back();
        --depth_;
        handler_.End();
        return kOk;
    }

    // Skips to just after the first `close` from p on.
    Step SkipTo(const char* p, const char* close) {
        const std::size_t n = std::strlen(close);
        for (;; ++p) {
            p = static_cast<const char*>(std::memchr(p, close[0], At(end_) - p + 1));
            if (!p || AtEnd(p)) return kMore;
            if (std::memcmp(p, close, n) == 0) break;
        }
        if (std::memchr(At(pos_), 0, static_cast<std::size_t>(p - At(pos_)))) return kBad;
        pos_ = static_cast<std::size_t>(p + n - buf_.get());
        return kOk;
    }

    // <?target ...?>
    Step Instruction() {
        char* p = At(pos_ + 2);
        if (AtEnd(p)) return kMore;
        if (!Is(*p, kStartSymbol)) return kBad;
        p = const_cast<char*>(SymbolEnd(p));
        if (AtEnd(p)) return kMore;
        if (*p == 0) return kBad;
        return SkipTo(p, "?>");
    }

    // Comments and CDATA sections; a document type is left to the tree.
    Step Declaration() {
        const char* p = At(pos_ + 2);
        static const char kComment[] = "--", kCdata[] = "[CDATA[";
        const bool comment = *p == '-';
        const char* lead = comment ? kComment : kCdata;
        const std::size_t n = comment ? 2 : 7;
        if (*p != '-' && *p != '[') return AtEnd(p) ? kMore : kBad;
        for (std::size_t k = 0; k < n; ++k, ++p) {
            if (AtEnd(p)) return kMore;
            if (*p != lead[k]) return kBad;
        }
        return SkipTo(p, comment ? "-->" : "]]>");
    }

    ByteSource& source_;
    XmlHandler& handler_;
    const std::size_t maxBytes_;
    std::unique_ptr<char[]> buf_;
    std::size_t size_ = 0, pos_ = 0, end_ = 0, total_ = 0;
    bool eof_ = false, sawElement_ = false;
    XmlResult failure_ = XmlResult::kUnreadable;
    std::vector<Deferred> deferred_; // of the tag being read
    Attrs attrs_;
    std::string names_; // the open elements' names, one after the other
    std::vector<std::uint32_t> lengths_;
    std::size_t depth_ = 0;
    static constexpr std::size_t kGuesses = 128; // attributes guessed per element
    // Made when a tag of the name first has attributes: a document uses few
    // of the names, and making all of them at every conversion weighs on
    // small ones.
    std::unique_ptr<Guess[]> guesses_[kElementCount + 1];
    std::uint8_t places_[kElementCount + 1] = {}; // the guesses set, from the first on
    Guess spareGuess_ = kNoGuess;                 // for the places after those, all of them
    static constexpr std::size_t kUnknownNames = 1024;
    // By NameId: the known names' words until a name comes that is none of
    // them, which most documents never have.
    std::vector<NameWords::Entry> nameWords_;
    const NameWords::Entry* Words() const {
        return nameWords_.empty() ? kNameWords.at : nameWords_.data();
    }
    static constexpr std::size_t kMemoBytes = 4096;
    // Two per name, made when a tag of the name is first kept: a document
    // uses few of the names.
    std::unique_ptr<TagMemo[]> memos_[kElementCount + 1];
    // The first 8 bytes of each memo; 0 (no tag starts so) for none.
    std::uint64_t memoHeads_[2 * (kElementCount + 1)] = {};
    std::uint8_t lastMemo_[kElementCount + 1] = {};
    std::uint32_t misses_[kElementCount + 1] = {}; // memos kept since a tag last took one
    // The last element name looked up that a space followed, with that
    // space, as masked words (none yet: no text matches), and its id.
    std::uint64_t lastWord_[2] = {1, 0}, lastMask_[2] = {0, 0};
    std::size_t lastNameLength_ = 0;
    ElementId lastElement_ = kElementCount;
    // The prefix of the tag being read, as Attrs::SetPrefix takes it: the
    // number of its memo (0 for none) and how many attributes it holds.
    std::uint64_t prefixNumber_ = 0, memoNumbers_ = 0;
    std::size_t prefixCount_ = 0;
};

// Iterative, so that any depth of nesting fits.
void Walk(pugi::xml_node root, Attrs& attrs, XmlHandler& handler) {
    pugi::xml_node n = root.first_child();
    while (n) {
        if (n.type() == pugi::node_element) {
            const char* name = n.name();
            attrs.Load(n);
            handler.StartInTree(n, ElementIdOf(name, std::strlen(name)), attrs);
            if (pugi::xml_node child = n.first_child()) {
                n = child;
                continue;
            }
            handler.End();
        }
        while (!n.next_sibling()) {
            n = n.parent();
            if (n == root) return;
            handler.End();
        }
        n = n.next_sibling();
    }
}

} // namespace

XmlResult ReadXml(ByteSource& source, XmlHandler& handler, std::size_t maxBytes) {
    return XmlReader(source, handler, maxBytes).Run();
}

void WalkTree(pugi::xml_node document, XmlHandler& handler) {
    Attrs attrs;
    Walk(document, attrs, handler);
}

} // namespace detail
} // namespace scribus
