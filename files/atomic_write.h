#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace b6409 {

enum class AtomicWriteResult {
    Ok,
    CreateFailed,    // no such folder, or the file could not be made for another reason
    WriteFailed,     // the new content was not written whole; the old file is untouched
    NotAFile,        // a folder, FIFO, device or other non-regular file stands at the path
    ReadOnly,        // the file exists and may not be written
    FolderReadOnly,  // the file is new and its folder takes no new file
    LeftIncomplete,  // written over in place and failed midway: the old content is lost
};

// What to show when a file could not be saved or is not a file to read: the long-known texts
// for a file that cannot be created or written, a text naming the file for the other causes.
// Empty for Ok.
std::string FileFailureText(AtomicWriteResult result, const std::string& path);

// The file a save replaces: symbolic links followed to the file they name, so that a save
// through a link keeps the link and replaces what it points at.
struct SaveTarget {
    std::string path;
    bool exists = false;
    struct stat info {};  // of the existing file
};

// Follows the links and checks what stands there: Ok for a writable regular file or nothing
// yet, else why it may not be replaced. A file without any write permission bit counts as
// read-only even for the superuser, as users mark files they want kept that way.
AtomicWriteResult ResolveSaveTarget(const std::string& path, SaveTarget* target);

// Writes the bytes to a temporary file beside the target and renames it over the target, so the
// target is either the old file or the whole new one. A replaced file keeps its owner and mode
// (where the owner cannot be kept, the mode grants no one more than before); a new one gets the
// usual permissions (0666 less the umask). When the folder takes no new file, or lets only the
// file's owner replace it (a sticky one such as /tmp), but the file itself may be written, the
// bytes go over it in place instead.
AtomicWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

// A private folder in which a writer that wants a path of its own (the workbook driver) makes
// a file's new content under a name of the caller's choice; Commit then puts it in the target's
// place as WriteFileAtomically does. The folder and whatever is left in it go with the object,
// so a failed save leaves nothing behind.
class StagingFolder {
  public:
    StagingFolder() = default;
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // Makes the folder beside the target. FolderReadOnly when the target's folder takes nothing
    // new; for an existing writable target, OpenElsewhere is then the way.
    AtomicWriteResult Open(const SaveTarget& target, const std::string& name);
    // Makes the folder among the temporary files; Commit then writes the content over the
    // target in place.
    AtomicWriteResult OpenElsewhere(const std::string& name);
    // Where the new content is to be made.
    const std::string& filePath() const { return filePath_; }
    // Puts the file made at filePath() in the target's place, in place where the folder does not
    // let it be replaced.
    AtomicWriteResult Commit(const SaveTarget& target);

  private:
    AtomicWriteResult Make(std::string pattern, const std::string& name);

    std::string folder_;
    std::string filePath_;
    bool beside_ = false;
};

}  // namespace b6409
