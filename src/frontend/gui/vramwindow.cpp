// The VRAM viewer window `TFormvram`.
#include <imgui.h>

#include <algorithm>
#include <cstdio>

#include "frontend/gui/mainwindow.h"
#include "frontend/gui/fitwindow.h"
#include "frontend/gui/viewerwindows.h"

namespace tov {

namespace {

constexpr float panelwidth = 170;
constexpr double paintseconds = 0.050;  // Timerpaint
constexpr ImU32 gridcolour = IM_COL32(0xA0, 0xA0, 0xA0, 255);

ImU32 colourof(uint32_t bgr) { return IM_COL32(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF, 255); }

ImTextureID textureid(const tviewtexture& t) { return reinterpret_cast<ImTextureID>(static_cast<intptr_t>(t.id())); }

// A read-only edit with its label.
void field(const char* label, const std::string& value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s", value.c_str());
    ImGui::SetNextItemWidth(70);
    ImGui::InputText(label, buf, sizeof buf, ImGuiInputTextFlags_ReadOnly);
}

// A check box that shows a state and cannot be changed.
void showbox(const char* label, bool state) {
    bool b = state;
    ImGui::Checkbox(label, &b);
}

// A grid of cells (tiles or map entries) drawn at `origin`, `step` apart and `cell` big: the
// selected one gets its red box, and a click on the grid chooses the cell under the pointer.
void selectablegrid(const char* id, ImVec2 origin, ImVec2 step, ImVec2 cell, int columns, int rows, int& column,
                    int& row) {
    const ImVec2 sel(origin.x + column * step.x, origin.y + row * step.y);
    ImGui::GetWindowDrawList()->AddRect(ImVec2(sel.x - 1, sel.y - 1), ImVec2(sel.x + cell.x + 1, sel.y + cell.y + 1),
                                        IM_COL32(255, 0, 0, 255));
    const float w = step.x * columns - (step.x - cell.x), h = step.y * rows - (step.y - cell.y);
    ImGui::InvisibleButton(id, ImVec2(std::max(w, 1.0f), std::max(h, 1.0f)));
    if (ImGui::IsItemClicked()) {
        const ImVec2 m = ImGui::GetIO().MousePos;
        column = std::clamp(int((m.x - origin.x) / step.x), 0, columns - 1);
        row = std::clamp(int((m.y - origin.y) / step.y), 0, rows - 1);
    }
}

}  // namespace

TFormvram::TFormvram(Tfgb& mainwindow) : fgb(mainwindow), view(mainwindow.gb()) {
    zoom.create(8, 8);
}

void TFormvram::paint() {
    if (tgbdrawtovsgb* r = fgb.emulation().renderer(); r && r->gfxout) view.outputpalette = &r->gfxout->palette;
    const ImVec4 bg = ImGui::GetStyleColorVec4(ImGuiCol_WindowBg);
    view.background = uint32_t(bg.x * 255) | uint32_t(bg.y * 255) << 8 | uint32_t(bg.z * 255) << 16;
    const tvramredraw r = view.refresh();
    if (r.tiles || !tilestexture.id()) tilestexture.upload(view.tilepage);
    if (r.mapentries || !maptexture.id()) maptexture.upload(view.mappage);
    for (int s = 0; s < 40; s++)
        if (r.sprites || !spritetextures[s].id()) spritetextures[s].upload(view.spritepictures[size_t(s)]);
}

void TFormvram::show() {
    visible = true;
    view.markall();
    ImGui::SetWindowFocus("vram viewer");
}

void TFormvram::draw(bool debuggerstopped) {
    if (!visible) return;
    const double now = fgb.clockseconds();
    // The refresh waits while the debugger holds the machine; the first one comes at once.
    if (lastpaint < 0 || (!debuggerstopped && now - lastpaint >= paintseconds)) {
        lastpaint = now;
        paint();
    }
    ImGui::SetNextWindowSize(ImVec2(640, 460), ImGuiCond_FirstUseEver);
    const ImVec2 area = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowSizeConstraints(ImVec2(std::min(450.0f, area.x), std::min(330.0f, area.y)), ImVec2(10000, 10000));
    ImGui::SetNextWindowBgAlpha(1.0f);
    if (!ImGui::Begin("vram viewer", &visible)) {
        ImGui::End();
        return;
    }
    keepwindowinside(fit, fgb.toolkeepout());
    const ImVec2 size = ImGui::GetWindowSize();
    if (int(size.x) != lastwidth || int(size.y) != lastheight) {
        lastwidth = int(size.x);
        lastheight = int(size.y);
        view.markall();
    }
    // The pages: Tabmap, Tabtiles, Taboam, Tabpal.
    const char* names[4] = {"map", "tiles", "OAM", "palettes"};
    for (int p = 0; p < 4; p++) {
        if (p) ImGui::SameLine();
        const bool current = page == p;
        if (current) ImGui::PushStyleColor(ImGuiCol_Button, ImGui::GetStyleColorVec4(ImGuiCol_TabActive));
        if (ImGui::Button(names[p]) && !current) {
            page = p;
            view.markall();
        }
        if (current) ImGui::PopStyleColor();
    }
    ImGui::Separator();
    switch (page) {
    case 0: drawmap(); break;
    case 1: drawtiles(); break;
    case 2: drawoam(); break;
    default: drawpalettes(); break;
    }
    ImGui::End();
}

void TFormvram::preview(int tile, int palette, bool hflip, bool vflip, float size) {
    view.drawtile(zoom, 0, 0, tile, palette, hflip, vflip);
    zoomtexture.upload(zoom);
    ImGui::Image(textureid(zoomtexture), ImVec2(size, size));
}

void TFormvram::drawtiles() {
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const tcellsize c = tilecellsize(int(avail.x), int(avail.y), int(panelwidth));
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float step_x = float(c.width + 1), step_y = float(c.height + 1);
    const float w = step_x * 32 - 1, h = step_y * 24 - 1;
    dl->AddRectFilled(origin, ImVec2(origin.x + w, origin.y + h), gridcolour);
    for (int row = 0; row < 24; row++)
        for (int col = 0; col < 32; col++) {
            const ImVec2 p(origin.x + col * step_x, origin.y + row * step_y);
            // The tiles page holds column j at x = 8j, row i at y = 8i.
            const ImVec2 uv0(col / 32.0f, row / 24.0f), uv1((col + 1) / 32.0f, (row + 1) / 24.0f);
            dl->AddImage(textureid(tilestexture), p, ImVec2(p.x + c.width, p.y + c.height), uv0, uv1);
        }
    selectablegrid("tilegrid", origin, ImVec2(step_x, step_y), ImVec2(float(c.width), float(c.height)), 32, 24,
                   view.tilecolumn, view.tilerow);
    ImGui::SameLine(std::max(w + 16, avail.x - panelwidth + 8));
    ImGui::BeginGroup();
    const ttileinfo t = view.tileinfo(view.selectedtile());
    field("tile##Edittilenum", t.Edittilenum);
    field("address##Edittileaddr", t.Edittileaddr);
    field("palette##Edittilepal", t.Edittilepal);
    if (ImGui::Checkbox("tile colours", &view.Checktilecolor)) view.markall();
    ImGui::TextUnformatted(tilestretchtext(c).c_str());  // Labeltilestretch
    preview(t.tile, view.Checktilecolor ? view.tilepalette[size_t(t.tile)] : -1, false, false, 128);
    ImGui::EndGroup();
}

void TFormvram::drawmap() {
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const tcellsize c = mapcellsize(int(avail.x), int(avail.y), int(panelwidth));
    const int gap = view.Checkmapgrid ? 1 : 0;
    const float sx = float(c.width + gap), sy = float(c.height + gap);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float w = sx * 32 - gap, h = sy * 32 - gap;
    dl->AddRectFilled(origin, ImVec2(origin.x + w, origin.y + h), gridcolour);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            const ImVec2 p(origin.x + x * sx, origin.y + y * sy);
            dl->AddImage(textureid(maptexture), p, ImVec2(p.x + c.width, p.y + c.height), ImVec2(x / 32.0f, y / 32.0f),
                         ImVec2((x + 1) / 32.0f, (y + 1) / 32.0f));
        }
    if (view.Checkmapscroll) {
        // The screen window at (SCX, SCY): map pixel (px, py) lies in cell px / 8 at px % 8 eighths.
        const tlcdregisters lcd = tgbinspect(fgb.gb()).video().lcd;
        auto at = [&](int px, int py) {
            return ImVec2(origin.x + (px / 8) * sx + (px % 8) * c.width / 8.0f, origin.y + (py / 8) * sy + (py % 8) * c.height / 8.0f);
        };
        for (const tviewrect& r : screenrectangles(lcd.scx, lcd.scy)) {
            const ImVec2 a = at(r.x, r.y);
            ImVec2 b = at(std::min(255, r.x + r.width - 1), std::min(255, r.y + r.height - 1));
            b.x += c.width / 8.0f;
            b.y += c.height / 8.0f;
            dl->AddRect(a, b, IM_COL32(255, 0, 255, 255), 0, 0, 2.0f);
        }
    }
    selectablegrid("mapgrid", origin, ImVec2(sx, sy), ImVec2(float(c.width), float(c.height)), 32, 32, view.mapx,
                   view.mapy);
    ImGui::SameLine(std::max(w + 16, avail.x - panelwidth + 8));
    ImGui::BeginGroup();
    int source = int(view.mapsource), data = int(view.tiledata);
    bool changed = false;
    ImGui::TextUnformatted("map");
    changed |= ImGui::RadioButton("auto##map", &source, 0);  // Radiomapmapauto
    ImGui::SameLine();
    changed |= ImGui::RadioButton("9800", &source, 1);
    ImGui::SameLine();
    changed |= ImGui::RadioButton("9c00", &source, 2);
    ImGui::TextUnformatted("tiles");
    changed |= ImGui::RadioButton("auto##tile", &data, 0);  // Radiomaptileauto
    ImGui::SameLine();
    changed |= ImGui::RadioButton("8000", &data, 1);
    ImGui::SameLine();
    changed |= ImGui::RadioButton("8800", &data, 2);
    changed |= ImGui::Checkbox("grid", &view.Checkmapgrid);
    ImGui::SameLine();
    changed |= ImGui::Checkbox("pal", &view.Checkmappal);
    ImGui::SameLine();
    changed |= ImGui::Checkbox("scroll", &view.Checkmapscroll);
    view.mapsource = tmapsource(source);
    view.tiledata = ttiledata(data);
    if (changed) view.markall();
    ImGui::TextUnformatted(mapstretchtext(c, view.Checkmapgrid).c_str());  // Labelmapstretch
    const tmapentryinfo e = view.mapentry(view.mapx, view.mapy);
    field("x", e.editmapx);
    field("y", e.Editmapy);
    field("tile", e.Editmaptile);
    field("attr", e.Editmapattr);
    field("map addr", e.Editmapmapaddr);
    field("tile addr", e.Editmaptileaddr);
    field("pal", e.Editmappal);
    showbox("hflip", e.Checkhflip);
    ImGui::SameLine();
    showbox("vflip", e.checkvflip);
    ImGui::SameLine();
    showbox("pri", e.Checkmappriority);
    preview(e.tile, view.Checkmappal ? e.palette : -1, e.Checkhflip, e.checkvflip, 96);
    ImGui::EndGroup();
}

