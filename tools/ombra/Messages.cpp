#include "Messages.h"

#include <cerrno>
#include <cstring>

namespace ombra_host {

namespace {

struct Texts {
    const char* english;
    const char* japanese;
};

const Texts kTexts[] = {
#define OMBRA_MESSAGE(Ident, English, Japanese) {English, Japanese},
#include "Messages.def"
};

bool gJapanese = false;
thread_local int tJapanese = -1; // a scope's choice, -1 for none

} // namespace

void SetMessageLanguage(const std::string& language) {
    gJapanese = language == "ja";
}

bool MessagesInJapanese() {
    return tJapanese < 0 ? gJapanese : tJapanese == 1;
}

MessageLanguageScope::MessageLanguageScope(const std::string& language) : previous_(tJapanese) {
    tJapanese = language == "ja" ? 1 : 0;
}

MessageLanguageScope::~MessageLanguageScope() {
    tJapanese = previous_;
}

std::string Say(Message id, const std::string& a, const std::string& b, const std::string& c) {
    const Texts& texts = kTexts[static_cast<int>(id)];
    std::string pattern = MessagesInJapanese() ? texts.japanese : texts.english;
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '3') {
            out += pattern[i + 1] == '1' ? a : pattern[i + 1] == '2' ? b : c;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string SayError(int error) {
    switch (error) {
#define OMBRA_ERRNO(Number, Ident)                                                                 \
    case Number:                                                                                   \
        return Say(Message::Ident);
#include "Messages.def"
    default: {
        // The system's own words, untranslated, beside the number.
        char text[128] = "";
        return Say(Message::kSystemError, std::to_string(error),
                   strerror_r(error, text, sizeof text));
    }
    }
}

} // namespace ombra_host
