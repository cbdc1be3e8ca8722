#include "frontend/gui/viewerwindows.h"

#include <GL/gl.h>
#include <imgui.h>

#include "frontend/gui/debuggerwindow.h"
#include "frontend/gui/mainwindow.h"

namespace tov {

// ---- Textures ----

tviewtexture::~tviewtexture() {
    if (texture) glDeleteTextures(1, &texture);
}

void tviewtexture::upload(const tviewimage& image) {
    if (image.width <= 0 || image.height <= 0) return;
    if (!texture) {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    // 0x00BBGGRR words are the bytes red, green, blue, 0 in memory; alpha is not kept.
    if (width != image.width || height != image.height) {
        width = image.width;
        height = image.height;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels.data());
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels.data());
    }
}

// ---- The windows' owner ----

tviewerwindows::tviewerwindows(Tfgb& mainwindow, TFormdebugger& dbg)
    : fgb(mainwindow), debugger(dbg), meter(mainwindow) {}

tviewerwindows::~tviewerwindows() = default;

void tviewerwindows::install() {
    tfrontendhooks& h = fgb.hooks;
    h.menu.push_back({"other", "vram viewer", "", [this] { mnuvram(); }, nullptr, nullptr});
    auto previousdraw = h.drawwindows;
    h.drawwindows = [this, previousdraw] {
        if (previousdraw) previousdraw();
        draw();
    };
    tsessionhooks& sh = fgb.emulation().hooks;
    auto previousframe = sh.afterframe;
    sh.afterframe = [this, previousframe] {
        if (previousframe) previousframe();
        if (fgb.store().working.CpuMeter) meter.frame(fgb.emulation().lastframeunits(), debugger);
    };
}

TFormvram& tviewerwindows::vramwindow() {
    if (!vram) vram = std::make_unique<TFormvram>(fgb);
    return *vram;
}

TFormiomap& tviewerwindows::iomapwindow() {
    if (!iomap) iomap = std::make_unique<TFormiomap>(fgb, &vramwindow());
    return *iomap;
}

void tviewerwindows::mnuvram() { vramwindow().show(); }

void tviewerwindows::menuiomap() { iomapwindow().show(); }

void tviewerwindows::menusercount() { iomapwindow().askusercounter(); }

void tviewerwindows::menusgbpackets() {
    if (!packets) packets = std::make_unique<TFormsgbpackets>(fgb);
    packets->show();
}

void tviewerwindows::drawdebuggermenu() {
    if (!ImGui::BeginMenu("view")) return;
    if (ImGui::MenuItem("vram viewer", "F5")) mnuvram();
    if (ImGui::MenuItem("I/O map")) menuiomap();
    if (ImGui::MenuItem("user clocks counter")) menusercount();
    if (ImGui::MenuItem("SGB packets")) menusgbpackets();
    ImGui::EndMenu();
}

void tviewerwindows::debuggerviewsupdated() {
    if (iomap) iomap->refresh();
}

void tviewerwindows::draw() {
    const bool stopped = debugger.runcontrol().stopped();
    if (vram) vram->draw(stopped);
    if (iomap) iomap->draw();
    if (packets) packets->draw();
}

}  // namespace tov
