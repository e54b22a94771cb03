// Turns the parsed Scribus model (ScribusModel.h) into document-model
// Elements in the order and nesting of docs/document-model.md.
#ifndef OMBRA_SCRIBUS_MAPPER_H
#define OMBRA_SCRIBUS_MAPPER_H

#include <string>

#include "ScribusModel.h"

#include <ReaderBuilder.h>

#include <ombra/elements.h>

/// What a conversion leaves out; everything is kept by default.
struct ScribusMapOptions {
    bool masterItems = true;       ///< items on master pages and the stories only they show
    bool nonPrintingLayers = true; ///< layers that do not print, with their items
    bool hiddenLayers = true;      ///< layers that are not shown, with their items
    bool pasteboardItems = true;   ///< items that lie on no page
};

/// Builds the Elements of one document. Elements come from the memory
/// service; when it runs out, what was built so far is kept and kOutOfMemory
/// is reported. The caller owns the top-level Elements appended to `out`.
/// An item's outline is released once its Element holds it, so that the
/// two are not in memory together.
void ScribusBuildElements(scribus::Document& doc, const ScribusMapOptions& options,
                          obreader::ProblemSink& problems, ElementList& out);

#endif
