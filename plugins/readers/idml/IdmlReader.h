// The IDML reader plug-in's class (see IdmlReader.cpp for its preferences).
#ifndef OMBRA_IDML_READER_H
#define OMBRA_IDML_READER_H

#include <ListReader.h>

#include <ombra/messages.h>
#include <ombra/pluginids.h>

class IdmlReader : public OBListReader {
public:
    static constexpr int kReaderId = OBPLUGIN::kIdmlReader;
    static constexpr int kPreferenceCount = 7;

    IdmlReader();
    ~IdmlReader() override;

    short CanImportThis(OBStream* input) override;
    void GetFormats(Format*& formats, short& count) override;

private:
    /// The whole package; its version is the DOMVersion.
    void Read(OBStream* input, const bool* flags) override;
};

#endif
