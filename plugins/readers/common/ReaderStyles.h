// Style chains: a style names the one it is based on, and what it does not
// set comes from there. Sources loop and dangle, so every walk is bounded.
#ifndef OMBRA_READER_STYLES_H
#define OMBRA_READER_STYLES_H

#include <string>

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

} // namespace obreader

#endif
