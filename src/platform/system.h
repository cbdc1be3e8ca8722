// Small operating-system services of the desktop program: the program's folder, message
// boxes, folder listings.
#pragma once
#include <string>
#include <vector>

#include "frontend/messageboxes.h"

struct SDL_Window;

namespace tov {

// The folder of the program file, ending in "/" (from /proc/self/exe; the working folder
// when that cannot be read).
std::string programfolder();

// A message box with the given text, title and buttons. Blocks until answered. When the
// desktop cannot show message boxes, the fallback set below asks instead; without one the
// text goes to stderr and the Esc answer (the last button's) is given.
tmsgresult messagebox(SDL_Window* parent, const std::string& text, const std::string& title,
                      tmsgbuttons buttons = tmsgbuttons::ok);
// The window's own boxes, for when the desktop has none (empty function: none).
void setmessageboxfallback(tfallbackmsgbox fallback);

// The names (not paths) of the entries of a folder; empty when it cannot be read.
std::vector<std::string> listfolder(const std::string& folder);
bool makefolder(const std::string& folder);

}  // namespace tov