void TFormvram::drawoam() {
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const float pagew = std::max(80.0f, avail.x - panelwidth - 8), pageh = std::max(50.0f, avail.y);
    const float cw = pagew / 8, ch = pageh / 5;
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float scale = std::max(1.0f, std::floor(cw / 20));
    for (int s = 0; s < 40; s++) {
        const tspriteinfo info = view.spriteinfo(s);
        const ImVec2 p(origin.x + (s % 8) * cw, origin.y + (s / 8) * ch);
        dl->AddRect(p, ImVec2(p.x + cw, p.y + ch), gridcolour);
        const float tw = 8 * scale, th = (info.tall ? 16 : 8) * scale;
        const ImVec2 a(p.x + 3, p.y + 3), b(a.x + tw, a.y + th);
        dl->AddImage(textureid(spritetextures[s]), a, b, ImVec2(0, 0), ImVec2(1, info.tall ? 1.0f : 0.5f));
        if (info.offscreen) dl->AddLine(a, b, IM_COL32(255, 0, 0, 255), 2.0f);
        const std::string bytes[4] = {info.Editoamy, info.Editoamx, info.Editoamtileno, info.Editoamattr};
        for (int k = 0; k < 4; k++)
            dl->AddText(ImVec2(b.x + 4, p.y + 2 + k * ImGui::GetTextLineHeight()), ImGui::GetColorU32(ImGuiCol_Text),
                        bytes[k].c_str());
        if (s == view.sprite) dl->AddRect(p, ImVec2(p.x + cw, p.y + ch), IM_COL32(255, 0, 0, 255), 0, 0, 2.0f);
    }
    ImGui::InvisibleButton("oamgrid", ImVec2(pagew, pageh));
    if (ImGui::IsItemClicked()) {
        const ImVec2 m = ImGui::GetIO().MousePos;
        view.sprite = std::clamp(int((m.y - origin.y) / ch), 0, 4) * 8 + std::clamp(int((m.x - origin.x) / cw), 0, 7);
    }
    ImGui::SameLine(pagew + 16);
    ImGui::BeginGroup();
    const tspriteinfo s = view.spriteinfo(view.sprite);
    field("y", s.Editoamy);
    field("x", s.Editoamx);
    field("tile", s.Editoamtileno);
    field("attr", s.Editoamattr);
    showbox("xflip", s.Checkoamxflip);
    ImGui::SameLine();
    showbox("yflip", s.Checkoamyflip);
    ImGui::SameLine();
    showbox("pri", s.Checkoampriority);
    field("oam addr", s.Editoamaddr);
    field("tile addr", s.Editoamtileaddr);
    field("pal", s.Editoampal);
    // The picture with the sprite's box and a line to it from the top-left corner.
    const ImVec2 pic = ImGui::GetCursorScreenPos();
    if (fgb.picturetex())
        ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(fgb.picturetex())), ImVec2(160, 144));
    else
        ImGui::Dummy(ImVec2(160, 144));
    ImDrawList* wl = ImGui::GetWindowDrawList();
    const ImVec2 b0(pic.x + s.box.x, pic.y + s.box.y), b1(b0.x + s.box.width, b0.y + s.box.height);
    wl->PushClipRect(pic, ImVec2(pic.x + 160, pic.y + 144), true);
    wl->AddRect(b0, b1, IM_COL32(255, 0, 255, 255));
    wl->AddLine(pic, b0, IM_COL32(255, 0, 255, 255));
    wl->PopClipRect();
    ImGui::EndGroup();
}

