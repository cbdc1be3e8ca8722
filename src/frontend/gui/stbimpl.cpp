// Debian's Dear ImGui library is built against the system's stb font packer and rasteriser
// instead of its bundled copies; their code is compiled here so the program links without
// the separate stb library.
#define STB_RECT_PACK_IMPLEMENTATION
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_rect_pack.h>
#include <stb/stb_truetype.h>
