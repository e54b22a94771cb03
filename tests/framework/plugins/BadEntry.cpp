// Reader libraries that fail at their entry point: one returns null
// (BAD_ENTRY_NULL), the other throws (BAD_ENTRY_THROWS); without either
// macro the library exports no entry point at all.
#include <ombra/plugin.h>

#include <stdexcept>

#if defined(BAD_ENTRY_NULL)
OB_PLUGIN_EXPORT OBReader* GetReader() {
    return nullptr;
}
#elif defined(BAD_ENTRY_THROWS)
OB_PLUGIN_EXPORT OBReader* GetReader() {
    throw std::runtime_error("no reader today");
}
#else
OB_PLUGIN_EXPORT int NotAnEntryPoint() {
    return 42;
}
#endif
