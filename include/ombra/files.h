// File references, the file utility, folder walks and the search for the
// folder that holds a file with a given extension.
#ifndef OMBRA_FILES_H
#define OMBRA_FILES_H

#include <ombra/export.h>
#include <ombra/strings.h>

#include <cstddef>

/// A file or folder named by a path held either as 8-bit text (COBString)
/// or as UTF-16 text (WOBString), whichever the caller supplied. The
/// separator is '/'. For the file system an 8-bit path is taken byte for
/// byte (file names are bytes, usually UTF-8) and a UTF-16 path is
/// converted to UTF-8; neither needs a text service on the calling thread.
/// When the memory service yields no memory the reference may hold no
/// string: it then reads as an empty path that names no file.
class OMBRA_API OBSysFileRef {
public:
    OB_MEMORY_OPERATORS

    /// An empty 8-bit path.
    OBSysFileRef();
    /// Copies the string, keeping its kind.
    OBSysFileRef(const OBSysFileRef& other);
    /// Takes the other reference's string; the other holds none afterwards.
    OBSysFileRef(OBSysFileRef&& other) noexcept;
    /// An 8-bit path (null: empty), tagged with the system script.
    OBSysFileRef(const char* path);
    /// A UTF-16 path up to its 0 unit (null: empty).
    OBSysFileRef(const unsigned short* path);
    ~OBSysFileRef();

    /// Copies the string, keeping its kind.
    OBSysFileRef& operator=(const OBSysFileRef& other);
    OBSysFileRef& operator=(OBSysFileRef&& other) noexcept;
    /// Copies s, keeping its kind.
    OBSysFileRef& operator=(const IOBString& s);

    /// The same string object, or both hold strings that compare equal (an
    /// 8-bit path never equals a UTF-16 one); a reference without a string
    /// equals only another one without.
    bool operator==(const OBSysFileRef& other) const;
    bool operator!=(const OBSysFileRef& other) const { return !(*this == other); }

    /// Replaces the path by a new 8-bit one (null: empty) of the system script.
    void SetCString(const char* path);
    /// Replaces the path by a new UTF-16 one (null: empty).
    void SetWString(const unsigned short* path);
    /// Appends text to the held path, keeping its kind. Between the kinds
    /// the text converts as the file system sees it, 8-bit text being UTF-8
    /// (OBStringUtils); UTF-16 text with an unpaired surrogate is not
    /// appended to an 8-bit path.
    void Append(const char* text);
    void Append(const unsigned short* text);
    void Append(const IOBString& text);

    /// The held string's 8-bit form (for a UTF-16 path, its rendering in the
    /// system script, which needs a text service); never null.
    const char* GrabCString() const;
    /// The held string's UTF-16 form (for an 8-bit path, translated from its
    /// script, which needs a text service); never null.
    const unsigned short* GrabWString() const;
    /// 1 for a UTF-16 path.
    unsigned char IsUnicode() const;
    /// Characters: bytes of an 8-bit path, units of a UTF-16 path.
    long long Length() const;
    /// The byte at index of an 8-bit path; 0 for a UTF-16 path or an index
    /// outside the path.
    char GetChar(long long index) const;
    /// Sets the script of an 8-bit path; nothing for a UTF-16 path or for
    /// kUnicodeScript.
    void SetScript(WSE::WritingScriptEnum script);
    /// The held string, or null.
    const IOBString* GetSysFileStr() const;

private:
    IOBStringPtr path_;
};

/// The path of a reference as the file system takes it: the bytes of an
/// 8-bit path, the UTF-8 form of a UTF-16 one (OBStringUtils). A UTF-16
/// path that holds an unpaired surrogate or a 0 unit has no such form, nor
/// one that memory ran out for: Get() is then empty and Valid() 0, so it
/// names no file rather than a wrong one.
class OMBRA_API OBFileSystemPath {
public:
    explicit OBFileSystemPath(const OBSysFileRef& file);
    ~OBFileSystemPath();
    OBFileSystemPath(const OBFileSystemPath&) = delete;
    OBFileSystemPath& operator=(const OBFileSystemPath&) = delete;

