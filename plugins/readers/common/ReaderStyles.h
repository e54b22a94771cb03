// Style chains: a style names the one it is based on, and what it does not
// set comes from there. Sources loop and dangle, so every walk is bounded.
#ifndef OMBRA_READER_STYLES_H
#define OMBRA_READER_STYLES_H

#include "ReaderBuilder.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace obreader {

/// The longest chain a reader follows.
constexpr int kMaxChainDepth = 64;

/// Walks a chain of styles nearest first: lookup(name) gives the style (a
/// pointer, null for a name it does not know) and visit(style) uses it and
/// returns the name of the next (empty to stop). The walk ends at an empty
/// or unknown name; it returns false when it ends at a style met before (a
/// loop) or after kMaxChainDepth styles.
template <class Lookup, class Visit>
bool FollowChain(const std::string& first, Lookup lookup, Visit visit) {
    const void* seen[kMaxChainDepth];
    int count = 0;
    std::string current = first;
    while (!current.empty()) {
        const auto* style = lookup(current);
        if (!style) return true;
        for (int i = 0; i < count; ++i)
            if (seen[i] == style) return false;
        if (count == kMaxChainDepth) return false;
        seen[count++] = style;
        current = visit(*style);
    }
    return true;
}

/// The order in which a reader lists styles: the default ones first (the
/// first of a list is the one writers fall back on), then the others as
/// the source gives them.
template <class S, class IsDefault>
std::vector<std::size_t> DefaultFirst(const std::vector<S>& styles, IsDefault isDefault) {
    std::vector<std::size_t> order;
    order.reserve(styles.size());
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < styles.size(); ++i)
            if (isDefault(styles[i]) == (pass == 0)) order.push_back(i);
    return order;
}

/// Styles made as Elements, with the index of each in the source's list.
using MadeStyles = std::vector<std::pair<Element*, std::size_t>>;

/// Sets attr (BasedOn or Next) of each made style to the Element of the
/// style it names (refOf(index), empty for none; ids by name). A name
/// that no style has, or a style based on itself, is reported by the
/// style's name (nameOf(index)) and left out.
template <class RefOf, class NameOf>
void LinkStyles(ElementBuilder& b, const MadeStyles& made,
                const std::unordered_map<std::string, unsigned>& ids, AN::AttrNameEnum attr,
                const char* kind, RefOf refOf, NameOf nameOf) {
    const bool basedOn = attr == AN::kBasedOn;
    for (const auto& m : made) {
        const std::string& ref = refOf(m.second);
        if (ref.empty()) continue;
        auto found = ids.find(ref);
        if (found != ids.end() && (!basedOn || found->second != m.first->GetId())) {
            b.Id(m.first, attr, found->second);
            continue;
        }
        std::string said = kind;
        said.append(" style \"").append(nameOf(m.second));
        said.append(basedOn ? "\" is based on " : "\" is followed by ");
        if (found == ids.end())
            said.append("\"").append(ref).append("\", which does not exist");
        else
            said.append("itself");
        b.BadReference(said);
    }
}

} // namespace obreader

#endif
