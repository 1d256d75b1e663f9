#pragma once
// File type associations the freedesktop way: one desktop entry per extension
// ("mirvo-mp3.desktop") in the user's applications folder, made the default
// handler of the extension's MIME types in the user's mimeapps.list. The
// defaults found before are kept in that entry (X-Mirvo-Previous-Default-*
// keys) and put back when the association is removed.
#include <string>
#include <string_view>
#include <vector>

#include "player/Settings.h"

namespace mirvo {

// Where the association files live and which program they start.
struct AssociationPlaces {
    std::string applications;  // $XDG_DATA_HOME/applications
    std::string mimeapps;      // $XDG_CONFIG_HOME/mimeapps.list
    std::string executable;    // absolute path of the program the entries start

    // From the environment (XDG base folders, else below $HOME) and this
    // process's executable; a place that cannot be found stays empty.
    static AssociationPlaces FromEnvironment();
};

// The MIME types an extension (lower case, without the dot) stands for;
// empty for an extension Mirvo does not handle.
const std::vector<std::string_view>& MimeTypesOf(std::string_view extension);

class FileAssociations {
  public:
    FileAssociations(const Settings& settings, AssociationPlaces places)
        : settings_(settings), places_(std::move(places)) {}

    // Makes this program the default for the extension's MIME types and sets
    // its [Associations] flag. A repeated call keeps the defaults saved first.
    void AssociateType(std::string_view extension);
    // Puts the saved defaults back, removes the entry and clears the flag.
    void UnassociateType(std::string_view extension);
    // Whether every MIME type of the extension opens with this executable (reads only).
    bool IsTypeAssociated(std::string_view extension) const;

    // Rebuilds the applications folder's MIME cache when update-desktop-database
    // is installed, so menus of "Open with" see the change. Does not wait for it.
    void NotifyChanged() const;

  private:
    std::string EntryPath(std::string_view extension) const;

    const Settings& settings_;
    AssociationPlaces places_;
};

// Start-up step: takes back mp3, wav and ogg whose flag is set but which
// another program (or a copy of Mirvo elsewhere) has taken.
void ClaimAssociationsAtStart(const Settings& settings, bool claim);

}  // namespace mirvo
