// Which folders the setup may install into, and so later remove with everything in them,
// decided without touching the disk: the path dialog refuses the others, and the
// uninstall leaves such a recorded folder in place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace InstallFolderRules
{
enum class Verdict
{
    Accepted,      // a folder of its own below a drive root or a network share
    NotFullPath,   // empty, blank, relative, a root, or a device name
    GuardedFolder, // is or holds a folder of Windows or of a user
    Link,          // is itself a link to another folder (a junction, a mount point)
    Unknown        // is there, but which folder it is cannot be told
};

// `folder` as typed or recorded. Accepted are only full paths below a root
// ("C:\Studio", "\\server\share\Studio"); names are resolved the way the system reads
// them, so "C:\Studio\.." is the root. `guarded` are the folders of Windows and of its
// users; a folder that is one of them or holds one is refused, and `which` (when given)
// is set to the index of the first it meets.
Verdict Judge(const std::u16string& folder, const std::vector<std::u16string>& guarded,
              size_t* which = nullptr);

// What the disk says of a folder: the NT family tells a folder by its volume's serial
// number and its file index, the same whichever path (a junction, a mapped drive, a
// share of this machine) leads to it.
struct Seen
{
    enum class State
    {
        Missing,   // nothing there, or a link whose target is not there
        Known,     // there, with the identity below
        Unreadable // there or unsure, and its identity could not be read
    };
    State state = State::Missing;
    uint32_t volume = 0;
    // 0: no identity (some network servers give every file index 0); the text rule decides.
    uint64_t index = 0;
    bool link = false;  // a reparse point: the path itself leads on to another folder
    uint32_t error = 0; // why it is Unreadable
    // Where the folder really is, every link on the way followed ("E:\Profiles\Ann" for a
    // profile that is a junction there); empty where the system cannot say.
    std::u16string real;
};
using Look = std::function<Seen(const std::u16string& folder)>;
// A path whose attributes were read (`link`: a reparse point) but which could not be opened
// (`error`): a link whose target is not there counts as missing, like that target.
Seen NotOpened(bool link, uint32_t error);
// Whether a drive's root ("C:\") lies on the network, told without touching the network; a
// share's root ("\\SERVER\SHARE\") always does. None: every drive is local.
using IsRemote = std::function<bool(const std::u16string& root)>;

// The folder, then each folder above it up to its root ("C:\" or "\\SERVER\SHARE\"), in
// the form Canonical gives; empty for a path without a root.
std::vector<std::u16string> FolderAndAncestors(const std::u16string& folder);

struct OnDisk
{
    Verdict verdict = Verdict::Accepted;
    size_t which = 0;          // GuardedFolder: the guarded folder met
    uint32_t error = 0;        // Unknown: why
    std::u16string unreadable; // Unknown: the folder that could not be read
};

// Judge, then the disk's answer: each existing folder on the way to `folder` that is one
// of the guarded folders or of the folders above them, as written or where the guarded
// folder really is, stands for that one, so a folder that is or holds a guarded folder is
// refused whatever path leads to it. A folder that is itself a link is refused (a link
// higher up is fine once its target was judged), and one whose identity cannot be read is
// Unknown, and so is one on a drive or share that is not there. A guarded folder that is there
// but cannot be read leaves Unknown only a folder
// that could be it or hold it: one on its volume, both on the network, or one whose way
// passes a link. A folder on a local disk whose way passes no link costs no look on the
// network: guarded folders there are judged by their text alone.
OnDisk JudgeOnDisk(const std::u16string& folder, const std::vector<std::u16string>& guarded,
                   const Look& look, const IsRemote& remote = nullptr);
} // namespace InstallFolderRules