    /// NUL-terminated, never null; valid while this object and the
    /// reference live unchanged.
    const char* Get() const { return text_; }
    std::size_t Length() const { return length_; }
    /// 1 when the path converted (or needed no conversion).
    short Valid() const { return valid_; }

private:
    const char* text_;
    COBString* converted_; // the UTF-8 form of a UTF-16 path
    std::size_t length_;
    short valid_;
};

/// One file seen both as an 8-bit path (name) and as a reference (sysFile);
/// either form is rebuilt from the other when needed. For a UTF-16
/// reference the 8-bit name is its UTF-8 form.
class OMBRA_API WOBFileUtility {
public:
    OB_MEMORY_OPERATORS

    /// An empty 8-bit path.
    WOBFileUtility();
    /// With prepare set the name is made into a path: old-style colon
    /// paths (Disk:Folder:File) become Disk/Folder/File (a path beginning
    /// with '/' is left as it is), and a bare name without a folder goes into
    /// the temporary directory (GetTempDirectory, else the platform's). With
    /// prepare clear the name is used unchanged.
    WOBFileUtility(const COBString& name, bool prepare);
    explicit WOBFileUtility(const OBSysFileRef& file);
    WOBFileUtility(const WOBFileUtility& other);
    WOBFileUtility& operator=(const WOBFileUtility& other);
    virtual ~WOBFileUtility();

    /// out = the 8-bit path.
    virtual void GetPathName(COBString* out);
    /// Deletes the file; failures are not reported.
    virtual void OBDeleteFile();
    /// Switches to a name no file has yet, in the same folder: the first
    /// 12 characters of the file name, then the thread id and the tick count
    /// in decimal; the tick count goes up by one per try. After 1000 tries the
    /// object stays on its former name.
    virtual void SetUniqueName();
    /// out = the part after the last '/' (an empty path leaves out unchanged).
    virtual void GetFileName(COBString* out);
    virtual const OBSysFileRef& GetSysFile();
    /// out = the folder without its trailing '/' as an 8-bit path; empty when
    /// the path has no folder part (or the folder is the root).
    virtual void GetDirectory(OBSysFileRef& out);
    /// Copies the file onto destination, replacing it; 1 on success. A
    /// failed copy leaves no partial destination behind.
    virtual short OBCopyFile(const OBSysFileRef& destination);
    /// 1 when something of that name exists.
    virtual short FileExists();
    /// The platform keeps no creator or type codes: the outputs are left as
    /// they are.
    virtual void GetFileCreatorType(unsigned int* creator, unsigned int* type);
    virtual void SetFileCreatorType(unsigned int creator, unsigned int type);
    /// The text after the last '.' of the path, upper-cased, trailing spaces
    /// and double quotes passed over; empty without a '.' or with nothing
    /// after it.
    virtual COBString GetExtension();
    /// The size in bytes (at most 4294967294), or 4294967295 when the file
    /// cannot be opened.
    virtual unsigned int GetFileSize();
    /// Returns 1 and changes nothing.
    virtual short SetTemporaryFile();

    /// GetSysFile().
    const OBSysFileRef& GetSysFileUrl();

    /// out = the reference's path as the file system takes it (UTF-8 for a
    /// UTF-16 path).
    static void GetPathName(const OBSysFileRef& file, COBString* out);
    /// The process-wide temporary directory, or null when none was set.
    static COBString* GetTempDirectory();
    /// Sets the process-wide temporary directory (null changes nothing; an
    /// empty text returns to the platform's). A directory without a trailing
    /// '/' gets one where names are placed in it. Set it before the library
    /// is used from several threads.
    static void SetTempDirectory(COBString* directory);
    /// Deletes the file; 1 on success.
    static short DeleteFileA(const OBSysFileRef& file);
    /// Loads the shared library; out is its module handle, null on failure.
    static void LoadLibraryA(const OBSysFileRef& file, void*& out);

private:
    void Init();
    void ResolveName();
    void ResolveSpec();
    long long GetNamePos();
    void GetPathOnly(COBString* out);

