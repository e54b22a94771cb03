// Turns the model of one IDML package (IdmlModel.h) into document-model
// Elements in the order and nesting of docs/document-model.md.
#ifndef OMBRA_IDML_MAPPER_H
#define OMBRA_IDML_MAPPER_H

#include "IdmlModel.h"

#include <ReaderBuilder.h>

#include <ombra/elements.h>

namespace idml {

/// What a conversion leaves out; everything on a page is kept by default.
struct MapOptions {
    bool masterItems = true;       ///< items on master pages and the stories only they show
    bool nonPrintingLayers = true; ///< layers that do not print, with their items
    bool hiddenLayers = true;      ///< layers that are not shown, with their items
    bool pasteboardItems = true;   ///< items that lie on no page
};

/// Builds the Elements of one package. When memory runs out, what was built
/// so far is kept and kOutOfMemory is reported. The caller owns the
/// top-level Elements appended to `out`.
void BuildElements(const Document& doc, const MapOptions& options, obreader::ProblemSink& problems,
                   ElementList& out);

} // namespace idml

#endif
