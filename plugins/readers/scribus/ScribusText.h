// Builds one Story from the text elements of the frames in a chain.
#ifndef OMBRA_SCRIBUS_TEXT_H
#define OMBRA_SCRIBUS_TEXT_H

#include "ScribusInternal.h"

namespace scribus {
namespace detail {

class StoryBuilder {
public:
    /// styleByIndex: paragraph style names in file order, for documents that
    /// refer to styles by position (index 5 is the first saved style).
    StoryBuilder(Context& ctx, Story& story, const std::vector<std::string>& styleByIndex);

    /// Reads the text elements of one frame (directly inside the item, or in
    /// its StoryText). defaults receives the frame's default paragraph
    /// attributes when the text carries them.
    void AddFrame(pugi::xml_node item, ParagraphAttributes* defaults, std::string* defaultStyle);

    /// Closes the last paragraph. Anchored-item markers keep the raw ids in
    /// anchoredIds (parallel to the kAnchoredItem markers, in order).
    void Finish();

    std::vector<long long> anchoredIds;

private:
    struct Para {
        std::string style;
        ParagraphAttributes local;
    };
    void Elements(pugi::xml_node parent, ParagraphAttributes* defaults, std::string* defaultStyle,
                  int depth);
    void OldText(const Attrs& a);
    void NewText(const Attrs& a, const char* text, bool softHyphenPending);
    void UnicodeText(const Attrs& a);
    void Append(const char16_t* s, std::size_t n, const std::string& style,
                const CharacterAttributes& local);
    void AppendChars(const std::u16string& s, const std::string& cstyle,
                     const CharacterAttributes& local, const Para* oldPara);
    void AddMarker(Marker::Kind kind, const std::string& cstyle, const CharacterAttributes& local,
                   long long id);
    void EndParagraph(const Para& p, const std::string& cstyle, const CharacterAttributes& local);
    Para ParaFromCab(long long cab);
    Para ReadPara(pugi::xml_node node);

    Context& ctx_;
    Story& story_;
    const std::vector<std::string>& styleByIndex_;
    Attrs attrs_;
    std::uint32_t paraStart_ = 0;
    Para trail_;
    bool haveTrail_ = false;
    Para lastOldPara_;
    bool sawOld_ = false;
    bool full_ = false;
    bool softHyphenPending_ = false; ///< 1.5: the last text ended in a single soft hyphen
    std::size_t frameText_ = 0, frameParas_ = 0;
    std::u16string scratch_;
    CharacterAttributes local_; ///< NewText's format, reused
    std::string cstyle_;        ///< NewText's character style, reused
};

} // namespace detail
} // namespace scribus

#endif
