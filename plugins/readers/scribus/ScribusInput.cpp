// Getting bytes ready for the XML parser: gzip inflation with a size limit
// and the repair pass for documents that are not well formed; and the text
// of attribute values, as pugixml turns them into text.
#include "ScribusXml.h"

#include "ReaderCrc.h"
#include "Utf8Put.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace scribus {

namespace detail {

// zlib checks each member's header as usual; from the header's end on, the
// CRC of the inflated bytes is computed here, several bytes a cycle where
// zlib's takes one or two, and the trailer compared as zlib would.
class MemberCheck {
public:
    MemberCheck() { std::memset(&head_, 0, sizeof head_); }

    // After inflateInit2 or inflateReset.
    void Start(z_stream& z) {
        inflateGetHeader(&z, &head_);
        inflateValidate(&z, 1);
        crc_ = 0;
        length_ = 0;
        own_ = false;
    }

    // After each inflate call, with the bytes it made.
    void Inflated(z_stream& z, const unsigned char* out, std::size_t n) {
        crc_ = obreader::Crc32(crc_, out, n);
        length_ += static_cast<std::uint32_t>(n);
        if (!own_ && head_.done == 1) own_ = inflateValidate(&z, 0) == Z_OK;
    }

    // At the member's end, with its 8-byte trailer: null when it matches,
    // else what zlib says of it.
    const char* Mismatch(const unsigned char* trailer) const {
        if (obreader::Le32(trailer) != crc_) return "incorrect data check";
        if (obreader::Le32(trailer + 4) != length_) return "incorrect length check";
        return nullptr;
    }

private:
    gz_header head_;
    std::uint32_t crc_ = 0, length_ = 0;
    bool own_ = false; // zlib checks nothing more of this member
};

} // namespace detail

namespace {

// One step of Gunzip: inflates into the next room of out, up to the limit,
// and checks a member that ends. zlib's result; error is set when Gunzip
// cannot go on.
int InflateStep(z_stream& z, detail::MemberCheck& check, std::size_t limit, std::string& out,
                std::string& error) {
    const std::size_t kChunk = 1 << 16;
    if (out.size() >= limit) {
        error = "decompressed size exceeds the limit of " + std::to_string(limit) + " bytes";
        return Z_MEM_ERROR;
    }
    std::size_t room = limit - out.size();
    if (room > kChunk) room = kChunk;
    std::size_t before = out.size();
    out.resize(before + room);
    auto* at = reinterpret_cast<unsigned char*>(&out[before]);
    z.next_out = at;
    z.avail_out = static_cast<uInt>(room);
    int rc = inflate(&z, Z_NO_FLUSH);
    out.resize(before + (room - z.avail_out));
    check.Inflated(z, at, room - z.avail_out);
    if (rc == Z_STREAM_END) {
        if (const char* wrong = check.Mismatch(z.next_in - 8)) {
            error = std::string("damaged compressed data: ") + wrong;
            return Z_DATA_ERROR;
        }
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        error = std::string("damaged compressed data") + (z.msg ? std::string(": ") + z.msg : "");
    }
    return rc;
}

} // namespace

bool Gunzip(const unsigned char* data, std::size_t size, std::size_t limit, std::string& out,
            std::string& error) {
    out.clear();
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        error = "cannot start the decompressor";
        return false;
    }
    detail::MemberCheck check;
    check.Start(z);
    bool ok = true;
    std::size_t consumed = 0;
    while (true) {
        // zlib counts in 32-bit units; feed large inputs in slices.
        std::size_t slice = size - consumed;
        if (slice > (std::size_t(1) << 30)) slice = std::size_t(1) << 30;
        z.next_in = const_cast<unsigned char*>(data + consumed);
        z.avail_in = static_cast<uInt>(slice);
        int rc = InflateStep(z, check, limit, out, error);
        consumed += slice - z.avail_in;
        if (!error.empty()) {
            ok = false;
            break;
        }
        if (rc == Z_STREAM_END) {
            // Another gzip member may follow; trailing zero padding ends the data.
            std::size_t rest = consumed;
            while (rest < size && data[rest] == 0)
                ++rest;
            if (rest + 1 < size && data[rest] == 0x1f && data[rest + 1] == 0x8b) {
                consumed = rest;
                inflateReset(&z);
                check.Start(z);
                continue;
            }
            break;
        }
        if ((rc == Z_BUF_ERROR && consumed >= size) || (consumed >= size && z.avail_out != 0)) {
            error = "the compressed data ends early";
            ok = false;
            break;
        }
    }
    inflateEnd(&z);
    return ok;
}

