// Conversions between 8-bit paths (the file system's bytes, UTF-8) and
// UTF-16 paths, through OBStringUtils: no text service is needed.
#ifndef OMBRA_STREAMS_FILES_PATHTEXT_H
#define OMBRA_STREAMS_FILES_PATHTEXT_H

#include <ombra/files.h>
#include <ombra/strings.h>

namespace ombra_files {

/// Appends n bytes of UTF-8 to s (read leniently, as OBStringUtils does);
/// false when not all of them went in.
bool AppendUtf8(WOBString& s, const char* text, long long n);
/// Appends n UTF-16 units as UTF-8 to s; units with an unpaired surrogate
/// are left out (s unchanged, true); false when memory ran out.
bool AppendUnitsAsUtf8(COBString& s, const unsigned short* units, long long n);
/// Appends text of either kind to path, converting between the kinds as
/// above; false when the path did not take the whole text.
bool AppendPathText(IOBString& path, const IOBString& text);

/// Dot and extension of the last component of a file-system path ("" when
/// it has no '.'), as the platform's path splitter gives it.
const char* ExtensionOf(const char* path);

/// True for a folder name that walks never enter.
inline bool IsDotName(const char* name) {
    return name && name[0] == '.';
}

} // namespace ombra_files

#endif
