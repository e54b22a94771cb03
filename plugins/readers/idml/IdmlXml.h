// Reading IDML's XML with pugixml: parts parsed where they lie, attribute
// and Properties values, numbers, matrices, outlines, tab lists and text.
#ifndef OMBRA_IDML_XML_H
#define OMBRA_IDML_XML_H

#include "IdmlModel.h"

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace idml {
namespace xml {

/// Parses the part's bytes where they lie (they must outlive doc). A story
/// keeps its processing instructions and all text that is only white space
/// (Content elements hold spaces); other parts keep such text only where it
/// is all an element holds (a tab leader of one space). Returns false when
/// nothing was parsed; malformed is set when the XML is damaged, and doc
/// then holds what came before the damage, or when it refers to the
/// character 0, which becomes U+FFFD.
bool Load(pugi::xml_document& doc, std::string& bytes, bool story, bool& malformed);

/// When bytes hold plain XML that Load parses without an error (at most a
/// declaration, then one root of elements, attributes and text, no comments,
/// no processing instructions, no CDATA), the start tags of the first
/// children of the root named names[0, count), each without its closing
/// `>` or `/>` (empty where the root has none); false for anything else,
/// which the caller then parses whole. Stricter than pugixml, never laxer.
bool FindTopChildren(std::string_view bytes, const char* const* names, std::size_t count,
                     std::string_view* tags);

/// The attribute's text, "" when absent.
inline const char* Attr(pugi::xml_node n, const char* name) {
    return n.attribute(name).value();
}
/// The first value of each of names[0, count) among n's attributes, found in
/// one pass over them (null where n has none of the name): what Attr would
/// find name by name, for elements read attribute after attribute.
void FindAttrs(pugi::xml_node n, const char* const* names, std::size_t count, const char** values);
/// Number and Flag on a value FindAttrs found (null: absent).
bool NumberOf(const char* value, double& out);
bool FlagOf(const char* value, bool fallback);

bool Number(pugi::xml_node n, const char* name, double& out);
double NumberOr(pugi::xml_node n, const char* name, double fallback);
/// "true"/"1" or "false"/"0"; the fallback for anything else.
bool Flag(pugi::xml_node n, const char* name, bool fallback);
/// A reference value: "" for none ("n", "$ID/" and empty).
std::string Ref(const char* text);

/// The element of that name under n's Properties.
pugi::xml_node Property(pugi::xml_node n, const char* name);

/// The formatting attributes n carries as attributes and as Properties
/// (these win), in place of what out held.
void ReadAttrSet(pugi::xml_node n, AttrSet& out);
/// Tab stops from a Properties TabList; false when n has none.
bool ReadTabs(pugi::xml_node n, std::vector<TabStop>& out);

/// "a b c d tx ty"; false (m untouched) when it does not hold six numbers.
bool ReadMatrix(const char* text, Matrix& m);
/// "x y".
bool ReadPoint(const char* text, obreader::Point& p);
/// The outline of a page item (its PathGeometry).
void ReadOutline(pugi::xml_node item, std::vector<SubPath>& out);

/// A name as people see it: "$ID/" dropped, the built-in style names spelled
/// as the application shows them.
std::string DisplayName(const char* name);

/// Appends UTF-8 text as UTF-16; a sequence that is not UTF-8, and a
/// character XML does not allow (a control character but tab, line feed
/// and carriage return; U+FFFE, U+FFFF), becomes U+FFFD and sets invalid.
void AppendUtf8(const char* text, std::u16string& out, bool& invalid);

} // namespace xml
} // namespace idml

#endif
