#include "Json.h"

namespace ombra_test {

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : s_(text) {}

    bool Document(Json& out, std::string& error) {
        bool ok = Value(out, 0) && (Space(), pos_ == s_.size() || Fail("text after the value"));
        if (!ok) error = "at byte " + std::to_string(pos_) + ": " + error_;
        return ok;
    }

private:
    bool Fail(const char* why) {
        if (error_.empty()) error_ = why;
        return false;
    }
    char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
    void Space() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    bool Take(char c) {
        Space();
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    bool Literal(const char* word, Json::Kind kind, Json& out) {
        std::size_t n = std::char_traits<char>::length(word);
        if (s_.compare(pos_, n, word) != 0) return Fail("unknown literal");
        pos_ += n;
        out.kind = kind;
        out.boolean = word[0] == 't';
        return true;
    }
    bool Digits() {
        std::size_t start = pos_;
        while (Peek() >= '0' && Peek() <= '9')
            ++pos_;
        return pos_ > start;
    }

    bool Value(Json& out, int depth) {
        Space();
        if (depth > 1000) return Fail("nested too deeply");
        switch (Peek()) {
        case '{':
            return List(out, depth, '}', true);
        case '[':
            return List(out, depth, ']', false);
        case '"':
            out.kind = Json::kString;
            return String(out.text);
        case 't':
            return Literal("true", Json::kBool, out);
        case 'f':
            return Literal("false", Json::kBool, out);
        case 'n':
            return Literal("null", Json::kNull, out);
        default:
            break;
        }
        std::size_t start = pos_;
        if (Peek() == '-') ++pos_;
        if (Peek() == '0')
            ++pos_;
        else if (!Digits())
            return Fail("value expected");
        if (Peek() == '.' && (++pos_, !Digits())) return Fail("bad fraction");
        if (Peek() == 'e' || Peek() == 'E') {
            ++pos_;
            if (Peek() == '+' || Peek() == '-') ++pos_;
            if (!Digits()) return Fail("bad exponent");
        }
        out.kind = Json::kNumber;
        out.number = s_.substr(start, pos_ - start);
        return true;
    }

    // An object's members or an array's items, from the opening bracket.
    bool List(Json& out, int depth, char close, bool object) {
        out.kind = object ? Json::kObject : Json::kArray;
        ++pos_;
        if (Take(close)) return true;
        do {
            Json* value = nullptr;
            if (object) {
                std::u16string key;
                if (!Take('"')) return Fail("member name expected");
                --pos_;
                if (!String(key)) return false;
                for (const auto& member : out.members)
                    if (member.first == key) return Fail("duplicate member name");
                if (!Take(':')) return Fail("':' expected");
                out.members.emplace_back(key, Json());
                value = &out.members.back().second;
            } else {
                out.items.emplace_back();
                value = &out.items.back();
            }
            if (!Value(*value, depth + 1)) return false;
        } while (Take(','));
        return Take(close) || Fail(object ? "',' or '}' expected" : "',' or ']' expected");
    }

    bool String(std::u16string& out) {
        ++pos_; // the opening quote
        while (true) {
            if (pos_ >= s_.size()) return Fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(s_[pos_++]);
            if (c == '"') return true;
            if (c < 0x20) return Fail("control character in a string");
            if (c == '\\') {
                static const std::string kEscapes = "\"\\/bfnrt", kMeanings = "\"\\/\b\f\n\r\t";
                char e = Peek();
                ++pos_;
                if (kEscapes.find(e) != std::string::npos && e) {
                    out += static_cast<char16_t>(kMeanings[kEscapes.find(e)]);
                } else if (e == 'u') {
                    unsigned unit = 0;
                    for (int k = 0; k < 4; ++k, ++pos_) {
                        char h = Peek();
                        int digit = h >= '0' && h <= '9'   ? h - '0'
                                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                           : -1;
                        if (digit < 0) return Fail("bad \\u escape");
                        unit = unit * 16 + static_cast<unsigned>(digit);
                    }
                    out += static_cast<char16_t>(unit);
                } else {
                    return Fail("unknown escape");
                }
                continue;
            }
            // A UTF-8 sequence, well formed: no overlong forms, no surrogates.
            int extra = c < 0x80                 ? 0
                        : c >= 0xC2 && c <= 0xDF ? 1
                        : c >= 0xE0 && c <= 0xEF ? 2
                        : c >= 0xF0 && c <= 0xF4 ? 3
                                                 : -1;
            if (extra < 0 || pos_ + extra > s_.size()) return Fail("bad UTF-8");
            unsigned code = extra == 0 ? c : c & (0x3F >> extra);
            for (int k = 0; k < extra; ++k) {
                unsigned char next = static_cast<unsigned char>(s_[pos_++]);
                if ((next & 0xC0) != 0x80) return Fail("bad UTF-8");
                code = (code << 6) | (next & 0x3F);
            }
            static const unsigned kMinimum[] = {0, 0x80, 0x800, 0x10000};
            if (code < kMinimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return Fail("bad UTF-8");
            if (code >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
                code = 0xDC00 + ((code - 0x10000) & 0x3FF);
            }
            out += static_cast<char16_t>(code);
        }
    }

    const std::string& s_;
    std::size_t pos_ = 0;
    std::string error_;
};

const Json kMissing;

} // namespace

const Json& Json::operator[](const char16_t* key) const {
    for (const auto& member : members)
        if (member.first == key) return member.second;
    return kMissing;
}

const Json& Json::At(std::size_t n) const {
    return n < items.size() ? items[n] : kMissing;
}

bool Json::Has(const char16_t* key) const {
    return &(*this)[key] != &kMissing;
}

bool ParseJson(const std::string& text, Json& out, std::string& error) {
    out = Json();
    return Parser(text).Document(out, error);
}

} // namespace ombra_test
