// The burner component: the one object through which the application uses the
// engine. It is the recorder device object plus everything that concerns a data
// disc: the compilation, the image header and its layout, and the settings of the
// writing jobs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compilation/compilation.h"
#include "engine/compilation/entries.h"
#include "engine/device/scsi_device.h"
#include "engine/platform/directory.h"

namespace tavrin {

class TvxCDBurner;

using TSearchRec = platform::SearchRecord;

using TAddFileEvent = std::function<void(TvxCDBurner& Sender, const std::string& FullPath, std::string& LongFileName,
                                         std::string& ShortFileName, TDateTime& DateTime, uint32_t Attr,
                                         uint64_t FileSize, bool& Skip)>;
using TAddDirEvent = std::function<void(TvxCDBurner& Sender, std::string& LongName, std::string& ShortName, bool& Skip)>;
using TWriteDoneEvent = std::function<void(TvxCDBurner& Sender, const std::string& Error)>;
using TEraseDoneEvent = std::function<void(TvxCDBurner& Sender, bool WithError)>;
using TBurnerNotifyEvent = std::function<void(TvxCDBurner& Sender)>;

// GetNextEntry kinds.
inline constexpr int kEntrySubdirectory = 1;
inline constexpr int kEntryFile = 2;

// Where the last layout put the parts of the session (blocks unless bytes are said).
struct TSessionLayout {
    uint32_t SessionStart = 0;
    uint64_t PrimaryDescriptorPos = 0;  // byte positions on the disc
    uint64_t JolietDescriptorPos = 0;
    uint64_t TerminatorPos = 0;
    uint64_t IsoPathTableLPos = 0;
    uint64_t IsoPathTableMPos = 0;
    uint64_t JolietPathTableLPos = 0;
    uint64_t JolietPathTableMPos = 0;
    uint64_t IsoDirRecordsPos = 0;
    uint64_t JolietDirRecordsPos = 0;
    uint32_t IsoPathTableBytes = 0;
    uint32_t JolietPathTableBytes = 0;
    uint64_t IsoDirAreaBytes = 0;
    uint64_t JolietDirAreaBytes = 0;
    uint32_t FirstFileBlock = 0;
    uint64_t FileDataBlocks = 0;
    uint64_t EndBlock = 0;
    uint64_t SessionSizeBlocks = 0;
};

class TvxCDBurner : public TSCSIDevice {
public:
    static constexpr std::string_view kVersion = "1.1.7";
    static constexpr int32_t kDefaultCacheSize = 4194304;
    static constexpr int32_t kMinimumCacheSize = 2097152;
    static constexpr int kDefaultMaxFiles = 65535;
    static constexpr int kDefaultMaxDirs = 8191;

    TvxCDBurner();
    ~TvxCDBurner() override;

    // Properties with setters.
    int32_t CacheSize() const { return cacheSize_; }
    void SetCacheSize(int32_t bytes);
    std::string Version() const { return std::string(kVersion); }
    void SetVersion(std::string_view) {}
    // Sends the speed to the drive (0: its fastest) and keeps it in WriteSpeed.
    void SetWriteSpeed(uint16_t factor);

    // Published properties (those of the device object are inherited).
    bool UnderrunProtection = true;
    bool TestWrite = false;
    bool ReplaceFile = false;
    bool FinalizeTrack = true;
    bool PerformOPC = false;
    std::string IdVolume;
    std::string IdSystem;
    std::string IdVolumeSet;
    std::string IdPublisher;
    std::string IdPreparer;
    std::string IdApplication;
    std::string FileCopyright;
    std::string FileAbstract;
    std::string FileBibliographic;
    TDateTime DateCreation = 0;
    TDateTime DateModification = 0;
    TDateTime DateEffective = 0;
    TDateTime DateExpiration = 0;
    std::string ISOFileName;
    bool JolietFileSystem = true;
    bool WritePostGap = true;
    TAddFileEvent OnAddFile;
    TAddDirEvent OnAddDir;
    TWriteDoneEvent OnWriteDone;
    TBurnerNotifyEvent OnFinalizingTrack;
    TEraseDoneEvent OnEraseDone;

    // Public state.
    bool StripSourcePath = false;
    std::vector<uint8_t> HeaderStream;  // every image block in front of the file data
    TSessionLayout Layout;
    std::array<uint8_t, 2048> SectorBuffer{};

    // Raising the job events; an unassigned one is skipped.
    void DoWriteDone(const std::string& error);
    void DoFinalizingTrack();
    void DoEraseDone(bool withError);

    // The compilation tree.
    compilation::Compilation& Tree() { return tree_; }
    const compilation::Compilation& Tree() const { return tree_; }
    PDirEntry Root() const { return tree_.Root(); }
    int8_t GmtOffset() const { return tree_.GmtOffset; }

    bool ClearAll(int MaxFiles, int MaxDirs);
    PDirEntry FindDir(std::string_view Path) const;
    PFileEntry FindChild(PDirEntry Dir, std::string_view Name) const;
    PFileEntry FindFile(std::string_view DirPath, std::string_view Name) const;
    bool GetNextEntry(PDirEntry Dir, int& Kind, PFileEntry& Cursor) const;
    PDirEntry CreateDir(PDirEntry Parent, const TSearchRec& Rec);
    PDirEntry CreateDir(PDirEntry Parent, std::string_view Name, uint32_t Attr);
    PDirEntry CreateDirPath(std::string_view Path);
    bool InsertFile(PDirEntry DestinationPath, const TSearchRec& Rec, bool ArchiveOnly, uint32_t Address,
                    std::string_view SourcePath);
    int InsertFile(std::string_view DestinationPath, std::string_view SourceFile, bool SavePath);
    bool InsertDir(PDirEntry Dir, std::string_view Source, std::string_view Mask, int Attr, bool Recursive,
                   bool SavePath, bool ArchiveOnly);
    bool InsertDir(std::string_view DestinationPath, std::string_view Source, std::string_view Mask, int Attr,
                   bool Recursive, bool SavePath, bool ArchiveOnly);

    // Counts and edits.
    int DirsCount() const;
    int FilesCount() const;
    int64_t TotalSize() const { return tree_.TotalSize; }
    bool RenameFile(std::string_view DirPath, std::string_view OldName, std::string_view NewShortName,
                    std::string_view NewLongName);
    bool CopyFile(std::string_view DestPath, std::string_view SourcePath, uint32_t Address, std::string_view Name);
    bool CopyDir(std::string_view DestPath, std::string_view SourcePath, bool ArchiveOnly);
    bool DeleteEntry(PDirEntry Dir, PFileEntry Entry);
    bool DeleteFile(std::string_view DirPath, std::string_view Name);
    bool DeleteDir(PDirEntry& Dir);
    bool DeleteDir(std::string_view Path);
    bool ResetArchiveAttributes();

private:
    PDirEntry NewDirEntry();
    PFileEntry NewFileEntry();
    void ReportUnlistable(std::string_view folder, const std::vector<std::string>& names);
    bool ScanFolder(PDirEntry Dir, const std::string& Source, std::string_view Mask, int Attr, bool Recursive,
                    bool ArchiveOnly);
    std::string SavedFolderPath(std::string_view folder) const;

    compilation::Compilation& tree_;
    int32_t cacheSize_ = 0;
};

}  // namespace tavrin
