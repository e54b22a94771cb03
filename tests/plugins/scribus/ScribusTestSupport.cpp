#include "ScribusTestSupport.h"

#include <ombra/scripts.h>
#include <ombra/typedstreams.h>

#include <zlib.h>

#include <algorithm>

namespace scribus_test {

std::string Fixture(const std::string& name) {
    return ReadFile(std::string(OMBRA_SCRIBUS_DATA_DIR) + "/" + name);
}

scribus::ParseResult ParseBytes(const std::string& bytes, const scribus::ParseOptions& options) {
    return scribus::Parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                          options);
}

std::string Gzip(const std::string& prefix, std::size_t padding, const std::string& suffix) {
    std::string in = prefix + std::string(padding, ' ') + suffix;
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, in.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(&in[0]);
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::u16string Unescaped(const std::string& field) {
    std::u16string in = FromUtf8(field), out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == u'\\' && i + 1 < in.size() && in[i + 1] == u'\\') {
            out += in[++i];
        } else if (in[i] == u'\\' && i + 5 < in.size() && in[i + 1] == u'u') {
            out += static_cast<char16_t>(std::stoul(Utf8(in.substr(i + 2, 4)), nullptr, 16));
            i += 5;
        } else {
            out += in[i];
        }
    }
    return out;
}

std::string Shown(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text)
        out += c == scribus::kParagraphSeparator  ? u'\u00B6'
               : c == scribus::kLineBreak         ? u'|'
               : c == scribus::kObjectReplacement ? u'#'
                                                  : c;
    return Utf8(out);
}

std::string CheckCoverage(const scribus::Story& story) {
    std::size_t pos = 0;
    for (const auto& r : story.runs) {
        if (r.start != pos)
            return "character run starts at " + std::to_string(r.start) + ", expected " +
                   std::to_string(pos);
        if (r.length == 0) return "empty character run";
        pos += r.length;
    }
    if (pos != story.text.size()) return "character runs end at " + std::to_string(pos);
    pos = 0;
    for (std::size_t i = 0; i < story.paragraphs.size(); ++i) {
        const auto& p = story.paragraphs[i];
        if (p.start != pos)
            return "paragraph starts at " + std::to_string(p.start) + ", expected " +
                   std::to_string(pos);
        if (pos + p.length > story.text.size()) return "paragraphs run past the text";
        auto inside = std::count(story.text.begin() + pos, story.text.begin() + pos + p.length,
                                 scribus::kParagraphSeparator);
        pos += p.length;
        bool ends = p.length > 0 && story.text[pos - 1] == scribus::kParagraphSeparator;
        if (i + 1 < story.paragraphs.size() && !ends)
            return "paragraph " + std::to_string(i) + " does not end with a separator";
        if (inside > (ends ? 1 : 0))
            return "paragraph " + std::to_string(i) + " holds a separator before its end";
    }
    if (story.paragraphs.empty()) return "no paragraphs";
    if (pos != story.text.size()) return "paragraphs end at " + std::to_string(pos);
    for (const auto& m : story.markers) {
        bool isBreak = m.kind == scribus::Marker::Kind::kColumnBreak ||
                       m.kind == scribus::Marker::Kind::kFrameBreak;
        char16_t placeholder = isBreak ? scribus::kBreak : scribus::kObjectReplacement;
        if (m.position >= story.text.size() || story.text[m.position] != placeholder)
            return "marker at " + std::to_string(m.position) + " has no placeholder";
    }
    return std::string();
}

int ItemNamed(const scribus::Document& doc, const std::string& name) {
    int found = -1;
    for (std::size_t i = 0; i < doc.items.size(); ++i)
        if (doc.items[i].name == name) {
            if (found >= 0) return -2;
            found = static_cast<int>(i);
        }
    return found;
}

namespace {

// The words (runs of letters and digits of any script) of a text as the
// text writer shows them: without soft hyphens, and without numbers
// (variables show theirs, notes their marks).
std::vector<std::u16string> PlainWords(const std::u16string& text) {
    std::vector<std::u16string> out(1);
    for (char16_t c : text) {
        unsigned category = (OBCharacterClass::GetCharacterProperty(c) >> 8) & 0xF;
        if ((c >= 0xD800 && c <= 0xDFFF) || category == OBCC::kLetter || category == OBCC::kDigit ||
            category == OBCC::kMark || category == OBCC::kKanaSign)
            out.back() += c;
        else if (c != scribus::kSoftHyphen && !out.back().empty())
            out.emplace_back();
    }
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const std::u16string& w) {
                                 return w.find_first_not_of(u"0123456789") == w.npos;
                             }),
              out.end());
    return out;
}

} // namespace

Pump::Pump()
    : manager_(new OBConvertorManager(OMBRA_READER_DIR, OMBRA_WRITER_DIR)), convertor_(nullptr) {
    options_.textEncoding = 0; // UTF-8
    options_.groupFlag3 = 1;   // stories on master pages and hidden layers too
    ErrorCode error = kNoError;
    if (manager_) convertor_ = manager_->GetConvertor(1, error);
}

Pump::~Pump() {
    delete manager_;
}

std::string Pump::Convert(const std::string& bytes, short& ok, std::vector<unsigned>* log) {
    ok = 0;
    return convertor_ ? plugin_test::ConvertBytes(convertor_, bytes, &options_, ok, log) : "";
}

std::string CheckConversion(Pump& pump, const std::string& bytes,
                            const std::vector<std::u16string>& texts, std::vector<unsigned>* log,
                            int* error) {
    short ok = 0;
    std::vector<std::u16string> words = PlainWords(FromUtf8(pump.Convert(bytes, ok, log)));
    if (ok != 1) return "the pump did not run";
    for (const std::u16string& text : texts) {
        std::vector<std::u16string> run = PlainWords(text); // in order, one after the other
        if (!run.empty() &&
            std::search(words.begin(), words.end(), run.begin(), run.end()) == words.end())
            return "missing the words of \"" + Utf8(text).substr(0, 60) + "\"";
    }
    Conversion direct(bytes);
    if (error) *error = direct.error;
    std::string tree = CheckValueTypes(direct.top);
    for (Element* story : Descendants(direct.TopOf(EL::kStoryList), EL::kChildStory))
        tree += CheckRuns(story);
    return tree.empty() ? "" : "the reader's tree breaks the conventions: " + tree.substr(0, 200);
}

} // namespace scribus_test
