// The IDML reader plug-in's class (see IdmlReader.cpp for its preferences).
#ifndef OMBRA_IDML_READER_H
#define OMBRA_IDML_READER_H

#include <ombra/messages.h>
#include <ombra/pluginids.h>
#include <ombra/plugin.h>

#include <string>

class IdmlReader : public OBReader {
public:
    static constexpr int kReaderId = OBPLUGIN::kIdmlReader;
    static constexpr int kPreferenceCount = 7;

    IdmlReader();
    ~IdmlReader() override;

    short CanImportThis(OBStream* input) override;
    void GetStreamPrefs(OBStream* input, OBPreferenceList* list) override;
    /// Reads and converts the whole package; the Elements wait for
    /// GetFirstElement and GetNextElement and live until Reset.
    void Init(OBStream* input, OBPreferenceList* preferences) override;
    void Reset() override;
    Element* GetFirstElement() override;
    Element* GetNextElement() override;
    void GetFormats(Format*& formats, short& count) override;
    /// The DOMVersion of the package being converted.
    void GetFileVersion(COBString& version) override;

private:
    void Convert(OBStream* input, OBPreferenceList* preferences);
    void Clear();

    ElementList elements_;
    long long next_;
    std::string version_;
};

#endif