    OBSysFileRef sysFile_;
    short sysFileValid_;
    COBString name_;
    bool nameValid_;
};

/// Walks a folder and all its sub-folders breadth first and hands out the
/// files one at a time: every entry of a folder (in name order), then each
/// sub-folder in the order found. Folders whose names begin with '.' are
/// never entered, and symbolic links to folders are neither entered nor
/// handed out, so a walk cannot loop. Paths are built as folder + '/' +
/// entry name, in the kind (8-bit or UTF-16) of the folder's reference.
class OMBRA_API WFolderTraverser {
public:
    OB_MEMORY_OPERATORS

    /// An empty queue; with reportFolders set, sub-folders are handed out too.
    explicit WFolderTraverser(short reportFolders);
    /// Queues start; GetNextMatch hands out files whose extension (with its
    /// dot, as ".obrd") equals extension exactly, letter case included.
    WFolderTraverser(const OBSysFileRef& start, const char* extension, short reportFolders);
    WFolderTraverser(const OBSysFileRef& start, short reportFolders);
    WFolderTraverser(const WFolderTraverser&) = delete;
    WFolderTraverser& operator=(const WFolderTraverser&) = delete;
    virtual ~WFolderTraverser();

    /// Appends folder to the queue unless an equal reference is queued; a
    /// walk that was over goes on with it.
    virtual void AddFolder(const OBSysFileRef& folder);
    virtual void NoOperation();
    /// Starts again from the first queued folder.
    virtual void Reset();
    /// The next item whose extension matches; 0 when the walk is over.
    virtual short GetNextMatch(OBSysFileRef& out);
    /// out = the last file handed out.
    virtual void GetCurrentFile(OBSysFileRef& out);
    /// The next item of the walk; 0 when the walk is over.
    virtual short GetNext(OBSysFileRef& out);
    /// 1 when the extension of the file's last path component (from its
    /// last '.') equals the wanted one.
    virtual short Matches(const OBSysFileRef& file);

protected:
    /// One step of the walk; wide builds every path as UTF-16.
    short Step(OBSysFileRef& out, bool wide);

private:
    bool OpenNextFolder();
    void CloseFolder();

    void* findHandle_; // the open folder's listing (platform), or null
    OBSysFileRef currentFile_;
    OBSysFileRef currentFolder_;
    long long folderIndex_;
    short reportFolders_;
    OBSysFileRef* folders_;
    long long folderCount_;
    long long folderCapacity_;
    char extension_[256];
};

/// WFolderTraverser with the wanted extension as UTF-16 text; every path it
/// hands out is a UTF-16 reference.
class OMBRA_API WFolderTraverserW : public WFolderTraverser {
public:
    WFolderTraverserW(const OBSysFileRef& start, const unsigned short* extension,
                      short reportFolders);
    ~WFolderTraverserW() override;

    short GetNext(OBSysFileRef& out) override;
    short Matches(const OBSysFileRef& file) override;

private:
    unsigned short extensionW_[256];
};

/// Searches folder and its sub-folders depth first (folders whose names
/// begin with '.' or '(' and links to folders are not entered) for entries
/// whose upper-cased name ends with extension, and sets result to the folder
/// part, ending with '/', of the last one met. Names compare upper-cased,
/// so a lower-case extension never matches; the paths keep the entries' own
/// letter case. result is untouched when nothing matches.
OMBRA_API void GetSubDirectoryWithGivenExtension(OBSysFileRef* folder, OBSysFileRef& result,
                                                 COBString extension);

#endif
