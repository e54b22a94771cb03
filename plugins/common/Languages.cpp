#include "Languages.h"

#include <ombra/textservice.h>

#include <cctype>
#include <cstddef>
#include <vector>

namespace oblanguage {

namespace {

struct Row {
    DLE::DictionaryLanguageEnum member;
    const char* tag;
    const char* name;
};

constexpr Row kRows[] = {
#define OB_LANGUAGE_TAG(Member, Tag, Name) {DLE::Member, Tag, Name},
#include "LanguageTags.def"
};

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A code is letters, digits, '-' and '_' and starts with two or three letters.
bool IsCode(const std::string& text) {
    std::size_t letters = 0;
    while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters])))
        ++letters;
    if (letters < 2 || letters > 3 || (letters < text.size() && text[letters] != '-')) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    return true;
}

std::string Trimmed(const std::string& text, std::size_t end) {
    std::size_t first = 0;
    end = end < text.size() ? end : text.size();
    while (first < end && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    while (end > first && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(first, end - first);
}

// The language part of a name: what stands before its variant.
std::string LanguagePart(const std::string& name) {
    return Trimmed(name, name.find_first_of(":("));
}

// The table's texts in lower case, made once: names are looked up for every
// style and run that gives one.
struct LoweredRow {
    DLE::DictionaryLanguageEnum member;
    std::string tag, name, language;
};

const std::vector<LoweredRow>& Lowered() {
    static const std::vector<LoweredRow> rows = [] {
        std::vector<LoweredRow> made;
        for (const Row& row : kRows)
            made.push_back(
                {row.member, Lower(row.tag), Lower(row.name), Lower(LanguagePart(row.name))});
        return made;
    }();
    return rows;
}

DLE::DictionaryLanguageEnum FromCode(std::string code) {
    for (char& c : code)
        if (c == '_') c = '-';
    code = Lower(code);
    if (!IsCode(code)) return DLE::kUndefined;
    std::string primary = code.substr(0, code.find('-'));
    // Chinese is told apart by its script, or by the region that implies it.
    if (primary == "zh")
        for (const char* traditional : {"-hant", "-tw", "-hk", "-mo"})
            if (code.find(traditional) != std::string::npos) return DLE::kChineseTraditional;
    if (primary == "zh") return DLE::kChineseSimplified;
    if (primary == "no" || primary == "nb") return DLE::kNorwegianBokmal;
    const std::vector<LoweredRow>& rows = Lowered();
    for (const LoweredRow& row : rows)
        if (row.tag == code) return row.member;
    // Another region of a known language: the language itself, else its first row.
    for (const LoweredRow& row : rows)
        if (row.tag == primary) return row.member;
    for (const LoweredRow& row : rows)
        if (row.tag.compare(0, primary.size() + 1, primary + "-") == 0) return row.member;
    return DLE::kUndefined;
}

} // namespace

const char* TagOf(int member) {
    for (const Row& row : kRows)
        if (row.member == member) return row.tag;
    return nullptr;
}

const char* ScriptTag(int script) {
    switch (script) {
#define OB_SCRIPT_LANGUAGE(Script, Tag)                                                            \
    case WSE::Script:                                                                              \
        return Tag;
#include "LanguageTags.def"
    default:
        return nullptr;
    }
}

DLE::DictionaryLanguageEnum FromName(const std::string& given) {
    std::string name = Trimmed(given, given.size());
    if (name.compare(0, 4, "$ID/") == 0) name = Trimmed(name.substr(4), name.size());
    if (name.empty()) return DLE::kUndefined;
    std::string lower = Lower(name);
    if (lower == "none" || lower.find("no language") != std::string::npos) return DLE::kNone;
    DLE::DictionaryLanguageEnum coded = FromCode(name);
    if (coded != DLE::kUndefined) return coded;
    const std::vector<LoweredRow>& rows = Lowered();
    for (const LoweredRow& row : rows)
        if (row.name == lower) return row.member;
    std::string language = Lower(LanguagePart(name));
    for (const LoweredRow& row : rows)
        if (!language.empty() && row.language == language) return row.member;
    return DLE::kUndefined;
}

} // namespace oblanguage
