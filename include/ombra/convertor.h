// The host's entry point: the convertor manager, its convertors and the
// element pump that runs one conversion.
#ifndef OMBRA_CONVERTOR_H
#define OMBRA_CONVERTOR_H

#include <ombra/export.h>
#include <ombra/plugin.h>
#include <ombra/readermanager.h>
#include <ombra/streams.h>
#include <ombra/writermanager.h>

#include <string>
#include <vector>

class OBLumService;
class OBPreferenceSettings;

/// What GetConvertor reports.
enum ErrorCode : int {
    kNoError = 0,           ///< a convertor is returned
    kWriterUnavailable = 2, ///< no loaded writer has the id the convertor needs,
                            ///< or the manager has no plug-in managers at all
    kUnknownConvertor = 3,  ///< the id is not cached and is not 1
};

/// The host's options for a conversion, read only for the text writer
/// (writer id 259). Part of the host interface: the fields have exactly
/// this order and these widths.
struct Preferences {
    short groupFlag1;
    std::string groupText1;
    short groupFlag2;
    std::string groupText2;
    short groupFlag3;
    int groupNumber;
    /// A UNITS::LINEAR::UnitEnum code; 2 (inches), 7 (points) and 10 (twips)
    /// have a meaning here, any other gives "Undefined".
    int measurementUnit;
    /// 0: UTF-8, 1: UTF-16, anything else the default encoding.
    int textEncoding;

    // Fields added after the eight above. A host that fills only those, or
    // value-initialises the record, keeps the behaviour they always had.

    /// How the text writer ends its lines (OBLINEEND): 0 as its target
    /// platform does, which the pump sets to "PC" (CR LF); 1 LF, 2 CR LF,
    /// 3 CR, 4 this system's own (LF).
    int lineEnd = 0;
    /// Preferences by name (<ombra/settings.h>), not owned; null for none.
    /// They are applied, for every writer and every reader, after the
    /// pump's own adjustments.
    const OBPreferenceSettings* settings = nullptr;
};

/// The line ends a host may choose for the text writer (Preferences::lineEnd).
namespace OBLINEEND {
enum LineEndEnum : int {
    kPlatform = 0, ///< the target platform's: CR LF for "PC", which the pump sets
    kLF = 1,
    kCRLF = 2,
    kCR = 3,
    kNative = 4, ///< this system's own: LF
};
} // namespace OBLINEEND

/// The two plug-in managers a convertor manager holds (both null when a
/// plug-in folder was empty).
struct OBPlugInManagers {
    OB_MEMORY_OPERATORS
    ReaderManager* readerManager;
    WriterManager* writerManager;
};

/// What a convertor works with; none of it is owned.
struct OBConvertorData {
    OB_MEMORY_OPERATORS
    ReaderManager* readerManager;
    WriterManager* writerManager;
    /// The shared root reader that the last successful CanConvertThis found.
    OBReader* reader;
    /// The shared root writer the convertor is bound to.
    OBWriter* writer;
};

/// Runs conversions from whatever reader recognises the input into the
/// writer it is bound to. Convertors are made and owned by the
/// OBConvertorManager; a host never deletes one. One convertor runs one
/// conversion at a time; conversions through different convertors may run
/// on several threads at once and serialise on the shared plug-in objects.
class OMBRA_API OBConvertor {
public:
    OB_MEMORY_OPERATORS

    OBConvertor(const OBConvertor&) = delete;
    OBConvertor& operator=(const OBConvertor&) = delete;
    /// Frees the convertor's data; reader and writer stay with their managers.
    virtual ~OBConvertor();

    /// 1 when some loaded reader recognises input (null: 0), and remembers
    /// that reader for the next ExtractData; 0 otherwise, leaving the
    /// remembered reader as it was.
    virtual short CanConvertThis(OBStream* input);

    /// Runs one conversion from input to output; options may be null. It
    /// calls CanConvertThis itself, then, with R the recognising reader and
    /// W the writer:
    ///   R.GetStreamPrefs(input, readerList); when readerList is not empty,
    ///     its preference 3 (a group) has constituent 14 (a Boolean) set to 1,
    ///     and it is R's preference list, otherwise R.GetPrefs() is;
    ///   R.Init(input, that list);
    ///   W.GetStreamPrefs(output, writerList); for writer 259 the list is
    ///     adjusted from options (see below);
    ///   W.Init(output, writerList);
    ///   W.PutElement(e) for R.GetFirstElement() when not null, then for each
    ///     R.GetNextElement() until null; W.PutElement(null) as the end marker;
    ///   W.Reset(), R.Reset().
    /// For writer 259: its second Enumeration preference becomes "PC", its
    /// preference 3 (Boolean) 1; with options, preference 0 (Enumeration)
    /// becomes "Unicode UTF8", "Unicode UTF16" or "Default" after
    /// textEncoding, and in preference 2 (a group) the constituents take, in
    /// order of their type, 1st Boolean groupFlag1, 2nd Boolean groupFlag2,
    /// 1st String groupText1, 2nd String groupText2, 3rd Boolean groupFlag3,
    /// 1st Integer groupNumber and 1st Enumeration "Inches", "Points",
    /// "Twips" or "Undefined" after measurementUnit; with a lineEnd other
    /// than 0, its preference 5 (Enumeration) becomes "LF", "CR LF" or "CR".
    /// A preference that is missing or of another kind is skipped. Then,
    /// for any writer, options->settings are applied to the writer's list
    /// and to the reader's list (not to the reader's own list, which
    /// outlives the conversion). Both lists are destroyed before
    /// ExtractData returns.
    ///
    /// Returns 1 when the pump ran; 0, calling no plug-in operation, when a
    /// stream is null or no reader recognises the input; 0 as well when a
    /// plug-in operation threw, after both plug-ins were reset.
    short ExtractData(OBStream* input, OBStream* output, const Preferences* options);

