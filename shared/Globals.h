#pragma once

#include <string>
#include <string_view>

namespace corvina {

class IHostApplication;

namespace Globals {

// The host's application object, held from connection to disconnection.
extern IHostApplication* HostApplication;
// The open site's local folder; every generated project file is created in it.
extern std::string SiteFolder;

// Turns a "file" address into a local path (file:///home/a/My Site -> /home/a/My Site); any
// other text comes back unchanged.
std::string URLtoPath(std::string_view sURL);
// The host's reference of a page of the open site inside the help project.
std::string ConvertURL(std::string_view sURL);
// Creates or empties the file and writes the content and a line end, as Windows-1252 text.
// Returns false when the file could not be written (the failure has been reported).
bool WriteFile(std::string_view sPath, std::string sContent);

}  // namespace Globals
}  // namespace corvina
