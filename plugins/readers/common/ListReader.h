// The reader plug-in that reads its whole input at Init: it builds the
// Elements into a list, hands them out in order and deletes them at Reset.
// Its preferences are Booleans.
#ifndef OMBRA_READER_LIST_READER_H
#define OMBRA_READER_LIST_READER_H

#include <ombra/plugin.h>

#include <string>

class OBListReader : public OBReader {
public:
    /// The most Boolean preferences a reader has.
    static constexpr int kMaxPreferences = 16;

    ~OBListReader() override;

    void GetStreamPrefs(OBStream* input, OBPreferenceList* list) override;
    /// Reads and converts the whole input (Read) with the preferences'
    /// values; no exception leaves it.
    void Init(OBStream* input, OBPreferenceList* preferences) override;
    void Reset() override;
    Element* GetFirstElement() override;
    Element* GetNextElement() override;
    /// The version of the input being converted.
    void GetFileVersion(COBString& version) override;

protected:
    /// defaults (count of them, at most kMaxPreferences) stay the caller's.
    OBListReader(int readerId, const bool* defaults, int count);
    /// Builds the input's Elements into elements_ and its version into
    /// version_, reporting its problems; flags are the preferences' values.
    virtual void Read(OBStream* input, const bool* flags) = 0;

    ElementList elements_;
    std::string version_;

private:
    void Clear();

    const bool* defaults_;
    int count_;
    long long next_;
};

#endif
