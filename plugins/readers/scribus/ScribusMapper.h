// Turns the parsed Scribus model (ScribusModel.h) into document-model
// Elements in the order and nesting of docs/document-model.md.
#ifndef OMBRA_SCRIBUS_MAPPER_H
#define OMBRA_SCRIBUS_MAPPER_H

#include <string>

#include "ScribusModel.h"

#include <ombra/elements.h>
#include <ombra/scripts.h>

/// What a conversion leaves out; everything is kept by default.
struct ScribusMapOptions {
    bool masterItems = true;       ///< items on master pages and the stories only they show
    bool nonPrintingLayers = true; ///< layers that do not print, with their items
    bool hiddenLayers = true;      ///< layers that are not shown, with their items
    bool pasteboardItems = true;   ///< items that lie on no page
};

/// Where the mapper reports what it skipped or repaired: an OBERR code.
class ScribusProblemSink {
public:
    virtual ~ScribusProblemSink();
    virtual void Report(int code) = 0;
    /// With what the problem is about (a style, a colour), in English.
    virtual void Report(int code, const std::string& detail) {
        (void)detail;
        Report(code);
    }
};

/// The writing script of one UTF-16 unit (a surrogate pair is judged by the
/// character it forms): -1 for characters every script shares (spaces,
/// digits, ASCII punctuation, controls), kUnicodeScript for letters of
/// scripts without a code page, and for CJK ideographs and punctuation
/// `cjk` (Japanese, Chinese or Korean, chosen by the caller).
int ScribusCharacterScript(unsigned codePoint, WSE::WritingScriptEnum cjk);

/// Builds the Elements of one document. Elements come from the memory
/// service; when it runs out, what was built so far is kept and kOutOfMemory
/// is reported. The caller owns the top-level Elements appended to `out`.
void ScribusBuildElements(const scribus::Document& doc, const ScribusMapOptions& options,
                          ScribusProblemSink& problems, ElementList& out);

#endif
