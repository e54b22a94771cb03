// The few Windows handle types that the library's interface names, as they
// are on Linux.
#ifndef OMBRA_PLATFORMTYPES_H
#define OMBRA_PLATFORMTYPES_H

class OBStringTable;

/// A module handle: the module whose string resources hold the display
/// texts. On Linux a host has no resource section to offer, so the module
/// is a string table that the host builds or loads (OBStringTable, see
/// resources.h), and its handle is a pointer to that table.
typedef OBStringTable* HINSTANCE;

#endif
