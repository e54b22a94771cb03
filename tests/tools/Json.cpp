#include "Json.h"

#include <cstdlib>

namespace ombra_test {

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : s_(text) {}

    bool Document(Json& out, std::string& error) {
        SkipSpace();
        if (!Value(out, 0)) {
            error = "at byte " + std::to_string(pos_) + ": " + error_;
            return false;
        }
        SkipSpace();
        if (pos_ != s_.size()) {
            error = "at byte " + std::to_string(pos_) + ": text after the value";
            return false;
        }
        return true;
    }

private:
    bool Fail(const char* why) {
        if (error_.empty()) error_ = why;
        return false;
    }
    void SkipSpace() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    bool Literal(const char* word) {
        std::size_t n = std::char_traits<char>::length(word);
        if (s_.compare(pos_, n, word) != 0) return Fail("unknown literal");
        pos_ += n;
        return true;
    }

    bool Value(Json& out, int depth) {
        if (depth > 1000) return Fail("nested too deeply");
        if (pos_ >= s_.size()) return Fail("value expected");
        char c = s_[pos_];
        if (c == '{') return Object(out, depth);
        if (c == '[') return Array(out, depth);
        if (c == '"') {
            out.kind = Json::kString;
            return String(out.text);
        }
        if (c == 't') {
            out.kind = Json::kBool;
            out.boolean = true;
            return Literal("true");
        }
        if (c == 'f') {
            out.kind = Json::kBool;
            return Literal("false");
        }
        if (c == 'n') {
            out.kind = Json::kNull;
            return Literal("null");
        }
        return Number(out);
    }

    bool Digits() {
        std::size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
        return pos_ > start;
    }

    bool Number(Json& out) {
        std::size_t start = pos_;
        if (s_[pos_] == '-') ++pos_;
        if (pos_ < s_.size() && s_[pos_] == '0')
            ++pos_;
        else if (!Digits())
            return Fail("bad number");
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (!Digits()) return Fail("bad fraction");
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (!Digits()) return Fail("bad exponent");
        }
        out.kind = Json::kNumber;
        out.numberText = s_.substr(start, pos_ - start);
        out.number = std::strtod(out.numberText.c_str(), nullptr);
        return true;
    }

    static int Hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool String(std::u16string& out) {
        ++pos_; // the opening quote
        while (true) {
            if (pos_ >= s_.size()) return Fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20) return Fail("control character in a string");
            if (c == '\\') {
                if (++pos_ >= s_.size()) return Fail("unterminated escape");
                char e = s_[pos_++];
                switch (e) {
                case '"': out += u'"'; break;
                case '\\': out += u'\\'; break;
                case '/': out += u'/'; break;
                case 'b': out += u'\b'; break;
                case 'f': out += u'\f'; break;
                case 'n': out += u'\n'; break;
                case 'r': out += u'\r'; break;
                case 't': out += u'\t'; break;
                case 'u': {
                    if (pos_ + 4 > s_.size()) return Fail("short \\u escape");
                    unsigned unit = 0;
                    for (int k = 0; k < 4; ++k) {
                        int h = Hex(s_[pos_ + k]);
                        if (h < 0) return Fail("bad \\u escape");
                        unit = unit * 16 + static_cast<unsigned>(h);
                    }
                    pos_ += 4;
                    out += static_cast<char16_t>(unit);
                    break;
                }
                default: return Fail("unknown escape");
                }
                continue;
            }
            // A UTF-8 sequence, well formed.
            int length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                                      : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
            if (!length || pos_ + length > s_.size()) return Fail("bad UTF-8");
            unsigned code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
            for (int k = 1; k < length; ++k) {
                unsigned char next = static_cast<unsigned char>(s_[pos_ + k]);
                if ((next & 0xC0) != 0x80) return Fail("bad UTF-8");
                code = (code << 6) | (next & 0x3F);
            }
            static const unsigned kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
            if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return Fail("bad UTF-8");
            pos_ += length;
            if (code >= 0x10000) {
                code -= 0x10000;
                out += static_cast<char16_t>(0xD800 + (code >> 10));
                out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
            } else {
                out += static_cast<char16_t>(code);
            }
        }
    }

    bool Array(Json& out, int depth) {
        out.kind = Json::kArray;
        ++pos_;
        SkipSpace();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return true;
        }
        while (true) {
            out.items.emplace_back();
            SkipSpace();
            if (!Value(out.items.back(), depth + 1)) return false;
            SkipSpace();
            if (pos_ >= s_.size()) return Fail("unterminated array");
            if (s_[pos_] == ']') {
                ++pos_;
                return true;
            }
            if (s_[pos_] != ',') return Fail("',' or ']' expected");
            ++pos_;
        }
    }

    bool Object(Json& out, int depth) {
        out.kind = Json::kObject;
        ++pos_;
        SkipSpace();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return true;
        }
        while (true) {
            SkipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '"') return Fail("member name expected");
            std::u16string key;
            if (!String(key)) return false;
            for (const auto& member : out.members)
                if (member.first == key) return Fail("duplicate member name");
            SkipSpace();
            if (pos_ >= s_.size() || s_[pos_] != ':') return Fail("':' expected");
            ++pos_;
            SkipSpace();
            out.members.emplace_back(key, Json());
            if (!Value(out.members.back().second, depth + 1)) return false;
            SkipSpace();
            if (pos_ >= s_.size()) return Fail("unterminated object");
            if (s_[pos_] == '}') {
                ++pos_;
                return true;
            }
            if (s_[pos_] != ',') return Fail("',' or '}' expected");
            ++pos_;
        }
    }

    const std::string& s_;
    std::size_t pos_ = 0;
    std::string error_;
};

const Json& Missing() {
    static const Json none;
    return none;
}

} // namespace

const Json* Json::Find(const std::u16string& key) const {
    for (const auto& member : members)
        if (member.first == key) return &member.second;
    return nullptr;
}

const Json& Json::operator[](const char16_t* key) const {
    const Json* found = Find(key);
    return found ? *found : Missing();
}

const Json& Json::At(std::size_t n) const {
    return n < items.size() ? items[n] : Missing();
}

bool ParseJson(const std::string& text, Json& out, std::string& error) {
    out = Json();
    return Parser(text).Document(out, error);
}

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

} // namespace ombra_test