namespace detail {

struct GzipSource::Stream {
    z_stream z;
    MemberCheck check;
    static constexpr std::size_t kRead = 1 << 16;
    char in[kRead + 1];     // one more for a magic byte put back before a read
    std::size_t filled = 0; // bytes put into `in` by the last refill
    // The last bytes given to zlib before those of `in`: a trailer may begin
    // in an earlier read.
    unsigned char before[8] = {};
    bool eof = false;
};

GzipSource::GzipSource(ByteSource& in) : in_(in), z_(new Stream) {
    std::memset(&z_->z, 0, sizeof z_->z);
    failed_ = inflateInit2(&z_->z, 16 + MAX_WBITS) != Z_OK;
    if (!failed_) z_->check.Start(z_->z);
}

GzipSource::~GzipSource() {
    inflateEnd(&z_->z);
}

// Refills the compressed bytes when zlib has used them; false on a read error.
bool GzipSource::More() {
    if (z_->z.avail_in > 0 || z_->eof) return true;
    // Everything in `in` went to zlib: its last bytes follow those before.
    Stream& s = *z_;
    std::size_t keep = s.filled < 8 ? s.filled : 8;
    std::memmove(s.before, s.before + keep, 8 - keep);
    std::memcpy(s.before + 8 - keep, s.in + s.filled - keep, keep);
    long long n = in_.Read(s.in, Stream::kRead);
    if (n < 0) return false;
    if (n == 0) s.eof = true;
    s.filled = static_cast<std::size_t>(n);
    s.z.next_in = reinterpret_cast<Bytef*>(s.in);
    s.z.avail_in = static_cast<uInt>(n);
    return true;
}

// The 8 bytes before where zlib stands, from `in` and the bytes before it.
void GzipSource::Trailer(unsigned char* trailer) const {
    const Stream& s = *z_;
    std::size_t inside =
        static_cast<std::size_t>(s.z.next_in - reinterpret_cast<const Bytef*>(s.in));
    std::size_t from = inside < 8 ? inside : 8;
    std::memcpy(trailer, s.before + from, 8 - from);
    std::memcpy(trailer + 8 - from, s.in + inside - from, from);
}

// After a member: zero padding ends the data, another member goes on.
bool GzipSource::NextMember() {
    Stream& s = *z_;
    for (;;) {
        while (s.z.avail_in > 0 && *s.z.next_in == 0) {
            ++s.z.next_in;
            --s.z.avail_in;
        }
        if (s.z.avail_in > 0 || s.eof) break;
        if (!More()) return failed_ = true, false;
    }
    if (s.z.avail_in == 1 && !s.eof) { // the magic may lie across two reads
        unsigned char first = *s.z.next_in;
        s.z.avail_in = 0;
        if (!More()) return failed_ = true, false;
        if (first != 0x1f || s.z.avail_in == 0 || *s.z.next_in != 0x8b) return false;
        // Give zlib both magic bytes: the first is put back before the rest.
        std::memmove(s.in + 1, s.z.next_in, s.z.avail_in);
        s.in[0] = static_cast<char>(first);
        s.z.next_in = reinterpret_cast<Bytef*>(s.in);
        s.filled = ++s.z.avail_in;
    }
    if (s.z.avail_in < 2 || s.z.next_in[0] != 0x1f || s.z.next_in[1] != 0x8b) return false;
    if (inflateReset(&s.z) != Z_OK) return false;
    s.check.Start(s.z);
    return true;
}

long long GzipSource::Read(char* data, std::size_t size) {
    if (failed_) return -1;
    if (done_ || size == 0) return 0;
    if (size > (std::size_t(1) << 30)) size = std::size_t(1) << 30;
    z_stream& z = z_->z;
    z.next_out = reinterpret_cast<Bytef*>(data);
    z.avail_out = static_cast<uInt>(size);
    while (z.avail_out == size) {
        if (!More()) return failed_ = true, -1;
        int rc = inflate(&z, Z_NO_FLUSH);
        z_->check.Inflated(z, reinterpret_cast<unsigned char*>(data), size - z.avail_out);
        if (rc == Z_STREAM_END) {
            unsigned char trailer[8];
            Trailer(trailer);
            if (z_->check.Mismatch(trailer)) return failed_ = true, -1;
            if (!NextMember()) {
                if (failed_) return -1;
                done_ = true;
                break;
            }
        } else if (rc == Z_BUF_ERROR) {
            if (z.avail_in == 0 && z_->eof) return failed_ = true, -1; // ends early
        } else if (rc != Z_OK) {
            return failed_ = true, -1;
        }
    }
    return static_cast<long long>(size - z.avail_out);
}

namespace {

// Writes code as UTF-8 the way pugixml does: four bytes from 0x10000 on,
// whatever the code.
char* PutCode(char* w, std::uint32_t ch) {
    return w + obutf8::Put(ch, w);
}

// A numeric reference at r ("&#..."): where reading goes on, and in code
// what it names; null code position when it is no reference (then the text
// up to the returned position stays as it is).
const char* Numeric(const char* r, const char* end, std::uint32_t& code, bool& ok) {
    const char* s = r + 2;
    const bool hex = s < end && *s == 'x';
    if (hex) ++s;
    ok = false;
    if (s < end && *s == ';') return s;
    code = 0;
    for (; s < end; ++s) {
        const char c = *s;
        if (static_cast<unsigned>(c - '0') <= 9)
            code = code * (hex ? 16 : 10) + static_cast<unsigned>(c - '0');
        else if (hex && static_cast<unsigned>((c | ' ') - 'a') <= 5)
            code = code * 16 + static_cast<unsigned>((c | ' ') - 'a' + 10);
        else if (c == ';') {
            ok = true;
            return s + 1;
        } else
            return s;
    }
    return s;
}

// A reference at r ('&'): writes what it stands for at w and returns where
// reading goes on; what is no reference is copied as it stands. The
// character 0 would end the value: it becomes U+FFFD, and zero is set.
const char* Reference(const char* r, const char* end, char*& w, bool& zero) {
    if (r + 1 < end && r[1] == '#') {
        std::uint32_t code = 0;
        bool ok = false;
        const char* next = Numeric(r, end, code, ok);
        if (ok) {
            zero |= code == 0;
            w = PutCode(w, code == 0 ? 0xFFFD : code);
            return next;
        }
        while (r < next)
            *w++ = *r++;
        return next;
    }
    // The letter after '&' picks the name to match ('a' two of them, by the
    // letter after it); reading goes on at the first letter that differs.
    const char* s = r + 1;
    const char* name = nullptr;
    char ch = 0;
    if (s < end) {
        switch (*s) {
        case 'a':
            name = s + 1 < end && s[1] == 'p' ? "apos;" : "amp;";
            ch = name[1] == 'p' ? '\'' : '&';
            break;
        case 'g':
            name = "gt;", ch = '>';
            break;
        case 'l':
            name = "lt;", ch = '<';
            break;
        case 'q':
            name = "quot;", ch = '"';
            break;
        default:
            break;
        }
    }
    std::size_t k = 0;
    while (name && name[k] && s + k < end && s[k] == name[k])
        ++k;
    if (name && !name[k]) {
        *w++ = ch;
        return s + k;
    }
    while (r < s + k)
        *w++ = *r++;
    return s + k;
}

} // namespace

bool DecodeValue(char* p, char* end) {
    char* w = p;
    const char* r = p;
    bool zero = false;
    while (r < end) {
        const char c = *r;
        if (c == '\t' || c == '\n') {
            *w++ = ' ';
            ++r;
        } else if (c == '\r') {
            *w++ = ' ';
            if (++r < end && *r == '\n') ++r;
        } else if (c == '&') {
            r = Reference(r, end, w, zero);
        } else {
            *w++ = c;
            ++r;
        }
    }
    *w = 0;
    return zero;
}

} // namespace detail

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// True when data[i] == '&' begins a reference that XML accepts.
bool IsValidReference(const char* p, std::size_t i, std::size_t size) {
    std::size_t j = i + 1;
    if (j < size && p[j] == '#') {
        ++j;
        bool hex = j < size && p[j] == 'x';
        if (hex) ++j;
        std::size_t digits = 0;
        while (j < size && digits < 10 &&
               ((p[j] >= '0' && p[j] <= '9') ||
                (hex && ((p[j] >= 'a' && p[j] <= 'f') || (p[j] >= 'A' && p[j] <= 'F'))))) {
            ++j;
            ++digits;
        }
        return digits > 0 && j < size && p[j] == ';';
    }
    static const char* const kNames[] = {"amp;", "lt;", "gt;", "quot;", "apos;"};
    for (const char* name : kNames) {
        std::size_t len = std::strlen(name);
        if (j + len <= size && std::memcmp(p + j, name, len) == 0) return true;
    }
    return false;
}

