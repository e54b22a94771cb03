// The ombra program's own messages in the user's language (Messages.def).
#ifndef OMBRA_TOOLS_MESSAGES_H
#define OMBRA_TOOLS_MESSAGES_H

#include <string>

namespace ombra_host {

enum class Message {
#define OMBRA_MESSAGE(Ident, English, Japanese) Ident,
#include "Messages.def"
};

/// Chooses the language of every message: "ja" for Japanese, else English.
void SetMessageLanguage(const std::string& language);
/// True when messages are in Japanese.
bool MessagesInJapanese();
/// Messages on the calling thread in language ("ja" for Japanese, else
/// English) while the scope lives: for a host whose callers each choose
/// their language and convert at once.
class MessageLanguageScope {
public:
    explicit MessageLanguageScope(const std::string& language);
    ~MessageLanguageScope();
    MessageLanguageScope(const MessageLanguageScope&) = delete;
    MessageLanguageScope& operator=(const MessageLanguageScope&) = delete;

private:
    int previous_;
};
/// The message with %1, %2 and %3 replaced by the arguments.
std::string Say(Message id, const std::string& a = "", const std::string& b = "",
                const std::string& c = "");
/// Why the system refused (an errno), in the user's language.
std::string SayError(int error);

} // namespace ombra_host

#endif
