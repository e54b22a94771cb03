// Pieces that the framework's files share and that stay inside the library.
#ifndef OMBRA_FRAMEWORK_INTERNAL_H
#define OMBRA_FRAMEWORK_INTERNAL_H

#include <ombra/files.h>
#include <ombra/plugin.h>
#include <ombra/strings.h>

namespace obframework {

/// Drops the calling thread's chosen reader list, whether or not a reader
/// manager exists (OBReader::Reset and ReaderManager::ResetUseReaders).
void DropChosenReaders();

/// The last component of path (after the last '/' or '\\'), as SetReaderName
/// describes; false for a null path.
bool FileNameOf(const OBSysFileRef* path, COBString& name);

/// Loads the library of a record, makes its root object and fills in what
/// the record learns from a load. On failure the record keeps its status,
/// says why in its error string, and the library is released again.
bool LoadReaderRecord(OBReaderData& record);
bool LoadWriterRecord(OBWriterData& record);

/// Copies the formats of a plug-in's array into out from position at,
/// keeping at most capacity entries in all, and releases the array.
/// Returns the number appended.
int AppendFormats(Format* formats, short count, Format* out, int at, int capacity);

/// Sets a preference's current value through its Value interface, for
/// kinds that the core does not know by class.
void SetThroughValue(OBPreference* p, short value);
void SetThroughValue(OBPreference* p, int value);
void SetThroughValue(OBPreference* p, const COBString& value);

/// Called inside a catch of what a plug-in threw: std::bad_alloc is logged
/// as kOutOfMemory and set as the thread's error code; true when it was
/// that. Any other exception is left to the caller to describe.
bool ReportEscapedException() noexcept;

} // namespace obframework

#endif