    /// The data the convertor works with (null when there was no memory).
    const OBConvertorData* GetConvertorData() const { return data_; }

protected:
    /// Allocates the data record with every field zero.
    OBConvertor();
    OBConvertorData* data_;

private:
    friend class OBConvertorManager;
};

/// Convertor id 1: the text convertor, bound to writer 259.
class OMBRA_API OBTextConvertor : public OBConvertor {
public:
    ~OBTextConvertor() override;
    short CanConvertThis(OBStream* input) override;

private:
    friend class OBConvertorManager;
    OBTextConvertor();
};

/// A convertor bound to any loaded writer (GetConvertorForWriter). It
/// converts as the text convertor does; the text-writer adjustment of the
/// writer's preferences applies only when the writer's id is 259.
class OMBRA_API OBWriterConvertor : public OBConvertor {
public:
    ~OBWriterConvertor() override;

private:
    friend class OBConvertorManager;
    OBWriterConvertor();
};

/// The host's entry point. A host installs the memory service, registers
/// its resource module, then makes one manager with the reader folder and
/// the writer folder, asks it for convertors and runs ExtractData on them;
/// finally it destroys the manager (never the convertors).
///
/// Construction installs the core's text service (OBConvertorLumService) for
/// the constructing thread when that thread has none, and creates the
/// reader and writer manager singletons, which find and load every
/// plug-in under the two folders. When either folder string is empty no
/// plug-in manager is made, and every GetConvertor fails with
/// kWriterUnavailable. Destruction deletes the convertors, unloads the
/// plug-ins, releases the managers and deletes the text service it
/// installed, when it is still installed on the destroying thread (on
/// another thread it stays with its thread, which deletes it when it ends).
class OMBRA_API OBConvertorManager {
public:
    OB_MEMORY_OPERATORS

    OBConvertorManager(std::string readerFolder, std::string writerFolder);
    /// As above with the first folder of each list, and the plug-ins under
    /// the further folders added to them (ReaderManager::AddFolder,
    /// WriterManager::AddFolder). An empty list, or an empty first folder,
    /// makes no plug-in managers.
    OBConvertorManager(const std::vector<std::string>& readerFolders,
                       const std::vector<std::string>& writerFolders);
    OBConvertorManager(const OBConvertorManager&) = delete;
    OBConvertorManager& operator=(const OBConvertorManager&) = delete;
    ~OBConvertorManager();

    /// The cached or newly made convertor for id, or null; error is always
    /// written. Id 1 is the text convertor, bound to writer 259: null with
    /// kWriterUnavailable when no such writer is loaded (a later call tries
    /// again) or there are no plug-in managers; any other id that is not
    /// cached gives null with kUnknownConvertor. The same id gives the same
    /// convertor to every caller.
    OBConvertor* GetConvertor(unsigned int id, ErrorCode& error);
    /// A convertor bound to the loaded writer with writerId, made on first
    /// use and cached per writer id (the same object for every caller);
    /// null with kWriterUnavailable when no loaded writer has the id or there
    /// are no plug-in managers. For writerId 259 it is a convertor of its
    /// own beside the text convertor, converting the same way.
    OBConvertor* GetConvertorForWriter(int writerId, ErrorCode& error);

    /// The plug-in managers, for hosts that list the plug-ins; null when a
    /// folder was empty.
    ReaderManager* GetReaderManager() const;
    WriterManager* GetWriterManager() const;

private:
    void InitConvertor(OBConvertor* convertor, unsigned int id);
    void MakeManagers(const std::vector<std::string>& readerFolders,
                      const std::vector<std::string>& writerFolders);

    struct Cache;
    OBPlugInManagers* managers_;
    Cache* cache_;
    /// The text service this manager installed, and the thread it is on.
    OBLumService* installedService_;
};

/// Releases everything the core keeps for the calling thread (error values,
/// locale, element levels, id counter, chosen readers, code page converters,
/// cached value blocks, and the installed text services, which are deleted),
/// as the thread's end does. For the main thread, whose end never comes
/// before exit: call it when the thread is done with conversions, after
/// deleting the convertor manager it made. The thread may use the core again
/// afterwards; what it needs is made anew.
OMBRA_API void OBReleaseThreadState();

#endif