void TFormvram::drawpalettes() {
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float boxw = 28, boxh = 24, rowh = boxh + ImGui::GetTextLineHeight() + 4, labelw = 48;
    const float halfw = labelw + 4 * (boxw + 6) + 16;
    const bool gbc = view.gbcmode();
    for (int half = 0; half < 2; half++)
        for (int row = 0; row < 8; row++) {
            const int n = half * 8 + row;
            const ImVec2 p(origin.x + half * halfw, origin.y + row * rowh);
            const std::string name = vrampalettename(n, gbc);
            dl->AddText(ImVec2(p.x, p.y + 4), ImGui::GetColorU32(ImGuiCol_Text), name.c_str());
            for (int k = 0; k < 4; k++) {
                const tpaletteentryinfo e = view.paletteinfo(n * 4 + k);
                const ImVec2 a(p.x + labelw + k * (boxw + 6), p.y), b(a.x + boxw, a.y + boxh);
                dl->AddRectFilled(a, b, colourof(e.colour));
                dl->AddRect(a, b, view.paletteentry == e.index ? IM_COL32(255, 0, 0, 255) : gridcolour);
                dl->AddText(ImVec2(a.x, b.y + 1), ImGui::GetColorU32(ImGuiCol_Text), e.text.c_str());
            }
        }
    ImGui::InvisibleButton("palettes", ImVec2(2 * halfw, 8 * rowh));
    if (ImGui::IsItemClicked()) {
        const ImVec2 m = ImGui::GetIO().MousePos;
        const int half = std::clamp(int((m.x - origin.x) / halfw), 0, 1);
        const int row = std::clamp(int((m.y - origin.y) / rowh), 0, 7);
        const int k = std::clamp(int((m.x - origin.x - half * halfw - labelw) / (boxw + 6)), 0, 3);
        view.paletteentry = (half * 8 + row) * 4 + k;
    }
    const tpaletteentryinfo e = view.paletteinfo(view.paletteentry);
    field("red", e.Editpalred);
    ImGui::SameLine();
    field("green", e.Editpalgreen);
    ImGui::SameLine();
    field("blue", e.Editpalblue);
}

}  // namespace tov
