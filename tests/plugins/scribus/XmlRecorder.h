// The streaming XML reader checked against pugixml's tree of the same bytes,
// for the Scribus suites and the fuzz target alike.
#ifndef OMBRA_TESTS_SCRIBUS_XML_RECORDER_H
#define OMBRA_TESTS_SCRIBUS_XML_RECORDER_H

#include <ReaderXmlReferences.h>
#include <ScribusXml.h>

#include <pugixml.hpp>

#include <map>
#include <string>
#include <utility>

namespace scribus_test {

/// The events as text: element ids, every known attribute and its value;
/// and whether elements of one name that share a prefix number share those
/// attributes too.
struct Recorder : scribus::detail::XmlHandler {
    std::string out;
    bool prefixBroken = false;
    std::map<std::pair<int, std::uint64_t>, std::string> prefixes;
    void Start(scribus::detail::ElementId id, const scribus::detail::Attrs& a) override {
        const std::size_t at = out.size();
        out += "<" + std::to_string(id);
        for (std::size_t i = 0; i <= a.Count(); ++i) {
            if (i == a.PrefixCount() && a.Prefix()) {
                auto seen = prefixes.emplace(std::make_pair(id, a.Prefix()), out.substr(at));
                prefixBroken |= seen.first->second != out.substr(at);
            }
            if (i < a.Count()) out += " " + std::to_string(a.IdAt(i)) + "=" + a.Get(a.IdAt(i));
        }
        out += ">";
    }
    void End() override { out += "/"; }
};

/// Empty when the stream reader reads the bytes alike whole and as `pieces`
/// hands them out, and, when it accepts them, as pugixml's tree has them;
/// otherwise what differs. `accepted` says whether it accepted them.
inline std::string CompareWithTree(const std::string& bytes, scribus::detail::ByteSource& pieces,
                                   bool* accepted = nullptr) {
    using namespace scribus::detail;
    Recorder whole, piecewise, tree;
    MemorySource memory(bytes.data(), bytes.size());
    XmlResult r = ReadXml(memory, whole, std::size_t(1) << 30);
    if (accepted) *accepted = r == XmlResult::kDone;
    if (ReadXml(pieces, piecewise, std::size_t(1) << 30) != r || piecewise.out != whole.out)
        return "reads otherwise in pieces: " + bytes;
    if (whole.prefixBroken || piecewise.prefixBroken) return "breaks a prefix: " + bytes;
    if (r != XmlResult::kDone) return "";
    pugi::xml_document doc;
    std::string text = bytes; // but for the character 0, which the stream makes U+FFFD
    obreader::ReplaceZeroReferences(text);
    if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8))
        return "accepted what pugixml rejects: " + bytes;
    WalkTree(doc, tree);
    return whole.out == tree.out ? "" : "differs from the tree: " + bytes;
}

} // namespace scribus_test

#endif