class Repairer {
public:
    Repairer(const char* p, std::size_t size, std::string& out) : p_(p), size_(size), out_(out) {}

    std::size_t Run() {
        out_.clear();
        out_.reserve(size_ + size_ / 16 + 64);
        while (i_ < size_) {
            char c = p_[i_];
            if (c == '<') {
                if (!Markup()) break; // cut inside markup: drop the rest
            } else {
                Text(c);
            }
        }
        for (std::size_t k = open_.size(); k-- > 0;) {
            out_ += "</";
            out_ += open_[k];
            out_ += '>';
            ++repairs_;
        }
        return repairs_;
    }

private:
    void Text(char c) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '&' && !IsValidReference(p_, i_, size_)) {
            out_ += "&amp;";
            ++repairs_;
        } else if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            ++repairs_; // not allowed in character data
        } else {
            out_ += c;
        }
        ++i_;
    }

    bool StartsWith(const char* s) const {
        std::size_t len = std::strlen(s);
        return i_ + len <= size_ && std::memcmp(p_ + i_, s, len) == 0;
    }

    // Copies a construct up to and including its terminator. Returns false
    // when the input ends first; the construct is then dropped.
    bool CopyUntil(const char* end) {
        std::size_t len = std::strlen(end);
        for (std::size_t j = i_; j + len <= size_; ++j) {
            if (std::memcmp(p_ + j, end, len) == 0) {
                out_.append(p_ + i_, j + len - i_);
                i_ = j + len;
                return true;
            }
        }
        ++repairs_;
        return false;
    }

    bool Markup() {
        if (i_ + 1 >= size_) {
            ++repairs_;
            return false;
        }
        unsigned char next = static_cast<unsigned char>(p_[i_ + 1]);
        if (StartsWith("<!--")) return CopyUntil("-->");
        if (StartsWith("<![CDATA[")) return CopyUntil("]]>");
        if (next == '!' || next == '?') return CopyUntil(">");
        if (next == '/') return EndTag();
        if (IsNameStart(next)) return StartTag();
        out_ += "&lt;"; // a '<' that starts nothing
        ++repairs_;
        ++i_;
        return true;
    }

    bool EndTag() {
        std::size_t j = i_ + 2;
        std::size_t nameStart = j;
        while (j < size_ && IsNameChar(static_cast<unsigned char>(p_[j])))
            ++j;
        std::string name(p_ + nameStart, j - nameStart);
        while (j < size_ && p_[j] != '>' && p_[j] != '<')
            ++j;
        if (j >= size_) {
            ++repairs_;
            return false;
        }
        i_ = (p_[j] == '>') ? j + 1 : j;
        auto counted = openCount_.find(name);
        if (counted == openCount_.end() || counted->second == 0) {
            ++repairs_; // closes nothing that is open
            return true;
        }
        while (open_.back() != name) { // close what was left open inside
            out_ += "</" + open_.back() + ">";
            Pop();
            ++repairs_;
        }
        out_ += "</" + name + ">";
        Pop();
        return true;
    }

    void AppendValueChar(char c) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '<') {
            out_ += "&lt;";
            ++repairs_;
        } else if (c == '&' && !IsValidReference(p_, i_, size_)) {
            out_ += "&amp;";
            ++repairs_;
        } else if (u == 0) {
            ++repairs_;
        } else {
            out_ += c;
        }
    }

    // One attribute from i_ on, written out quoted; false when the input
    // ends inside it.
    bool Attribute() {
        std::size_t attrStart = i_;
        while (i_ < size_ && IsNameChar(static_cast<unsigned char>(p_[i_])))
            ++i_;
        std::string attr(p_ + attrStart, i_ - attrStart);
        std::size_t k = i_;
        while (k < size_ && IsSpace(p_[k]))
            ++k;
        if (k >= size_) return false;
        out_ += ' ';
        out_ += attr;
        out_ += "=\"";
        if (p_[k] != '=') { // attribute without a value
            out_ += '"';
            ++repairs_;
            i_ = k;
            return true;
        }
        ++k;
        while (k < size_ && IsSpace(p_[k]))
            ++k;
        if (k >= size_) return false;
        char quote = p_[k];
        if (quote == '"' || quote == '\'') {
            i_ = k + 1;
            while (i_ < size_ && p_[i_] != quote) {
                if (p_[i_] == '"')
                    out_ += "&quot;";
                else
                    AppendValueChar(p_[i_]);
                ++i_;
            }
            if (i_ >= size_) return false;
            ++i_;
        } else { // bare value
            ++repairs_;
            i_ = k;
            while (i_ < size_ && !IsSpace(p_[i_]) && p_[i_] != '>' &&
                   !(p_[i_] == '/' && i_ + 1 < size_ && p_[i_ + 1] == '>')) {
                if (p_[i_] == '"')
                    out_ += "&quot;";
                else
                    AppendValueChar(p_[i_]);
                ++i_;
            }
        }
        out_ += '"';
        return true;
    }

    bool StartTag() {
        std::size_t tagStart = out_.size();
        std::size_t j = i_ + 1;
        std::size_t nameStart = j;
        while (j < size_ && IsNameChar(static_cast<unsigned char>(p_[j])))
            ++j;
        std::string name(p_ + nameStart, j - nameStart);
        out_ += '<';
        out_ += name;
        i_ = j;
        while (true) {
            while (i_ < size_ && IsSpace(p_[i_]))
                ++i_;
            if (i_ >= size_) break;
            char c = p_[i_];
            if (c == '>') {
                out_ += '>';
                ++i_;
                Push(name);
                return true;
            }
            if (c == '/' && i_ + 1 < size_ && p_[i_ + 1] == '>') {
                out_ += "/>";
                i_ += 2;
                return true;
            }
            if (c == '<') { // the tag never ends: end it here
                out_ += '>';
                ++repairs_;
                Push(name);
                return true;
            }
            if (!IsNameStart(static_cast<unsigned char>(c))) {
                ++repairs_; // junk inside the tag
                ++i_;
                continue;
            }
            if (!Attribute()) break;
        }
        // The input ends inside the tag: drop the partial tag.
        out_.resize(tagStart);
        ++repairs_;
        i_ = size_;
        return false;
    }

    // Open elements, and how many of each name, so that an end tag finds
    // its element without searching the whole stack.
    void Push(const std::string& name) {
        open_.push_back(name);
        ++openCount_[name];
    }
    void Pop() {
        --openCount_[open_.back()];
        open_.pop_back();
    }

    const char* p_;
    std::size_t size_;
    std::string& out_;
    std::size_t i_ = 0;
    std::size_t repairs_ = 0;
    std::vector<std::string> open_;
    std::unordered_map<std::string, std::size_t> openCount_;
};

} // namespace

std::size_t RepairXml(const char* data, std::size_t size, std::string& out) {
    if (!data) {
        out.clear();
        return 0;
    }
    return Repairer(data, size, out).Run();
}

} // namespace scribus
