// Small operating-system services of the desktop program: the program's folder, message
// boxes, folder listings.
#pragma once
#include <string>
#include <vector>

struct SDL_Window;

namespace tov {

// The folder of the program file, ending in "/" (from /proc/self/exe; the working folder
// when that cannot be read).
std::string programfolder();

enum class tmsgbuttons { ok, okcancel, yesno };
enum class tmsgresult { ok, cancel, yes, no };
// A message box with the given text, title and buttons. Blocks until answered. Without a
// display it writes the text to stderr and answers with the first button.
tmsgresult messagebox(SDL_Window* parent, const std::string& text, const std::string& title,
                      tmsgbuttons buttons = tmsgbuttons::ok);

// The names (not paths) of the entries of a folder; empty when it cannot be read.
std::vector<std::string> listfolder(const std::string& folder);
bool makefolder(const std::string& folder);

}  // namespace tov
