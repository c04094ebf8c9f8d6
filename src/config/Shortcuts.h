// The edition's two shell links to the prompter: in the Start menu's Programs folder and
// on the desktop (all users on the NT family, the current user on 9x).
#pragma once

#include <string>

struct CSetupState;

class CShortcuts
{
public:
    // Reads the install folder and the edition.
    explicit CShortcuts(const CSetupState& state);

    // The install step: Start-menu link first; the desktop link only when that worked.
    bool CreateShortcuts();
    // Saves the edition's link in `folder` (no trailing backslash), over one of the same
    // name. Reports its own failure. An empty folder is one whose lookup failed and was
    // reported already: no link is made anywhere else, and the step fails, since the
    // install would otherwise end as complete without its link.
    bool CreateShortcut(const std::string& folder);

    // The uninstall step; a link that is already gone is no error, one that stays is told.
    void RemoveShortcuts();
    void RemoveShortcut(const std::string& folder);

    // "Ardent" or "Brisk" from the string table: the link's name and description.
    std::string EditionName() const;

private:
    const CSetupState& m_state;
};
