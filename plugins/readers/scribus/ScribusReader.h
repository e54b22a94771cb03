// The Scribus reader plug-in's class (see ScribusReader.cpp for its
// preferences).
#ifndef OMBRA_SCRIBUS_READER_H
#define OMBRA_SCRIBUS_READER_H

#include <ombra/messages.h>
#include <ombra/pluginids.h>
#include <ombra/plugin.h>

#include <string>

struct ScribusMapOptions;

class ScribusReader : public OBReader {
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
    void GetStreamPrefs(OBStream* input, OBPreferenceList* list) override;
    /// Reads and converts the whole document; the Elements wait for
    /// GetFirstElement and GetNextElement and live until Reset.
    void Init(OBStream* input, OBPreferenceList* preferences) override;
    void Reset() override;
    Element* GetFirstElement() override;
    Element* GetNextElement() override;
    void GetFormats(Format*& formats, short& count) override;
    /// The Version attribute of the document being converted.
    void GetFileVersion(COBString& version) override;

private:
    static void AddPreferences(OBPreferenceList* list);
    void Convert(OBStream* input, const ScribusMapOptions& options);
    void Clear();

    ElementList elements_;
    long long next_;
    std::string version_;
};

#endif
