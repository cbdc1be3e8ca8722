// The viewer windows in Dear ImGui: the VRAM viewer `TFormvram`, the I/O map `TFormiomap`,
// the SGB packet log `TFormsgbpackets` and the processor-load meter `tcpumetercontrol` of
// the debugger window. They draw what the plain code of src/viewers computes and forward
// clicks to it. `tviewerwindows` creates them on first use and keeps them.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "frontend/windowlogic.h"
#include "platform/inputbox.h"
#include "viewers/cpumeter.h"
#include "viewers/iomap.h"
#include "viewers/sgbpacketlog.h"
#include "viewers/vramviewer.h"

namespace tov {

class Tfgb;
class TFormdebugger;

// A picture of the viewers as an OpenGL texture.
class tviewtexture {
public:
    ~tviewtexture();
    void upload(const tviewimage& image);
    unsigned int id() const { return texture; }

private:
    unsigned int texture = 0;
    int width = 0, height = 0;
};

class TFormvram {
public:
    explicit TFormvram(Tfgb& mainwindow);
    // Shown again in front: a viewer left behind the debugger window could not be reached.
    void show();
    // Every frame: the 50 ms refresh (not while the debugger holds the machine) and the window.
    void draw(bool debuggerstopped);
    // Redraws everything at the next refresh (an LCDC edit in the I/O map).
    void redraw() { view.markall(); }
    bool visible = false;

private:
    Tfgb& fgb;
    tvramview view;
    double lastpaint = -1;
    int page = 0;  // 0 map, 1 tiles, 2 OAM, 3 palettes
    tviewtexture tilestexture, maptexture, zoomtexture;
    tviewtexture spritetextures[40];
    tviewimage zoom;
    int lastwidth = 0, lastheight = 0;
    ttoolwindowfit fit;
    void paint();
    void drawtiles();
    void drawmap();
    void drawoam();
    void drawpalettes();
    void preview(int tile, int palette, bool hflip, bool vflip, float size);
};

class TFormiomap {
public:
    TFormiomap(Tfgb& mainwindow, TFormvram* vramviewer);
    void show();
    void draw();
    void refresh() { map.refresh(); }
    // `menusercount`: asks for the user clock counter's new value.
    void askusercounter();
    bool visible = false;

private:
    Tfgb& fgb;
    tiomap map;
    TFormvram* vram;
    tinputbox box;
    int32_t askedwith = 0;
    bool wasfocused = false;
    ttoolwindowfit fit;
    void drawinterrupts(bool regclick);
    void drawfixedgroups(bool regclick);
};

class TFormsgbpackets {
public:
    explicit TFormsgbpackets(Tfgb& mainwindow);
    void show();
    void draw();
    bool visible = false;

private:
    Tfgb& fgb;
    tsgbpacketlog log;
    size_t shownlines = 0;
    ttoolwindowfit fit;
};

// The processor-load meter: a vertical bar; a click switches `CpuMeter`.
class tcpumetercontrol {
public:
    explicit tcpumetercontrol(Tfgb& mainwindow) : fgb(mainwindow) {}
    void draw(float width, float height);
    // After every emulated frame with `CpuMeter` on.
    void frame(int32_t frameunits, TFormdebugger& debugger);

private:
    Tfgb& fgb;
    tcpumeter meter;
};

class tviewerwindows {
public:
    tviewerwindows(Tfgb& mainwindow, TFormdebugger& debugger);
    ~tviewerwindows();
    // The main menu's "vram viewer", the windows' drawing and the meter's frame hook.
    void install();

    // The debugger window's commands.
    void mnuvram();          // `mnuvramviewer` and the debugger's `mnuvram` (F5)
    void menuiomap();
    void menusercount();
    void menusgbpackets();
    // The debugger's "view" menu with the commands above.
    void drawdebuggermenu();
    // The debugger updated its views (a stop, a step, a register change).
    void debuggerviewsupdated();
    tcpumetercontrol& cpumeter() { return meter; }

private:
    Tfgb& fgb;
    TFormdebugger& debugger;
    std::unique_ptr<TFormvram> vram;
    std::unique_ptr<TFormiomap> iomap;
    std::unique_ptr<TFormsgbpackets> packets;
    tcpumetercontrol meter;
    void draw();
    TFormvram& vramwindow();
    TFormiomap& iomapwindow();
};

}  // namespace tov
