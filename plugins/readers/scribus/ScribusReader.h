// The Scribus reader plug-in's class (see ScribusReader.cpp for its
// preferences).
#ifndef OMBRA_SCRIBUS_READER_H
#define OMBRA_SCRIBUS_READER_H

#include <ListReader.h>

#include <ombra/messages.h>
#include <ombra/pluginids.h>

struct ScribusMapOptions;

class ScribusReader : public OBListReader {
public:
    static constexpr int kReaderId = OBPLUGIN::kScribusReader;
    static constexpr int kPreferenceCount = 4;
    /// The base resource id of preference n's display name.
    static constexpr unsigned PreferenceResource(int n) {
        return OBReaderResourceBase(kReaderId) + kOBLocaleBlock * static_cast<unsigned>(n);
    }

    ScribusReader();
    ~ScribusReader() override;

    short CanImportThis(OBStream* input) override;
    void GetFormats(Format*& formats, short& count) override;

private:
    /// The whole document; its version is its Version attribute.
    void Read(OBStream* input, const bool* flags) override;
    void Convert(OBStream* input, const ScribusMapOptions& options);
};

#endif
